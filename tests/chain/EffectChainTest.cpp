// SPDX-License-Identifier: LGPL-2.1-or-later
// The built plug-ins in fluidsynth's LADSPA host, rendered through the audio driver's block callback.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include "sound/SFOutput.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

namespace zs::test {
namespace {

namespace fs = std::filesystem;
using Signal = std::vector<float>;

std::string ProgramDirectory() { return BuildPath("bin/"); }
bool Contains(const std::string& text, const std::string& line) { return text.find(line + "\n") != std::string::npos; }

// Error of b against a, in dB below a, at the lag (b later than a) that fits best.
double AlignedSnr(const Signal& a, const Signal& b, int maxLag) {
  double best = -1e9;
  for (int lag = 0; lag <= maxLag; ++lag) {
    double signal = 0.0, noise = 0.0;
    for (size_t i = 0; i + lag < b.size() && i < a.size(); ++i) {
      double d = double(b[i + lag]) - a[i];
      signal += double(a[i]) * a[i];
      noise += d * d;
    }
    best = std::max(best, 10.0 * std::log10(signal / std::max(noise, 1e-30)));
  }
  return best;
}

constexpr int kRate = 44100;
// fluidsynth starts notes on its 64-frame blocks: lengths in whole blocks let renders compare sample by sample.
constexpr int kBlock = 64;
constexpr int kHeld = kRate / 2 / kBlock * kBlock;
constexpr int kTotal = 2 * kRate / kBlock * kBlock;
constexpr int kSecond = kRate / kBlock * kBlock;

class EffectChainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { UseNoAudioDevice(); }

  // The built-in reverb and chorus off, so that only the chain shapes the sound.
  bool Start(SFOutput& sf, const std::string& programDirectory, int soundfonts = 1) {
    std::vector<std::string> paths(soundfonts, kTimGM6mb);
    std::vector<double> gains(soundfonts, 1.0);
    bool ok = InitCapturingOutput(sf, paths, gains, out, programDirectory);
    for (int t = 0; t < 2; ++t) {
      sf.SetReverbEnabled(t, false);
      sf.SetChorusEnabled(t, false);
    }
    return ok;
  }

  static std::array<Signal, 2> PlayChord(SFOutput& sf, int velocity = 100) {
    Playhead playhead{};
    const int keys[] = {48, 55, 60, 64};
    for (int k : keys) sf.SendNoteOn(playhead, 0, k, velocity);
    std::array<Signal, 2> held, released;
    Render(sf, 0, kHeld, held[0], held[1]);
    for (int k : keys) sf.SendNoteOff(playhead, 0, k, 0);
    Render(sf, 0, kTotal - kHeld, released[0], released[1]);
    for (int c : {0, 1}) held[c].insert(held[c].end(), released[c].begin(), released[c].end());
    return held;
  }

  std::array<Signal, 2> DryChord() {
    SFOutput dry;
    EXPECT_TRUE(Start(dry, NoPluginsDirectory()));
    return PlayChord(dry);
  }

