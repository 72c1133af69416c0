// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <random>

#include "project/EmptyProject.h"
#include "project/ProjectFileCheck.h"
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
  bool Load(ProjectRig& rig, const std::string& text, bool selectDefault = false) {
    WriteFile(file, text);
    bool ok = false;
    out = Captured([&] { ok = rig.player->LoadProject(file, selectDefault); });
    return ok;
  }
  bool Printed(const std::string& text) const { return out.find(text) != std::string::npos; }
  bool NoTemporaryFiles() const {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().filename().string().find(".zs-save-") != std::string::npos) return false;
    }
    return true;
  }
  std::array<int, 5> NoteFields(ProjectRig& rig, int session, int track, int step) {
    std::vector<Note> notes;
    rig.store->GetNotes(session, track, step, notes);
    if (notes.size() != 1) return {};
    return {notes[0].note, notes[0].offset, notes[0].velocity, notes[0].gate, notes[0].gateFraction};
  }
  std::array<int, 3> Instrument(int track) {
    TrackInstrument i = synth->GetInstrument(track);
    return {i.soundfont, i.bank, i.program};
  }

  SFOutput* synth = nullptr;
  std::string dir, file, out;
};

TEST_F(ProjectFileTest, RandomDenseProjectsSurviveSaveAndLoadAndSaveAgainByteForByte) {
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ProjectRig a(synth);
    FillRandomProject(a, *synth, seed, 0.3);
    ASSERT_TRUE(a.player->SaveProject(file));
    const std::string expected = Describe(a, *synth), first = ReadFile(file);

    // Everything the file holds must come from the file: move the synthesizer elsewhere.
    for (int t = 0; t < kTracks; ++t) ASSERT_TRUE(synth->SetInstrument(t, 1, 128, 0));
    synth->SetReverb(0, 0.7, 0.6, 0.5, 0.4);
    ProjectRig b(synth);
    b.player->SetBPM(33);
    b.store->SetMuted(5, 5, true);
    ASSERT_TRUE(Load(b, first)) << out;
    EXPECT_EQ(out, "");
    EXPECT_EQ(Describe(b, *synth), expected);
    for (int s = 0; s < kSessions; ++s) {
      // Sessions without notes are not written, whatever their flags and ranges.
      int start, end;
      b.store->GetStartEndSteps(s, 7, start, end);
      if (!a.store->IsEmpty(s)) continue;
      EXPECT_EQ((std::array{b.store->GetSingle(s), start, end, +b.store->GetMuted(s, 5)}), (std::array{-1, 0, 15, 0}));
    }
    ASSERT_TRUE(b.player->SaveProject(file));
    EXPECT_TRUE(ReadFile(file) == first) << "second save differs";
    EXPECT_TRUE(NoTemporaryFiles());
  }
}

