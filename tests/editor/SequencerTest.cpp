// SPDX-License-Identifier: LGPL-2.1-or-later
// Start-up, frame timing, messages and the global keys of the editor.
#include <tuple>

#include "tests/editor/SequencerFixture.h"

namespace {

namespace fs = std::filesystem;
class SequencerTest : public zs::test::SequencerFixture {};
using zs::test::MakeNote;

TEST(SequencerSlices, FrameTimeIsCutIntoSixtiethsAndCappedAtOneSecond) {
  double s[kMaxPlayerSlices + 1];
  ASSERT_EQ(Sequencer::PlayerSlices(0.04, s), 3);
  EXPECT_DOUBLE_EQ(s[0], 1.0 / 60);
  EXPECT_DOUBLE_EQ(s[1], 1.0 / 60);
  EXPECT_NEAR(s[2], 0.04 - 2.0 / 60, 1e-12);

  ASSERT_EQ(Sequencer::PlayerSlices(2.0, s), 60);
  for (int i = 0; i < 60; ++i) EXPECT_DOUBLE_EQ(s[i], 1.0 / 60);

  EXPECT_EQ(Sequencer::PlayerSlices(0.0, s), 0);
  EXPECT_EQ(Sequencer::PlayerSlices(-0.5, s), 0);
  EXPECT_EQ(Sequencer::PlayerSlices(std::nan(""), s), 0);
  ASSERT_EQ(Sequencer::PlayerSlices(0.001, s), 1);
  EXPECT_DOUBLE_EQ(s[0], 0.001);
  EXPECT_EQ(Sequencer::PlayerSlices(1.0, s), 60);  // exactly one second: no crumb slice
}

TEST_F(SequencerTest, CreatesAMissingProjectAndDrawsTheFirstFrame) {
  EXPECT_TRUE(fs::exists("song.dat"));
  SFOutput* synth = seq->GetSynth();
  ASSERT_TRUE(synth->GetExternalReverbAvailable(0));
  EXPECT_FALSE(synth->GetExternalEqualizerActive(0)) << "start-up leaves the external equalizer off";
  double fromSynth[kExternalParams], stored[kExternalParams];
  synth->GetExternalReverbParams(0, fromSynth);
  Store()->GetTrackExternalReverb(0, stored);
  for (int k = 0; k < kExternalParams; ++k) EXPECT_DOUBLE_EQ(stored[k], fromSynth[k]);
  Frame(Controls{});
  EXPECT_FALSE(quads.quads.empty()) << "the frame draws something";
  EXPECT_DOUBLE_EQ(scene.background.r, 0.1);
}

// Start-up problems show in the window one after another, a few seconds each.
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

// A song on a soundfont that is gone starts all the same and saves its instruments unchanged.
TEST_F(SequencerTest, AMissingSoundfontIsShownAndItsTracksKeepTheirInstruments) {
  auto trackTwoLine = [] {
    std::ifstream in("song.dat");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("i 2 ", 0) == 0) return line.substr(0, line.rfind(' ', line.rfind(' ') - 1));  // without the names
    return std::string();
  };
  EnterFolder(2);
  Restart();
  ASSERT_TRUE(seq->GetSynth()->SetInstrument(2, 1, 0, 5));
  Save();
  const std::string before = trackTwoLine();
  ASSERT_NE(before.find(" 1 0 5"), std::string::npos) << before;

  std::ofstream("soundfonts.dat") << "1.0 " << zs::test::kSoundfont << "\n1.0 gone/TimGM6mb.sf2\n";
  Restart();
  ExpectMessage("SOUNDFONT 1 MISSING", true);
  Idle(2.5);
  EXPECT_TRUE(seq->IsMessageActive()) << "shown for a few seconds";
  Save();
  EXPECT_EQ(trackTwoLine(), before);
}

TEST_F(SequencerTest, NoSongMessageShowsForOneAndAHalfSeconds) {
  Tap(&Controls::f7Pressed);  // empty song: an error message
  ExpectMessage("NO SONG", true);
  Idle(1.4);
  EXPECT_TRUE(seq->IsMessageActive());
  Idle(0.2);
  EXPECT_FALSE(seq->IsMessageActive());
  EXPECT_EQ(seq->GetMessage(), "");
  EXPECT_FALSE(seq->IsMessageError());

  Tap(&Controls::f8Pressed);
  ExpectMessage("NO SONG", true);
  EXPECT_FALSE(fs::exists("song.asc")) << "an empty song exports nothing";
}

// Saving, reloading and a failed save are in UndoTest, with what ESC does after them.
TEST_F(SequencerTest, AFailedLoadStopsPlaybackAndKeepsTheSong) {
  Store()->AddNote(0, 0, 3, MakeNote(60));
  fs::remove("song.dat");
  Tap(&Controls::spacePressed);
  ASSERT_TRUE(seq->IsPlaying());
  Tap(&Controls::f5Pressed);
  ExpectMessage("ERROR LOADING", true);
  EXPECT_FALSE(seq->GetPlayer()->IsPlaying());
  EXPECT_EQ(NotesAt(0, 0, 3), 1);
}

