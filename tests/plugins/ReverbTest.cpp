// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "tests/plugins/AudioMeasure.h"
#include "tests/support/LadspaHost.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

class ReverbTest : public ::testing::TestWithParam<unsigned long> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.Load(BuildPath("share/plugins/ReverbZitaRev1.so"), "reverb_zita_rev1", GetParam())) << fx.Error();
    // The chain's settings (the host leaves "Level" at 0 dB, which has no hint default).
    for (auto [name, value] : kChainReverbSettings) ASSERT_TRUE(fx.SetControl(name, value)) << name;
  }
  double rate() const { return double(GetParam()); }

  // The wet impulse response (mix fully wet) of both outputs for an impulse into both inputs.
  std::pair<Signal, Signal> WetImpulseResponse(double seconds) {
    fx.SetControl("Dry/Wet Mix", 1.0f);
    fx.Activate();
    Signal left(size_t(seconds * rate()), 0.0f);
    left[0] = 1.0f;
    Signal right = left;
    fx.RunStereo(left, right);
    return {left, right};
  }

  double BandT60(const Signal& s, double centre, double q) {
    std::vector<double> h(s.begin(), s.end());
    return SchroederT60(BandPass(BandPass(h, centre, q, rate()), centre, q, rate()), rate());
  }

  LadspaHost fx;
};

// Each band decays in its own time, 60 Hz by Low RT60 and 1 kHz by Mid RT60, in tails that
// differ between left and right.
TEST_P(ReverbTest, BandDecaysFollowTheirRt60) {
  fx.SetControl("LF X", 300.0f);
  for (auto [low, mid] : {std::pair{1.5f, 1.5f}, {3.0f, 3.0f}, {6.0f, 6.0f}, {5.0f, 1.5f}}) {
    fx.SetControl("Low RT60", low);
    fx.SetControl("Mid RT60", mid);
    const auto [left, right] = WetImpulseResponse(std::max(low, mid) * 1.2 + 0.5);
    for (const Signal* s : {&left, &right}) EXPECT_NEAR(BandT60(*s, 1000.0, 1.4), mid, 0.15 * mid) << low << "/" << mid;
    EXPECT_NEAR(BandT60(left, 60.0, 1.4), low, 0.25 * low) << low << "/" << mid;
    EXPECT_LT(std::fabs(Correlation(left, right)), 0.2) << low << "/" << mid;
  }
}

TEST_P(ReverbTest, WetOnsetFollowsInDelay) {
  for (float ms : {20.0f, 60.0f, 100.0f}) {
    fx.SetControl("In Delay", ms);
    auto [left, right] = WetImpulseResponse(0.3);
    double threshold = 1e-3 * std::max(Peak(left), Peak(right));
    size_t first = 0;
    while (first < left.size() && std::fabs(left[first]) < threshold && std::fabs(right[first]) < threshold) ++first;
    EXPECT_NEAR(double(first) / rate() * 1000.0, ms, 1.0) << "In Delay " << ms;
  }
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