TEST_F(ProjectFileTest, EmptyProjectAndSavedLinesAreWrittenExactly) {
  ProjectRig rig(synth);
  rig.Add(2, 2, 2, 62);
  rig.player->SetBPM(60);
  ASSERT_TRUE(CreateEmptyProject(rig.player.get(), file));
  EXPECT_TRUE(rig.store->IsEmpty(2));
  std::string preset = synth->GetSFInstruments()->front().banks[0].progs[0].name;
  std::replace(preset.begin(), preset.end(), ' ', '_');
  // The rig's synthesizer has no effect plug-ins beside it, so a new project takes the external
  // reverb as switched off (with its starting values) and the equalizer off and flat.
  const std::string fx = " 0 20 0 50 90 0 3 20 3 8 0 0 60 105.737 1.68179 1.68179 2984.89 112.468 0 449.873 0 0 6"
                         " 0 1 0 0 0 0 0 0 0 0 0 0";
  std::string expected = "p 9 120 1 1 2 0 \no 0 \n";
  for (int t = 0; t < kTracks; ++t) {
    expected += "i " + std::to_string(t) + " 90 0 100 64 0 0 64 " + std::to_string(t) + fx + " 0 0 0 TimGM6mb.sf2 " +
                preset + "\n";
  }
  EXPECT_EQ(ReadFile(file), expected);
  EXPECT_FALSE(synth->IsReverbEnabled(0));
  EXPECT_EQ(synth->GetVolume(5), 100);

  // Notes, ranges and flags; names with spaces; a track whose instrument is not completely set
  // (not written); values the loader would limit (a tempo of 0, parameters of a fresh store).
  rig.player->SetSong({{0, 16}, {3, 16}});
  rig.player->SetBPM(0);
  ASSERT_TRUE(synth->SetInstrument(1, 1, 8, 1));
  EXPECT_FALSE(synth->SetInstrument(2, 1, 5, 0));
  const double zeros[kExternalParams] = {};
  rig.store->SetTrackExternalReverb(3, zeros);
  rig.Add(3, 2, 0, 60, 5, 1, 64, 100);
  rig.Add(3, 2, 0, 48, 5, 2, 0, 90);
  rig.Add(3, 2, 17, 61);
  rig.store->SetStartEndSteps(3, 5, 8, 11);
  rig.store->SetMuted(3, 11, true);
  rig.store->SetSingle(3, 2);
  ASSERT_TRUE(rig.player->SaveProject(file));
  std::string text = ReadFile(file);
  EXPECT_EQ(text.substr(0, 23), "p 9 1 1 1 2 0 \no 2 0 3\n");
  EXPECT_NE(text.find(fx + " 1 8 1 Second_Font.sf2 Pad\n"), std::string::npos);
  EXPECT_EQ(text.find("\ni 2 "), std::string::npos);
  EXPECT_NE(text.find(" 3 8 0 0 20 50 1 1 1500 40 0 160 0 0 0 0 1 0"), std::string::npos);
  EXPECT_EQ(text.substr(text.find("\ns ") + 1),
            "s 3 2 0 0 0 0 0 0 0 0 0 0 0 1\nt 2 0 15\ne 0 48 5 90 2 0\ne 0 60 5 100 1 64\ne 17 61 0 100 1 0\n"
            "t 5 8 11\n");
}

