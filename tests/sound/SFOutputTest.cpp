// SPDX-License-Identifier: LGPL-2.1-or-later
#include "sound/SFOutput.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/Sf2Writer.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using namespace zs::test;

namespace {

using Fields = std::array<int, 5>;  // soundfont, bank index, program index, bank, program
Fields F(const TrackInstrument& t) { return {t.soundfont, t.bankIndex, t.programIndex, t.bank, t.program}; }
const Fields kUnset = {0, -1, -1, -1, -1};

class SFOutputTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { UseNoAudioDevice(); }
  void SetUp() override { dir = MakeTempDir("sfoutput"); }

  std::string Font(const std::string& name, const std::vector<Sf2Preset>& presets = {{"Sine", 0, 0}}) {
    std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(WriteSf2(path, presets));
    return path;
  }
  bool Init(const std::vector<std::string>& paths, std::vector<double> gains = {}) {
    gains.resize(paths.size(), 1.0);
    return InitCapturingOutput(sf, paths, gains, out);
  }
  bool Printed(const std::string& text) const { return out.find(text) != std::string::npos; }
  int Voices(int soundfont) { return fluid_synth_get_active_voice_count(sf.GetSynth(soundfont)); }
  std::set<int> SoundingChannels(int soundfont) {
    std::set<int> channels;
    fluid_voice_t* voices[64] = {};
    fluid_synth_get_voicelist(sf.GetSynth(soundfont), voices, 64, -1);
    for (fluid_voice_t* v : voices) {
      if (v && fluid_voice_is_on(v)) channels.insert(fluid_voice_get_channel(v));
    }
    return channels;
  }
  int Cc(int channel, int controller) {
    int value = -1;
    fluid_synth_get_cc(sf.GetSynth(0), channel, controller, &value);
    return value;
  }

  std::string dir, out;
  SFOutput sf;
};

TEST_F(SFOutputTest, InitLoadsEverySoundfontWithItsGainAndListsItsBanks) {
  const std::string second = Font("Second.sf2");
  ASSERT_TRUE(Init({kTimGM6mb, second}, {0.5, 11.0}));
  EXPECT_TRUE(Printed("set synth.ladspa.active=1 rv=0\n") && Printed("sf 1 chorus voiceCount=")) << out;
  EXPECT_FALSE(sf.HasAudioDriver(0));
  fluid_settings_t* settings = fluid_synth_get_settings(sf.GetSynth(0));
  int periodSize = 0;
  fluid_settings_getint(settings, "audio.period-size", &periodSize);
  EXPECT_EQ((std::array{periodSize, fluid_synth_get_polyphony(sf.GetSynth(0))}), (std::array{128, 128}));
  EXPECT_EQ(fluid_settings_str_equal(settings, "synth.midi-bank-select", "mma"), 1);
  EXPECT_FLOAT_EQ(fluid_synth_get_gain(sf.GetSynth(0)), 0.5f);
  EXPECT_FLOAT_EQ(fluid_synth_get_gain(sf.GetSynth(1)), 0.2f) << "a gain above 10 leaves the default";

  const std::vector<Instruments>& lists = *sf.GetSFInstruments();
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[0].name, "TimGM6mb.sf2");
  EXPECT_EQ(F(sf.GetDefaultInstrument()), (Fields{0, 0, 0, 0, 0}));
  for (int t = 0; t < SFOutput::kTracks; ++t) EXPECT_EQ(F(sf.GetInstrument(t)), kUnset);
  EXPECT_TRUE(sf.IsReverbEnabled(0) && sf.IsChorusEnabled(1));
  EXPECT_FALSE(sf.IsReverbEnabled(3)) << "entries beyond the loaded soundfonts start off";
}

