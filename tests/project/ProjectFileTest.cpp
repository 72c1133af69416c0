#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>

#include "project/EmptyProject.h"
#include "tests/project/ProjectTestSupport.h"
#include "tests/support/TestServers.h"

using namespace zs::test;
namespace fs = std::filesystem;

namespace {

class ProjectFileTest : public testing::Test {
 protected:
  void SetUp() override {
    synth = &SharedSynth();
    dir = MakeTempDir("project-file");
    file = dir + "/song.dat";
  }

  // Loads text written to the project file into rig; returns LoadProject's result.
  bool LoadText(ProjectRig& rig, const std::string& text, bool selectDefault = false) {
    WriteFile(file, text);
    bool ok = false;
    out = Captured([&] { ok = rig.player->LoadProject(file, selectDefault); });
    return ok;
  }
  bool Printed(const std::string& text) const { return out.find(text) != std::string::npos; }
  std::vector<std::string> LeftoverFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::string name = entry.path().filename().string();
      if (name.find(".tmp-") != std::string::npos) names.push_back(name);
    }
    return names;
  }
  // Moves every track of the shared synthesizer somewhere else, so a load has to restore them.
  void ScrambleSynth() {
    for (int t = 0; t < kTracks; ++t) ASSERT_TRUE(synth->SetInstrument(t, 1, 128, 0));
    synth->SetReverb(0, 0.77, 0.66, 0.55, 0.44);
    synth->SetChorus(0, 44, 4.4, 4.4, 4, 1);
  }

  SFOutput* synth = nullptr;
  std::string dir, file, out;
};

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}

TEST_F(ProjectFileTest, RandomDenseProjectsSurviveSaveAndLoadAndSaveAgainByteForByte) {
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ProjectRig a(synth);
    FillRandomProject(a, *synth, seed, 0.3);
    ASSERT_TRUE(a.player->SaveProject(file));
    const std::string expected = Describe(a, *synth);
    const std::string first = ReadFile(file);

    ScrambleSynth();
    ProjectRig b(synth);
    b.player->SetBPM(33);
    ASSERT_TRUE(LoadText(b, first)) << out;
    EXPECT_EQ(out, "");
    EXPECT_EQ(Describe(b, *synth), expected);
    for (int s = 0; s < kSessions; ++s) {
      if (!a.store->IsEmpty(s)) continue;
      // Sessions without notes are not written, whatever their flags and ranges.
      EXPECT_EQ(b.store->GetSingle(s), -1);
      for (int t = 0; t < kTracks; ++t) {
        int start, end;
        b.store->GetStartEndSteps(s, t, start, end);
        EXPECT_FALSE(b.store->GetMuted(s, t));
        EXPECT_EQ(start * 1000 + end, 15);
      }
    }

    ASSERT_TRUE(b.player->SaveProject(file));
    EXPECT_TRUE(ReadFile(file) == first) << "second save differs";
    EXPECT_TRUE(LeftoverFiles().empty());
  }
}

