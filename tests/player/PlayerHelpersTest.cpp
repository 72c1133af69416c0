// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <tuple>

#include "player/NoteQueues.h"
#include "player/Util.h"

namespace {

std::vector<int> NotesOf(const std::vector<NoteOffQueueEntry>& entries) {
  std::vector<int> out;
  for (const NoteOffQueueEntry& e : entries) out.push_back(e.note);
  return out;
}

Playhead At(int stepCount, double fraction, int track = 0, int trackStep = 0) {
  Playhead p;
  p.stepCount = stepCount;
  p.fraction = fraction;
  p.session = 3;
  p.trackStep[track] = trackStep;
  return p;
}

}  // namespace

TEST(NoteOffQueue, UpdateMovesDueEntriesInQueueOrder) {
  NoteOffQueue q;
  q.Add(60, 0, 0.05, 1, 0, 64);
  q.Add(61, 0, 0.3, 1, 0, 64);
  q.Add(62, 1, 0.1, 2, 1, 66);
  q.Add(63, 1, std::nan(""), 2, 1, 66);
  std::vector<NoteOffQueueEntry> due(1);
  q.Update(0.1, due);
  ASSERT_EQ(NotesOf(due), (std::vector<int>{60, 62, 63}));
  // How far past due each went: the exact time for a timed MIDI output.
  EXPECT_DOUBLE_EQ(due[0].time, -0.05);
  EXPECT_EQ(due[1].time, 0.0);
  EXPECT_DOUBLE_EQ(due[2].time, -0.1);  // a NaN added counts as 0
  EXPECT_EQ(due[1].pitchChange, 66);
  ASSERT_EQ(q.Entries().size(), 1u);
  EXPECT_DOUBLE_EQ(q.Entries()[0].time, 0.2);
  q.Update(std::nan(""), due);  // a broken clock must not leave notes hanging
  EXPECT_EQ(NotesOf(due), std::vector<int>{61});
}

TEST(NoteOffQueue, ForceRemoveAndFlushTouchOnlyTheirTrack) {
  NoteOffQueue q;
  q.Add(60, 2, 1.0, 0, 0, 64);
  q.Add(60, 3, 1.0, 0, 0, 64);
  q.Add(61, 2, 1.0, 0, 0, 64);
  std::vector<NoteOffQueueEntry> due;
  q.ForceNoteOffs(2, {}, due);
  q.ForceNoteOffs(2, {Note{60}}, due);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].track, 2);
  bool removed = true;
  q.RemoveOverlaps(61, 3, removed);
  EXPECT_FALSE(removed);
  q.RemoveOverlaps(61, 2, removed);
  EXPECT_TRUE(removed);

  q.Add(70, 1, 0.5, 0, 0, 64);
  q.Add(72, 1, 0.1, 0, 0, 64);
  q.Add(73, 1, 0.2, 0, 0, 64);
  q.Flush(1, due, true);
  EXPECT_EQ(NotesOf(due), (std::vector<int>{72, 73, 70}));
  q.Flush(due);
  EXPECT_EQ(NotesOf(due), std::vector<int>{60});  // track 3 was left alone until now
  EXPECT_TRUE(q.Entries().empty());
}

TEST(NoteCompletionQueue, MeasuresHeldLengthsInSteps) {
  // From (step, fraction) to (step, fraction): gate and gate fraction.
  const std::tuple<int, double, int, double, int, int> cases[] = {
      {3, 0.25, 3, 0.25, 0, 1},    // a tap is never shorter than 1/128
      {3, 0.0, 3, 0.999, 0, 128},  // just short of a step stays a fraction
      {40, 0.5, 1, 0.0, 0, 1},     // held across a restart of the step counter
  };
  for (auto [fromStep, fromFraction, toStep, toFraction, gate, fraction] : cases) {
    NoteCompletionQueue q;
    NoteCompletionQueueEntry e;
    q.Add(At(fromStep, fromFraction, 4, 17), 4, 60, 5, 1, 70);
    ASSERT_TRUE(q.Update(At(toStep, toFraction), 4, 60, e));
    EXPECT_EQ(std::pair(e.gate, e.gateFraction), std::pair(gate, fraction)) << fromStep << " to " << toStep;
    EXPECT_TRUE(e.session == 3 && e.step == 17 && e.channel == 5 && e.pitchChange == 70);
    EXPECT_FALSE(q.Update(At(50, 0), 4, 60, e));
    EXPECT_EQ(e.note + e.track + e.gate + e.gateFraction, 0);
  }
}

TEST(NoteCompletionQueue, SecondPressRestartsAndFlushRoundsPerTrack) {
  NoteCompletionQueue q;
  q.Add(At(0, 0.0, 2, 0), 2, 60, 0, 0, 64);
  q.Add(At(4, 0.5, 2, 4), 2, 60, 0, 0, 64);
  q.Add(At(4, 0.5), 12, 60, 0, 0, 64);  // no such track
  ASSERT_EQ(q.Entries().size(), 1u);
  EXPECT_EQ(q.Entries()[0].step, 4);
  q.Add(At(5, 0.0, 1, 5), 1, 60, 0, 0, 64);
  ASSERT_EQ(q.Entries().size(), 2u);
  NoteCompletionQueueEntry e;
  ASSERT_TRUE(q.Update(At(5, 0.5), 1, 60, e));
  EXPECT_TRUE(e.track == 1 && e.step == 5);
  ASSERT_EQ(q.Entries().size(), 1u);
  EXPECT_EQ(q.Entries()[0].track, 2);

  q.Add(At(2, 0.0), 1, 61, 0, 0, 64);
  q.Add(At(3, 0.0), 2, 62, 0, 0, 64);
  q.Add(At(6, 0.2), 2, 63, 0, 0, 64);
  std::vector<NoteCompletionQueueEntry> out(1);
  q.Flush(At(6, 0.4), 2, out);
  ASSERT_EQ(out.size(), 4u);  // appended
  // 1.9 and 3.4 steps; 0.2 would round to nothing, the note keeps one step.
  EXPECT_TRUE(out[1].gate == 2 && out[2].gate == 3 && out[3].gate == 1);
  EXPECT_EQ(out[1].gateFraction + out[2].gateFraction + out[3].gateFraction, 0);
  ASSERT_EQ(q.Entries().size(), 1u);  // track 1 stays
  q.Flush(At(6, 0.6), out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].gate, 5);  // 4.6 steps
  EXPECT_TRUE(q.Entries().empty());
}

TEST(Rnd, GetIntRoundsEachDrawAndStaysInRange) {
  const unsigned seed = 1234;
  srand(seed);
  std::vector<int> raw(20000);
  for (int& r : raw) r = rand();
  srand(seed);
  for (int r : raw) ASSERT_EQ(Rnd::GetInt(0, 1), r / double(RAND_MAX) < 0.5 ? 0 : 1) << "seed " << seed;
  for (int i = 0; i < 20000; ++i) {
    const int v = Rnd::GetInt(-8, 8);
    ASSERT_TRUE(v >= -8 && v <= 8) << "seed " << seed << " gave " << v;
  }
}