TEST_F(SFOutputTest, PresetsAreGroupedIntoBanksAndLookedUpInOrder) {
  ASSERT_TRUE(Init({Font("Banks.sf2", {{"Kit", 128, 0}, {"Five", 0, 5}, {"Eight", 8, 3}, {"One", 0, 1}})}));
  const Instruments& list = sf.GetSFInstruments()->at(0);
  ASSERT_EQ(list.banks.size(), 3u);
  EXPECT_EQ((std::array{list.banks[0].bank, list.banks[1].bank, list.banks[2].bank}), (std::array{0, 8, 128}));
  ASSERT_EQ(list.banks[0].progs.size(), 2u);
  EXPECT_EQ(list.banks[0].progs[0].name + std::to_string(list.banks[0].progs[1].prog), "One5");
  EXPECT_TRUE(Printed("bank=0, prog=1, name=>One<\nbank=0, prog=5, name=>Five<\nbank=8, prog=3, name=>Eight<\n"));

  // A failed look-up keeps the request beside the indexes of what still sounds.
  ASSERT_TRUE(sf.SetInstrument(2, 0, 0, 5));
  EXPECT_EQ(F(sf.GetInstrument(2)), (Fields{0, 0, 1, 0, 5}));
  EXPECT_FALSE(sf.SetInstrument(2, 0, 5, 3));
  EXPECT_EQ(F(sf.GetInstrument(2)), (Fields{0, 0, 1, 5, 3}));
  EXPECT_FALSE(sf.SetInstrument(2, 0, 8, 4));
  EXPECT_FALSE(sf.SetInstrument(2, 0, 200, 0));

  ASSERT_TRUE(sf.SetInstrument(9, 0, 8, 3));
  ASSERT_TRUE(sf.SetInstrument(11, 0, 128, 0));
  EXPECT_EQ(F(sf.GetInstrument(11)), (Fields{0, 2, 0, 128, 0}));
  for (auto [channel, bank, program] : {std::array{10, 8, 3}, {12, 128, 0}}) {
    int sfId, b, p;
    fluid_synth_get_program(sf.GetSynth(0), channel, &sfId, &b, &p);
    EXPECT_EQ((std::array{b, p}), (std::array{bank, program})) << "channel " << channel;
  }

  EXPECT_TRUE(sf.SetInstrumentFromIndex(4, 0, 1, 0));
  EXPECT_EQ(F(sf.GetInstrument(4)), (Fields{0, 1, 0, 8, 3}));
  for (auto [s, b, p] : {std::array{0, 3, 0}, {0, 1, 1}, {1, 0, 0}, {-1, 0, 0}, {0, -1, 0}})
    EXPECT_FALSE(sf.SetInstrumentFromIndex(4, s, b, p)) << s << " " << b << " " << p;
}

TEST_F(SFOutputTest, EmptySoundfontsAndNamesWithAndWithoutDirectories) {
  std::string empty = Font("deep/er/Empty.sf2", {});
  Font("Plain.sf2");
  std::string cwd = std::filesystem::current_path();
  ASSERT_EQ(chdir(dir.c_str()), 0);
  bool ok = Init({empty, "Plain.sf2"});
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  ASSERT_TRUE(ok) << out;

  const std::vector<Instruments>& lists = *sf.GetSFInstruments();
  EXPECT_EQ(lists[0].name + " " + lists[1].name, "Empty.sf2 Plain.sf2");
  ASSERT_EQ(lists[0].banks.size(), 1u);
  EXPECT_EQ(lists[0].banks[0].bank, -1);
  EXPECT_TRUE(lists[0].banks[0].progs.empty());
  EXPECT_EQ(F(sf.GetDefaultInstrument()), (Fields{1, 0, 0, 0, 0}));
  EXPECT_FALSE(sf.SetInstrumentFromIndex(0, 0, 0, 0));

  // Moving a track to a soundfont that lacks the bank leaves no indexes of the old one.
  ASSERT_TRUE(sf.SetInstrument(0, 1, 0, 0));
  EXPECT_FALSE(sf.SetInstrument(0, 0, 0, 0));
  EXPECT_EQ(F(sf.GetInstrument(0)), (Fields{0, -1, -1, 0, 0}));
}

