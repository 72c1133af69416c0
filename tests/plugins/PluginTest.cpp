// SPDX-License-Identifier: LGPL-2.1-or-later
// What every effect promises its host, then what each does to the sound. That the chain finds
// each by label and links its ports by name shows in the chain tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <utility>

#include "editor/Sequencer.h"
#include "tests/plugins/AudioMeasure.h"
#include "tests/support/LadspaHost.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

struct PluginInfo {
  const char* name;
  const char* file;
  const char* label;
  std::vector<std::pair<const char*, float>> settings;  // not the defaults, so every stage works
};

enum { kEqualizer, kReverb, kLimiter };
const PluginInfo kPlugins[] = {
    {"Equalizer", "Equalizer.so", "zembrovane_equalizer_10_band_stereo",
     {{"31 Hz", 6}, {"63 Hz", -6}, {"125 Hz", 6}, {"250 Hz", -6}, {"500 Hz", 6}, {"1 kHz", -6},
      {"2 kHz", 6}, {"4 kHz", -6}, {"8 kHz", 6}, {"16 kHz", 12}, {"Gain", 1.5f}}},
    {"Reverb", "ReverbZitaRev1.so", "reverb_zita_rev1",
     {{"In Delay", 33}, {"Low RT60", 3}, {"Mid RT60", 2}, {"Eq1 Level", 6}, {"Eq2 Level", -4},
      {"Dry/Wet Mix", 0.3f}, {"Level", 6}}},
    {"Limiter", "Limiter.so", "zembrovane_hard_limiter_stereo", {{"Ceiling", -9}, {"Release", 30}}},
};

void Load(LadspaHost& host, int plugin, unsigned long rate) {
  const PluginInfo& p = kPlugins[plugin];
  ASSERT_TRUE(host.Load(BuildPath(std::string("share/plugins/") + p.file), p.label, rate)) << host.Error();
}

class PluginContractTest : public ::testing::TestWithParam<std::tuple<int, unsigned long>> {
 protected:
  const PluginInfo& plugin() const { return kPlugins[std::get<0>(GetParam())]; }
  unsigned long rate() const { return std::get<1>(GetParam()); }

  void SetUp() override { Open(fx); }
  void Open(LadspaHost& host) {
    Load(host, std::get<0>(GetParam()), rate());
    for (auto [name, value] : plugin().settings) ASSERT_TRUE(host.SetControl(name, value)) << name;
  }
  Signal Material(uint32_t seed, double seconds) {
    Signal s = Noise(0.4, size_t(seconds * double(rate())), seed);
    for (size_t i = 0; i < s.size(); i += 4111) s[i] = 1.0f;  // a few full-scale hits
    return s;
  }

  LadspaHost fx;
};

// Not on the block size, or what it played before Activate.
TEST_P(PluginContractTest, OutputDependsOnlyOnTheInput) {
  auto run = [&](LadspaHost& host, size_t block) {
    std::pair<Signal, Signal> out{Material(21, 1.0), Material(22, 1.0)};
    host.RunStereo(out.first, out.second, block);
    return out;
  };
  const auto [outL, outR] = run(fx, 128);
  fx.Activate();
  EXPECT_TRUE(run(fx, 128) == std::pair(outL, outR)) << "Activate clears the state";
  LadspaHost odd;
  Open(odd);
  const auto [left, right] = run(odd, 37);
  for (size_t i = 0; i < left.size(); ++i) {
    ASSERT_NEAR(left[i], outL[i], 1e-4) << i;
    ASSERT_NEAR(right[i], outR[i], 1e-4) << i;
  }
}

// Huge input gives finite output, and silence after noise decays to zero without denormals.
TEST_P(PluginContractTest, OutputStaysFiniteAndNormal) {
  fx.SetControl("Gain", 4.0f);
  for (const char* band : {"31 Hz", "125 Hz", "500 Hz", "2 kHz", "8 kHz"}) fx.SetControl(band, 12.0f);
  Signal left = Noise(FLT_MAX, size_t(rate()), 51), right = Noise(1e20, size_t(rate()), 52);
  for (size_t i = 0; i < left.size(); i += 3) left[i] = i % 2 ? FLT_MAX : -FLT_MAX;
  left.resize(2 * left.size(), 0.0f);
  right.resize(left.size(), 0.0f);
  fx.RunStereo(left, right);
  auto finite = [](float v) { return std::isfinite(v); };
  EXPECT_TRUE(std::all_of(left.begin(), left.end(), finite) && std::all_of(right.begin(), right.end(), finite));

  LadspaHost plain;
  Open(plain);
  left = Material(61, 1.0);
  right = Material(62, 1.0);
  left.resize(size_t(rate()) * 20, 0.0f);
  right.resize(left.size(), 0.0f);
  plain.RunStereo(left, right);
  auto normal = [](float v) { return std::fpclassify(v) != FP_SUBNORMAL; };
  EXPECT_TRUE(std::all_of(left.begin(), left.end(), normal) && std::all_of(right.begin(), right.end(), normal));
  EXPECT_EQ(Peak(left, left.size() - size_t(rate())), 0.0);
}

