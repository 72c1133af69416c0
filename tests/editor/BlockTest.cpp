// SPDX-License-Identifier: LGPL-2.1-or-later
// CTRL K block commands of the step edit subpage.
#include "tests/editor/SequencerFixture.h"

namespace {

using zs::test::MakeNote;

class BlockTest : public zs::test::SequencerFixture {
 protected:
  void Mark(int firstStep, int low, int lastStep, int high) {
    TapAt(firstStep, low, &Controls::ctrlKB);
    TapAt(lastStep, high, &Controls::ctrlKK);
  }
};

TEST_F(BlockTest, MarkingSelectsTheRectangleAndEraseTakesOnlyIt) {
  for (int s = 3; s <= 8; ++s) {
    for (int p = 59; p <= 65; ++p) Put(s, p);
  }
  TapAt(4, 60, &Controls::ctrlKB);
  TapAt(8, 59, &Controls::ctrlKK);  // before the begin corner in pitch: no end
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
  EXPECT_EQ(NotesAt(0, 0, 3), 7);
  EXPECT_EQ(NotesAt(0, 0, 8), 7);
  Tap(&Controls::ctrlKY);  // the block is gone after erasing
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

  // The target may overlap the block: each source note is copied once.
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
  EXPECT_EQ(At(20, 72).velocity, 70);
  EXPECT_EQ(At(20, 72).offset, 12);
  ExpectNotes({{21, 74}, {5, 80}});
  EXPECT_EQ(CountNotes(), 3);
  Tap(&Controls::ctrlKU);
  EXPECT_EQ(Snapshot(), before);

  // The block follows the notes: erasing after a move takes the moved ones.
  Mark(4, 60, 5, 62);
  TapAt(20, 72, &Controls::ctrlKM);
  Tap(&Controls::ctrlKY);
  EXPECT_EQ(CountNotes(), 1);
}

TEST_F(BlockTest, UndoAfterRandomVelocityOnceAndRefusalsInOtherTracks) {
  for (int s = 0; s < 8; ++s) Put(s, 60 + s);
  const auto before = Snapshot();
  Tap(&Controls::ctrlKA);  // the whole track
  Tap(&Controls::ctrlKR);
  for (int s = 0; s < 8; ++s) {
    EXPECT_GE(At(s, 60 + s).velocity, 90);
    EXPECT_LE(At(s, 60 + s).velocity, 110);
  }
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
  ExpectMessage("NOT SAME SESSION TRACK", true);  // the block was removed by the refusal
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
    for (int s = 10; s <= 13; ++s) {
      ASSERT_EQ(At(s, 90).offset, 0);
    }
    for (int p = 60; p <= 66; ++p) {
      int count = 0;
      for (int s = 10; s <= 13; ++s) count += At(s, p).note == p ? 1 : 0;
      ASSERT_EQ(count, 4) << "pitch " << p;
    }
  }
  Tap(&Controls::ctrlKQ);
  for (int s = 10; s <= 13; ++s) EXPECT_EQ(At(s, 62).offset, 0);
}

TEST_F(BlockTest, HarmonicBlockTranspositionRefusesCollisions) {
  // C minor: 60 -> 62, 63 -> 65.
  Put(0, 60);
  Put(1, 63);
  Put(0, 62);  // above the block's pitches, where 60 would land
  Mark(0, 60, 1, 61);
  const auto before = Snapshot();
  Tap(&Controls::shiftKeypadPlus);
  ExpectMessage("NOTE COLLISION", true);
  EXPECT_EQ(Snapshot(), before);
  Tap(&Controls::ctrlKY);
  EXPECT_EQ(Snapshot(), before) << "a refusal leaves no block to erase";

  Store()->DeleteNote(0, 0, 0, 62);
  Put(1, 62);  // inside the block's pitches: it moves along, no collision
  Mark(0, 60, 1, 63);
  Tap(&Controls::shiftKeypadPlus);
  ExpectNotes({{0, 62}, {1, 63}, {1, 65}});
  Tap(&Controls::shiftKeypadMinus);  // the block now spans 62..65
  ExpectNotes({{0, 60}, {1, 62}, {1, 63}});

  Put(1, 61);  // inside the block, not in C minor
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