TEST_F(ProjectFileTest, OldVersionsFollowTheRulesOfTheirTime) {
  // Version 1, without a "p" line: velocities in sixteenths, offsets and gate fractions in
  // eighths; no channel, output, pitch or layer; ten tracks per session.
  ProjectRig v1(synth);
  v1.player->SetBPM(99);
  ASSERT_TRUE(Load(v1, "o 1 0\ni 0 8 100 64 1 30 10 40 50 0 3 20 3 8 0 0 0 0 TimGM6mb.sf2 Piano\n"
                       "i 9 16 90 32 0 20 0 50 90 1 5 30 4 10 1 1 8 1 Second_Font.sf2 Pad\n"
                       "s 0 -1 0 1 0 0 0 0 0 0 0 1\nt 0 0 7\ne 0 60 4 8 1 3\n"))
      << out;
  EXPECT_EQ(v1.player->GetBPM(), 99);
  EXPECT_EQ(NoteFields(v1, 0, 0, 0), (std::array{60, 72, 63, 1, 54}));
  EXPECT_EQ((std::array{v1.store->GetTrackVelocity(0), v1.store->GetTrackVelocity(9), v1.store->GetTrackPitch(0),
                        v1.store->GetTrackLayer(9), +v1.store->GetTrackVelocityFixed(0)}),
            (std::array{63, 127, 64, 9, 0}));
  EXPECT_EQ((std::array{v1.store->GetMuted(0, 1), v1.store->GetMuted(0, 9), v1.store->GetMuted(0, 10)}),
            (std::array{true, true, false}));
  EXPECT_EQ(Instrument(9), (std::array{1, 8, 1}));
  for (int t : {10, 11}) {
    // Tracks 10 and 11 take track 9's effects on the default instrument; the built-in reverb
    // is then that of the default instrument's soundfont, as the synthesizer reports it.
    int r[4], c[5];
    v1.store->GetTrackReverb(t, r[0], r[1], r[2], r[3]);
    v1.store->GetTrackChorus(9, c[0], c[1], c[2], c[3], c[4]);
    EXPECT_EQ((std::array{v1.store->GetTrackVelocity(t), v1.store->GetTrackLayer(t),
                          +v1.store->GetTrackReverbEnabled(t), +v1.store->GetTrackChorusEnabled(t), r[0], r[3], c[0]}),
              (std::array{90, t, 0, 1, 30, 50, 5}));
    EXPECT_EQ(Instrument(t), (std::array{0, 0, 0}));
  }
  EXPECT_EQ(v1.player->GetSong()[0].length, 16);

  ProjectRig v3(synth);
  ASSERT_TRUE(Load(v3, "p 3 100 1 0 1 5 \no 0 \ni 2 16 100 64 3 1 70 0 20 0 50 90 0 3 20 3 8 0 0 0 0 TimGM6mb.sf2 x\n"
                       "s 0 2 0 0 0 0 0 0 0 0 0 0\nt 2 0 15\ne 0 60 7 16 1 7\n"))
      << out;
  EXPECT_EQ((std::array{v3.player->GetBPM(), +v3.player->GetNoteQuantization(), +v3.player->GetGateQuantization(),
                        +v3.player->GetScale().scale, +v3.player->GetScale().base, v3.store->GetSingle(0)}),
            (std::array{100, 1, 0, 1, 5, 2}));
  EXPECT_EQ(NoteFields(v3, 0, 2, 0), (std::array{60, 127, 127, 1, 127}));
  EXPECT_EQ((std::array{v3.store->GetTrackVelocity(2), v3.store->GetTrackChannel(2), v3.store->GetTrackOutput(2),
                        v3.store->GetTrackPitch(2), v3.store->GetTrackLayer(2)}),
            (std::array{127, 3, 1, 70, 2}));

  ProjectRig v4(synth);
  ASSERT_TRUE(Load(v4, "p 4 120 1 1 2 0 \no 2 0 3\ni 1 100 90 30 2 0 60 1 20 0 50 90 1 3 20 3 8 0 0 0 5 sf y\n"
                       "s 0 -1 1 0 0 0 0 0 0 0 0 0\nt 1 0 31\ne 5 62 64 100 2 32\n"
                       "s 3 -1 0 0 0 0 0 0 0 0 0 0\nt 0 4 7\ne 4 70 0 80 1 0\n"))
      << out;
  EXPECT_EQ(NoteFields(v4, 0, 1, 5), (std::array{62, 64, 100, 2, 32}));
  EXPECT_EQ((std::array{v4.store->GetTrackVelocity(1), v4.store->GetTrackLayer(1), Instrument(1)[2]}),
            (std::array{100, 1, 5}));
  Song song = v4.player->GetSong();
  ASSERT_EQ(song.size(), 2u);
  EXPECT_EQ((std::array{song[0].session, song[0].length, song[1].session, song[1].length}), (std::array{0, 32, 3, 16}));

  // Version 7 has the external effects, still ten tracks per session.
  ProjectRig v7(synth);
  ASSERT_TRUE(Load(v7, "p 7 120 1 1 2 0 \no 0 \ni 9 100 100 64 9 0 64 9 1 20 0 50 90 1 3 20 3 8 1"
                       " 1 30 200 2 3 5000 100 1.5 500 -2 0.25 3 0 1.5 1 2 3 4 5 6 7 8 9 -10 0 0 3 sf z\n"
                       "s 0 -1 0 0 0 0 0 0 0 0 0 1\nt 9 0 15\ne 0 40 0 100 1 0\n"))
      << out;
  EXPECT_EQ((std::array{v7.store->GetMuted(0, 9), v7.store->GetMuted(0, 10), v7.store->GetMuted(0, 11)}),
            (std::array{true, false, false}));
  const double reverb[kExternalParams] = {30, 200, 2, 3, 5000, 100, 1.5, 500, -2, 0.25, 3};
  const double eq[kExternalParams] = {1.5, 1, 2, 3, 4, 5, 6, 7, 8, 9, -10};
  for (int t : {9, 10, 11}) {
    double p[2 * kExternalParams];
    v7.store->GetTrackExternalReverb(t, p);
    v7.store->GetTrackExternalEqualizer(t, p + kExternalParams);
    EXPECT_TRUE(std::equal(reverb, reverb + kExternalParams, p) && std::equal(eq, eq + kExternalParams, p + 11)) << t;
    EXPECT_EQ((std::array{v7.store->GetTrackReverbEnabled(t), v7.store->GetTrackChorusEnabled(t),
                          v7.store->GetTrackExternalReverbEnabled(t), v7.store->GetTrackExternalEqualizerEnabled(t)}),
              (std::array{true, true, true, false}));
    EXPECT_EQ(Instrument(t)[2], t == 9 ? 3 : 0);
  }

  // Version 8: twelve mute flags and all twelve tracks of its own; no fixed velocity yet.
  ProjectRig v8(synth);
  ASSERT_TRUE(Load(v8, "p 8 120 1 1 2 0 \no 0 \ni 11 77 100 64 5 2 64 3 0 20 0 50 90 0 3 20 3 8 0 0 60 105.737 "
                       "1.68179 1.68179 2984.89 112.468 0 449.873 0 0 6 0 1 0 0 0 0 0 0 0 0 0 0 0 0 4 sf w\n"
                       "s 0 -1 0 0 0 0 0 0 0 0 0 0 0 1\nt 11 0 15\ne 3 50 0 100 1 0\n"))
      << out;
  EXPECT_EQ((std::array{+v8.store->GetMuted(0, 11), v8.store->GetTrackVelocity(11), +v8.store->GetTrackVelocityFixed(11),
                        v8.store->GetTrackChannel(11), v8.store->GetTrackLayer(11), Instrument(11)[2]}),
            (std::array{1, 77, 0, 5, 3, 4}));
}

