// SPDX-License-Identifier: LGPL-2.1-or-later
// Start-up, frame timing, messages, the global keys of the editor, undo, redo and the recovery file.
#include <array>
#include <chrono>
#include <random>
#include <tuple>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class SequencerTest : public SequencerFixture {
 protected:
  std::string Text() {
    std::string text;
    seq->GetPlayer()->ProjectText(text);
    return text;
  }
  // Frames until the background writer is done (5 s at most).
  template <typename Condition>
  bool FramesUntil(Condition done) {
    for (int i = 0; i < 500 && !done(); ++i) {
      Frame(Controls{}, 0.01);
      usleep(10000);
    }
    return done();
  }
};

TEST(SequencerSlices, FrameTimeIsCutIntoSixtiethsAndCappedAtOneSecond) {
  const struct {
    double frame;
    int count;
    double last;
  } cases[] = {{0.04, 3, 0.04 - 2.0 / 60}, {2.0, 60, 1.0 / 60}, {1.0, 60, 1.0 / 60}, {0.001, 1, 0.001},
               {0.0, 0, 0}, {-0.5, 0, 0}, {std::nan(""), 0, 0}};
  for (const auto& c : cases) {
    double s[kMaxPlayerSlices + 1];
    ASSERT_EQ(Sequencer::PlayerSlices(c.frame, s), c.count) << c.frame;
    for (int i = 0; i + 1 < c.count; ++i) EXPECT_DOUBLE_EQ(s[i], 1.0 / 60) << c.frame;
    if (c.count > 0) {
      EXPECT_NEAR(s[c.count - 1], c.last, 1e-12) << c.frame;
    }
  }
}

// A missing MIDI keyboard and a damaged project: the program starts and says so, one after another.
TEST_F(SequencerTest, StartupProblemsShowOneAfterAnother) {
  zs::test::WriteFile("song.dat", "p 10 120 1 1 0 0\no 0\ns 99\n");
  zs::test::SequencerOptions options;
  options.midiInput = "no such keyboard";
  Restart(options);  // the fixture lets "NO AUDIO DEVICE - SILENT" go by
  std::vector<std::string> shown;
  for (int i = 0; i < 4 && seq->IsMessageActive(); ++i) {
    shown.push_back(seq->GetMessage());
    Idle(3.05);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"PROJECT FROM A NEWER VERSION", "PROJECT: 1 LINES IGNORED",
                                             "MIDI INPUT NOT FOUND"}));
}

TEST_F(SequencerTest, AMissingSoundfontIsShownAndItsTracksKeepTheirInstruments) {
  auto trackTwoLine = [] {
    std::ifstream in("song.dat");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("i 2 ", 0) == 0) return line.substr(0, line.rfind(' ', line.rfind(' ') - 1));
    return std::string();
  };
  EnterFolder(2);
  Restart();
  ASSERT_TRUE(seq->GetSynth()->SetInstrument(2, 1, 0, 5));
  Save();
  const std::string before = trackTwoLine();
  ASSERT_NE(before.find(" 1 0 5"), std::string::npos) << before;

  std::ofstream("soundfonts.dat") << "1.0 " << kSoundfont << "\n1.0 gone/TimGM6mb.sf2\n";
  Restart();
  ExpectMessage("SOUNDFONT 1 MISSING", true);
  Idle(2.5);
  EXPECT_TRUE(seq->IsMessageActive()) << "shown for a few seconds";
  Save();
  EXPECT_EQ(trackTwoLine(), before);
}

TEST_F(SequencerTest, NoSongMessageShowsForOneAndAHalfSeconds) {
  Tap(&Controls::f7Pressed);
  ExpectMessage("NO SONG", true);
  Idle(1.4);
  EXPECT_TRUE(seq->IsMessageActive());
  Idle(0.2);
  EXPECT_EQ(std::tuple(seq->IsMessageActive(), seq->GetMessage(), seq->IsMessageError()), std::tuple(false, "", false));
}

