// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugins/AudioMeasure.h"
#include "tests/support/LadspaHost.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

const char* const kLabel = "reverb_zita_rev1";

class ReverbTest : public ::testing::TestWithParam<unsigned long> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.Load(BuildPath("share/plugins/ReverbZitaRev1.so"), kLabel, GetParam())) << fx.Error();
    // The chain's settings (the host leaves "Level" at 0 dB, which has no hint default).
    for (auto [name, value] : kChainReverbSettings) ASSERT_TRUE(fx.SetControl(name, value)) << name;
  }
  double rate() const { return double(GetParam()); }

  // The wet impulse response (mix fully wet) of both outputs for an impulse into both inputs.
  void WetImpulseResponse(double seconds, Signal& left, Signal& right) {
    fx.SetControl("Dry/Wet Mix", 1.0f);
    fx.Activate();
    left.assign(size_t(seconds * rate()), 0.0f);
    left[0] = 1.0f;
    right = left;
    fx.RunStereo(left, right);
  }

  double BandT60(const Signal& s, double centre, double q) {
    std::vector<double> h(s.begin(), s.end());
    return SchroederT60(BandPass(BandPass(h, centre, q, rate()), centre, q, rate()), rate());
  }

  LadspaHost fx;
};

TEST_P(ReverbTest, MidBandDecayFollowsMidRt60) {
  for (float rt : {1.5f, 3.0f, 6.0f}) {
    fx.SetControl("Low RT60", rt);
    fx.SetControl("Mid RT60", rt);
    Signal left, right;
    WetImpulseResponse(rt * 1.2 + 0.5, left, right);
    for (const Signal* s : {&left, &right})
      EXPECT_NEAR(BandT60(*s, 1000.0, 1.4), rt, 0.15 * rt) << "Mid RT60 " << rt;
  }
}

TEST_P(ReverbTest, LowBandDecayFollowsLowRt60) {
  fx.SetControl("LF X", 300.0f);
  fx.SetControl("Mid RT60", 1.5f);
  std::vector<double> low;
  for (float rt : {1.5f, 5.0f}) {
    fx.SetControl("Low RT60", rt);
    Signal left, right;
    WetImpulseResponse(rt * 1.2 + 0.5, left, right);
    low.push_back(BandT60(left, 60.0, 1.4));
    EXPECT_NEAR(low.back(), rt, 0.25 * rt) << "Low RT60 " << rt;
    EXPECT_NEAR(BandT60(left, 1000.0, 1.4), 1.5, 0.15 * 1.5) << "the mid band keeps its decay, Low RT60 " << rt;
  }
  EXPECT_GT(low[1], 2.5 * low[0]);
}

TEST_P(ReverbTest, WetOnsetFollowsInDelay) {
  for (float ms : {20.0f, 60.0f, 100.0f}) {
    fx.SetControl("In Delay", ms);
    Signal left, right;
    WetImpulseResponse(0.3, left, right);
    double threshold = 1e-3 * std::max(Peak(left), Peak(right));
    size_t first = 0;
    while (first < left.size() && std::fabs(left[first]) < threshold && std::fabs(right[first]) < threshold) ++first;
    EXPECT_NEAR(double(first) / rate() * 1000.0, ms, 1.0) << "In Delay " << ms;
  }
}

TEST_P(ReverbTest, LeftAndRightTailsAreDecorrelated) {
  Signal left, right;
  WetImpulseResponse(2.0, left, right);
  EXPECT_LT(std::fabs(Correlation(left, right)), 0.2);
}

// At the chain's defaults the dry signal is intact and the room audible but well under it.
TEST_P(ReverbTest, DefaultsKeepTheDrySignalAndAddAModestRoom) {
  Signal dryL = Noise(0.3, size_t(3 * rate()), 3), dryR = Noise(0.3, size_t(3 * rate()), 4);
  Signal left = dryL, right = dryR;
  fx.RunStereo(left, right);
  Signal wetL(left.size());
  for (size_t i = 0; i < left.size(); ++i) wetL[i] = left[i] - dryL[i];
  size_t from = left.size() / 2;
  double wetDb = Db(Rms(wetL, from) / Rms(dryL, from));
  EXPECT_GT(wetDb, -18.0);
  EXPECT_LT(wetDb, -6.0);
  // Fully dry passes the input.
  fx.SetControl("Dry/Wet Mix", -1.0f);
  fx.Activate();
  left = dryL;
  right = dryR;
  fx.RunStereo(left, right);
  for (size_t i = 0; i < left.size(); i += 997) EXPECT_FLOAT_EQ(left[i], dryL[i]);
}

// Moving every audible setting at once while a low sine plays: the wet output may swell, but
// never steps faster than a sine of its own peak level can (a click would).
TEST_P(ReverbTest, SettingChangesDoNotClick) {
  const double freq = 110.0;
  fx.SetControl("Dry/Wet Mix", 1.0f);
  fx.SetControl("Level", 0.0f);
  fx.Activate();
  Signal left = Sine(freq, 0.5, 3.0, rate()), right = left;
  const size_t change = size_t(2 * rate()) / 128 * 128;
  fx.RunStereo(left, right, 128, [&](size_t at) {
    if (at != change) return;
    for (auto [name, value] : {std::pair{"In Delay", 100.0f}, {"Mid RT60", 8.0f}, {"Eq1 Level", 15.0f}, {"Level", 6.0f}})
      fx.SetControl(name, value);
  });
  EXPECT_LT(MaxStep(left, change), 1.5 * Peak(left, change) * 2.0 * M_PI * freq / rate());
}

INSTANTIATE_TEST_SUITE_P(Rates, ReverbTest, ::testing::Values(44100ul, 96000ul));

}  // namespace
}  // namespace zs::test
