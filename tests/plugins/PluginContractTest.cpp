// SPDX-License-Identifier: LGPL-2.1-or-later
// What every effect of the chain promises its host, checked on each of the three.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <tuple>

#include "tests/plugins/AudioMeasure.h"
#include "tests/support/LadspaHost.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

struct PluginInfo {
  const char* name;
  const char* file;
  const char* label;
  unsigned long id;
  const char* ports[4];
  std::vector<std::pair<const char*, float>> settings;  // not the defaults, so every stage works
};

const PluginInfo kPlugins[] = {
    {"Equalizer", "Equalizer.so", "zembrovane_equalizer_10_band_stereo", 738150399,
     {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"},
     {{"31 Hz", 6}, {"63 Hz", -6}, {"125 Hz", 6}, {"250 Hz", -6}, {"500 Hz", 6}, {"1 kHz", -6},
      {"2 kHz", 6}, {"4 kHz", -6}, {"8 kHz", 6}, {"16 kHz", 12}, {"Gain", 1.5f}}},
    {"Reverb", "ReverbZitaRev1.so", "reverb_zita_rev1", 738150400,
     {"Audio Input 1", "Audio Input 2", "Audio Output 1", "Audio Output 2"},
     {{"In Delay", 33}, {"Low RT60", 3}, {"Mid RT60", 2}, {"Eq1 Level", 6}, {"Eq2 Level", -4},
      {"Dry/Wet Mix", 0.3f}, {"Level", 6}}},
    {"Limiter", "Limiter.so", "zembrovane_hard_limiter_stereo", 738150395,
     {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"},
     {{"Ceiling", -9}, {"Release", 30}}},
};

class PluginContractTest : public ::testing::TestWithParam<std::tuple<int, unsigned long>> {
 protected:
  const PluginInfo& plugin() const { return kPlugins[std::get<0>(GetParam())]; }
  unsigned long rate() const { return std::get<1>(GetParam()); }
  std::string path() const { return BuildPath(std::string("share/plugins/") + plugin().file); }

  void SetUp() override { Open(fx); }
  void Open(LadspaHost& host) {
    ASSERT_TRUE(host.Load(path(), plugin().label, rate())) << host.Error();
    for (auto [name, value] : plugin().settings) ASSERT_TRUE(host.SetControl(name, value)) << name;
  }
  // Loud pink-ish test material: noise with a few full-scale hits.
  Signal Material(uint32_t seed, double seconds) {
    Signal s = Noise(0.4, size_t(seconds * double(rate())), seed);
    for (size_t i = 0; i < s.size(); i += 4111) s[i] = 1.0f;
    return s;
  }

  LadspaHost fx;
};

// The chain finds each effect by label and id and links its audio by these port names.
TEST_P(PluginContractTest, HasTheChainsIdAndPorts) {
  EXPECT_EQ(fx.Descriptor()->UniqueID, plugin().id);
  for (int p = 0; p < 4; ++p) {
    int index = fx.PortIndex(plugin().ports[p]);
    ASSERT_GE(index, 0) << plugin().ports[p];
    LADSPA_PortDescriptor pd = fx.Descriptor()->PortDescriptors[index];
    EXPECT_TRUE(LADSPA_IS_PORT_AUDIO(pd));
    EXPECT_EQ(LADSPA_IS_PORT_INPUT(pd) != 0, p < 2) << plugin().ports[p];
  }
  EXPECT_TRUE(fx.SetControl("Bypass", 0.0f));
}

// The output depends on the input only: not on in-place buffers, the block size, or what an
// instance played before Activate.
TEST_P(PluginContractTest, OutputDependsOnlyOnTheInput) {
  const Signal inL = Material(21, 1.0), inR = Material(22, 1.0);
  LadspaHost inPlace, odd;
  for (LadspaHost* host : {&inPlace, &odd}) Open(*host);
  Signal outL, outR;
  fx.RunStereo(inL, inR, outL, outR, 128);
  auto inPlaceRun = [&](LadspaHost& host, size_t block) {
    std::pair<Signal, Signal> out{inL, inR};
    host.RunStereo(out.first, out.second, block);
    return out;
  };
  EXPECT_TRUE(inPlaceRun(inPlace, 128) == std::pair(outL, outR));
  fx.Activate();
  EXPECT_TRUE(inPlaceRun(fx, 128) == std::pair(outL, outR)) << "Activate clears the state";
  const auto [left, right] = inPlaceRun(odd, 37);
  for (size_t i = 0; i < left.size(); ++i) {
    ASSERT_NEAR(left[i], outL[i], 1e-4) << i;
    ASSERT_NEAR(right[i], outR[i], 1e-4) << i;
  }
}

TEST_P(PluginContractTest, FiniteInputGivesFiniteOutput) {
  fx.SetControl("Gain", 4.0f);
  for (const char* band : {"31 Hz", "125 Hz", "500 Hz", "2 kHz", "8 kHz"}) fx.SetControl(band, 12.0f);
  Signal left = Noise(FLT_MAX, size_t(rate()), 51), right = Noise(1e20, size_t(rate()), 52);
  for (size_t i = 0; i < left.size(); i += 3) left[i] = i % 2 ? FLT_MAX : -FLT_MAX;
  left.resize(2 * left.size(), 0.0f);
  right.resize(left.size(), 0.0f);
  fx.RunStereo(left, right);
  auto finite = [](float v) { return std::isfinite(v); };
  EXPECT_TRUE(std::all_of(left.begin(), left.end(), finite) && std::all_of(right.begin(), right.end(), finite));
}

TEST_P(PluginContractTest, SilenceAfterNoiseNeverTurnsDenormal) {
  Signal left = Material(61, 1.0), right = Material(62, 1.0);
  left.resize(size_t(rate()) * 20, 0.0f);
  right.resize(left.size(), 0.0f);
  fx.RunStereo(left, right);
  auto normal = [](float v) { return std::fpclassify(v) != FP_SUBNORMAL; };
  EXPECT_TRUE(std::all_of(left.begin(), left.end(), normal) && std::all_of(right.begin(), right.end(), normal));
  EXPECT_EQ(Peak(left, left.size() - size_t(rate())), 0.0);
}

// Bypassed, whatever its settings, an effect passes its input untouched, only delayed by the
// latency it reports (the limiter's look-ahead).
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

}  // namespace
}  // namespace zs::test
