#include "sound/SFOutput.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "tests/support/Sf2Writer.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using namespace zs::test;

namespace {

class SFOutputTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { UseNoAudioDevice(); }

  void SetUp() override { dir = MakeTempDir("sfoutput"); }

  // A soundfont in the temporary folder; presets as given.
  std::string Font(const std::string& name, const std::vector<Sf2Preset>& presets) {
    std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_TRUE(WriteSf2(path, presets));
    return path;
  }
  std::string SineFont(const std::string& name) { return Font(name, {{"Sine", 0, 0}}); }

  bool Init(const std::vector<std::string>& paths, std::vector<double> gains = {}) {
    gains.resize(paths.size(), 1.0);
    return InitCapturingOutput(sf, paths, gains, out);
  }

  bool Contains(const std::string& text) const { return out.find(text) != std::string::npos; }

  std::set<int> SoundingChannels(int soundfont) {
    std::set<int> channels;
    fluid_voice_t* voices[64] = {};
    fluid_synth_get_voicelist(sf.GetSynth(soundfont), voices, 64, -1);
    for (fluid_voice_t* v : voices) {
      if (v && fluid_voice_is_on(v)) channels.insert(fluid_voice_get_channel(v));
    }
    return channels;
  }

  std::string dir;
  SFOutput sf;
  std::string out;
};

void ExpectInstrument(const TrackInstrument& t, int soundfont, int bankIndex, int programIndex, int bank,
                      int program) {
  EXPECT_EQ(t.soundfont, soundfont);
  EXPECT_EQ(t.bankIndex, bankIndex);
  EXPECT_EQ(t.programIndex, programIndex);
  EXPECT_EQ(t.bank, bank);
  EXPECT_EQ(t.program, program);
}

TEST_F(SFOutputTest, InitWithTimGM6mbAppliesEverySettingAndListsItsBanks) {
  ASSERT_TRUE(Init({kTimGM6mb, SineFont("Second.sf2")}, {0.5, 11.0}));
  for (const char* line :
       {"fluidsynth version = ", "initial settings: reverb active = 1\n", "initial settings: chorus active = 1\n",
        "set synth.ladspa.active=1 rv=0\n", "error: could not create audio driver for soundfont 0\n",
        "loading sf 0\n", "loading sf 1\n", "sf 0 reverb room=", "sf 1 chorus voiceCount=",
        "synth 0 number of loaded soundfonts = 1\n", "soundfont name = >TimGM6mb.sf2<\n",
        "bank=0, prog=0, name=>"}) {
    EXPECT_TRUE(Contains(line)) << line << "\nin:\n" << out;
  }
  EXPECT_FALSE(sf.HasAudioDriver(0));

  fluid_synth_t* synth = sf.GetSynth(0);
  fluid_settings_t* settings = fluid_synth_get_settings(synth);
  double rate = 0;
  int periods = 0, periodSize = 0, ladspa = 0;
  char* bankSelect = nullptr;
  fluid_settings_getnum(settings, "synth.sample-rate", &rate);
  fluid_settings_getint(settings, "audio.periods", &periods);
  fluid_settings_getint(settings, "audio.period-size", &periodSize);
  fluid_settings_getint(settings, "synth.ladspa.active", &ladspa);
  fluid_settings_dupstr(settings, "synth.midi-bank-select", &bankSelect);
  EXPECT_EQ(rate, 44100.0);
  EXPECT_EQ(periods, 16);
  EXPECT_EQ(periodSize, 128);
  EXPECT_EQ(ladspa, 1);
  EXPECT_STREQ(bankSelect, "mma");
  fluid_free(bankSelect);
  EXPECT_EQ(fluid_synth_get_polyphony(synth), 128);
  EXPECT_NE(fluid_synth_get_ladspa_fx(synth), nullptr);
  EXPECT_FLOAT_EQ(fluid_synth_get_gain(synth), 0.5f);
  EXPECT_FLOAT_EQ(fluid_synth_get_gain(sf.GetSynth(1)), 0.2f) << "a gain above 10 leaves the default";

  const std::vector<Instruments>& lists = *sf.GetSFInstruments();
  ASSERT_EQ(lists.size(), 2u);
  EXPECT_EQ(lists[0].name, "TimGM6mb.sf2");
  ASSERT_GE(lists[0].banks.size(), 2u);
  EXPECT_EQ(lists[0].banks.front().bank, 0);
  EXPECT_EQ(lists[0].banks.front().progs.size(), 128u);
  EXPECT_EQ(lists[0].banks.back().bank, 128);
  ExpectInstrument(sf.GetDefaultInstrument(), 0, 0, 0, 0, 0);

  for (int t = 0; t < SFOutput::kTracks; ++t) ExpectInstrument(sf.GetInstrument(t), 0, -1, -1, -1, -1);
  EXPECT_TRUE(sf.IsReverbEnabled(0));
  EXPECT_TRUE(sf.IsChorusEnabled(1));
  EXPECT_FALSE(sf.IsReverbEnabled(3)) << "entries beyond the loaded soundfonts start off";
}