  std::string out;
};

TEST_F(EffectChainTest, EveryChainComesUpWithReverbOnAndEqualizerOff) {
  SFOutput sf;
  ASSERT_TRUE(Start(sf, ProgramDirectory(), 2));
  for (int i = 0; i < 2; ++i) {
    for (const char* effect : {"equalizer", "reverb", "limiter"})
      EXPECT_TRUE(Contains(out, "sf " + std::to_string(i) + " ladspa " + effect + " activated with success")) << out;
    EXPECT_TRUE(fluid_ladspa_is_active(fluid_synth_get_ladspa_fx(sf.GetSynth(i))));
    EXPECT_TRUE(sf.GetLimiterState(i).available && sf.GetLimiterState(i).active);
    // The bridge joins only soundfont 0's chain, and only with -x.
    EXPECT_FALSE(fluid_ladspa_effect_port_exists(fluid_synth_get_ladspa_fx(sf.GetSynth(i)), "738150397", "Input (Left)"));
  }
  for (const char* absent : {"error: could not set up", "error: sf", "error: turned off", "fxSettings"})
    EXPECT_EQ(out.find(absent), std::string::npos) << absent << "\n" << out;
  ASSERT_TRUE(sf.SetInstrument(1, 1, 0, 0));
  for (int track : {0, 1}) {
    EXPECT_EQ((std::array{sf.GetExternalReverbAvailable(track), sf.GetExternalReverbActive(track),
                          sf.GetExternalEqualizerAvailable(track), sf.GetExternalEqualizerActive(track)}),
              (std::array{true, true, true, false}))
        << track;
  }
  double reverb[ExternalEffect::kParams], eq[ExternalEffect::kParams];
  sf.GetExternalReverbParams(1, reverb);
  sf.GetExternalEqualizerParams(1, eq);
  EXPECT_EQ((std::array{reverb[4], reverb[9], reverb[10], eq[0], eq[10]}), (std::array{2984.89, 0.0, 6.0, 1.0, 0.0}));
}

TEST_F(EffectChainTest, SwitchingEffectsChangesTheSoundAndOffRestoresTheDrySound) {
  Signal dry = DryChord()[0], r;
  size_t tail = kHeld + kRate / 2;  // half a second after the release

  SFOutput sf;
  ASSERT_TRUE(Start(sf, ProgramDirectory()));
  EXPECT_GT(Rms(PlayChord(sf)[0], tail), 3.0 * Rms(dry, tail)) << "the external reverb is on after Init";

  // With the reverb off and the equalizer's parameters set while it is bypassed, the sound is dry.
  sf.SetExternalReverbActive(0, false);
  double eq[ExternalEffect::kParams] = {2.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  sf.SetExternalEqualizerParams(0, eq);
  Render(sf, 0, kSecond, r, r);  // the reverb's tail dies away
  EXPECT_GT(AlignedSnr(dry, PlayChord(sf)[0], 200), 60.0);

  sf.SetExternalEqualizerActive(0, true);
  EXPECT_NEAR(Rms(PlayChord(sf)[0]) / Rms(dry), 2.0, 0.1);

  sf.SetExternalEqualizerActive(0, false);
  Render(sf, 0, kSecond / 10 / kBlock * kBlock, r, r);  // the bypass fades over 10 ms
  EXPECT_GT(AlignedSnr(dry, PlayChord(sf)[0], 200), 60.0);
}

TEST_F(EffectChainTest, ParametersSetOnOneTrackReachEveryTrackOfItsSoundfont) {
  SFOutput sf;
  ASSERT_TRUE(Start(sf, ProgramDirectory(), 2));
  ASSERT_TRUE(sf.SetInstrument(7, 1, 0, 0));  // tracks 0 and 5 stay on soundfont 0
  double values[ExternalEffect::kParams] = {40, 200, 3, 3, 5000, 100, 2, 1000, -2, 0.5, 0};
  sf.SetExternalReverbParams(5, values);
  sf.SetExternalEqualizerSingleParam(5, 0, 3.0);
  sf.SetExternalEqualizerActive(5, true);
  double got[ExternalEffect::kParams];
  sf.GetExternalReverbParams(0, got);
  for (int k = 0; k < ExternalEffect::kParams; ++k) EXPECT_DOUBLE_EQ(got[k], values[k]) << k;
  sf.GetExternalReverbParams(7, got);
  EXPECT_DOUBLE_EQ(got[0], 60.0) << "another soundfont keeps its own reverb";
  EXPECT_TRUE(sf.GetExternalEqualizerActive(0));
  EXPECT_FALSE(sf.GetExternalEqualizerActive(7));
  sf.SetExternalReverbActive(0, false);

  // Track 0 is heard through the equalizer that track 5 switched on and turned up.
  EXPECT_NEAR(Rms(PlayChord(sf)[0], 0, kHeld) / Rms(DryChord()[0], 0, kHeld), 3.0, 0.2);

  sf.SetExternalReverbSingleParam(0, 11, 1.0);
  sf.SetExternalReverbSingleParam(12, 0, 1.0);
  sf.GetExternalReverbParams(5, got);
  EXPECT_DOUBLE_EQ(got[0], 40.0);
  EXPECT_FALSE(sf.GetExternalReverbAvailable(-1));
}

// fluidsynth adds its own reverb and chorus after the chain has run.
TEST_F(EffectChainTest, TheOutputStaysWithinFullScaleWithLoudBuiltInEffects) {
  auto loudPeak = [](SFOutput& sf) {
    sf.SetReverbEnabled(0, true);
    sf.SetChorusEnabled(0, true);
    sf.SetReverb(0, 1.0, 0.0, 1.0, 1.0);
    sf.SetChorus(0, 99, 10.0, 0.3, 20.0, 0);
    sf.SetReverbSend(0, 127);
    sf.SetChorusSend(0, 127);
    sf.SetVolume(0, 127);
    const std::array<Signal, 2> chord = PlayChord(sf, 127);
    return std::max(Peak(chord[0]), Peak(chord[1]));
  };
  SFOutput unlimited, limited;
  std::string ignored;
  ASSERT_TRUE(InitCapturingOutput(unlimited, {kTimGM6mb}, {1.0}, ignored));
  ASSERT_TRUE(Start(limited, ProgramDirectory()));
  EXPECT_GT(loudPeak(unlimited), 2.0) << "the case must overload without the chain";
  EXPECT_LE(loudPeak(limited), 1.0f);
}

TEST_F(EffectChainTest, WithoutTheLimiterTheWholeChainIsOffAndTheSynthesizerPlaysDry) {
  std::string root = MakeTempDir("no-limiter");
  fs::create_directories(root + "/bin");
  fs::create_directories(root + "/share/plugins");
  for (const char* lib : {"Equalizer.so", "ReverbZitaRev1.so"})
    fs::create_symlink(BuildPath(std::string("share/plugins/") + lib), root + "/share/plugins/" + lib);

  SFOutput sf;
  ASSERT_TRUE(Start(sf, root + "/bin/"));
  for (const char* line : {"error: could not set up ladspa limiter for soundfont 0", "error: sf 0 ladspa limiter failure",
                           "error: turned off sf 0 effects because of limiter failure"})
    EXPECT_TRUE(Contains(out, line)) << out;
  EXPECT_FALSE(fluid_ladspa_is_active(fluid_synth_get_ladspa_fx(sf.GetSynth(0))));
  EXPECT_FALSE(sf.GetExternalReverbAvailable(0));
  EXPECT_FALSE(sf.GetExternalEqualizerAvailable(0));

  sf.SetExternalReverbActive(0, true);
  EXPECT_FALSE(sf.GetExternalReverbActive(0));
  sf.SetExternalEqualizerSingleParam(0, 3, 6.5);
  double eq[ExternalEffect::kParams];
  sf.GetExternalEqualizerParams(0, eq);
  EXPECT_DOUBLE_EQ(eq[3], 6.5);

  EXPECT_EQ(PlayChord(sf), DryChord());
}

#ifdef ZS_TEST_VST
// -x runs this program again per case: Outrigger reads its settings once per process, fx.dat is
// read from the working directory, and a plain fork could inherit a lock held by a fluidsynth thread.
constexpr const char* kChildVariable = "ZS_CHAIN_TEST_CHILD";

TEST(VstBridgeChild, DISABLED_InitWithFx) {
  if (!getenv(kChildVariable)) GTEST_SKIP() << "run by VstBridgeTest only";
  int code = [] {
    SFOutput sf;
    std::vector<float> l0, r0, l1, r1;
    if (!sf.Init(ProgramDirectory(), {kTimGM6mb, kTimGM6mb}, {1.0, 1.0}, 128, true, "")) return 1;
    for (int i = 0; i < 2; ++i)
      printf("sf %d bridge %d\n", i,
             fluid_ladspa_effect_port_exists(fluid_synth_get_ladspa_fx(sf.GetSynth(i)), "738150397", "Input (Left)"));
    if (!sf.SetInstrument(1, 1, 0, 0)) return 2;
    Playhead playhead{};
    sf.SendNoteOn(playhead, 0, 60, 100);
    sf.SendNoteOn(playhead, 1, 60, 100);
    Render(sf, 0, kRate / 4, l0, r0);
    Render(sf, 1, kRate / 4, l1, r1);
    printf("peak ratio %.2f\n", Peak(l0) / Peak(l1));
    return 0;
  }();
  std::fflush(stdout);
  _exit(code);
}

class VstBridgeTest : public EffectChainTest {
 protected:
  std::string RunWithFxDat(const char* fxDat) {
    const std::string dir = MakeTempDir("vst-bridge");
    fs::copy_file(ZS_TEST_VST, dir + "/Plate.so");
    if (fxDat) WriteFile(dir + "/fx.dat", fxDat);
    ChildProcess child({"env", std::string(kChildVariable) + "=1", fs::read_symlink("/proc/self/exe"),
                        "--gtest_filter=VstBridgeChild.DISABLED_InitWithFx", "--gtest_also_run_disabled_tests"},
                       dir, dir + "/out.txt");
    EXPECT_EQ(child.Wait(), 0);
    return ReadFile(dir + "/out.txt");
  }
};

// The bridge joins soundfont 0 only, with fx.dat's settings; an fx.dat that cannot be used leaves it out and
// the rest of the chain in place.
TEST_F(VstBridgeTest, OnlySoundfontZeroGetsTheBridgeWithTheSettingsOfAUsableFxDat) {
  const char* usable = "Plate.so\n-1\n1\n0 0.25\n3 0.75\n";
  const std::pair<const char*, std::vector<const char*>> cases[] = {
      {usable,
       {"fxSettings = >Plate.so:-1:1:0 0.25:<", "loaded Outrigger with success", "sf 0 bridge 1", "peak ratio 0.25"}},
      {nullptr,
       {"error: fx settings file fx.dat could not be openend", "fxSettings = ><", "sf 0 bridge 0", "peak ratio 1.00"}},
      {"Plate.so\n-1\n2\n0 0.25\n",
       {"error: fx settings file fx.dat parse error line 4", "fxSettings = ><", "sf 0 bridge 0", "peak ratio 1.00"}},
  };
  for (const auto& [fxDat, lines] : cases) {
    const std::string out = RunWithFxDat(fxDat);
    for (const char* line : lines) EXPECT_TRUE(Contains(out, line)) << line << "\n" << out;
    for (const char* line :
         {"sf 1 bridge 0", "sf 0 ladspa limiter activated with success", "sf 1 ladspa limiter activated with success"})
      EXPECT_TRUE(Contains(out, line)) << line << "\n" << out;
    EXPECT_EQ(out.find("error: sf"), std::string::npos) << out;
    EXPECT_EQ(out.find("loaded Outrigger") != std::string::npos, fxDat == usable) << out;
  }
}
#endif

}  // namespace
}  // namespace zs::test
