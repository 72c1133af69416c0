// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugins/AudioMeasure.h"
#include "tests/support/LadspaHost.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

class LimiterTest : public ::testing::TestWithParam<unsigned long> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.Load(BuildPath("share/plugins/Limiter.so"), "zembrovane_hard_limiter_stereo", GetParam())) << fx.Error();
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

// A quiet signal passes untouched, only delayed by the look-ahead; after a loud passage the
// gain comes back and the quiet signal that follows is untouched again.
TEST_P(LimiterTest, QuietSignalPassesWithUnityGainAfterTheLatencyAndAfterRelease) {
  fx.SetControl("Ceiling", -6.0f);
  fx.SetControl("Release", 50.0f);
  const double quiet = std::pow(10.0, -12.0 / 20.0);
  const size_t second = size_t(rate());
  Signal inL = Sine(440.0, quiet, 3.0, rate()), inR = Noise(quiet, inL.size(), 3);
  for (size_t i = second; i < 2 * second; ++i) inL[i] *= 4.0f;  // +12 dB for the second second
  Signal left = inL, right = inR;
  fx.RunStereo(left, right);
  const float latency = fx.GetControl("latency");
  ASSERT_GT(latency, 0.0f);
  ASSERT_LT(latency, 0.005 * rate());  // a few milliseconds at most
  const size_t d = size_t(latency);
  for (size_t i = 0; i < second; ++i) {
    ASSERT_NEAR(left[i], i < d ? 0.0f : inL[i - d], 1e-6) << i;
    ASSERT_NEAR(right[i], i < d ? 0.0f : inR[i - d], 1e-6) << i;
  }
  // While loud, the sine is held at the ceiling rather than squashed far below it.
  EXPECT_GT(Peak(Signal(left.begin() + long(1.2 * rate()), left.begin() + long(1.9 * rate()))), 0.45);
  const size_t settled = size_t(2.5 * rate());  // ten release times after the drop
  EXPECT_NEAR(Rms(left, settled + d), Rms(inL, settled), 1e-3 * Rms(inL, settled));
}

INSTANTIATE_TEST_SUITE_P(Rates, LimiterTest, ::testing::Values(44100ul, 96000ul));

}  // namespace
}  // namespace zs::test