TEST_F(ProjectFileTest, SaveWritesTheTaggedLinesInOrder) {
  ProjectRig rig(synth);
  rig.player->SetSong({{0, 16}, {3, 16}});
  ASSERT_TRUE(synth->SetInstrument(0, 1, 0, 5));
  ASSERT_TRUE(synth->SetInstrument(1, 1, 8, 1));
  for (int t = 2; t < kTracks; ++t) {
    // A bank the soundfont lacks, after another soundfont: not completely set, not written.
    ASSERT_TRUE(synth->SetInstrument(t, 0, 0, 0));
    EXPECT_FALSE(synth->SetInstrument(t, 1, 5, 0));
  }
  rig.store->SetTrackVelocityFixed(1, true);
  double reverb[kExternalParams] = {60, 105.737, 1.68179, 1.68179, 2984.89, 112.468, 0, 449.873, 0, 0.375, 6};
  double eq[kExternalParams] = {1, 0.5, -12, 0, 0, 0, 0, 0, 0, 0, 12};
  rig.store->SetTrackExternalReverb(0, reverb);
  rig.store->SetTrackExternalEqualizer(0, eq);
  rig.store->SetTrackExternalReverb(1, reverb);
  rig.store->SetTrackExternalEqualizer(1, eq);
  rig.Add(3, 2, 0, 60, 5, 1, 64, 100);
  rig.Add(3, 2, 0, 48, 5, 2, 0, 90);
  rig.Add(3, 2, 17, 61);
  rig.store->SetStartEndSteps(3, 5, 8, 11);
  rig.store->SetMuted(3, 11, true);
  rig.store->SetSingle(3, 2);
  rig.store->SetMuted(4, 0, true);  // no notes in session 4: not written
  ASSERT_TRUE(rig.player->SaveProject(file));

  const char* ext = " 1 60 105.737 1.68179 1.68179 2984.89 112.468 0 449.873 0 0.375 6 1 1 0.5 -12 0 0 0 0 0 0 0 12";
  EXPECT_EQ(ReadFile(file),
            Lines({"p 9 120 1 1 2 0 ", "o 2 0 3",
                   (std::string("i 0 90 0 100 64 0 0 64 0 0 20 0 50 90 0 3 0 3 8 0") + ext +
                    " 1 0 5 Second_Font.sf2 Sine_B")
                       .c_str(),
                   (std::string("i 1 90 1 100 64 0 0 64 1 0 20 0 50 90 0 3 0 3 8 0") + ext +
                    " 1 8 1 Second_Font.sf2 Pad")
                       .c_str(),
                   "s 3 2 0 0 0 0 0 0 0 0 0 0 0 1", "t 2 0 15", "e 0 48 5 90 2 0", "e 0 60 5 100 1 64",
                   "e 17 61 0 100 1 0", "t 5 8 11"}));
}

TEST_F(ProjectFileTest, SavedValuesAreThoseLoadingAccepts) {
  // A fresh store holds external reverb parameters of 0, below their ranges; the tempo has
  // no limit in the player.
  ProjectRig rig(synth);
  for (int t = 0; t < kTracks; ++t) ASSERT_TRUE(synth->SetInstrument(t, 0, 0, 0));
  rig.player->SetBPM(0);
  rig.store->SetTrackVolume(3, 300);
  ASSERT_TRUE(rig.player->SaveProject(file));
  const std::string first = ReadFile(file);
  EXPECT_EQ(first.substr(0, 6), "p 9 1 ");
  EXPECT_NE(first.find(" 1 20 50 1 1 1500 40 0 160 0 0 0 1 0 0 0 "), std::string::npos);
  EXPECT_NE(first.find("i 3 90 0 127 "), std::string::npos);

  ProjectRig loaded(synth);
  ASSERT_TRUE(LoadText(loaded, first));
  EXPECT_EQ(out, "");
  ASSERT_TRUE(loaded.player->SaveProject(file));
  EXPECT_EQ(ReadFile(file), first);
}