TEST_F(SequencerTest, TabCyclesThroughTheSubpagesUnlessAnEqualizerProgramIsBeingChosen) {
  for (int i = 1; i <= 8; ++i) {
    Tap(&Controls::tabPressed);
    EXPECT_EQ(seq->GetSubpage(), i % 8);
  }
  PressAndExpect([this] { return seq->GetSubpage(); },
                 {{[](Controls& c) { c.shiftTab = true; }, SubpageExternalEqualizer},
                  {[](Controls& c) { c.shiftTab = true; }, SubpageExternalReverb},
                  {[](Controls& c) { c.ctrlDigit[7] = true; }, SubpageExternalEqualizer},
                  {[](Controls& c) { c.altP = true; }, SubpageExternalEqualizer},
                  {[](Controls& c) { c.tabPressed = true; }, SubpageExternalEqualizer},
                  {[](Controls& c) { c.shiftTab = true; }, SubpageExternalEqualizer}});
  ASSERT_TRUE(seq->GetEqProgramSelecting());
  Press([](Controls& c) { c.shiftNumberRow[2] = true; });
  EXPECT_EQ(seq->GetTrack(), 0);
  ExpectMessage("FINISH EQ EDITING", true);
  Tap(&Controls::returnPressed);
  EXPECT_FALSE(seq->GetEqProgramSelecting());
  Tap(&Controls::tabPressed);
  EXPECT_EQ(seq->GetSubpage(), SubpageStepEdit);
}

// The instruments subpage has the Page keys for itself.
TEST_F(SequencerTest, BarKeysWrapAndJump) {
  PressAndExpect([this] { return seq->GetBar(); },
                 {{[](Controls& c) { c.pageUpCount = 1; }, 15},
                  {[](Controls& c) { c.pageDownPressed = true, c.pageDownCount = 1; }, 0},
                  {[](Controls& c) { c.pageDownCount = 0; }, 0},
                  {[](Controls& c) { c.pageDownCount = 1, c.ctrlPageDown = true; }, 0},
                  {[](Controls& c) { c.altDigit[3] = true; }, 2}, {[](Controls& c) { c.altGrI = true; }, 15},
                  {[](Controls& c) { c.altGrDigit[0] = true; }, 0}, {[](Controls& c) { c.ctrlDigit[2] = true; }, 0},
                  {[](Controls& c) { c.pageDownCount = 1; }, 0}});
}

TEST_F(SequencerTest, ShiftDigitsAndQWSelectTheTrackButNotWhileANoteKeyIsPressed) {
  PressAndExpect([this] { return std::pair{seq->GetTrack(), seq->GetPlayer()->GetTrack()}; },
                 {{[](Controls& c) { c.shiftNumberRow[2] = true; }, {2, 2}},
                  {[](Controls& c) { c.shiftW = true; }, {11, 11}},
                  {[](Controls& c) { c.shiftNumberRow[9] = true; }, {9, 9}},
                  {[](Controls& c) { c.shiftQ = c.pianoPressed[0] = true; }, {9, 9}}});
}

TEST_F(SequencerTest, SoloMuteAndFixedVelocityToggle) {
  SessionsStore* s = Store();
  const bool fixed = s->GetTrackVelocityFixed(1);
  // The mixer handles ALT M itself.
  PressAndExpect([s] { return std::tuple{s->GetSingle(0), s->GetMuted(0, 1), s->GetTrackVelocityFixed(1)}; },
                 {{[](Controls& c) { c.shiftNumberRow[1] = true; }, {-1, false, fixed}},
                  {[](Controls& c) { c.altS = true; }, {1, false, fixed}},
                  {[](Controls& c) { c.altS = true; }, {-1, false, fixed}},
                  {[](Controls& c) { c.altM = true; }, {-1, true, fixed}},
                  {[](Controls& c) { c.altT = true; }, {-1, true, !fixed}},
                  {[](Controls& c) { c.ctrlDigit[4] = true; }, {-1, true, !fixed}},
                  {[](Controls& c) { c.altM = true; }, {-1, true, !fixed}}});
}

TEST_F(SequencerTest, ModeTogglesFlipAndTheVelocityCurveWraps) {
  for (bool Controls::*key : {&Controls::altZ, &Controls::altF, &Controls::altY, &Controls::altQ, &Controls::altG,
                               &Controls::f9Pressed})
    Tap(key);
  EXPECT_EQ((std::array{seq->GetLockToScale(), seq->GetFollowPlayhead(), seq->GetMidiFixedVelocity(),
                         seq->GetPlayer()->GetNoteQuantization(), seq->GetPlayer()->GetGateQuantization(),
                         seq->GetPitchBlack()}),
            (std::array{false, true, false, false, false, true}));
  Tap(&Controls::altReturn);
  EXPECT_FALSE(seq->GetPitchBlack());
  for (int i = 1; i <= 9; ++i) {
    Tap(&Controls::altC);
    EXPECT_EQ(seq->GetMidiVelocityCurve(), i % 9);
  }
}