TEST_F(ProjectFileTest, AnInstrumentThatCannotBeSetEndsReadingUnlessTheDefaultIsChosen) {
  const std::string text =
      "p 9 120 1 1 2 0 \ni 0 90 0 100 64 0 0 64 0 0 20 0 50 90 0 3 20 3 8 0 1 60 105.737 1.68179 1.68179 2984.89 "
      "112.468 0 449.873 0 0 6 0 1 0 0 0 0 0 0 0 0 0 0 1 5 0 x y\ns 0 -1 0 0 0 0 0 0 0 0 0 0 0 0\ne 0 60 0 100 1 0\n";
  ProjectRig strict(synth), lenient(synth);
  EXPECT_FALSE(Load(strict, text));
  EXPECT_TRUE(Printed("error: problem when setting instrument sf=1, bank=5, prog=0\n")) << out;
  EXPECT_TRUE(strict.store->IsEmpty(0));
  EXPECT_TRUE(Load(lenient, text, true));
  EXPECT_TRUE(Printed("default instrument selected\n")) << out;
  EXPECT_TRUE(lenient.store->QueryNote(0, 0, 0, 60));
  EXPECT_EQ(Instrument(0), (std::array{0, 0, 0}));
}

TEST_F(ProjectFileTest, MalformedFilesNeverCrashAndLeaveAConsistentStore) {
  std::mt19937 rng(7);
  std::string garbage(4096, '\0'), tagged;
  for (char& ch : garbage) ch = static_cast<char>(rng());
  for (const char* tag : {"p", "o", "s", "t", "e", "i"}) tagged += std::string(tag) + " " + garbage.substr(0, 300) + "\n";
  const std::string p9 = "p 9 120 1 1 2 0 \n";
  const std::string ext = " 1 60 105.737 1.68179 1.68179 2984.89 112.468 0 449.873 0 0 6 0 1 0 0 0 0 0 0 0 0 0 0";
  struct Case {
    std::string text;
    std::vector<std::string> messages;
    std::function<void(ProjectRig&)> check;
  };
  const std::vector<Case> cases = {
      {"", {}, [](ProjectRig& r) { EXPECT_EQ(r.player->GetBPM(), 140); }},
      // Missing fields of a p line read as 0; its version decides how the later lines are read.
      {"p 1 120 1\ne 0 60 7 16 1 7\np 9 96\ne 1 60 7 16 1 7\np x 50\n", {"error: project file line 5 ignored"},
       [this](ProjectRig& r) {
         EXPECT_EQ(r.player->GetBPM(), 96);
         EXPECT_EQ(NoteFields(r, 0, 0, 0), (std::array{60, 127, 127, 1, 127}));
         EXPECT_EQ(NoteFields(r, 0, 0, 1), (std::array{60, 7, 16, 1, 7}));
         EXPECT_FALSE(Printed("line 1 ignored") || Printed("line 3 ignored"));
       }},
      {"p 9 0 1 1 99999999999999999999999 -5 \n", {"error: project file line 1: values limited to their ranges"},
       [](ProjectRig& r) {
         EXPECT_EQ((std::array{r.player->GetBPM(), +r.player->GetScale().scale, +r.player->GetScale().base}),
                   (std::array{1, 15, 0}));
       }},
      {"o -2 1 2\n", {"line 1 ignored"}, [](ProjectRig& r) { EXPECT_EQ(r.player->GetSong().size(), 1u); }},
      {"o 20 0 1 2 3 4 5 6 7 8 9 10 11 0 1 2 3 4 5 6 7\n", {"error: project file line 1 partly ignored"},
       [](ProjectRig& r) { EXPECT_EQ(r.player->GetSong().size(), 15u); }},
      {"o 4 1 12 2\n", {"line 1 partly ignored"}, [](ProjectRig& r) { EXPECT_EQ(r.player->GetSong().size(), 2u); }},
      // Lines after a session or track that could not be used must not land elsewhere.
      {"s 12 -1 0 0 0 0 0 0 0 0 0 0\nt 0 0 15\ne 0 60 0 100 1 0\ns 1 -1 0 0 0 0 0 0 0 0 0 0\nt 12 0 1\ne 0 1 0 1 1 0\n",
       {"line 1 ignored", "line 2 ignored", "line 3 ignored", "line 5 ignored", "line 6 ignored"},
       [](ProjectRig& r) { EXPECT_TRUE(r.store->IsEmpty(0) && r.store->IsEmpty(1)); }},
      {p9 + "e 256 60 0 100 1 0\ne 0 128 0 100 1 0\ne -1 60 0 100 1 0\ne 5 60 0 100 1\ne 4 61 999 -7 300 1000\n",
       {"line 2 ignored", "line 3 ignored", "line 4 ignored", "line 5 ignored", "line 6: values limited"},
       [this](ProjectRig& r) {
         EXPECT_EQ(NoteFields(r, 0, 0, 4), (std::array{61, 127, 0, 255, 255}));
         EXPECT_TRUE(r.store->IsEmpty(0, 0, 5));
       }},
      {"t 2 9 3\ne 0 60 0 100 1 0\n", {},  // start after end: the range stays, the track is current
       [](ProjectRig& r) {
         int start, end;
         r.store->GetStartEndSteps(0, 2, start, end);
         EXPECT_TRUE(start == 0 && end == 15 && r.store->QueryNote(0, 2, 0, 60));
       }},
      {p9 + "i 0 abc\ni 1 90 0 100 64 0 0 64 1 0 20 0 50 90 0 3 20 3 8 0 1 nan" + ext.substr(5) + " 0 0 0\n" +
           "i 2 900 1 -100 64 99 7 500 40 1 500 0 50 90 1 300 200 0 80 5 1 0 0 0 0 0 0 0 0 0 0 1e9 1 9 -99 0 0 0 0 0 "
           "0 0 0 0 0 0 0\n",
       {"line 2 ignored", "line 3 ignored", "line 4: values limited"},
       [](ProjectRig& r) {
         double p[2 * kExternalParams];
         r.store->GetTrackExternalReverb(2, p);
         r.store->GetTrackExternalEqualizer(2, p + kExternalParams);
         EXPECT_EQ((std::array{r.store->GetTrackVolume(1), r.store->GetTrackVelocity(2), r.store->GetTrackVolume(2),
                               r.store->GetTrackChannel(2), r.store->GetTrackOutput(2), r.store->GetTrackPitch(2),
                               r.store->GetTrackLayer(2)}),
                   (std::array{100, 127, 0, 15, 2, 127, 11}));
         EXPECT_EQ((std::array{p[0], p[10], p[11], p[12]}), (std::array{20.0, 40.0, 4.0, -12.0}));
       }},
      {"p " + std::string(100000, '1') + "\ne 0 60 0 100 1 0\n", {"line 1 ignored"},
       [](ProjectRig& r) { EXPECT_TRUE(r.store->QueryNote(0, 0, 0, 60)); }},
      {garbage, {}, nullptr},
      {tagged, {"line 1 ignored", "line 6 ignored"}, nullptr},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    ProjectRig rig(synth);
    rig.player->SetBPM(140);
    rig.player->SetSong({{0, 16}});
    Load(rig, cases[i].text);
    for (const std::string& m : cases[i].messages) EXPECT_TRUE(Printed(m)) << m << " not in:\n" << out;
    EXPECT_EQ(Inconsistencies(rig), "");
    if (cases[i].check) cases[i].check(rig);
  }
}