TEST_F(ProjectFileTest, OldVersionOneFileWithoutPLine) {
  ProjectRig rig(synth);
  rig.player->SetBPM(99);
  ASSERT_TRUE(LoadText(rig, Lines({"o 1 0",
                                   "i 0 8 100 64 1 30 10 40 50 0 3 20 3 8 0 0 0 0 TimGM6mb.sf2 Piano",
                                   "i 9 16 90 32 0 20 0 50 90 1 5 30 4 10 1 1 8 1 Second_Font.sf2 Pad",
                                   "s 0 -1 0 1 0 0 0 0 0 0 0 1", "t 0 0 7", "e 0 60 4 8 1 3"})))
      << out;
  // Tempo, flags and scale keep their values without a "p" line.
  EXPECT_EQ(rig.player->GetBPM(), 99);
  // Velocities in sixteenths, offsets and gate fractions in eighths of a step.
  EXPECT_EQ(rig.store->GetTrackVelocity(0), 63);
  EXPECT_EQ(rig.store->GetTrackVelocity(9), 127);
  std::vector<Note> notes;
  rig.store->GetNotes(0, 0, 0, notes);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ((std::array{+notes[0].note, +notes[0].offset, +notes[0].velocity, +notes[0].gate, +notes[0].gateFraction}),
            (std::array{60, 72, 63, 1, 54}));
  // Fields that did not exist yet take their defaults.
  EXPECT_EQ(rig.store->GetTrackPitch(0), 64);
  EXPECT_EQ(rig.store->GetTrackLayer(9), 9);
  EXPECT_FALSE(rig.store->GetTrackVelocityFixed(0));
  // Ten mute flags; tracks 10 and 11 unmuted.
  EXPECT_TRUE(rig.store->GetMuted(0, 1));
  EXPECT_TRUE(rig.store->GetMuted(0, 9));
  EXPECT_FALSE(rig.store->GetMuted(0, 10));
  // Tracks 10 and 11 sound like track 9 on the default instrument.
  for (int t : {10, 11}) {
    EXPECT_EQ(rig.store->GetTrackVelocity(t), 90);
    EXPECT_EQ(rig.store->GetTrackLayer(t), t);
    EXPECT_FALSE(rig.store->GetTrackReverbEnabled(t));
    EXPECT_TRUE(rig.store->GetTrackChorusEnabled(t));
    TrackInstrument inst = synth->GetInstrument(t);
    EXPECT_EQ((std::array{inst.soundfont, inst.bank, inst.program}), (std::array{0, 0, 0}));
  }
  TrackInstrument nine = synth->GetInstrument(9);
  EXPECT_EQ((std::array{nine.soundfont, nine.bank, nine.program}), (std::array{1, 8, 1}));
  // The built-in reverb belongs to the soundfont: read back from the synthesizer.
  int r[4];
  rig.store->GetTrackReverb(10, r[0], r[1], r[2], r[3]);
  EXPECT_EQ((std::array{r[0], r[1], r[2], r[3]}), (std::array{30, 10, 40, 50}));
  int c[5];
  rig.store->GetTrackChorus(9, c[0], c[1], c[2], c[3], c[4]);
  EXPECT_EQ((std::array{c[0], c[1], c[2], c[3], c[4]}), (std::array{5, 30, 4, 10, 1}));
  ASSERT_EQ(rig.player->GetSong().size(), 1u);
  EXPECT_EQ(rig.player->GetSong()[0].length, 16);
}

TEST_F(ProjectFileTest, OldVersionThreeConvertsNotesAndReadsPitch) {
  ProjectRig rig(synth);
  ASSERT_TRUE(LoadText(rig, Lines({"p 3 100 1 0 1 5 ", "o 0 ",
                                   "i 2 16 100 64 3 1 70 0 20 0 50 90 0 3 20 3 8 0 0 0 0 TimGM6mb.sf2 x",
                                   "s 0 2 0 0 0 0 0 0 0 0 0 0", "t 2 0 15", "e 0 60 7 16 1 7"})))
      << out;
  EXPECT_EQ(rig.player->GetBPM(), 100);
  EXPECT_TRUE(rig.player->GetNoteQuantization());
  EXPECT_FALSE(rig.player->GetGateQuantization());
  EXPECT_EQ(rig.player->GetScale().scale, 1);
  EXPECT_EQ(rig.player->GetScale().base, 5);
  std::vector<Note> notes;
  rig.store->GetNotes(0, 2, 0, notes);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ((std::array{+notes[0].offset, +notes[0].velocity, +notes[0].gate, +notes[0].gateFraction}),
            (std::array{127, 127, 1, 127}));
  EXPECT_EQ(rig.store->GetTrackVelocity(2), 127);
  EXPECT_EQ((std::array{rig.store->GetTrackChannel(2), rig.store->GetTrackOutput(2), rig.store->GetTrackPitch(2),
                        rig.store->GetTrackLayer(2)}),
            (std::array{3, 1, 70, 2}));
  EXPECT_EQ(rig.store->GetSingle(0), 2);
  EXPECT_TRUE(rig.player->GetSong().empty());
}