TEST_F(SequencerTest, RecordingToggleAndEscapeUndoesTheTake) {
  Store()->AddNote(0, 0, 0, MakeNote(48));
  Tap(&Controls::rightCtrlPressed);
  EXPECT_TRUE(seq->IsRecording());
  Store()->AddNote(0, 0, 5, MakeNote(60));
  Tap(&Controls::escapePressed);
  EXPECT_FALSE(seq->IsRecording());
  EXPECT_EQ(std::pair(NotesAt(0, 0, 0), NotesAt(0, 0, 5)), std::pair(1, 0)) << "what was there before the take stays";
  ExpectMessage("UNDO RECORDING", false);

  Tap(&Controls::rightCtrlPressed);
  Tap(&Controls::rightCtrlPressed);  // a take without notes is no edit
  EXPECT_FALSE(seq->IsRecording());
  Tap(&Controls::escapePressed);  // not recording: the edit before the take
  EXPECT_EQ(NotesAt(0, 0, 0), 0);
  Tap(&Controls::escapePressed);
  ExpectMessage("NOTHING TO UNDO", true);
}

TEST_F(SequencerTest, SpacePlaysAndStopsShiftSpaceContinues) {
  Store()->SetStartEndSteps(0, 0, 0, 63);
  Tap(&Controls::spacePressed);
  EXPECT_TRUE(seq->IsPlaying());
  Idle(2.6);  // 20 steps at 120 bpm
  Tap(&Controls::spacePressed);
  EXPECT_FALSE(seq->IsPlaying());
  Tap(&Controls::shiftSpace);
  EXPECT_TRUE(seq->IsPlaying());
  EXPECT_GE(seq->GetPlayer()->GetPlayhead().trackStep[0], 20) << "Shift+Space continues where it stopped";
}

// Edits of every subpage, cursor moves and subpage changes, so that every kind of edit meets the others' notes.
bool Controls::*const kRandomFlags[] = {
    &Controls::ctrlN, &Controls::ctrlN, &Controls::ctrlN, &Controls::ctrlX, &Controls::ctrlI, &Controls::ctrlY,
    &Controls::ctrlJ, &Controls::ctrlL, &Controls::ctrlP, &Controls::ctrlC, &Controls::ctrlV, &Controls::ctrlM,
    &Controls::altShiftX, &Controls::altKeypadPlus, &Controls::altShiftKeypadMinus, &Controls::ctrlKeypadPlus,
    &Controls::shiftKeypadPlus, &Controls::shiftO, &Controls::shiftF, &Controls::ctrlShiftE, &Controls::ctrlKA,
    &Controls::ctrlKB, &Controls::ctrlKK, &Controls::ctrlKC, &Controls::ctrlKM, &Controls::ctrlKY, &Controls::ctrlKR,
    &Controls::ctrlKT, &Controls::ctrlKU, &Controls::rightCtrlPressed, &Controls::altB, &Controls::altV,
    &Controls::returnPressed, &Controls::altS, &Controls::altM, &Controls::altT, &Controls::altQ, &Controls::altG,
    &Controls::ctrlT, &Controls::ctrlA, &Controls::insertPressed, &Controls::deletePressed, &Controls::altX,
    &Controls::f5Pressed,
};
const Keys kRandomKeys[] = {
    [](Controls& c) { c.upCount = 1; }, [](Controls& c) { c.downCount = 3; }, [](Controls& c) { c.rightCount = 2; },
    [](Controls& c) { c.leftCount = 1; }, [](Controls& c) { c.pageDownCount = 1; },
    [](Controls& c) { c.shiftNumberRow[1] = true; }, [](Controls& c) { c.shiftNumberRow[0] = true; },
    [](Controls& c) { c.pianoPressed[14] = true; }, [](Controls& c) { c.pianoReleased[14] = true; },
    [](Controls& c) { c.ctrlDigit[1] = true; }, [](Controls& c) { c.ctrlDigit[2] = true; },
    [](Controls& c) { c.ctrlDigit[3] = true; }, [](Controls& c) { c.ctrlDigit[4] = true; },
    [](Controls& c) { c.ctrlDigit[5] = true; }, [](Controls& c) { c.ctrlDigit[6] = true; },
    [](Controls& c) { c.ctrlDigit[0] = true; }, [](Controls& c) { c.ctrlDigit[0] = true; },
};