// Whatever the settings; only delayed by the latency the effect reports (the limiter's look-ahead).
TEST_P(PluginContractTest, BypassPassesTheInputUnchanged) {
  ASSERT_TRUE(fx.SetControl("Bypass", 1.0f));
  const Signal inL = Material(1, 0.5), inR = Material(2, 0.5);
  Signal left = inL, right = inR;
  fx.RunStereo(left, right, 100);
  const float latency = fx.GetControl("latency");
  const size_t d = std::isnan(latency) ? 0 : size_t(latency);
  for (size_t i = 0; i < left.size(); ++i) {
    ASSERT_EQ(left[i], i < d ? 0.0f : inL[i - d]) << i;
    ASSERT_EQ(right[i], i < d ? 0.0f : inR[i - d]) << i;
  }
}

std::string EffectName(const ::testing::TestParamInfo<std::tuple<int, unsigned long>>& info) {
  return std::string(kPlugins[std::get<0>(info.param)].name) + "_" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllEffects, PluginContractTest,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Values(22050ul, 44100ul, 96000ul)),
                         EffectName);

template <int Plugin>
class EffectTest : public ::testing::TestWithParam<unsigned long> {
 protected:
  void SetUp() override { Load(fx, Plugin, GetParam()); }
  double rate() const { return double(GetParam()); }

  std::pair<Signal, Signal> ImpulseResponse(double seconds, size_t block = 128) {
    fx.Activate();
    Signal left(size_t(seconds * rate()), 0.0f);
    left[0] = 1.0f;
    Signal right = left;
    fx.RunStereo(left, right, block);
    return {left, right};
  }

  LadspaHost fx;
};

using EqualizerTest = EffectTest<kEqualizer>;
using LimiterTest = EffectTest<kLimiter>;

// Neighbouring bands overlap; the sections are set so that together they meet every setting:
// each band alone at either end of its range, the chain's programs, and random settings.
TEST_P(EqualizerTest, AnySettingIsMetAtEveryCentre) {
  const auto& bands = kPlugins[kEqualizer].settings;  // the ten bands first
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
    for (int b = 0; b < 10; ++b) fx.SetControl(bands[b].first, float(set[size_t(b)]));
    const auto [left, right] = ImpulseResponse(1.0, 4096);
    ASSERT_EQ(left, right);
    for (int b = 0; b < 10; ++b)
      ASSERT_NEAR(ResponseDb(left, 1000.0 * std::pow(2.0, b - 5), rate()), set[b], 0.5)
          << bands[b].first << " in " << run;
    for (int b = 0; b < 9; ++b) {
      const double between = ResponseDb(left, 1000.0 * std::pow(2.0, b - 4.5), rate());
      EXPECT_LT(between, std::max(set[b], set[b + 1]) + 2.0) << "above " << bands[b].first << " in " << run;
      EXPECT_GT(between, std::min(set[b], set[b + 1]) - 2.0) << "above " << bands[b].first << " in " << run;
    }
  }
}

TEST_P(EqualizerTest, GainScalesTheWholeOutput) {
  ASSERT_TRUE(fx.SetControl("Gain", 2.0f));
  EXPECT_NEAR(ResponseDb(ImpulseResponse(1.0, 4096).first, 440.0, rate()), Db(2.0), 0.01);
  ASSERT_TRUE(fx.SetControl("Gain", 0.0f));
  EXPECT_LT(ResponseDb(ImpulseResponse(1.0, 4096).first, 440.0, rate()), -120.0);
}

