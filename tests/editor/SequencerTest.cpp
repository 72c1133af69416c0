// SPDX-License-Identifier: LGPL-2.1-or-later
// Start-up, frame timing, messages and the global keys of the editor.
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
  seq->GetSessions()->GetTrackExternalReverb(0, stored);
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
  Press([](Controls& c) { c.f7Pressed = true; });  // empty song: an error message
  ExpectMessage("NO SONG", true);
  Idle(1.4);
  EXPECT_TRUE(seq->IsMessageActive());
  Idle(0.2);
  EXPECT_FALSE(seq->IsMessageActive());
  EXPECT_EQ(seq->GetMessage(), "");
  EXPECT_FALSE(seq->IsMessageError());

  Press([](Controls& c) { c.f8Pressed = true; });
  ExpectMessage("NO SONG", true);
  EXPECT_FALSE(fs::exists("song.asc")) << "an empty song exports nothing";
}

TEST_F(SequencerTest, F1SavesF5ReloadsAndFailuresKeepTheSong) {
  seq->GetSessions()->AddNote(0, 0, 3, MakeNote(60));
  Save();
  seq->GetSessions()->Delete(0, 0, 3);
  Reload();
  EXPECT_EQ(NotesAt(0, 0, 3), 1);

  fs::remove("song.dat");
  Press([](Controls& c) { c.spacePressed = true; });
  ASSERT_TRUE(seq->IsPlaying());
  Press([](Controls& c) { c.f5Pressed = true; });
  ExpectMessage("ERROR LOADING", true);
  EXPECT_FALSE(seq->GetPlayer()->IsPlaying());
  EXPECT_EQ(NotesAt(0, 0, 3), 1);
  fs::create_directory("song.dat");  // a directory cannot be written as a file
  Press([](Controls& c) { c.f1Pressed = true; });
  ExpectMessage("ERROR SAVING", true);
}