TEST_F(ProjectFileTest, OldVersionFourKeepsNewUnitsAndSetsSongLengths) {
  ProjectRig rig(synth);
  ASSERT_TRUE(LoadText(rig, Lines({"p 4 120 1 1 2 0 ", "o 2 0 3",
                                   "i 1 100 90 30 2 0 60 1 20 0 50 90 1 3 20 3 8 0 0 0 5 TimGM6mb.sf2 y",
                                   "s 0 -1 1 0 0 0 0 0 0 0 0 0", "t 1 0 31", "e 5 62 64 100 2 32",
                                   "s 3 -1 0 0 0 0 0 0 0 0 0 0", "t 0 4 7", "e 4 70 0 80 1 0"})))
      << out;
  std::vector<Note> notes;
  rig.store->GetNotes(0, 1, 5, notes);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ((std::array{+notes[0].offset, +notes[0].velocity, +notes[0].gate, +notes[0].gateFraction}),
            (std::array{64, 100, 2, 32}));
  EXPECT_EQ(rig.store->GetTrackVelocity(1), 100);
  EXPECT_EQ(rig.store->GetTrackLayer(1), 1);
  EXPECT_TRUE(rig.store->GetMuted(0, 0));
  Song song = rig.player->GetSong();
  ASSERT_EQ(song.size(), 2u);
  EXPECT_EQ((std::array{song[0].session, song[0].length, song[1].session, song[1].length}),
            (std::array{0, 32, 3, 16}));
  EXPECT_EQ(synth->GetInstrument(1).program, 5);
}

TEST_F(ProjectFileTest, OldVersionSevenGivesTracks10And11TheEffectsOfTrack9) {
  ProjectRig rig(synth);
  ASSERT_TRUE(LoadText(rig, Lines({"p 7 120 1 1 2 0 ", "o 0 ",
                                   "i 9 100 100 64 9 0 64 9 1 20 0 50 90 1 3 20 3 8 1"
                                   " 1 30 200 2 3 5000 100 1.5 500 -2 0.25 3"
                                   " 0 1.5 1 2 3 4 5 6 7 8 9 -10 0 0 3 TimGM6mb.sf2 z",
                                   "s 0 -1 0 0 0 0 0 0 0 0 0 1", "t 9 0 15", "e 0 40 0 100 1 0"})))
      << out;
  EXPECT_TRUE(rig.store->GetMuted(0, 9));
  EXPECT_FALSE(rig.store->GetMuted(0, 10));
  EXPECT_FALSE(rig.store->GetMuted(0, 11));
  EXPECT_EQ(rig.store->GetTrackChannel(9), 9);
  double expectedReverb[kExternalParams] = {30, 200, 2, 3, 5000, 100, 1.5, 500, -2, 0.25, 3};
  double expectedEq[kExternalParams] = {1.5, 1, 2, 3, 4, 5, 6, 7, 8, 9, -10};
  for (int t : {9, 10, 11}) {
    SCOPED_TRACE("track " + std::to_string(t));
    EXPECT_TRUE(rig.store->GetTrackReverbEnabled(t));
    EXPECT_TRUE(rig.store->GetTrackChorusEnabled(t));
    EXPECT_TRUE(rig.store->GetTrackExternalReverbEnabled(t));
    EXPECT_FALSE(rig.store->GetTrackExternalEqualizerEnabled(t));
    double p[kExternalParams];
    rig.store->GetTrackExternalReverb(t, p);
    EXPECT_TRUE(std::equal(p, p + kExternalParams, expectedReverb));
    rig.store->GetTrackExternalEqualizer(t, p);
    EXPECT_TRUE(std::equal(p, p + kExternalParams, expectedEq));
  }
  EXPECT_EQ(rig.store->GetTrackChannel(10), 0);
  EXPECT_EQ(synth->GetInstrument(9).program, 3);
  EXPECT_EQ(synth->GetInstrument(10).program, 0);
  EXPECT_EQ(synth->GetInstrument(11).program, 0);
}

