// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include "model/NoteStore.h"
#include "model/StepStore.h"

TEST(NotePool, HandsOutIndicesFromTheTopAndGrowsByWholeBlocks) {
  NoteStore pool;
  pool.Clear();
  EXPECT_EQ(pool.Count(), 128);
  for (int expected = 127; expected >= 0; --expected) EXPECT_EQ(pool.GetNew(), expected);
  EXPECT_EQ(pool.Count(), 128);
  EXPECT_EQ(pool.GetNew(), 255);  // the 129th grows the pool by one block
  EXPECT_EQ(pool.Count(), 256);
  EXPECT_EQ(pool.FreeCount(), 127);
}

TEST(NotePool, DisposedRecordIsNextAndKeepsItsPlaybackBytes) {
  NoteStore pool;
  pool.Clear();
  int a = pool.GetNew();
  *pool.Get(a) = Note{60, 100, 2, 5, 7, 3, 1, 64, {9, 8}};
  pool.Dispose(a);
  const Note* n = pool.Get(a);
  EXPECT_EQ(n->note + n->velocity + n->gate + n->gateFraction + n->offset, 0);
  EXPECT_EQ(n->channel, 3);
  EXPECT_EQ(n->output, 1);
  EXPECT_EQ(n->pitchChange, 64);
  EXPECT_EQ(n->reserved[0], 9);
  EXPECT_EQ(pool.GetNew(), a);
}

TEST(StepPool, DisposeReturnsTheStepsNotesAndEmptiesIt) {
  NoteStore notes;
  StepStore steps(&notes);
  steps.Clear();
  EXPECT_EQ(steps.Count(), 64);
  EXPECT_EQ(notes.Count(), 128);
  int s = steps.GetNew();
  EXPECT_EQ(s, 63);
  for (int i = 0; i < 3; ++i) steps.Get(s)->push_back(notes.GetNew());
  EXPECT_EQ(notes.FreeCount(), 125);
  steps.Dispose(s);
  EXPECT_TRUE(steps.Get(s)->empty());
  EXPECT_EQ(notes.FreeCount(), 128);
  EXPECT_EQ(steps.GetNew(), s);
  for (int i = 0; i < 64; ++i) steps.GetNew();
  EXPECT_EQ(steps.Count(), 128);
}