TEST_F(SequencerTest, TabCyclesThroughTheEightSubpagesBothWays) {
  for (int i = 1; i <= 8; ++i) {
    Press([](Controls& c) { c.tabPressed = true; });
    EXPECT_EQ(seq->GetSubpage(), i % 8);
  }
  Press([](Controls& c) { c.shiftTab = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageExternalEqualizer);
  Press([](Controls& c) { c.shiftTab = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageExternalReverb);
  Press([](Controls& c) { c.ctrlDigit[2] = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageInstruments);
  Press([](Controls& c) { c.ctrlDigit[0] = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageStepEdit);
}

TEST_F(SequencerTest, EqualizerProgramSelectionBlocksTabAndTrackSelection) {
  Press([](Controls& c) { c.ctrlDigit[7] = true; });
  Press([](Controls& c) { c.altP = true; });
  ASSERT_TRUE(seq->GetEqProgramSelecting());
  Press([](Controls& c) { c.tabPressed = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageExternalEqualizer);
  Press([](Controls& c) { c.shiftTab = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageExternalEqualizer);
  Press([](Controls& c) { c.shiftNumberRow[2] = true; });
  EXPECT_EQ(seq->GetTrack(), 0);
  ExpectMessage("FINISH EQ EDITING", true);
  Press([](Controls& c) { c.returnPressed = true; });
  EXPECT_FALSE(seq->GetEqProgramSelecting());
  Press([](Controls& c) { c.tabPressed = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageStepEdit);
}

TEST_F(SequencerTest, OctaveStopsAtZeroAndTenAndWaitsForNoteKeys) {
  for (int i = 0; i < 8; ++i) Press([](Controls& c) { c.keypadPlusPressed = true; });
  EXPECT_EQ(seq->GetOctave(), 10);
  for (int i = 0; i < 12; ++i) Press([](Controls& c) { c.shiftMinus = true; });
  EXPECT_EQ(seq->GetOctave(), 0);
  Press([](Controls& c) { c.shiftPlus = true; });
  EXPECT_EQ(seq->GetOctave(), 1);
  Press([](Controls& c) {
    c.keypadPlusPressed = true;
    c.pianoPressed[5] = true;
  });
  EXPECT_EQ(seq->GetOctave(), 1) << "a note key pressed in the same frame blocks the octave change";
}

TEST_F(SequencerTest, BarKeysWrapAndJump) {
  Press([](Controls& c) { c.pageUpCount = 1; });
  EXPECT_EQ(seq->GetBar(), 15);
  Press([](Controls& c) {
    c.pageDownPressed = true;
    c.pageDownCount = 1;
  });
  EXPECT_EQ(seq->GetBar(), 0);
  Press([](Controls& c) { c.pageDownCount = 0; });
  EXPECT_EQ(seq->GetBar(), 0) << "no press of the key in this frame, no move";
  Press([](Controls& c) {
    c.pageDownCount = 1;
    c.ctrlPageDown = true;
  });
  EXPECT_EQ(seq->GetBar(), 0) << "Ctrl+Page Down is another command";
  Press([](Controls& c) { c.altDigit[3] = true; });
  EXPECT_EQ(seq->GetBar(), 2);
  Press([](Controls& c) { c.altGrI = true; });
  EXPECT_EQ(seq->GetBar(), 15);
  Press([](Controls& c) { c.altGrDigit[0] = true; });
  EXPECT_EQ(seq->GetBar(), 0);
  Press([](Controls& c) { c.ctrlDigit[2] = true; });  // instruments: Page keys are its own
  Press([](Controls& c) { c.pageDownCount = 1; });
  EXPECT_EQ(seq->GetBar(), 0);
}

TEST_F(SequencerTest, ShiftDigitsAndQWSelectTheTrack) {
  Press([](Controls& c) { c.shiftNumberRow[2] = true; });
  EXPECT_EQ(seq->GetTrack(), 2);
  EXPECT_EQ(seq->GetPlayer()->GetTrack(), 2);
  Press([](Controls& c) { c.shiftW = true; });
  EXPECT_EQ(seq->GetTrack(), 11);
  Press([](Controls& c) { c.shiftNumberRow[9] = true; });
  EXPECT_EQ(seq->GetTrack(), 9);
  Press([](Controls& c) {
    c.shiftQ = true;
    c.pianoPressed[0] = true;
  });
  EXPECT_EQ(seq->GetTrack(), 9) << "not while a note key is pressed";
}

TEST_F(SequencerTest, SoloMuteAndFixedVelocityToggle) {
  SessionsStore* s = seq->GetSessions();
  Press([](Controls& c) { c.shiftNumberRow[1] = true; });
  Press([](Controls& c) { c.altS = true; });
  EXPECT_EQ(s->GetSingle(0), 1);
  Press([](Controls& c) { c.altS = true; });
  EXPECT_EQ(s->GetSingle(0), -1);
  Press([](Controls& c) { c.altM = true; });
  EXPECT_TRUE(s->GetMuted(0, 1));
  Press([](Controls& c) { c.altM = true; });
  EXPECT_FALSE(s->GetMuted(0, 1));
  const bool fixed = s->GetTrackVelocityFixed(1);
  Press([](Controls& c) { c.altT = true; });
  EXPECT_NE(s->GetTrackVelocityFixed(1), fixed);

  Press([](Controls& c) { c.ctrlDigit[4] = true; });  // the mixer handles these itself
  Press([](Controls& c) { c.altM = true; });
  EXPECT_FALSE(s->GetMuted(0, 1));
}

TEST_F(SequencerTest, ModeTogglesFlipAndTheVelocityCurveWraps) {
  Press([](Controls& c) { c.altZ = true; });
  Press([](Controls& c) { c.altF = true; });
  Press([](Controls& c) { c.altY = true; });
  Press([](Controls& c) { c.altQ = true; });
  Press([](Controls& c) { c.altG = true; });
  Press([](Controls& c) { c.f9Pressed = true; });
  EXPECT_FALSE(seq->GetLockToScale());
  EXPECT_TRUE(seq->GetFollowPlayhead());
  EXPECT_FALSE(seq->GetMidiFixedVelocity());
  EXPECT_FALSE(seq->GetPlayer()->GetNoteQuantization());
  EXPECT_FALSE(seq->GetPlayer()->GetGateQuantization());
  EXPECT_TRUE(seq->GetPitchBlack());
  Press([](Controls& c) { c.altReturn = true; });
  EXPECT_FALSE(seq->GetPitchBlack());
  for (int i = 1; i <= 9; ++i) {
    Press([](Controls& c) { c.altC = true; });
    EXPECT_EQ(seq->GetMidiVelocityCurve(), i % 9);
  }
}

TEST_F(SequencerTest, RecordingToggleAndEscapeUndoesTheTake) {
  seq->GetSessions()->AddNote(0, 0, 0, MakeNote(48));
  Press([](Controls& c) { c.rightCtrlPressed = true; });
  EXPECT_TRUE(seq->IsRecording());
  seq->GetSessions()->AddNote(0, 0, 5, MakeNote(60));  // what a recording writes
  Press([](Controls& c) { c.escapePressed = true; });
  EXPECT_FALSE(seq->IsRecording());
  EXPECT_EQ(NotesAt(0, 0, 5), 0);
  EXPECT_EQ(NotesAt(0, 0, 0), 1) << "what was there before the take stays";

  ExpectMessage("UNDO RECORDING", false);

  Press([](Controls& c) { c.rightCtrlPressed = true; });
  Press([](Controls& c) { c.rightCtrlPressed = true; });  // a take without notes is no edit
  EXPECT_FALSE(seq->IsRecording());
  Press([](Controls& c) { c.escapePressed = true; });  // not recording: the edit before the take
  EXPECT_EQ(NotesAt(0, 0, 0), 0);
  Press([](Controls& c) { c.escapePressed = true; });
  ExpectMessage("NOTHING TO UNDO", true);
  for (int i = 0; i < 2; ++i) Press([](Controls& c) { c.shiftEscape = true; });
  ExpectMessage("REDO RECORDING", false);
  EXPECT_EQ(NotesAt(0, 0, 0), 1);
  EXPECT_EQ(NotesAt(0, 0, 5), 1);
}

TEST_F(SequencerTest, SpacePlaysAndStopsShiftSpaceContinuesAndFollowingShowsThePlayingBar) {
  seq->GetSessions()->SetStartEndSteps(0, 0, 0, 63);
  Press([](Controls& c) { c.altF = true; });
  Press([](Controls& c) { c.spacePressed = true; });
  EXPECT_TRUE(seq->IsPlaying());
  Idle(2.6);  // 20 steps at 120 bpm
  EXPECT_EQ(seq->GetBar(), 1);
  Press([](Controls& c) { c.pageDownCount = 1; });
  EXPECT_EQ(seq->GetBar(), 1) << "paging is off while following the playhead";
  Press([](Controls& c) { c.spacePressed = true; });
  EXPECT_FALSE(seq->IsPlaying());
  Press([](Controls& c) { c.shiftSpace = true; });
  EXPECT_TRUE(seq->IsPlaying());
  EXPECT_GE(seq->GetPlayer()->GetPlayhead().trackStep[0], 20) << "Shift+Space continues where it stopped";
}

}  // namespace