TEST_F(ProjectFileTest, OldVersionEightHasTwelveMuteFlagsAndNoFixedVelocity) {
  ProjectRig rig(synth);
  const char* ext = " 0 60 105.737 1.68179 1.68179 2984.89 112.468 0 449.873 0 0 6 0 1 0 0 0 0 0 0 0 0 0 0";
  ASSERT_TRUE(LoadText(rig, Lines({"p 8 120 1 1 2 0 ", "o 0 ",
                                   (std::string("i 11 77 100 64 5 2 64 3 0 20 0 50 90 0 3 20 3 8 0") + ext +
                                    " 0 0 4 TimGM6mb.sf2 w")
                                       .c_str(),
                                   "s 0 -1 0 0 0 0 0 0 0 0 0 0 0 1", "t 11 0 15", "e 3 50 0 100 1 0"})))
      << out;
  EXPECT_TRUE(rig.store->GetMuted(0, 11));
  // Version 8 files have all twelve tracks: track 11 keeps its own values.
  EXPECT_EQ(rig.store->GetTrackVelocity(11), 77);
  EXPECT_FALSE(rig.store->GetTrackVelocityFixed(11));
  EXPECT_EQ((std::array{rig.store->GetTrackChannel(11), rig.store->GetTrackOutput(11), rig.store->GetTrackLayer(11)}),
            (std::array{5, 2, 3}));
  EXPECT_EQ(synth->GetInstrument(11).program, 4);
  EXPECT_TRUE(rig.store->QueryNote(0, 11, 3, 50));
}

TEST_F(ProjectFileTest, AnInstrumentThatCannotBeSetEndsReadingUnlessTheDefaultIsChosen) {
  const std::string text = Lines({"p 9 120 1 1 2 0 ", "o 0 ",
                                  "i 0 90 0 100 64 0 0 64 0 0 20 0 50 90 0 3 20 3 8 0 1 60 105.737 1.68179 1.68179 "
                                  "2984.89 112.468 0 449.873 0 0 6 0 1 0 0 0 0 0 0 0 0 0 0 1 5 0 Second_Font.sf2 x",
                                  "s 0 -1 0 0 0 0 0 0 0 0 0 0 0 0", "t 0 0 15", "e 0 60 0 100 1 0"});
  ProjectRig strict(synth);
  EXPECT_FALSE(LoadText(strict, text));
  EXPECT_TRUE(Printed("error: problem when setting instrument sf=1, bank=5, prog=0\n")) << out;
  EXPECT_TRUE(strict.store->IsEmpty(0));

  ProjectRig lenient(synth);
  EXPECT_TRUE(LoadText(lenient, text, true));
  EXPECT_TRUE(Printed("default instrument selected\n")) << out;
  EXPECT_TRUE(lenient.store->QueryNote(0, 0, 0, 60));
  EXPECT_EQ(synth->GetInstrument(0).soundfont, 0);
}

