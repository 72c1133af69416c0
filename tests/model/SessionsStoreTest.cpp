// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "model/SessionsStore.h"

namespace {

Note MakeNote(int note, int offset = 0) {
  return Note{static_cast<uint8_t>(note), 100, 1, 0, static_cast<uint8_t>(offset)};
}

std::vector<int> NoteValues(const SessionsStore& s, int session, int track, int step) {
  std::vector<Note> notes;
  s.GetNotes(session, track, step, notes);
  std::vector<int> values;
  for (const Note& n : notes) values.push_back(n.note);
  return values;
}

class Store : public ::testing::Test {
 protected:
  std::unique_ptr<SessionsStore> store = std::make_unique<SessionsStore>();
};

}  // namespace

TEST_F(Store, NewStoreDefaults) {
  int voices, level, speed, depth, type, track, start, end;
  store->GetTrackChorus(11, voices, level, speed, depth, type);
  store->GetLoopingStartEndSteps(track, start, end);
  EXPECT_EQ((std::array{store->GetTrackVolume(11), level, end}), (std::array{100, 0, 127}));
}

TEST_F(Store, SessionLengthIsTheLongestTrackRange) {
  store->SetStartEndSteps(1, 2, 8, 39);
  EXPECT_EQ(store->GetSessionLength(1), 32);
  store->SetStartEndSteps(2, 0, 5, 5);
  EXPECT_EQ(store->GetSessionLength(2), 16);
}

TEST_F(Store, TransposeKeepsNotesThatWouldLeaveTheRange) {
  store->AddNote(0, 0, 0, MakeNote(126));
  store->AddNote(0, 0, 0, MakeNote(127));
  store->Transpose(0, 0, 0, 1);
  EXPECT_EQ(NoteValues(*store, 0, 0, 0), (std::vector<int>{127, 127}));
  store->AddNote(0, 0, 1, MakeNote(3));
  store->Transpose(0, 0, 1, -5);
  EXPECT_EQ(NoteValues(*store, 0, 0, 1), (std::vector<int>{3}));
}

TEST_F(Store, FilteredQueries) {
  for (int offset : {0, 63, 64, 127}) store->AddNote(0, 1, 5, MakeNote(40 + offset % 50, offset));
  std::vector<Note> out;
  store->GetNotesInOffsetRange(0, 1, 5, 0.5, 1.0, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ((std::pair<int, int>(out[0].offset, out[1].offset)), std::pair(64, 127));
  store->GetNotesInSubstepRange(0, 1, 5, 0, 64, out);
  EXPECT_EQ(out.size(), 2u);
  store->GetNotesInsideNoteRange(0, 1, 5, 40, 53, out);  // notes 40 and 53
  EXPECT_EQ(out.size(), 2u);
  store->GetNotesOutsideNoteRange(0, 1, 5, 40, 53, out);
  EXPECT_EQ(out.size(), 2u);
  EXPECT_TRUE(store->QueryNote(0, 1, 5, 53));
  EXPECT_FALSE(store->QueryNote(0, 1, 5, 55));
}

TEST_F(Store, BoundingBox) {
  int low, high, first, last;
  EXPECT_FALSE(store->GetNotesBoundingBox(0, 0, low, high, first, last));
  EXPECT_EQ(low + high + first + last, -4);
  store->AddNote(0, 0, 3, MakeNote(70));
  store->AddNote(0, 0, 200, MakeNote(20));
  ASSERT_TRUE(store->GetNotesBoundingBox(0, 0, low, high, first, last));
  EXPECT_EQ((std::array{low, high, first, last}), (std::array{20, 70, 3, 200}));
}

TEST_F(Store, SessionCopyTakesNeitherMuteNorSolo) {
  store->AddNote(0, 2, 7, MakeNote(50));
  store->SetMuted(0, 2, true);
  store->SetSingle(0, 2);
  store->Copy(0, 1);
  EXPECT_EQ(NoteValues(*store, 1, 2, 7), (std::vector<int>{50}));
  EXPECT_FALSE(store->GetMuted(1, 2));
  EXPECT_EQ(store->GetSingle(1), -1);
}

// The notes' round trip is part of the random edits test.
TEST_F(Store, BackupAndRestore) {
  store->SetStartEndSteps(4, 4, 2, 9);
  store->SetMuted(4, 4, true);
  store->SetTrackVolume(4, 12);
  store->SetSingle(4, 3);
  SessionsStore backup;
  store->BackupTo(&backup);
  EXPECT_TRUE(backup.GetMuted(4, 4));
  EXPECT_EQ(backup.GetTrackVolume(4), 100);

  store->Delete(4);
  store->SetStartEndSteps(4, 4, 0, 15);
  store->RestoreFrom(&backup, true);
  EXPECT_EQ(store->GetTrackVolume(4), 12);  // attributes untouched by a notes-only restore
  int start, end;
  store->GetStartEndSteps(4, 4, start, end);
  EXPECT_EQ(start, 0);

  store->RestoreFrom(&backup, false);
  store->GetStartEndSteps(4, 4, start, end);
  EXPECT_EQ((std::array{start, store->GetTrackVolume(4), store->GetSingle(4)}), (std::array{2, 100, -1}));
}

TEST_F(Store, GateBeyondAByteIsClampedNotWrapped) {
  store->AddNote(0, 0, 0, MakeNote(67));
  store->SetGate(0, 0, 0, 67, 300, 128);
  std::vector<Note> notes;
  store->GetNotes(0, 0, 0, notes);
  EXPECT_EQ(notes[0].gate, 255);
}

TEST(NotePool, DisposedRecordIsNextAndKeepsItsPlaybackBytes) {
  NoteStore pool;
  pool.Clear();
  int a = pool.GetNew();
  *pool.Get(a) = Note{60, 100, 2, 5, 7, 3, 1, 64, {9, 8}};
  pool.Dispose(a);
  const Note* n = pool.Get(a);
  EXPECT_EQ(n->note + n->velocity + n->gate + n->gateFraction + n->offset, 0);
  EXPECT_EQ((std::array<int, 4>{n->channel, n->output, n->pitchChange, n->reserved[0]}), (std::array{3, 1, 64, 9}));
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
