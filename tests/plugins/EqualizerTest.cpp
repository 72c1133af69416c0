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

const char* const kLabel = "zembrovane_equalizer_10_band_stereo";
const char* const kBands[10] = {"31 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                                "1 kHz", "2 kHz", "4 kHz",  "8 kHz",  "16 kHz"};

class EqualizerTest : public ::testing::TestWithParam<unsigned long> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.Load(BuildPath("share/plugins/Equalizer.so"), kLabel, GetParam())) << fx.Error();
  }
  double rate() const { return double(GetParam()); }

  // Gain in dB of a steady sine through the equalizer, both channels, in place.
  double SineGainDb(double freq) {
    fx.Activate();
    Signal left = Sine(freq, 0.1, 0.6, rate()), right = left;
    fx.RunStereo(left, right);
    size_t from = left.size() / 2;
    Signal ref = Sine(freq, 0.1, 0.6, rate());
    EXPECT_NEAR(Rms(left, from), Rms(right, from), 1e-6);
    return Db(Rms(left, from) / Rms(ref, from));
  }

  // Response in dB at each band centre (and, from index 10, at the nine points half-way between
  // centres) of the equalizer freshly activated on these band settings.
  std::vector<double> CentresDb(const double* settings) {
    for (int b = 0; b < 10; ++b) fx.SetControl(kBands[b], float(settings[b]));
    fx.Activate();
    Signal left(size_t(rate()), 0.0f), right;
    left[0] = 1.0f;
    right = left;
    fx.RunStereo(left, right, 4096);
    std::vector<double> db;
    for (int b = 0; b < 19; ++b) db.push_back(ResponseDb(left, 1000.0 * std::pow(2.0, b < 10 ? b - 5 : b - 14.5), rate()));
    return db;
  }

  LadspaHost fx;
};

TEST_P(EqualizerTest, EachBandReachesItsSettingAtItsCentre) {
  for (int b = 0; b < 10; ++b) {
    double centre = 1000.0 * std::pow(2.0, b - 5);
    for (float setting : {12.0f, -12.0f}) {
      for (const char* name : kBands) fx.SetControl(name, 0.0f);
      ASSERT_TRUE(fx.SetControl(kBands[b], setting));
      EXPECT_NEAR(SineGainDb(centre), setting, 0.5) << kBands[b] << " at " << GetParam() << " Hz";
    }
  }
}

// Neighbouring bands overlap; the sections are set so that together they meet every setting.
TEST_P(EqualizerTest, AnySettingIsMetAtEveryCentre) {
  std::mt19937 random(24);
  std::uniform_real_distribution<double> gain(-12.0, 12.0);
  double worst = 0;
  for (int run = 0; run < 1000; ++run) {
    double set[10];
    for (double& s : set) s = gain(random);
    std::vector<double> db = CentresDb(set);
    for (int b = 0; b < 10; ++b) {
      worst = std::max(worst, std::fabs(db[b] - set[b]));
      ASSERT_NEAR(db[b], set[b], 0.5) << kBands[b] << " in run " << run << " (seed 24)";
    }
    // Between two centres the response stays near the span of their settings: no ripple.
    for (int b = 0; b < 9; ++b) {
      EXPECT_LT(db[10 + b], std::max(set[b], set[b + 1]) + 2.0) << "above " << kBands[b] << " in run " << run;
      EXPECT_GT(db[10 + b], std::min(set[b], set[b + 1]) - 2.0) << "above " << kBands[b] << " in run " << run;
    }
  }
  RecordProperty("worst_centre_error_db", std::to_string(worst));
}

TEST_P(EqualizerTest, ProgramsMeetTheirRowsAndBypassIsExact) {
  for (const ExternalEqualizerProgram& program : kExternalEqualizerPrograms) {
    std::vector<double> db = CentresDb(program.values + 1);
    for (int b = 0; b < 10; ++b) EXPECT_NEAR(db[b], program.values[1 + b], 0.5) << program.name << " " << kBands[b];
  }
  ASSERT_TRUE(fx.SetControl("Bypass", 1.0f));
  fx.Activate();
  Signal left = Noise(0.5, 5000, 1), right = Noise(0.5, 5000, 2), inLeft = left, inRight = right;
  fx.RunStereo(left, right);
  EXPECT_TRUE(left == inLeft && right == inRight);
}

TEST_P(EqualizerTest, FlatSettingsLeaveTheSpectrumAlone) {
  for (double f = 20.0; f <= 20000.0; f *= std::pow(2.0, 1.0 / 3.0))
    EXPECT_NEAR(SineGainDb(f), 0.0, 0.01) << f << " Hz";
}

TEST_P(EqualizerTest, GainScalesTheOutput) {
  ASSERT_TRUE(fx.SetControl("Gain", 2.0f));
  EXPECT_NEAR(SineGainDb(440.0), Db(2.0), 0.01);
  ASSERT_TRUE(fx.SetControl("Gain", 0.0f));
  EXPECT_LT(SineGainDb(440.0), -120.0);
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