// Root writes into read-only folders, so saves fail by a file size limit (half way, as on a
// full disk), a folder in the file's place, a missing folder and a link to nowhere.
TEST_F(ProjectFileTest, FailedSavesKeepTheOldFileAndUnreadableFilesChangeNothing) {
  ProjectRig rig(synth);
  FillRandomProject(rig, *synth, 11, 0.05);
  WriteFile(file, "old project\n");
  signal(SIGXFSZ, SIG_IGN);
  rlimit old, small;
  getrlimit(RLIMIT_FSIZE, &old);
  small = old;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  bool ok = true;
  out = Captured([&] { ok = rig.player->SaveProject(file); });
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(ok);
  EXPECT_EQ(out, "error: could not save project file " + file + "\n");
  EXPECT_EQ(ReadFile(file), "old project\n");
  fs::create_directory(dir + "/taken.dat");
  fs::create_symlink(dir + "/no/such/dir/song.dat", dir + "/dangling.dat");
  for (const std::string& path : {dir + "/taken.dat", dir + "/no/such/dir/song.dat", dir + "/dangling.dat"}) {
    out = Captured([&] { ok = rig.player->SaveProject(path); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "error: could not save project file " + path + "\n");
  }
  EXPECT_TRUE(fs::is_directory(dir + "/taken.dat"));
  EXPECT_TRUE(NoTemporaryFiles());

  const std::string before = Describe(rig, *synth);
  for (const std::string& path : {dir + "/missing.dat", dir}) {
    out = Captured([&] { ok = rig.player->LoadProject(path, true); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(out, "error: could not open project file " + path + "\n");
    EXPECT_EQ(Describe(rig, *synth), before);
  }
}

TEST_F(ProjectFileTest, TheWatchWarnsASecondInstanceAndAChangeOnDisk) {
  ProjectFileWatch first, second, none;
  EXPECT_TRUE(none.Remember(dir + "/missing.dat"));
  EXPECT_TRUE(none.MaySave(dir + "/missing.dat"));
  WriteFile(file, "mine\n");
  EXPECT_TRUE(first.Remember(file));
  EXPECT_FALSE(second.Remember(file));
  EXPECT_TRUE(first.MaySave(file));
  // Saved again within the same second, as long as before: only the nanoseconds tell.
  struct stat info;
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  WriteFile(file, "your\n");
  const timespec times[2] = {info.st_mtim, {info.st_mtim.tv_sec, (info.st_mtim.tv_nsec + 1) % 1000000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  bool ok = true;
  out = Captured([&] { ok = first.MaySave(file); });
  EXPECT_FALSE(ok);
  EXPECT_TRUE(Printed("changed on disk")) << out;
  EXPECT_TRUE(first.MaySave(file));
}

}  // namespace