// Only when no soundfont loads does Init fail. All twelve slots can be filled, no more.
TEST_F(SFOutputTest, AMissingSoundfontKeepsItsNumberAndEverySlotCanPlay) {
  std::string good = Font("Good.sf2"), missing = dir + "/Missing.sf2", garbage = dir + "/Garbage.sf2";
  std::ofstream(garbage) << "not a soundfont";
  ASSERT_TRUE(Init({good, missing, good, garbage})) << out;
  EXPECT_TRUE(Printed("error: soundfont 1 (" + missing + ") could not be loaded: No such file or directory\n")) << out;
  EXPECT_TRUE(Printed("error: soundfont 3 (" + garbage + ") could not be loaded: not a soundfont fluidsynth can read\n"));
  EXPECT_TRUE(sf.IsSoundfontMissing(1) && !sf.IsSoundfontMissing(2) && sf.IsSoundfontMissing(3));
  EXPECT_EQ(sf.GetSFInstruments()->at(1).name, "Missing.sf2");
  ASSERT_TRUE(sf.SetInstrument(3, 1, 2, 7));
  EXPECT_EQ(F(sf.GetInstrument(3)), (Fields{1, -1, -1, 2, 7}));
  sf.SendNoteOn(Playhead{}, 3, 60, 100);
  EXPECT_EQ(Voices(1), 0);
  ASSERT_TRUE(sf.SetInstrument(3, 2, 0, 0));
  sf.SendNoteOn(Playhead{}, 3, 60, 100);
  EXPECT_EQ(Voices(2), 1);
  sf.Shutdown();
  sf.Shutdown();

  EXPECT_FALSE(Init({missing, garbage}));
  EXPECT_TRUE(Printed("error: no soundfont could be loaded\n")) << out;
  sf.Shutdown();

  ASSERT_TRUE(Init(std::vector<std::string>(12, good)));
  EXPECT_TRUE(sf.SetInstrument(0, 10, 0, 0) && sf.SetInstrument(1, 11, 0, 0));
  EXPECT_FALSE(sf.SetInstrument(2, 12, 0, 0) || sf.SetInstrument(2, -1, 0, 0) || sf.SetInstrumentFromIndex(2, 12, 0, 0));
  EXPECT_EQ(F(sf.GetInstrument(2)), kUnset);
  sf.SendNoteOn(Playhead{}, 1, 60, 100);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(Voices(i), i == 11 ? 1 : 0) << "soundfont " << i;
  sf.Shutdown();

  EXPECT_FALSE(Init(std::vector<std::string>(13, good)));
  EXPECT_TRUE(Printed("error: 13 soundfonts given, at most 12 can be loaded")) << out;
  EXPECT_FALSE(InitCapturingOutput(sf, {good, good}, {1.0}, out));
  EXPECT_TRUE(Printed("error: 2 soundfonts given but only 1 gains")) << out;
}

TEST_F(SFOutputTest, TracksUseTheirMappedChannelsAndNeverChannelNine) {
  ASSERT_TRUE(Init({kTimGM6mb}));
  for (int t = 0; t < SFOutput::kTracks; ++t) {
    ASSERT_TRUE(sf.SetInstrument(t, 0, 0, 19));  // organ: sustains while held
    sf.SetVolume(t, 10 + t);
    sf.SetPan(t, 30 + t);
    sf.SetReverbSend(t, 50 + t);
    sf.SetChorusSend(t, 70 + t);
    sf.SendNoteOn(Playhead{}, t, 60, 100);
  }
  EXPECT_EQ(SoundingChannels(0), (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12}));
  for (int t = 0; t < SFOutput::kTracks; ++t) {
    int ch = t < 9 ? t : t + 1;
    std::array<int, 4> sent = {10 + t, 30 + t, 50 + t, 70 + t};
    EXPECT_EQ((std::array{Cc(ch, 7), Cc(ch, 10), Cc(ch, 91), Cc(ch, 93)}), sent) << "track " << t;
  }
  EXPECT_EQ(Cc(9, 7), 100) << "channel 9 keeps its default volume";
  for (int t = 0; t < SFOutput::kTracks; ++t) sf.SendNoteOff(Playhead{}, t, 60, 0);
  EXPECT_TRUE(SoundingChannels(0).empty());

  testing::internal::CaptureStdout();
  sf.SetVolume(12, 1);
  sf.SendNoteOn(Playhead{}, -1, 60, 100);
  EXPECT_EQ(sf.GetPan(12), 0);
  EXPECT_EQ(F(sf.GetInstrument(12)), kUnset);
  EXPECT_FALSE(sf.SetInstrument(-1, 0, 0, 0));
  EXPECT_FALSE(sf.IsReverbEnabled(12));
  out = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(Printed("error: track 12 out of range\n")) << out;
  EXPECT_TRUE(SoundingChannels(0).empty());
}

