// Outrigger in fluidsynth's LADSPA host, linked in place on the main output as the sequencer
// links it, rendering a TimGM6mb note through the test VST.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/outrigger/ChildRun.h"
#include "tests/support/TestServers.h"

namespace {

constexpr int Frames = 22050;

// Adds Outrigger to the synthesizer's LADSPA host, linked in place on the main output.
int AddOutrigger(fluid_ladspa_fx_t* fx) {
  std::string library = zs::test::BuildPath("share/plugins/Outrigger.so");
  if (fx == nullptr || fluid_ladspa_add_effect(fx, "738150397", library.c_str(), "zembrovane_fx_linuxvst") != FLUID_OK)
    return 111;
  const char* links[][2] = {
      {"Input (Left)", "Main:L"}, {"Output (Left)", "Main:L"}, {"Input (Right)", "Main:R"}, {"Output (Right)", "Main:R"}};
  for (auto& link : links) {
    if (fluid_ladspa_effect_link(fx, "738150397", link[0], link[1]) != FLUID_OK) return 112;
  }
  char error[256] = "";
  if (fluid_ladspa_activate(fx) != FLUID_OK || fluid_ladspa_check(fx, error, sizeof(error)) != FLUID_OK) return 113;
  return 0;
}

// Renders half a second of middle C, through Outrigger or not, into `file` (left then right).
int RenderNote(const char* file, bool withOutrigger = true) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setint(settings, "synth.ladspa.active", 1);
  fluid_settings_setnum(settings, "synth.sample-rate", 44100.0);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (synth == nullptr || fluid_synth_sfload(synth, "/usr/share/sounds/sf2/TimGM6mb.sf2", 1) == FLUID_FAILED) return 110;
  if (withOutrigger) {
    if (int code = AddOutrigger(fluid_synth_get_ladspa_fx(synth)); code != 0) return code;
  }

  fluid_synth_noteon(synth, 0, 60, 100);
  std::vector<float> left(Frames), right(Frames);
  fluid_synth_write_float(synth, Frames, left.data(), 0, 1, right.data(), 0, 1);
  left.insert(left.end(), right.begin(), right.end());
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return zs::test::WriteFloats(file, left) ? 0 : 114;
}

TEST(OutriggerInFluidsynth, TheVstGainAndParametersReachTheRenderedNote) {
  std::string dir = zs::test::MakeTempDir("outrigger-fluid");
  std::filesystem::copy_file(ZS_TEST_VST, dir + "/TestVst.so");

  // Without settings Outrigger passes the synthesizer's output unchanged.
  zs::test::ChildRun bare = zs::test::RunInChild(dir, nullptr, [] { return RenderNote("bare", false); });
  zs::test::ChildRun plain = zs::test::RunInChild(dir, nullptr, [] { return RenderNote("plain"); });
  ASSERT_EQ(bare.exitCode, 0) << bare.out;
  ASSERT_EQ(plain.exitCode, 0) << plain.out;
  EXPECT_EQ(zs::test::ReadFloats(dir + "/bare"), zs::test::ReadFloats(dir + "/plain"));
  zs::test::ChildRun vst = zs::test::RunInChild(dir, "TestVst.so:-1:1:0 0.25:", [] { return RenderNote("vst"); });
  ASSERT_EQ(vst.exitCode, 0) << vst.out;
  EXPECT_NE(vst.out.find("ladspa linux vst: loaded and configured vst TestVst.so\n"), std::string::npos) << vst.out;

  std::vector<float> reference = zs::test::ReadFloats(dir + "/plain");
  std::vector<float> processed = zs::test::ReadFloats(dir + "/vst");
  ASSERT_EQ(reference.size(), 2u * Frames);
  ASSERT_EQ(processed.size(), reference.size());
  double energy = 0.0, worst = 0.0;
  for (size_t i = 0; i < reference.size(); ++i) {
    energy += reference[i] * reference[i];
    worst = std::max(worst, std::fabs(double(processed[i]) - 0.25 * reference[i]));
  }
  EXPECT_GT(std::sqrt(energy / reference.size()), 1e-3) << "the note is silent";
  EXPECT_LT(worst, 1e-6);

  // fluidsynth hands the effect its own small blocks; the VST sees every one of them.
  int frames = 0;
  for (const auto& line : vst.vstLog) {
    if (line.rfind("processReplacing ", 0) == 0) frames += std::stoi(line.substr(17));
  }
  EXPECT_GE(frames, Frames);
}

}  // namespace