TEST_F(SFOutputTest, PresetsAreGroupedIntoBanksInIterationOrder) {
  std::string path = Font("Banks.sf2", {{"Kit", 128, 0}, {"Five", 0, 5}, {"Eight", 8, 3}, {"One", 0, 1}});
  ASSERT_TRUE(Init({path}));
  const Instruments& list = sf.GetSFInstruments()->at(0);
  ASSERT_EQ(list.banks.size(), 3u);
  EXPECT_EQ(list.banks[0].bank, 0);
  EXPECT_EQ(list.banks[1].bank, 8);
  EXPECT_EQ(list.banks[2].bank, 128);
  ASSERT_EQ(list.banks[0].progs.size(), 2u);
  EXPECT_EQ(list.banks[0].progs[0].prog, 1);
  EXPECT_EQ(list.banks[0].progs[0].name, "One");
  EXPECT_EQ(list.banks[0].progs[1].prog, 5);
  EXPECT_TRUE(Contains("bank=0, prog=1, name=>One<\nbank=0, prog=5, name=>Five<\nbank=8, prog=3, name=>Eight<\n"))
      << out;

  // The requested bank lies between two others: the search stops at bank 8 and fails, but
  // the record keeps what was asked for alongside the indexes still sounding.
  ASSERT_TRUE(sf.SetInstrument(2, 0, 0, 5));
  ExpectInstrument(sf.GetInstrument(2), 0, 0, 1, 0, 5);
  EXPECT_FALSE(sf.SetInstrument(2, 0, 5, 3));
  ExpectInstrument(sf.GetInstrument(2), 0, 0, 1, 5, 3);
  EXPECT_FALSE(sf.SetInstrument(2, 0, 8, 4));
  EXPECT_FALSE(sf.SetInstrument(2, 0, 200, 0));

  // Bank and program reach the mapped channel, bank 128 included on a melodic channel.
  ASSERT_TRUE(sf.SetInstrument(9, 0, 8, 3));
  ASSERT_TRUE(sf.SetInstrument(11, 0, 128, 0));
  ExpectInstrument(sf.GetInstrument(11), 0, 2, 0, 128, 0);
  int sfId, bank, program;
  fluid_synth_get_program(sf.GetSynth(0), 10, &sfId, &bank, &program);
  EXPECT_EQ(bank, 8);
  EXPECT_EQ(program, 3);
  fluid_synth_get_program(sf.GetSynth(0), 12, &sfId, &bank, &program);
  EXPECT_EQ(bank, 128);
  EXPECT_EQ(program, 0);

  EXPECT_TRUE(sf.SetInstrumentFromIndex(4, 0, 1, 0));
  ExpectInstrument(sf.GetInstrument(4), 0, 1, 0, 8, 3);
  EXPECT_FALSE(sf.SetInstrumentFromIndex(4, 0, 3, 0));
  EXPECT_FALSE(sf.SetInstrumentFromIndex(4, 0, 1, 1));
  EXPECT_FALSE(sf.SetInstrumentFromIndex(4, 1, 0, 0));
  EXPECT_FALSE(sf.SetInstrumentFromIndex(4, -1, 0, 0));
}

TEST_F(SFOutputTest, EmptySoundfontsAndNamesWithAndWithoutDirectories) {
  std::string empty = Font("deep/er/Empty.sf2", {});
  SineFont("Plain.sf2");
  std::string cwd = std::filesystem::current_path();
  ASSERT_EQ(chdir(dir.c_str()), 0);
  bool ok = Init({empty, "Plain.sf2"});
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  ASSERT_TRUE(ok) << out;

  const std::vector<Instruments>& lists = *sf.GetSFInstruments();
  EXPECT_EQ(lists[0].name, "Empty.sf2");
  ASSERT_EQ(lists[0].banks.size(), 1u);
  EXPECT_EQ(lists[0].banks[0].bank, -1);
  EXPECT_TRUE(lists[0].banks[0].progs.empty());
  EXPECT_EQ(lists[1].name, "Plain.sf2");
  ExpectInstrument(sf.GetDefaultInstrument(), 1, 0, 0, 0, 0);
  EXPECT_FALSE(sf.SetInstrumentFromIndex(0, 0, 0, 0));

  // Moving a track to another soundfont whose bank is missing leaves no stale indexes.
  ASSERT_TRUE(sf.SetInstrument(0, 1, 0, 0));
  EXPECT_FALSE(sf.SetInstrument(0, 0, 0, 0));
  ExpectInstrument(sf.GetInstrument(0), 0, -1, -1, 0, 0);
}

