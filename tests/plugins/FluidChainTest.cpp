// The three effects loaded by fluidsynth's own LADSPA host, linked in place on the main output
// the way the sequencer's chain links them, rendering a real soundfont.
#include <gtest/gtest.h>
#include <fluidsynth.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tests/plugins/AudioMeasure.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

struct Member {
  const char* name;
  const char* file;
  const char* label;
  const char* ports[4];
};

const Member kChain[] = {
    {"738150399", "Equalizer.so", "zembrovane_equalizer_10_band_stereo",
     {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"}},
    {"738150400", "ReverbZitaRev1.so", "reverb_zita_rev1",
     {"Audio Input 1", "Audio Input 2", "Audio Output 1", "Audio Output 2"}},
    {"738150395", "Limiter.so", "zembrovane_hard_limiter_stereo",
     {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"}},
};

class FluidChainTest : public ::testing::TestWithParam<double> {
 protected:
  void SetUp() override {
    settings = new_fluid_settings();
    fluid_settings_setint(settings, "synth.ladspa.active", 1);
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    fluid_settings_setnum(settings, "synth.sample-rate", GetParam());
    fluid_settings_setnum(settings, "synth.gain", 1.0);
    synth = new_fluid_synth(settings);
    ASSERT_NE(synth, nullptr);
    ASSERT_NE(fluid_synth_sfload(synth, "/usr/share/sounds/sf2/TimGM6mb.sf2", 1), FLUID_FAILED);
    fx = fluid_synth_get_ladspa_fx(synth);
    ASSERT_NE(fx, nullptr);
    for (const Member& m : kChain) {
      std::string lib = BuildPath(std::string("share/plugins/") + m.file);
      ASSERT_EQ(fluid_ladspa_add_effect(fx, m.name, lib.c_str(), m.label), FLUID_OK) << m.file;
      const char* nodes[4] = {"Main:L", "Main:R", "Main:L", "Main:R"};
      for (int p = 0; p < 4; ++p) {
        ASSERT_TRUE(fluid_ladspa_effect_port_exists(fx, m.name, m.ports[p])) << m.ports[p];
        ASSERT_EQ(fluid_ladspa_effect_link(fx, m.name, m.ports[p], nodes[p]), FLUID_OK) << m.ports[p];
      }
    }
    char error[256] = "";
    ASSERT_EQ(fluid_ladspa_activate(fx), FLUID_OK);
    ASSERT_EQ(fluid_ladspa_check(fx, error, sizeof error), FLUID_OK) << error;
    for (auto [port, value] : kChainReverbSettings) ASSERT_EQ(fluid_ladspa_effect_set_control(fx, "738150400", port, value), FLUID_OK);
  }
  void TearDown() override {
    if (synth) delete_fluid_synth(synth);
    if (settings) delete_fluid_settings(settings);
  }

  // A loud chord held for `held` seconds, then `tail` seconds after its release.
  void Render(double held, double tail, Signal& left, Signal& right) {
    size_t n1 = size_t(held * GetParam()), n2 = size_t(tail * GetParam());
    left.assign(n1 + n2, 0.0f);
    right.assign(n1 + n2, 0.0f);
    for (int key : {48, 55, 60, 64, 67, 72}) fluid_synth_noteon(synth, 0, key, 127);
    fluid_synth_write_float(synth, int(n1), left.data(), 0, 1, right.data(), 0, 1);
    for (int key : {48, 55, 60, 64, 67, 72}) fluid_synth_noteoff(synth, 0, key);
    fluid_synth_write_float(synth, int(n2), left.data() + n1, 0, 1, right.data() + n1, 0, 1);
  }

  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_ladspa_fx_t* fx = nullptr;
};

TEST_P(FluidChainTest, ChainRendersLimitedFiniteSound) {
  ASSERT_EQ(fluid_ladspa_effect_set_control(fx, "738150395", "Ceiling", -12.0f), FLUID_OK);
  ASSERT_EQ(fluid_ladspa_effect_set_control(fx, "738150399", "Gain", 4.0f), FLUID_OK);
  Signal left, right;
  Render(1.0, 0.5, left, right);
  for (size_t i = 0; i < left.size(); ++i) ASSERT_TRUE(std::isfinite(left[i]) && std::isfinite(right[i])) << i;
  const float ceiling = float(std::pow(10.0, -12.0 / 20.0));
  EXPECT_LE(Peak(left), ceiling);
  EXPECT_LE(Peak(right), ceiling);
  EXPECT_GT(Peak(left), 0.5 * ceiling);
}

INSTANTIATE_TEST_SUITE_P(Rates, FluidChainTest, ::testing::Values(44100.0, 96000.0));

}  // namespace
}  // namespace zs::test
