// SPDX-License-Identifier: LGPL-2.1-or-later
// Keys of the step edit subpage: notes under the cursor, the attribute and value editors, clipboards,
// lines, play ranges, loops, transpositions and the CTRL K block commands.
#include <array>

#include "tests/editor/SequencerFixture.h"

namespace {

using zs::test::MakeNote;
class StepEditTest : public zs::test::SequencerFixture {
 protected:
  void Mark(int firstStep, int low, int lastStep, int high) {
    TapAt(firstStep, low, &Controls::ctrlKB);
    TapAt(lastStep, high, &Controls::ctrlKK);
  }
};
using BlockTest = StepEditTest;

TEST_F(StepEditTest, CursorNoteIsWrittenDeletedAndChangedByTheRepeatCount) {
  Store()->SetTrackVelocity(0, 90);
  TapAt(19, 61, &Controls::ctrlN);
  EXPECT_EQ(std::pair(At(19, 61).velocity, At(19, 61).gate), (std::pair<uint8_t, uint8_t>(90, 1)));
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
  EXPECT_EQ(std::pair(seq->GetStepCursor(), seq->GetNoteCursor()), std::pair(0, 0)) << "modified arrows do not move";
}

TEST_F(StepEditTest, AttributeEditorCommitsOnlyMidiValues) {
  Put(2, 60);
  TapAt(2, 60, &Controls::deletePressed);
  Type("200");
  Tap(&Controls::ctrlX);  // modal: no other key acts
  EXPECT_NE(zs::test::Captured([&] { Tap(&Controls::returnPressed); }).find("END note editing"), std::string::npos);
  EXPECT_EQ(At(2, 60).velocity, 100) << "200 is not a MIDI value";

  Tap(&Controls::deletePressed);
  Type("501");
  Tap(&Controls::backspacePressed);
  Arrow(&Controls::rightCount, 1);
  EXPECT_EQ(At(2, 60).velocity, 50);
  Type("7");
  Tap(&Controls::ctrlReturn);
  EXPECT_EQ(At(2, 60).offset, 7);
  TapAt(4, 60, &Controls::deletePressed);  // no note: no editor
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
  ExpectNotes({{1, 63}});
  ExpectNotes({{1, 60}}, false);
  EXPECT_EQ(seq->GetNoteCursor(), 3);

  GoTo(3, 60);
  Arrow(&Controls::upCount, 2, &Controls::ctrlUpHeld);
  EXPECT_EQ(At(1, 60).note, 60);
  EXPECT_EQ(seq->GetStepCursor(), 1);

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

  TapAt(4, 60, &Controls::ctrlM);
  TapAt(6, 61, &Controls::ctrlM);
  ExpectNotes({{0, 60}, {4, 60}}, false);
  EXPECT_EQ(At(6, 61).gate, 5);
  Put(2, 64);
  TapAt(2, 64, &Controls::ctrlG);
  EXPECT_EQ(At(2, 64).gate, 5);

  Press([](Controls& c) { c.shiftNumberRow[1] = true; });
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
  const Song song = seq->GetPlayer()->GetSong();
  EXPECT_EQ((std::array{song[0].length, song[1].length, song[2].length}), (std::array{28, 16, 28}));

  int loopTrack, loopStart, loopEnd;
  Store()->SetLoopingStartEndSteps(0, 0, 127);
  TapAt(130, 48, &Controls::ctrlB);
  ExpectMessage("LASTLINE NOT ALLOWED", true);
  TapAt(0, 48, &Controls::ctrlE);
  ExpectMessage("FIRSTLINE NOT ALLOWED", true);
  TapAt(20, 48, &Controls::ctrlB);
  TapAt(24, 48, &Controls::ctrlE);
  Store()->GetLoopingStartEndSteps(loopTrack, loopStart, loopEnd);
  EXPECT_EQ(std::pair(loopStart, loopEnd), std::pair(20, 24));

  Tap(&Controls::shiftReturn);
  EXPECT_FALSE(seq->IsPlaying());
  Tap(&Controls::altL);
  Tap(&Controls::shiftReturn);
  EXPECT_TRUE(Store()->GetLooping() && seq->IsPlaying() && seq->GetPlayer()->IsLooping());
  Tap(&Controls::shiftReturn);
  TapAt(40, 48, &Controls::returnPressed);  // outside 4..31
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
  Press([](Controls& c) { c.shiftInsertDown = c.shiftInsertUp = true; });
  EXPECT_EQ(sent.size(), 6u) << "both notes of the step on, then off";
  EXPECT_FALSE(sent.back().on);
}

TEST_F(BlockTest, MarkingSelectsTheRectangleAndEraseTakesOnlyIt) {
  for (int s = 3; s <= 8; ++s) {
    for (int p = 59; p <= 65; ++p) Put(s, p);
  }
  TapAt(4, 60, &Controls::ctrlKB);
  TapAt(8, 59, &Controls::ctrlKK);  // below the begin corner
  Tap(&Controls::ctrlKY);
  EXPECT_EQ(CountNotes(), 42) << "an unfinished block erases nothing";

  Mark(4, 60, 7, 64);
  Tap(&Controls::ctrlKY);
  EXPECT_EQ(CountNotes(), 42 - 4 * 5);
  for (int s = 4; s <= 7; ++s) {
    EXPECT_EQ(At(s, 59).note, 59);
    ExpectNotes({{s, 60}, {s, 64}}, false);
    EXPECT_EQ(At(s, 65).note, 65);
  }
  EXPECT_EQ(std::pair(NotesAt(0, 0, 3), NotesAt(0, 0, 8)), std::pair(7, 7));
  Tap(&Controls::ctrlKY);  // no block left
  EXPECT_EQ(CountNotes(), 22);
  Tap(&Controls::ctrlKU);
  EXPECT_EQ(CountNotes(), 42);
}

TEST_F(BlockTest, CopyIsCutAtTheLastStepAndTheTopPitch) {
  for (int s = 0; s < 16; ++s) Put(s, 60);
  Mark(0, 60, 15, 60);
  TapAt(250, 60, &Controls::ctrlKC);
  EXPECT_EQ(CountNotes(), 22);
  for (int s = 250; s < 256; ++s) EXPECT_EQ(At(s, 60).note, 60);

  for (int p : {66, 67, 72}) Put(0, p);
  Mark(0, 60, 0, 72);
  TapAt(32, 120, &Controls::ctrlKC);
  EXPECT_EQ(NotesAt(0, 0, 32), 2);
  ExpectNotes({{32, 120}, {32, 126}});
  EXPECT_EQ(NotesAt(0, 0, 0), 4) << "the source stays";

  // Each source note is copied once into a target overlapping the block.
  Store()->Delete(0, 0);
  Put(0, 60);
  Put(1, 60);
  Mark(0, 60, 1, 61);
  TapAt(1, 61, &Controls::ctrlKC);
  ExpectNotes({{1, 61}, {2, 61}});
  EXPECT_EQ(CountNotes(), 4);
}

TEST_F(BlockTest, MoveThenUndoRestoresTheSongExactly) {
  Note a = MakeNote(60);
  a.offset = 12;
  a.velocity = 70;
  Put(4, a);
  Put(5, 62);
  Put(5, 80);  // outside the block's pitches
  const auto before = Snapshot();
  Mark(4, 60, 5, 62);
  TapAt(20, 72, &Controls::ctrlKM);
  EXPECT_EQ(std::pair(At(20, 72).velocity, At(20, 72).offset), (std::pair<uint8_t, uint8_t>(70, 12)));
  ExpectNotes({{21, 74}, {5, 80}});
  EXPECT_EQ(CountNotes(), 3);
  Tap(&Controls::ctrlKU);
  EXPECT_EQ(Snapshot(), before);

  Mark(4, 60, 5, 62);
  TapAt(20, 72, &Controls::ctrlKM);
  Tap(&Controls::ctrlKY);
  EXPECT_EQ(CountNotes(), 1);
}

TEST_F(BlockTest, UndoAfterRandomVelocityOnceAndRefusalsInOtherTracks) {
  for (int s = 0; s < 8; ++s) Put(s, 60 + s);
  const auto before = Snapshot();
  Tap(&Controls::ctrlKA);
  Tap(&Controls::ctrlKR);
  for (int s = 0; s < 8; ++s) EXPECT_NEAR(At(s, 60 + s).velocity, 100, 10) << s;
  Tap(&Controls::ctrlKU);
  EXPECT_EQ(Snapshot(), before);
  Put(9, 50);
  Tap(&Controls::ctrlKU);
  EXPECT_EQ(At(9, 50).note, 50) << "a second undo does nothing";

  Store()->SetTrackVelocity(0, 44);
  Tap(&Controls::ctrlKS);
  EXPECT_EQ(At(3, 63).velocity, 44);
  EXPECT_EQ(At(9, 50).velocity, 100) << "outside the block marked before the note came";

  Press([](Controls& c) { c.shiftNumberRow[1] = true; });
  Tap(&Controls::ctrlKQ);
  ExpectMessage("NOT SAME SESSION TRACK", true);
  Press([](Controls& c) { c.shiftNumberRow[0] = true; });
  Tap(&Controls::ctrlKS);
  ExpectMessage("NOT SAME SESSION TRACK", true);  // the refusal removed the block
}

TEST_F(BlockTest, RandomOffsetsKeepEveryNoteInsideTheBlockSteps) {
  for (int s = 10; s <= 13; ++s) {
    for (int p = 60; p <= 66; ++p) {
      Note n = MakeNote(p);
      n.offset = static_cast<uint8_t>((p % 3) == 0 ? 0 : ((p % 3) == 1 ? 127 : 64));
      Put(s, n);
    }
    Put(s, 90);  // outside the block's pitches
  }
  Mark(10, 60, 13, 66);
  for (int round = 0; round < 60; ++round) {
    Tap(&Controls::ctrlKT);
    ASSERT_EQ(CountNotes(), 32) << "round " << round;
    for (const auto& row : Snapshot()) {
      ASSERT_GE(row[0], 10);
      ASSERT_LE(row[0], 13);
      EXPECT_EQ(row[1 + 8], 0) << "no marks left behind";
    }
    for (int s = 10; s <= 13; ++s) ASSERT_EQ(At(s, 90).offset, 0);
  }
  Tap(&Controls::ctrlKQ);
  for (int s = 10; s <= 13; ++s) EXPECT_EQ(At(s, 62).offset, 0);
}

TEST_F(BlockTest, HarmonicBlockTranspositionRefusesCollisions) {
  Put(0, 60);
  Put(1, 63);
  Put(0, 62);  // above the block, where 60 lands
  Mark(0, 60, 1, 61);
  const auto before = Snapshot();
  Tap(&Controls::shiftKeypadPlus);
  ExpectMessage("NOTE COLLISION", true);
  EXPECT_EQ(Snapshot(), before);

  Store()->DeleteNote(0, 0, 0, 62);
  Put(1, 62);  // inside the block: it moves along
  Mark(0, 60, 1, 63);
  Tap(&Controls::shiftKeypadPlus);
  ExpectNotes({{0, 62}, {1, 63}, {1, 65}});
  Tap(&Controls::shiftKeypadMinus);
  ExpectNotes({{0, 60}, {1, 62}, {1, 63}});

  Put(1, 61);
  Tap(&Controls::shiftKeypadPlus);
  ExpectMessage("NOT IN SCALE", true);
  Tap(&Controls::ctrlKY);
  EXPECT_EQ(At(1, 61).note, 61);

  Put(5, 127);  // G is in C minor; the next degree up lies above the MIDI range
  Mark(5, 127, 5, 127);
  Tap(&Controls::shiftKeypadPlus);
  ExpectMessage("NOTE LEAVING RANGE", true);
  Tap(&Controls::ctrlKY);
  EXPECT_EQ(At(5, 127).note, 127);
}

}  // namespace
