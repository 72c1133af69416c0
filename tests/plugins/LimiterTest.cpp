// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugins/AudioMeasure.h"
#include "tests/support/LadspaHost.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

const char* const kLabel = "zembrovane_hard_limiter_stereo";

class LimiterTest : public ::testing::TestWithParam<unsigned long> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.Load(BuildPath("share/plugins/Limiter.so"), kLabel, GetParam())) << fx.Error();
  }
  double rate() const { return double(GetParam()); }
  LadspaHost fx;
};

TEST_P(LimiterTest, NothingPassesTheCeiling) {
  for (float ceilingDb : {0.0f, -6.0f, -20.0f}) {
    const float ceiling = float(std::pow(10.0, ceilingDb / 20.0));
    const double over = ceiling * std::pow(10.0, 24.0 / 20.0);
    size_t n = size_t(2 * rate());
    Signal impulses(n, 0.0f);
    for (size_t i = 0; i < n; i += 701) impulses[i] = float(i % 2 ? over : -over);
    for (size_t i = n / 2; i < n / 2 + 50; ++i) impulses[i] = float(over);  // a burst of them
    Signal burst = Sine(1000.0, 0.001, 2.0, rate());
    for (size_t i = n / 4; i < n / 2; ++i) burst[i] *= float(over / 0.001);  // sudden jump, then drop
    const Signal inputs[][2] = {
        {Sine(997.0, over, 2.0, rate()), Sine(61.0, over, 2.0, rate())},
        {Noise(over, n, 11), Noise(over, n, 12)},
        {impulses, Signal(n, 0.0f)},
        {burst, Noise(over, n, 13)},
    };
    for (const auto& input : inputs) {
      fx.SetControl("Ceiling", ceilingDb);
      fx.Activate();
      Signal left = input[0], right = input[1];
      fx.RunStereo(left, right, 97);
      EXPECT_LE(Peak(left), ceiling) << "ceiling " << ceilingDb;
      EXPECT_LE(Peak(right), ceiling) << "ceiling " << ceilingDb;
      EXPECT_GT(Peak(left), 0.5 * ceiling);  // limited, not silenced
    }
  }
}

TEST_P(LimiterTest, QuietSignalPassesWithUnityGainAfterTheLatency) {
  fx.SetControl("Ceiling", -6.0f);
  const double half = std::pow(10.0, -12.0 / 20.0);
  Signal inL = Sine(440.0, half, 1.0, rate()), inR = Noise(half, inL.size(), 3);
  Signal left = inL, right = inR;
  fx.RunStereo(left, right);
  float latency = fx.GetControl("latency");
  ASSERT_GT(latency, 0.0f);
  ASSERT_LT(latency, 0.005 * rate());  // a few milliseconds at most
  size_t d = size_t(latency);
  for (size_t i = 0; i < d; ++i) ASSERT_EQ(left[i], 0.0f);
  for (size_t i = d; i < left.size(); ++i) {
    ASSERT_NEAR(left[i], inL[i - d], 1e-6) << i;
    ASSERT_NEAR(right[i], inR[i - d], 1e-6) << i;
  }
}

// After a loud passage the gain comes back: the quiet signal that follows is untouched again.
TEST_P(LimiterTest, GainRecoversAfterRelease) {
  fx.SetControl("Ceiling", -6.0f);
  fx.SetControl("Release", 50.0f);
  Signal left = Sine(300.0, 1.0, 2.0, rate());
  for (size_t i = left.size() / 4; i < left.size(); ++i) left[i] *= 0.25f;  // -12 dB from 0.5 s
  Signal input = left, right = left;
  fx.RunStereo(left, right);
  size_t d = size_t(fx.GetControl("latency"));
  size_t settled = size_t(rate());  // 0.5 s after the drop, ten release times
  EXPECT_NEAR(Rms(left, settled + d), Rms(input, settled), 1e-3 * Rms(input, settled));
  // While loud, the sine is held at the ceiling rather than squashed far below it.
  EXPECT_GT(Peak(Signal(left.begin() + size_t(0.2 * rate()), left.begin() + size_t(0.45 * rate()))), 0.45);
}

INSTANTIATE_TEST_SUITE_P(Rates, LimiterTest, ::testing::Values(44100ul, 96000ul));

}  // namespace
}  // namespace zs::test
