// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <memory>

#include "model/SessionsStore.h"

namespace {

Note MakeNote(int note, int offset = 0, int velocity = 100) {
  Note n;
  n.note = static_cast<uint8_t>(note);
  n.offset = static_cast<uint8_t>(offset);
  n.velocity = static_cast<uint8_t>(velocity);
  n.gate = 1;
  return n;
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

// The other defaults (ranges 0..15, layers, pitches, velocities) are checked by
// the random-edit test's reference model and by the new project file's exact text.
TEST_F(Store, NewStoreDefaults) {
  EXPECT_EQ(store->GetTrackVolume(11), 100);
  int voices, level, speed, depth, type;
  store->GetTrackChorus(11, voices, level, speed, depth, type);
  EXPECT_EQ(level, 0);
  int track, start, end;
  store->GetLoopingStartEndSteps(track, start, end);
  EXPECT_EQ(end, 127);
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
  EXPECT_EQ(out[0].offset, 64);
  EXPECT_EQ(out[1].offset, 127);
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
  EXPECT_EQ(low, 20);
  EXPECT_EQ(high, 70);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(last, 200);
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

TEST_F(Store, BackupAndRestore) {
  store->AddNote(4, 4, 4, MakeNote(44));
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
  EXPECT_EQ(NoteValues(*store, 4, 4, 4), (std::vector<int>{44}));
  EXPECT_EQ(store->GetTrackVolume(4), 12);  // attributes untouched by a notes-only restore
  int start, end;
  store->GetStartEndSteps(4, 4, start, end);
  EXPECT_EQ(start, 0);

  store->RestoreFrom(&backup, false);
  store->GetStartEndSteps(4, 4, start, end);
  EXPECT_EQ(start, 2);
  EXPECT_EQ(store->GetTrackVolume(4), 100);
  EXPECT_EQ(store->GetSingle(4), -1);
}

// Held longer than a byte counts: the longest gate, not a wrapped short one.
TEST_F(Store, GateBeyondAByteIsClamped) {
  store->AddNote(0, 0, 0, MakeNote(67));
  store->SetGate(0, 0, 0, 67, 300, 128);
  std::vector<Note> notes;
  store->GetNotes(0, 0, 0, notes);
  EXPECT_EQ(notes[0].gate, 255);
}
