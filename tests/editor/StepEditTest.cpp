// SPDX-License-Identifier: LGPL-2.1-or-later
// Keys of the step edit subpage: notes under the cursor, the attribute and value editors,
// clipboards, lines, play ranges, loops and transpositions.
#include "tests/editor/SequencerFixture.h"

namespace {

using zs::test::MakeNote;
class StepEditTest : public zs::test::SequencerFixture {};

TEST_F(StepEditTest, CursorNoteIsWrittenDeletedAndChangedByTheRepeatCount) {
  Store()->SetTrackVelocity(0, 90);
  TapAt(19, 61, &Controls::ctrlN);
  EXPECT_EQ(At(19, 61).velocity, 90);
  EXPECT_EQ(At(19, 61).gate, 1);
  Tap(&Controls::ctrlX);
  EXPECT_EQ(NotesAt(0, 0, 19), 0);

  GoTo(0, 60);
  Note n = MakeNote(60);
  for (auto [from, to] : {std::pair{10, 0}, {96, 0}, {32, 64}, {0, 32}}) {
    n.offset = static_cast<uint8_t>(from);
    Put(0, n);
    Tap(&Controls::shiftO);
    EXPECT_EQ(At(0, 60).offset, to) << "from " << from;
  }
  Put(0, MakeNote(60));
  Arrow(&Controls::downCount, 3, &Controls::altDownHeld);
  EXPECT_EQ(At(0, 60).gate, 4);
  Arrow(&Controls::upCount, 9, &Controls::altUpHeld);
  EXPECT_EQ(At(0, 60).gate, 0);
  Arrow(&Controls::rightCount, 40, &Controls::altShiftRightHeld);
  EXPECT_EQ(At(0, 60).velocity, 127);
  EXPECT_EQ(seq->GetStepCursor(), 0) << "modified arrows do not move the cursor";
  EXPECT_EQ(seq->GetNoteCursor(), 0);
}

TEST_F(StepEditTest, AttributeEditorCommitsOnlyMidiValues) {
  Put(2, 60);
  TapAt(2, 60, &Controls::deletePressed);
  Type("200");
  Tap(&Controls::ctrlX);  // modal: nothing else happens meanwhile
  EXPECT_NE(zs::test::Captured([&] { Tap(&Controls::returnPressed); }).find("END note editing"), std::string::npos);
  EXPECT_EQ(At(2, 60).velocity, 100) << "200 is not a MIDI value";

  // Velocity field (the default), typed 5 0 1, backspace; moving right commits into velocity.
  Tap(&Controls::deletePressed);
  Type("501");
  Tap(&Controls::backspacePressed);
  Arrow(&Controls::rightCount, 1);
  EXPECT_EQ(At(2, 60).velocity, 50);
  Type("7");
  Tap(&Controls::ctrlReturn);  // commits into the offset field and leaves
  EXPECT_EQ(At(2, 60).offset, 7);
  TapAt(4, 60, &Controls::deletePressed);  // no note: the editor does not open, the arrows move the cursor
  Arrow(&Controls::downCount, 1);
  EXPECT_EQ(seq->GetStepCursor(), 5);
}

TEST_F(StepEditTest, DraggingRefusesOccupiedPitchesAndSteps) {
  Put(1, 60);
  Put(1, 62);
  Put(3, 60);
  GoTo(1, 60);
  Arrow(&Controls::rightCount, 2, &Controls::ctrlRightHeld);
  EXPECT_EQ(At(1, 60).note, 60) << "62 is taken";
  EXPECT_EQ(seq->GetNoteCursor(), 0);
  Arrow(&Controls::rightCount, 3, &Controls::ctrlRightHeld);
  EXPECT_EQ(At(1, 63).note, 63);
  EXPECT_EQ(At(1, 60).note, 255);
  EXPECT_EQ(seq->GetNoteCursor(), 3);

  GoTo(3, 60);
  Arrow(&Controls::upCount, 2, &Controls::ctrlUpHeld);  // to step 1, where 60 is free now
  EXPECT_EQ(At(1, 60).note, 60);
  EXPECT_EQ(seq->GetStepCursor(), 1);

  // Finding notes: next step with this pitch (wrapping in the bar), next note of the step.
  Put(9, 60);
  Arrow(&Controls::upCount, 1, &Controls::ctrlShiftUpHeld);
  EXPECT_EQ(seq->GetStepCursor(), 9);
  GoTo(1, 62);
  Arrow(&Controls::rightCount, 1, &Controls::ctrlShiftRightHeld);
  EXPECT_EQ(seq->GetNoteCursor() + 12 * seq->GetOctave(), 63);
  Arrow(&Controls::rightCount, 1, &Controls::ctrlShiftRightHeld);
  EXPECT_EQ(seq->GetNoteCursor() + 12 * seq->GetOctave(), 60) << "wraps to the lowest";
}

TEST_F(StepEditTest, NoteClipboardPastesMovesAndCopiesAttributes) {
  Note n = MakeNote(60);
  n.velocity = 33;
  n.gate = 5;
  Put(0, n);
  TapAt(0, 60, &Controls::ctrlC);
  TapAt(2, 64, &Controls::ctrlV);
  EXPECT_EQ(At(2, 64).velocity, 33);

  TapAt(4, 60, &Controls::ctrlM);  // CTRL M twice: the note travels, the origin follows
  TapAt(6, 61, &Controls::ctrlM);
  ExpectNotes({{0, 60}, {4, 60}}, false);
  EXPECT_EQ(At(6, 61).gate, 5);
  Put(2, 64);  // gate 1; the clipboard note has gate 5
  TapAt(2, 64, &Controls::ctrlG);
  EXPECT_EQ(At(2, 64).gate, 5);

  Press([](Controls& c) { c.shiftNumberRow[1] = true; });  // another track: the move is refused
  ASSERT_EQ(seq->GetTrack(), 1);
  TapAt(8, 60, &Controls::ctrlM);
  ExpectMessage("NOT SAME SESSION TRACK", true);
  EXPECT_EQ(At(6, 61).note, 61);
  EXPECT_EQ(NotesAt(0, 1, 8), 0);
}

TEST_F(StepEditTest, LinesInsertDeleteCopyAndPasteOnce) {
  Put(5, 60);
  Put(5, 64);
  Put(255, 70);
  TapAt(5, 60, &Controls::ctrlI);
  ExpectMessage("LASTLINE", true);
  EXPECT_EQ(NotesAt(0, 0, 5), 2);
  Store()->Delete(0, 0, 255);
  Tap(&Controls::ctrlI);
  EXPECT_EQ(NotesAt(0, 0, 5), 0);
  EXPECT_EQ(NotesAt(0, 0, 6), 2);

  TapAt(6, 60, &Controls::ctrlL);
  TapAt(9, 60, &Controls::ctrlP);
  EXPECT_EQ(NotesAt(0, 0, 9), 2);
  TapAt(10, 60, &Controls::ctrlP);
  EXPECT_EQ(NotesAt(0, 0, 10), 0) << "the line clipboard is used up";

  TapAt(8, 60, &Controls::ctrlY);
  EXPECT_EQ(NotesAt(0, 0, 8), 2) << "step 9 moved up";
}

TEST_F(StepEditTest, PlayRangesUpdateTheSongAndLoopsHaveBounds) {
  seq->GetPlayer()->SetSong({{0, 16}, {1, 16}, {0, 16}});
  TapAt(31, 48, &Controls::ctrlShiftE);
  TapAt(4, 48, &Controls::ctrlShiftB);
  Song song = seq->GetPlayer()->GetSong();
  EXPECT_EQ(song[0].length, 28);
  EXPECT_EQ(song[1].length, 16) << "other sessions keep theirs";
  EXPECT_EQ(song[2].length, 28);

  int loopTrack, loopStart, loopEnd;
  Store()->SetLoopingStartEndSteps(0, 0, 127);
  TapAt(130, 48, &Controls::ctrlB);
  ExpectMessage("LASTLINE NOT ALLOWED", true);
  TapAt(0, 48, &Controls::ctrlE);
  ExpectMessage("FIRSTLINE NOT ALLOWED", true);
  TapAt(20, 48, &Controls::ctrlB);
  TapAt(24, 48, &Controls::ctrlE);
  Store()->GetLoopingStartEndSteps(loopTrack, loopStart, loopEnd);
  EXPECT_EQ(loopStart, 20);
  EXPECT_EQ(loopEnd, 24);

  Tap(&Controls::shiftReturn);  // looping off: nothing
  EXPECT_FALSE(seq->IsPlaying());
  Tap(&Controls::altL);
  EXPECT_TRUE(Store()->GetLooping());
  Tap(&Controls::shiftReturn);
  EXPECT_TRUE(seq->IsPlaying());
  EXPECT_TRUE(seq->GetPlayer()->IsLooping());
  Tap(&Controls::shiftReturn);
  TapAt(40, 48, &Controls::returnPressed);  // outside 4..31: RETURN does not start
  EXPECT_FALSE(seq->IsPlaying());
}

TEST_F(StepEditTest, TranspositionsAreAllOrNothing) {
  Put(0, 116);
  Put(0, 40);
  TapAt(0, 48, &Controls::ctrlKeypadPlus);
  ExpectMessage("LASTCOL", true);
  EXPECT_EQ(At(0, 116).note, 116);
  Store()->DeleteNote(0, 0, 0, 116);
  Put(0, 115);
  Tap(&Controls::ctrlKeypadPlus);
  ExpectNotes({{0, 127}, {0, 52}});

  Put(15, 0);
  Put(3, 60);
  Tap(&Controls::altShiftKeypadMinus);
  ExpectMessage("FIRSTCOL", true);
  EXPECT_EQ(At(3, 60).note, 60);
  Store()->Delete(0, 0, 15);
  Tap(&Controls::altKeypadMinus);
  ExpectNotes({{3, 48}, {0, 115}});

  // One scale degree in C minor (the default scale).
  Store()->Delete(0, 0, 0);
  Put(0, 60);
  Put(0, 63);
  Tap(&Controls::shiftKeypadPlus);
  ExpectNotes({{0, 62}, {0, 65}});
  Put(0, 64);
  Tap(&Controls::shiftKeypadMinus);
  ExpectMessage("NOT IN SCALE", true);
  EXPECT_EQ(At(0, 62).note, 62);
}

TEST_F(StepEditTest, ValueEditorAndCursorWraps) {
  const int bpm = seq->GetPlayer()->GetBPM();
  Tap(&Controls::altB);
  EXPECT_TRUE(seq->GetValueEditActive());
  Arrow(&Controls::upCount, 3);
  EXPECT_EQ(seq->GetPlayer()->GetBPM(), bpm + 3);
  Arrow(&Controls::downCount, 300);
  EXPECT_EQ(seq->GetPlayer()->GetBPM(), 1);
  Tap(&Controls::returnPressed);

  Arrow(&Controls::upCount, 1);
  EXPECT_EQ(seq->GetStepCursor(), 15) << "the value editor is closed, 0 - 1 wraps";
  Arrow(&Controls::leftCount, 1);
  EXPECT_EQ(seq->GetNoteCursor(), 36);
  Arrow(&Controls::rightCount, 1, &Controls::shiftRightHeld);
  EXPECT_EQ(seq->GetNoteCursor(), 0) << "36 + 12 wraps to 0";
  Frame(Controls{.shiftDownHeld = true});
  EXPECT_EQ(seq->GetStepCursor(), 15) << "a held flag without a press moves nothing";
}

TEST_F(StepEditTest, InsertAuditionsTheCursorNoteUntilReleased) {
  RecordSentNotes();
  Put(3, 60);
  Put(3, 67);
  TapAt(3, 67, &Controls::insertDown);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].on);
  EXPECT_EQ(sent[0].note, 67);
  Tap(&Controls::insertUp);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_FALSE(sent[1].on);
  Press([](Controls& c) { c.shiftInsertDown = c.shiftInsertUp = true; });  // a tap within one frame
  EXPECT_EQ(sent.size(), 6u) << "both notes of the step on, then off";
  EXPECT_FALSE(sent.back().on);
}

}  // namespace
