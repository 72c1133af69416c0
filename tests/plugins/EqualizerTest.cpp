// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "editor/Sequencer.h"

#include "tests/plugins/AudioMeasure.h"
#include "tests/support/LadspaHost.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

const char* const kBands[10] = {"31 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                                "1 kHz", "2 kHz", "4 kHz",  "8 kHz",  "16 kHz"};

class EqualizerTest : public ::testing::TestWithParam<unsigned long> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.Load(BuildPath("share/plugins/Equalizer.so"), "zembrovane_equalizer_10_band_stereo", GetParam()))
        << fx.Error();
  }
  double rate() const { return double(GetParam()); }

  // The response of the equalizer, freshly activated, to an impulse into both channels; the
  // two channels must answer alike.
  Signal ImpulseResponse() {
    fx.Activate();
    Signal left(size_t(rate()), 0.0f);
    left[0] = 1.0f;
    Signal right = left;
    fx.RunStereo(left, right, 4096);
    EXPECT_EQ(left, right);
    return left;
  }

  LadspaHost fx;
};

// Neighbouring bands overlap; the sections are set so that together they meet every setting:
// each band alone at either end of its range, the chain's programs, and random settings.
TEST_P(EqualizerTest, AnySettingIsMetAtEveryCentre) {
  std::vector<std::vector<double>> settings;
  for (int b = 0; b < 10; ++b) {
    for (double gain : {12.0, -12.0}) {
      settings.emplace_back(10, 0.0);
      settings.back()[size_t(b)] = gain;
    }
  }
  for (const ExternalEqualizerProgram& program : kExternalEqualizerPrograms)
    settings.emplace_back(program.values + 1, program.values + 11);
  std::mt19937 random(24);
  std::uniform_real_distribution<double> gain(-12.0, 12.0);
  for (int run = 0; run < 1000; ++run) {
    settings.emplace_back(10);
    for (double& s : settings.back()) s = gain(random);
  }
  for (size_t run = 0; run < settings.size(); ++run) {
    const auto& set = settings[run];
    for (int b = 0; b < 10; ++b) fx.SetControl(kBands[b], float(set[size_t(b)]));
    const Signal left = ImpulseResponse();
    // At each centre, and between two centres near the span of their settings: no ripple.
    for (int b = 0; b < 10; ++b)
      ASSERT_NEAR(ResponseDb(left, 1000.0 * std::pow(2.0, b - 5), rate()), set[b], 0.5) << kBands[b] << " in " << run;
    for (int b = 0; b < 9; ++b) {
      const double between = ResponseDb(left, 1000.0 * std::pow(2.0, b - 4.5), rate());
      EXPECT_LT(between, std::max(set[b], set[b + 1]) + 2.0) << "above " << kBands[b] << " in " << run;
      EXPECT_GT(between, std::min(set[b], set[b + 1]) - 2.0) << "above " << kBands[b] << " in " << run;
    }
  }
}

TEST_P(EqualizerTest, FlatSettingsLeaveTheSpectrumAloneAndGainScales) {
  const Signal flat = ImpulseResponse();
  for (double f = 20.0; f <= 20000.0; f *= std::pow(2.0, 1.0 / 3.0))
    EXPECT_NEAR(ResponseDb(flat, f, rate()), 0.0, 0.01) << f << " Hz";
  ASSERT_TRUE(fx.SetControl("Gain", 2.0f));
  EXPECT_NEAR(ResponseDb(ImpulseResponse(), 440.0, rate()), Db(2.0), 0.01);
  ASSERT_TRUE(fx.SetControl("Gain", 0.0f));
  EXPECT_LT(ResponseDb(ImpulseResponse(), 440.0, rate()), -120.0);
}

// A setting moved while a sine plays glides: no step bigger than the sine itself makes.
TEST_P(EqualizerTest, ChangesDoNotClick) {
  const double freq = 125.0, amplitude = 0.2;
  Signal left = Sine(freq, amplitude, 1.0, rate()), right = left;
  const size_t half = left.size() / 2 / 64 * 64, quarter = half / 2 / 64 * 64;
  fx.Activate();
  fx.RunStereo(left, right, 64, [&](size_t at) {
    if (at == quarter) fx.SetControl("125 Hz", 12.0f);
    if (at == half || at == half + quarter) fx.SetControl("Bypass", at == half ? 1.0f : 0.0f);
  });
  // The steepest step a 125 Hz sine at +12 dB can take per sample, with a margin for the glide.
  EXPECT_LT(MaxStep(left), 1.2 * 4.0 * amplitude * 2.0 * M_PI * freq / rate());
}

INSTANTIATE_TEST_SUITE_P(Rates, EqualizerTest, ::testing::Values(44100ul, 96000ul));

}  // namespace
}  // namespace zs::test