TEST_F(ProjectFileTest, MalformedFilesNeverCrashAndLeaveAConsistentStore) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> messages;
    std::function<void(ProjectRig&)> check;
  };
  std::mt19937 rng(7);
  std::string garbage(4096, '\0');
  for (char& ch : garbage) ch = static_cast<char>(rng());
  std::string tagged;  // garbage behind every tag
  for (const char* tag : {"p", "o", "s", "t", "e", "i"}) tagged += std::string(tag) + " " + garbage.substr(0, 300) + "\n";

  const std::vector<Case> cases = {
      {"empty file", "", {}, [](ProjectRig& r) { EXPECT_EQ(r.player->GetBPM(), 140); }},
      {"truncated p line", "p 9 120 1\n", {"error: project file line 1 ignored"},
       [](ProjectRig& r) { EXPECT_EQ(r.player->GetBPM(), 140); }},
      {"tempo 0 and huge numbers", "p 9 0 1 1 99999999999999999999999 -5 \n",
       {"error: project file line 1: values limited to their ranges"},
       [](ProjectRig& r) {
         EXPECT_EQ(r.player->GetBPM(), 1);
         EXPECT_EQ(r.player->GetScale().scale, 15);
         EXPECT_EQ(r.player->GetScale().base, 0);
       }},
      {"negative song count", "o -2 1 2\n", {"error: project file line 1 ignored"},
       [](ProjectRig& r) { EXPECT_EQ(r.player->GetSong().size(), 1u); }},
      {"song of twenty parts", "o 20 0 1 2 3 4 5 6 7 8 9 10 11 0 1 2 3 4 5 6 7\n",
       {"error: project file line 1 partly ignored"},
       [](ProjectRig& r) { EXPECT_EQ(r.player->GetSong().size(), 15u); }},
      {"song count beyond the line and a session 12", "o 4 1 12 2\n", {"error: project file line 1 partly ignored"},
       [](ProjectRig& r) { EXPECT_EQ(r.player->GetSong().size(), 2u); }},
      {"session 12 and the lines that follow it",
       "s 12 -1 0 0 0 0 0 0 0 0 0 0 0 0\nt 0 0 15\ne 0 60 0 100 1 0\n",
       {"line 1 ignored", "line 2 ignored", "line 3 ignored"}, [](ProjectRig& r) { EXPECT_TRUE(r.store->IsEmpty(0)); }},
      {"track 12 and its notes", "s 1 -1 0 0 0 0 0 0 0 0 0 0 0 0\nt 12 0 15\ne 0 60 0 100 1 0\nt 3 0 300\n",
       {"line 2 ignored", "line 3 ignored", "line 4 ignored"},
       [](ProjectRig& r) { EXPECT_TRUE(r.store->IsEmpty(1)); }},
      {"step 256, note 128, negative step, truncated note",
       "p 9 120 1 1 2 0 \ne 256 60 0 100 1 0\ne 0 128 0 100 1 0\ne -1 60 0 100 1 0\ne 5 60 0 100 1\n"
       "e 4 61 999 -7 300 1000\n",
       {"line 2 ignored", "line 3 ignored", "line 4 ignored", "line 5 ignored", "line 6: values limited"},
       [](ProjectRig& r) {
         std::vector<Note> notes;
         r.store->GetNotes(0, 0, 4, notes);
         ASSERT_EQ(notes.size(), 1u);
         EXPECT_EQ((std::array{+notes[0].offset, +notes[0].velocity, +notes[0].gate, +notes[0].gateFraction}),
                   (std::array{127, 0, 255, 255}));
         EXPECT_TRUE(r.store->IsEmpty(0, 0, 5));
       }},
      {"start after end keeps the range", "t 2 9 3\ne 0 60 0 100 1 0\n", {},
       [](ProjectRig& r) {
         int start, end;
         r.store->GetStartEndSteps(0, 2, start, end);
         EXPECT_EQ(start * 1000 + end, 15);
         EXPECT_TRUE(r.store->QueryNote(0, 2, 0, 60));
       }},
      {"instrument with words, nan and out-of-range values",
       "p 9 120 1 1 2 0 \ni 0 abc\n"
       "i 1 90 0 100 64 0 0 64 1 0 20 0 50 90 0 3 20 3 8 0 1 nan 1 1 1 1 1 1 1 1 1 1 1 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n"
       "i 2 900 1 -100 64 99 7 500 40 1 500 0 50 90 1 300 200 0 80 5 1 0 0 0 0 0 0 0 0 0 0 1e9 1 9 -99 0 0 0 0 0 "
       "0 0 0 0 0 0 0\n",
       {"line 2 ignored", "line 3 ignored", "line 4: values limited"},
       [](ProjectRig& r) {
         EXPECT_EQ(r.store->GetTrackVolume(1), 100);  // untouched
         EXPECT_EQ((std::array{r.store->GetTrackVelocity(2), r.store->GetTrackVolume(2), r.store->GetTrackChannel(2),
                               r.store->GetTrackOutput(2), r.store->GetTrackPitch(2), r.store->GetTrackLayer(2)}),
                   (std::array{127, 0, 15, 2, 127, 11}));
         double p[kExternalParams];
         r.store->GetTrackExternalReverb(2, p);
         EXPECT_EQ(p[0], 20);
         EXPECT_EQ(p[10], 40);
         r.store->GetTrackExternalEqualizer(2, p);
         EXPECT_EQ(p[0], 4);
         EXPECT_EQ(p[1], -12);
       }},
      {"a line too long to be a project line", "p " + std::string(100000, '1') + "\ne 0 60 0 100 1 0\n",
       {"line 1 ignored"}, [](ProjectRig& r) { EXPECT_TRUE(r.store->QueryNote(0, 0, 0, 60)); }},
      {"garbage bytes", garbage, {}, nullptr},
      {"garbage behind every tag", tagged, {"line 1 ignored", "line 6 ignored"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProjectRig rig(synth);
    rig.player->SetBPM(140);
    rig.player->SetSong({{0, 16}});
    LoadText(rig, c.text);
    for (const std::string& m : c.messages) EXPECT_TRUE(Printed(m)) << m << " not in:\n" << out;
    EXPECT_EQ(Inconsistencies(rig), "");
    if (c.check) c.check(rig);
    ASSERT_TRUE(rig.player->SaveProject(file));
  }
}

TEST_F(ProjectFileTest, AFileThatCannotBeReadChangesNothing) {
  ProjectRig rig(synth);
  rig.player->SetBPM(77);
  rig.player->SetSong({{0, 16}});
  rig.Add(0, 0, 0, 60);
  for (const std::string& path : {dir + "/missing.dat", dir}) {
    SCOPED_TRACE(path);
    bool ok = true;
    out = Captured([&] { ok = rig.player->LoadProject(path, true); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "error: could not open project file " + path + "\n");
    EXPECT_EQ(rig.player->GetBPM(), 77);
    EXPECT_EQ(rig.player->GetSong().size(), 1u);
    EXPECT_TRUE(rig.store->QueryNote(0, 0, 0, 60));
  }
}

// Tests run as root, and root writes into read-only directories; writes are made to fail
// instead by a file size limit (the write itself fails half way, as on a full disk), by a
// directory standing where the file should go, and by a directory that does not exist.
TEST_F(ProjectFileTest, AFailedSaveReportsAndKeepsTheOldFile) {
  ProjectRig rig(synth);
  FillRandomProject(rig, *synth, 11, 0.05);
  WriteFile(file, "old project\n");

  signal(SIGXFSZ, SIG_IGN);
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = true;
  out = Captured([&] { ok = rig.player->SaveProject(file); });
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(ok);
  EXPECT_EQ(out, "error: could not save project file " + file + "\n");
  EXPECT_EQ(ReadFile(file), "old project\n");

  fs::create_directory(dir + "/taken.dat");
  WriteFile(dir + "/taken.dat/inside", "x");
  for (const std::string& path : {dir + "/taken.dat", dir + "/no/such/dir/song.dat"}) {
    out = Captured([&] { ok = rig.player->SaveProject(path); });
    EXPECT_FALSE(ok) << path;
    EXPECT_EQ(out, "error: could not save project file " + path + "\n");
  }
  EXPECT_EQ(ReadFile(dir + "/taken.dat/inside"), "x");
  EXPECT_TRUE(LeftoverFiles().empty());

  ASSERT_TRUE(rig.player->SaveProject(file));
  EXPECT_NE(ReadFile(file), "old project\n");
}

TEST_F(ProjectFileTest, EmptyProjectIsWrittenAndLoadsBack) {
  ProjectRig rig(synth);
  rig.Add(2, 2, 2, 62);
  ScrambleSynth();
  rig.player->SetBPM(60);
  ASSERT_TRUE(CreateEmptyProject(rig.player.get(), file));
  EXPECT_TRUE(rig.store->IsEmpty(2));

  const Instruments& first = synth->GetSFInstruments()->front();
  std::string preset = first.banks[0].progs[0].name;
  std::replace(preset.begin(), preset.end(), ' ', '_');
  std::string expected = "p 9 120 1 1 2 0 \no 0 \n";
  for (int t = 0; t < kTracks; ++t) {
    expected += "i " + std::to_string(t) + " 90 0 100 64 0 0 64 " + std::to_string(t) +
                " 0 20 0 50 90 0 3 20 3 8 0 1 60 105.737 1.68179 1.68179 2984.89 112.468 0 449.873 0 0 6"
                " 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 TimGM6mb.sf2 " +
                preset + "\n";
  }
  EXPECT_EQ(ReadFile(file), expected);

  ProjectRig loaded(synth);
  ASSERT_TRUE(LoadText(loaded, ReadFile(file))) << out;
  EXPECT_EQ(Describe(loaded, *synth), Describe(rig, *synth));
  EXPECT_FALSE(synth->IsReverbEnabled(0));
  EXPECT_EQ(synth->GetVolume(5), 100);
}

}  // namespace