TEST_F(SequencerTest, RandomEditsUndoAndRedoToTheSameProjectFile) {
  constexpr unsigned kSeed = 20261208;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  std::mt19937 rng(kSeed);
  for (int s = 0; s < 8; ++s) Store()->AddNote(0, 0, s * 2, MakeNote(48 + s));
  Save();
  Restart();  // the history starts at the loaded song
  const std::string before = Text();
  int edits = 0;
  for (int i = 0; i < 5000 && edits < 300; ++i) {
    const size_t entries = seq->GetHistory().Entries();
    const size_t k = rng() % (std::size(kRandomFlags) + std::size(kRandomKeys));
    if (k < std::size(kRandomFlags)) Tap(kRandomFlags[k]);
    if (k >= std::size(kRandomFlags)) Press(kRandomKeys[k - std::size(kRandomFlags)]);
    if (seq->GetHistory().Entries() != entries) ++edits;
  }
  Press([](Controls& c) { c.ctrlDigit[0] = true; });
  if (seq->IsRecording()) Tap(&Controls::rightCtrlPressed);
  ASSERT_EQ(edits, 300);
  const std::string after = Text();
  ASSERT_NE(after, before);
  ASSERT_TRUE(seq->HasUnsavedChanges());

  for (int i = 0; i < 2000 && seq->GetMessage() != "NOTHING TO UNDO"; ++i) {
    Tap(&Controls::escapePressed);
    ASSERT_TRUE(Store()->Consistent()) << "after undo " << i;
  }
  EXPECT_EQ(Text(), before);
  for (int i = 0; i < 2000 && seq->GetMessage() != "NOTHING TO REDO"; ++i) {
    Tap(&Controls::shiftEscape);
    ASSERT_TRUE(Store()->Consistent()) << "after redo " << i;
  }
  EXPECT_EQ(Text(), after);
}

// A vanished project folder stands for a read-only one.
TEST_F(SequencerTest, UnsavedEditsSurviveAFailedSave) {
  const fs::path state = MakeTempDir("state");
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  Restart();
  const std::string empty = ReadFile("song.dat");
  Tap(&Controls::ctrlN);
  const std::string edited = Text();
  ASSERT_TRUE(FramesUntil([] { return fs::exists("song.recovery.dat"); })) << "the first edit is kept at once";
  EXPECT_EQ(ReadFile("song.recovery.dat"), edited);
  EXPECT_EQ(ReadFile("song.dat"), empty) << "only F1 writes the project file";

  fs::remove_all(fs::current_path());
  Tap(&Controls::f1Pressed);
  ExpectMessage("ERROR SAVING", true);
  EXPECT_TRUE(FramesUntil([this] { return seq->GetMessage() == "EDITS KEPT IN STATE FOLDER"; }));
  EXPECT_EQ(ReadFile(state / "zembrovane-sequencer/song.recovery.dat"), edited);
  unsetenv("XDG_STATE_HOME");
}

TEST_F(SequencerTest, RecoveryFileIsLoadedOnlyWhenNewerThanTheProject) {
  using namespace std::chrono_literals;
  setenv("XDG_STATE_HOME", MakeTempDir("state").c_str(), 1);
  Save();
  const std::string saved = ReadFile("song.dat");
  Tap(&Controls::ctrlN);
  const std::string edited = Text();
  const auto project = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now()) - 10s + 500ns;
  const struct {
    std::chrono::nanoseconds recoveryAge;
    bool loaded;
  } cases[] = {{1s - 400ns, true}, {-1s + 400ns, false}, {100ns, true}, {-100ns, false}, {0ns, false}};
  for (const auto& c : cases) {
    seq->Shutdown();
    seq.reset();  // quitting writes the recovery file; the times are set after it
    WriteFile("song.dat", saved);
    WriteFile("song.recovery.dat", edited);
    fs::last_write_time("song.dat", project);
    fs::last_write_time("song.recovery.dat", project + c.recoveryAge);
    Restart();
    EXPECT_EQ(Text() == edited, c.loaded) << "recovery file " << c.recoveryAge.count() << " ns newer";
  }
  unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace zs::test