TEST_F(SFOutputTest, FailedLoadStopsInitAtThatSoundfont) {
  std::string good = SineFont("Good.sf2");
  EXPECT_FALSE(Init({good, dir + "/Missing.sf2", good}));
  EXPECT_TRUE(Contains("loading sf 1\nerror: soundfont 1 not initialized\n")) << out;
  EXPECT_FALSE(Contains("loading sf 2"));
  EXPECT_NE(sf.GetSynth(1), nullptr);
  EXPECT_EQ(sf.GetSynth(2), nullptr);
  EXPECT_TRUE(sf.GetSFInstruments()->empty());
  ExpectInstrument(sf.GetDefaultInstrument(), 0, 0, 0, 0, 0);
  EXPECT_FALSE(sf.SetInstrument(0, 0, 0, 0)) << "no instrument list to look it up in";
  sf.Shutdown();
  sf.Shutdown();

  SFOutput other;
  std::string text;
  std::vector<std::string> thirteen(13, good);
  EXPECT_FALSE(InitCapturingOutput(other, thirteen, std::vector<double>(13, 1.0), text));
  EXPECT_NE(text.find("error: 13 soundfonts given, at most 12 can be loaded"), std::string::npos) << text;
  EXPECT_FALSE(InitCapturingOutput(other, {good, good}, {1.0}, text));
  EXPECT_NE(text.find("error: 2 soundfonts given but only 1 gains"), std::string::npos) << text;
}

TEST_F(SFOutputTest, EveryLoadedSoundfontCanBeAssignedAndPlaysItsTracks) {
  std::vector<std::string> paths;
  for (int i = 0; i < 12; ++i) paths.push_back(Font("F" + std::to_string(i) + ".sf2", {{"P", 0, i}}));
  ASSERT_TRUE(Init(paths));
  EXPECT_TRUE(sf.SetInstrument(0, 10, 0, 10));
  EXPECT_TRUE(sf.SetInstrument(1, 11, 0, 11));
  EXPECT_FALSE(sf.SetInstrument(2, 12, 0, 0));
  EXPECT_FALSE(sf.SetInstrument(2, -1, 0, 0));
  EXPECT_FALSE(sf.SetInstrumentFromIndex(2, 12, 0, 0));
  ExpectInstrument(sf.GetInstrument(2), 0, -1, -1, -1, -1);

  sf.SendNoteOn(Playhead{}, 1, 60, 100);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(fluid_synth_get_active_voice_count(sf.GetSynth(i)), i == 11 ? 1 : 0) << "soundfont " << i;
  }
}

TEST_F(SFOutputTest, TracksUseTheirMappedChannelsAndNeverChannelNine) {
  ASSERT_TRUE(Init({kTimGM6mb}));
  const std::set<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12};
  for (int t = 0; t < SFOutput::kTracks; ++t) {
    ASSERT_TRUE(sf.SetInstrument(t, 0, 0, 19));  // church organ: sustains while held
    sf.SetVolume(t, 10 + t);
    sf.SetPan(t, 30 + t);
    sf.SetReverbSend(t, 50 + t);
    sf.SetChorusSend(t, 70 + t);
    sf.SendNoteOn(Playhead{}, t, 60, 100);
  }
  EXPECT_EQ(SoundingChannels(0), expected);
  fluid_synth_t* synth = sf.GetSynth(0);
  for (int t = 0; t < SFOutput::kTracks; ++t) {
    int channel = t < 9 ? t : t + 1;
    int value = -1;
    fluid_synth_get_cc(synth, channel, 7, &value);
    EXPECT_EQ(value, 10 + t) << "track " << t;
    fluid_synth_get_cc(synth, channel, 10, &value);
    EXPECT_EQ(value, 30 + t);
    fluid_synth_get_cc(synth, channel, 91, &value);
    EXPECT_EQ(value, 50 + t);
    fluid_synth_get_cc(synth, channel, 93, &value);
    EXPECT_EQ(value, 70 + t);
    EXPECT_EQ(sf.GetVolume(t), 10 + t);
    EXPECT_EQ(sf.GetPan(t), 30 + t);
    EXPECT_EQ(sf.GetReverbSend(t), 50 + t);
    EXPECT_EQ(sf.GetChorusSend(t), 70 + t);
  }
  int untouched = -1;
  fluid_synth_get_cc(synth, 9, 7, &untouched);
  EXPECT_EQ(untouched, 100) << "channel 9 keeps its default volume";

  for (int t = 0; t < SFOutput::kTracks; ++t) sf.SendNoteOff(Playhead{}, t, 60, 0);
  EXPECT_TRUE(SoundingChannels(0).empty());

  // Bad track numbers are reported and touch nothing.
  testing::internal::CaptureStdout();
  sf.SetVolume(12, 1);
  sf.SendNoteOn(Playhead{}, -1, 60, 100);
  EXPECT_EQ(sf.GetPan(12), 0);
  ExpectInstrument(sf.GetInstrument(12), 0, -1, -1, -1, -1);
  EXPECT_FALSE(sf.SetInstrument(-1, 0, 0, 0));
  EXPECT_FALSE(sf.IsReverbEnabled(12));
  std::string errors = testing::internal::GetCapturedStdout();
  EXPECT_NE(errors.find("error: track 12 out of range"), std::string::npos) << errors;
  EXPECT_TRUE(SoundingChannels(0).empty());
}