TEST_F(SFOutputTest, ReverbAndChorusBelongToTheSoundfont) {
  ASSERT_TRUE(Init({Font("A.sf2"), Font("B.sf2")}));
  for (auto [track, soundfont] : {std::pair{0, 0}, {1, 0}, {2, 1}})
    ASSERT_TRUE(sf.SetInstrument(track, soundfont, 0, 0));
  std::array<double, 4> before, r;
  sf.GetReverb(2, before[0], before[1], before[2], before[3]);
  sf.SetReverb(0, 0.9, 0.1, 0.8, 0.7);
  sf.GetReverb(1, r[0], r[1], r[2], r[3]);
  EXPECT_EQ(r, (std::array{0.9, 0.1, 0.8, 0.7}));
  sf.GetReverb(2, r[0], r[1], r[2], r[3]);
  EXPECT_EQ(r, before);

  sf.SetChorus(1, 5, 2.5, 0.6, 12.0, 1);
  int voices, type;
  double level, speed, depth;
  sf.GetChorus(0, voices, level, speed, depth, type);
  EXPECT_EQ((std::array{double(voices), level, speed, depth, double(type)}), (std::array{5.0, 2.5, 0.6, 12.0, 1.0}));
  sf.GetChorusFromSF(1, voices, level, speed, depth, type);
  EXPECT_NE(voices, 5);

  // After a short note with full send, a tail is heard only while the reverb is on.
  auto tailPeak = [&](bool reverbOn) {
    sf.SetReverbEnabled(0, reverbOn);
    sf.SetReverbSend(0, 127);
    std::vector<float> l, rr;
    sf.SendNoteOn(Playhead{}, 0, 69, 127);
    Render(sf, 0, 4410, l, rr);
    sf.SendNoteOff(Playhead{}, 0, 69, 0);
    Render(sf, 0, 4410, l, rr);  // the note's own release
    Render(sf, 0, 8820, l, rr);
    float peak = Peak(l);
    Render(sf, 0, 44100 * 4, l, rr);  // let the tail die before the next round
    return peak;
  };
  EXPECT_GT(tailPeak(true), 1e-3f);
  EXPECT_LT(tailPeak(false), 1e-5f);
  EXPECT_TRUE(sf.IsReverbEnabled(1) && !sf.IsReverbEnabled(0)) << "the flag is kept per track number";
  sf.SetChorusEnabled(2, false);
  EXPECT_FALSE(sf.IsChorusEnabled(2));
}

// The synthesizer's sample rate shows in the pitch: the test font's sine plays A at 441 Hz.
TEST_F(SFOutputTest, NotesSoundOnTheirSoundfontAndTheLoudnessFollows) {
  ASSERT_TRUE(Init({kTimGM6mb, Font("Sine.sf2")}));
  ASSERT_TRUE(sf.SetInstrument(3, 1, 0, 0));
  std::vector<float> l, r;
  sf.SendNoteOn(Playhead{}, 3, 69, 100);
  Render(sf, 1, 8192, l, r);
  float peak = std::max(Peak(l), Peak(r));
  EXPECT_GT(peak, 0.01f);
  EXPECT_NEAR(ZeroCrossingFrequency(l, 44100.0), 441.0, 2.0);
  EXPECT_GT(sf.GetCurrentLoudness(1), 0.5f * peak);
  EXPECT_LE(sf.GetCurrentLoudness(1), peak);
  Render(sf, 0, 8192, l, r);
  EXPECT_LT(Peak(l), 1e-6f) << "soundfont 0 has no note";
  EXPECT_EQ(sf.GetCurrentLoudness(0), 0.0f);

  sf.SendNoteOff(Playhead{}, 3, 69, 0);
  Render(sf, 1, 44100 * 2, l, r);
  EXPECT_LT(sf.GetCurrentLoudness(1), 0.001f);

  for (int slot : {5, -1, 12}) EXPECT_EQ(sf.GetCurrentLoudness(slot), 0.0f) << slot;
  EXPECT_FALSE(sf.RenderBlock(5, 128, l.data(), r.data()));
}

}  // namespace