TEST_F(SequencerTest, TabCyclesThroughTheSubpagesUnlessAnEqualizerProgramIsBeingChosen) {
  for (int i = 1; i <= 8; ++i) {
    Tap(&Controls::tabPressed);
    EXPECT_EQ(seq->GetSubpage(), i % 8);
  }
  PressAndExpect([this] { return seq->GetSubpage(); },
                 {{[](Controls& c) { c.shiftTab = true; }, SubpageExternalEqualizer},
                  {[](Controls& c) { c.shiftTab = true; }, SubpageExternalReverb},
                  {[](Controls& c) { c.ctrlDigit[2] = true; }, SubpageInstruments},
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

TEST_F(SequencerTest, OctaveStopsAtZeroAndTenAndWaitsForNoteKeys) {
  for (int i = 0; i < 8; ++i) Tap(&Controls::keypadPlusPressed);
  EXPECT_EQ(seq->GetOctave(), 10);
  for (int i = 0; i < 12; ++i) Tap(&Controls::shiftMinus);
  EXPECT_EQ(seq->GetOctave(), 0);
  // A note key pressed in the same frame blocks the octave change.
  PressAndExpect([this] { return seq->GetOctave(); },
                 {{[](Controls& c) { c.shiftPlus = true; }, 1},
                  {[](Controls& c) { c.keypadPlusPressed = c.pianoPressed[5] = true; }, 1}});
}

// Page Down needs a press in the frame, and Ctrl+Page Down is another command; the instruments
// subpage has the Page keys for itself.
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
  // The solo track, and track 1's mute and fixed velocity; the mixer handles ALT M itself.
  PressAndExpect([s] { return std::tuple{s->GetSingle(0), s->GetMuted(0, 1), s->GetTrackVelocityFixed(1)}; },
                 {{[](Controls& c) { c.shiftNumberRow[1] = true; }, {-1, false, fixed}},
                  {[](Controls& c) { c.altS = true; }, {1, false, fixed}},
                  {[](Controls& c) { c.altS = true; }, {-1, false, fixed}},
                  {[](Controls& c) { c.altM = true; }, {-1, true, fixed}},
                  {[](Controls& c) { c.altM = true; }, {-1, false, fixed}},
                  {[](Controls& c) { c.altT = true; }, {-1, false, !fixed}},
                  {[](Controls& c) { c.ctrlDigit[4] = true; }, {-1, false, !fixed}},
                  {[](Controls& c) { c.altM = true; }, {-1, false, !fixed}}});
}

TEST_F(SequencerTest, ModeTogglesFlipAndTheVelocityCurveWraps) {
  for (bool Controls::*key : {&Controls::altZ, &Controls::altF, &Controls::altY, &Controls::altQ, &Controls::altG,
                               &Controls::f9Pressed})
    Tap(key);
  EXPECT_FALSE(seq->GetLockToScale());
  EXPECT_TRUE(seq->GetFollowPlayhead());
  EXPECT_FALSE(seq->GetMidiFixedVelocity());
  EXPECT_FALSE(seq->GetPlayer()->GetNoteQuantization());
  EXPECT_FALSE(seq->GetPlayer()->GetGateQuantization());
  EXPECT_TRUE(seq->GetPitchBlack());
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
  Store()->AddNote(0, 0, 5, MakeNote(60));  // what a recording writes
  Tap(&Controls::escapePressed);
  EXPECT_FALSE(seq->IsRecording());
  EXPECT_EQ(NotesAt(0, 0, 5), 0);
  EXPECT_EQ(NotesAt(0, 0, 0), 1) << "what was there before the take stays";

  ExpectMessage("UNDO RECORDING", false);

  Tap(&Controls::rightCtrlPressed);
  Tap(&Controls::rightCtrlPressed);  // a take without notes is no edit
  EXPECT_FALSE(seq->IsRecording());
  Tap(&Controls::escapePressed);  // not recording: the edit before the take
  EXPECT_EQ(NotesAt(0, 0, 0), 0);
  Tap(&Controls::escapePressed);
  ExpectMessage("NOTHING TO UNDO", true);
  for (int i = 0; i < 2; ++i) Tap(&Controls::shiftEscape);
  ExpectMessage("REDO RECORDING", false);
  EXPECT_EQ(NotesAt(0, 0, 0), 1);
  EXPECT_EQ(NotesAt(0, 0, 5), 1);
}

TEST_F(SequencerTest, SpacePlaysAndStopsShiftSpaceContinuesAndFollowingShowsThePlayingBar) {
  Store()->SetStartEndSteps(0, 0, 0, 63);
  Tap(&Controls::altF);
  Tap(&Controls::spacePressed);
  EXPECT_TRUE(seq->IsPlaying());
  Idle(2.6);  // 20 steps at 120 bpm
  EXPECT_EQ(seq->GetBar(), 1);
  Press([](Controls& c) { c.pageDownCount = 1; });
  EXPECT_EQ(seq->GetBar(), 1) << "paging is off while following the playhead";
  Tap(&Controls::spacePressed);
  EXPECT_FALSE(seq->IsPlaying());
  Tap(&Controls::shiftSpace);
  EXPECT_TRUE(seq->IsPlaying());
  EXPECT_GE(seq->GetPlayer()->GetPlayhead().trackStep[0], 20) << "Shift+Space continues where it stopped";
}

}  // namespace