TEST_F(SFOutputTest, ReverbAndChorusBelongToTheSoundfont) {
  ASSERT_TRUE(Init({SineFont("A.sf2"), SineFont("B.sf2")}));
  ASSERT_TRUE(sf.SetInstrument(0, 0, 0, 0));
  ASSERT_TRUE(sf.SetInstrument(1, 0, 0, 0));
  ASSERT_TRUE(sf.SetInstrument(2, 1, 0, 0));
  double before[4], r[4];
  sf.GetReverb(2, before[0], before[1], before[2], before[3]);
  sf.SetReverb(0, 0.9, 0.1, 0.8, 0.7);
  sf.GetReverb(1, r[0], r[1], r[2], r[3]);
  EXPECT_DOUBLE_EQ(r[0], 0.9);
  EXPECT_DOUBLE_EQ(r[1], 0.1);
  EXPECT_DOUBLE_EQ(r[2], 0.8);
  EXPECT_DOUBLE_EQ(r[3], 0.7);
  sf.GetReverb(2, r[0], r[1], r[2], r[3]);
  for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(r[i], before[i]);

  sf.SetChorus(1, 5, 2.5, 0.6, 12.0, 1);
  int voices, type;
  double level, speed, depth;
  sf.GetChorus(0, voices, level, speed, depth, type);
  EXPECT_EQ(voices, 5);
  EXPECT_DOUBLE_EQ(level, 2.5);
  EXPECT_DOUBLE_EQ(speed, 0.6);
  EXPECT_DOUBLE_EQ(depth, 12.0);
  EXPECT_EQ(type, 1);
  sf.GetChorusFromSF(1, voices, level, speed, depth, type);
  EXPECT_NE(voices, 5);

  // The reverb tail after a short note is heard only while the reverb is on.
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
  float withReverb = tailPeak(true);
  float withoutReverb = tailPeak(false);
  EXPECT_GT(withReverb, 1e-3f);
  EXPECT_LT(withoutReverb, 1e-5f);
  EXPECT_FALSE(sf.IsReverbEnabled(0));
  EXPECT_TRUE(sf.IsReverbEnabled(1)) << "the flag is kept per track number";
  sf.SetChorusEnabled(2, false);
  EXPECT_FALSE(sf.IsChorusEnabled(2));
}

TEST_F(SFOutputTest, NotesSoundOnTheirSoundfontAndTheLoudnessFollows) {
  ASSERT_TRUE(Init({kTimGM6mb, SineFont("Sine.sf2")}));
  ASSERT_TRUE(sf.SetInstrument(3, 1, 0, 0));
  ASSERT_TRUE(sf.SetInstrument(4, 0, 0, 0));
  std::vector<float> l, r;
  Render(sf, 1, 1024, l, r);
  EXPECT_LT(Peak(l), 1e-6f);
  EXPECT_EQ(sf.GetCurrentLoudness(1), 0.0f);

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

  // The real soundfont sounds too (piano, on soundfont 0).
  sf.SendNoteOn(Playhead{}, 4, 60, 100);
  Render(sf, 0, 8192, l, r);
  EXPECT_GT(Peak(l), 0.005f);
  EXPECT_GT(sf.GetCurrentLoudness(0), 0.005f);

  EXPECT_EQ(sf.GetCurrentLoudness(5), 0.0f);
  EXPECT_EQ(sf.GetCurrentLoudness(-1), 0.0f);
  EXPECT_EQ(sf.GetCurrentLoudness(12), 0.0f);
  EXPECT_FALSE(sf.RenderBlock(5, 128, l.data(), r.data()));
}

}  // namespace