TEST_P(LimiterTest, NothingPassesTheCeiling) {
  for (float ceilingDb : {0.0f, -6.0f, -20.0f}) {
    const float ceiling = float(std::pow(10.0, ceilingDb / 20.0));
    const double over = ceiling * std::pow(10.0, 24.0 / 20.0);
    size_t n = size_t(2 * rate());
    Signal impulses(n, 0.0f);
    for (size_t i = 0; i < n; i += 701) impulses[i] = float(i % 2 ? over : -over);
    for (size_t i = n / 2; i < n / 2 + 50; ++i) impulses[i] = float(over);  // a burst of them
    const Signal inputs[][2] = {
        {Sine(997.0, over, 2.0, rate()), Sine(61.0, over, 2.0, rate())},
        {Noise(over, n, 11), Noise(over, n, 12)},
        {impulses, Signal(n, 0.0f)},
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

class ReverbTest : public EffectTest<kReverb> {
 protected:
  void SetUp() override {
    EffectTest::SetUp();  // then the settings of the sequencer's chain
    for (auto [name, value] : {std::pair{"In Delay", 60.0f}, {"LF X", 105.737f}, {"Low RT60", 1.68179f},
                               {"Mid RT60", 1.68179f}, {"HF Damping", 2984.89f}, {"Eq1 Freq", 112.468f},
                               {"Eq1 Level", 0.0f}, {"Eq2 Freq", 449.873f}, {"Eq2 Level", 0.0f},
                               {"Dry/Wet Mix", 0.0f}, {"Level", 6.0f}})
      ASSERT_TRUE(fx.SetControl(name, value)) << name;
  }

  double BandT60(const Signal& s, double centre, double q) {
    std::vector<double> h(s.begin(), s.end());
    return SchroederT60(BandPass(BandPass(h, centre, q, rate()), centre, q, rate()), rate());
  }
};

// The wet tail starts after In Delay; 60 Hz decays by Low RT60 and 1 kHz by Mid RT60, in tails
// that differ between left and right.
TEST_P(ReverbTest, WetOnsetAndBandDecaysFollowTheirSettings) {
  fx.SetControl("LF X", 300.0f);
  fx.SetControl("Dry/Wet Mix", 1.0f);
  for (auto [low, mid, ms] :
       {std::tuple{1.5f, 1.5f, 20.0f}, {3.0f, 3.0f, 60.0f}, {6.0f, 6.0f, 100.0f}, {5.0f, 1.5f, 40.0f}}) {
    fx.SetControl("Low RT60", low);
    fx.SetControl("Mid RT60", mid);
    fx.SetControl("In Delay", ms);
    const auto [left, right] = ImpulseResponse(std::max(low, mid) * 1.2 + 0.5);
    const double threshold = 1e-3 * std::max(Peak(left), Peak(right));
    size_t first = 0;
    while (first < left.size() && std::fabs(left[first]) < threshold && std::fabs(right[first]) < threshold) ++first;
    EXPECT_NEAR(double(first) / rate() * 1000.0, ms, 1.0) << "In Delay " << ms;
    for (const Signal* s : {&left, &right}) EXPECT_NEAR(BandT60(*s, 1000.0, 1.4), mid, 0.15 * mid) << low << "/" << mid;
    EXPECT_NEAR(BandT60(left, 60.0, 1.4), low, 0.25 * low) << low << "/" << mid;
    EXPECT_LT(std::fabs(Correlation(left, right)), 0.2) << low << "/" << mid;
  }
}

// Every audible setting moved at once while a low sine plays: the wet output may swell, but
// never steps faster than a sine of its own peak level can (a click would).
TEST_P(ReverbTest, SettingChangesDoNotClick) {
  const double freq = 110.0;
  fx.SetControl("Dry/Wet Mix", 1.0f);
  fx.SetControl("Level", 0.0f);
  Signal left = Sine(freq, 0.5, 3.0, rate()), right = left;
  const size_t change = size_t(2 * rate()) / 128 * 128;
  fx.RunStereo(left, right, 128, [&](size_t at) {
    if (at != change) return;
    for (auto [name, value] :
         {std::pair{"In Delay", 100.0f}, {"Mid RT60", 8.0f}, {"Eq1 Level", 15.0f}, {"Level", 6.0f}})
      fx.SetControl(name, value);
  });
  EXPECT_LT(MaxStep(left, change), 1.5 * Peak(left, change) * 2.0 * M_PI * freq / rate());
}

INSTANTIATE_TEST_SUITE_P(Rates, EqualizerTest, ::testing::Values(44100ul, 96000ul));
INSTANTIATE_TEST_SUITE_P(Rates, LimiterTest, ::testing::Values(44100ul, 96000ul));
INSTANTIATE_TEST_SUITE_P(Rates, ReverbTest, ::testing::Values(44100ul, 96000ul));

}  // namespace
}  // namespace zs::test
