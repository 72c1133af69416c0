// SPDX-License-Identifier: LGPL-2.1-or-later
// Random edits applied both to a SessionsStore and to a plain reference model, which must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <tuple>

#include "model/SessionsStore.h"

namespace {

constexpr int kUsedSessions = 3;
constexpr int kUsedTracks = 4;

using RefStep = std::map<int, Note>;  // by note

struct RefTrack {
  RefStep steps[kSteps];
  int start = 0;
  int end = 15;
};

using Reference = std::vector<std::array<RefTrack, kTracks>>;  // by session

// Every byte: the playback bytes the edits never set must stay zero too.
bool SameNote(const Note& a, const Note& b) { return std::memcmp(&a, &b, sizeof(Note)) == 0; }

void CheckStore(const SessionsStore& store, const Reference& ref) {
  const StepStore& stepPool = store.StepPool();
  const NoteStore& notePool = store.Notes();
  std::vector<int> stepUse(stepPool.Count(), 0), noteUse(notePool.Count(), 0);
  for (int i : stepPool.FreeList()) ++stepUse.at(i);
  for (int i : notePool.FreeList()) ++noteUse.at(i);
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks; ++t) {
      const RefTrack& track = ref[s][t];
      for (int st = 0; st < kSteps; ++st) {
        int slot = store.StepIndex(s, t, st);
        if (slot == -1) {
          ASSERT_TRUE(track.steps[st].empty()) << "step " << s << "/" << t << "/" << st << " lost its notes";
          continue;
        }
        ++stepUse.at(slot);
        ASSERT_FALSE(stepPool.Get(slot)->empty()) << "non-empty slot points at an empty step";
        for (int index : *stepPool.Get(slot)) ++noteUse.at(index);
        std::vector<Note> expected;
        for (const auto& [key, n] : track.steps[st]) expected.push_back(n);
        std::sort(expected.begin(), expected.end(), compareOffsetsThenNotesAscending);
        store.GetNotes(s, t, st, notes);
        ASSERT_TRUE(std::equal(notes.begin(), notes.end(), expected.begin(), expected.end(), SameNote))
            << "step " << s << "/" << t << "/" << st;
      }
      int start, end;
      store.GetStartEndSteps(s, t, start, end);
      ASSERT_EQ(std::pair(start, end), std::pair(track.start, track.end));
    }
  }
  for (int use : stepUse) ASSERT_EQ(use, 1) << "step record leaked or shared";
  for (int use : noteUse) ASSERT_EQ(use, 1) << "note record leaked or shared";
}

}  // namespace

TEST(SessionsStoreRandomEdits, PoolsBalanceAndNotesMatchAReferenceModel) {
  const unsigned seed = 20261206;
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto byte = [&](int lo, int hi) { return static_cast<uint8_t>(pick(lo, hi)); };
  auto store = std::make_unique<SessionsStore>();
  auto backup = std::make_unique<SessionsStore>();
  Reference ref(kSessions);

  for (int op = 0; op < 4000; ++op) {
    int s = pick(0, kUsedSessions - 1), t = pick(0, kUsedTracks - 1), st = pick(0, 40);
    int s2 = pick(0, kUsedSessions - 1), t2 = pick(0, kUsedTracks - 1), st2 = pick(0, 40);
    if (pick(0, 9) == 0) st = 250 + pick(0, 5);  // keep the track ends busy too
    RefTrack& track = ref[s][t];
    RefStep& step = track.steps[st];
    RefStep& step2 = ref[s2][t2].steps[st2];
    const uint8_t note = byte(50, 62);
    int kind = pick(0, 21);
    SCOPED_TRACE(testing::Message() << "seed " << seed << " op " << op << " kind " << kind);
    switch (kind) {
      case 0: case 1: case 2: case 3: {
        const Note n{note, byte(0, 127), byte(0, 8), byte(0, 127), static_cast<uint8_t>(pick(0, 3) * 32)};
        store->AddNote(s, t, st, n);
        step[note] = n;
        break;
      }
      case 4:
        store->DeleteNote(s, t, st, note);
        step.erase(note);
        break;
      case 5: {
        int semis = pick(-12, 12);
        // Clipping at the range ends has a test of its own.
        if (!step.empty() && (step.begin()->first + semis < 30 || step.rbegin()->first + semis > 90)) break;
        store->Transpose(s, t, st, semis);
        RefStep moved;
        for (auto [key, n] : step) {
          n.note = static_cast<uint8_t>(key + semis);
          moved[n.note] = n;
        }
        step = moved;
        break;
      }
      case 6: {
        int gate = pick(0, 9), fraction = pick(0, 127);
        store->SetGate(s, t, st, note, gate, fraction);
        if (step.count(note)) {
          step[note].gate = static_cast<uint8_t>(gate);
          step[note].gateFraction = static_cast<uint8_t>(fraction);
        }
        break;
      }
      case 7:
        store->CopyNote(s, t, st, note, s2, t2, st2);
        if (step.count(note)) step2[note] = step[note];
        break;
      case 8: {
        const uint8_t note2 = byte(50, 62);
        store->CopyNoteAttribs(s, t, st, note, s2, t2, st2, note2);
        if (step.count(note) && step2.count(note2) && (&step != &step2 || note != note2)) {
          const Note& src = step[note];
          step2[note2] = Note{note2, src.velocity, src.gate, src.gateFraction, src.offset};
        }
        break;
      }
      case 9:
        store->MakeSameAttribs(s, t, st, note);
        if (step.count(note)) {
          const Note model = step[note];
          for (auto& [key, n] : step) n = Note{n.note, model.velocity, model.gate, model.gateFraction, model.offset};
        }
        break;
      case 10:
        store->Quantize(s, t, st);
        for (auto& [key, n] : step) n.offset = 0;
        break;
      case 11:
        if (pick(0, 3) != 0) break;  // whole-session copies wipe a lot; keep them rarer
        store->Copy(s, s2);
        ref[s2] = ref[s];
        break;
      case 12:
        store->Copy(s, t, s2, t2);
        ref[s2][t2] = track;
        break;
      case 13:
        store->Copy(s, t, st, s2, t2, st2);
        step2 = step;
        break;
      case 14:
        store->Insert(s, t, st);
        for (int x = kSteps - 1; x > st; --x) track.steps[x] = track.steps[x - 1];
        step.clear();
        break;
      case 15:
        store->DeleteAndMoveUp(s, t, st);
        for (int x = st; x < kSteps - 1; ++x) track.steps[x] = track.steps[x + 1];
        track.steps[kSteps - 1].clear();
        break;
      case 16:
        if (pick(0, 1)) {
          store->RotateUpCircular(s, t);
          std::rotate(track.steps, track.steps + 1, track.steps + kSteps);
        } else {
          store->RotateDownCircular(s, t);
          std::rotate(track.steps, track.steps + kSteps - 1, track.steps + kSteps);
        }
        break;
      case 17:
        store->BackupTo(backup.get());
        store->Delete(s);  // as an undo finds the store: changed since the backup
        store->RestoreFrom(backup.get(), pick(0, 1) == 0);
        break;
      case 18:
        store->Delete(s, t, st);
        step.clear();
        break;
      case 19:
        store->Delete(s, t);
        for (auto& x : track.steps) x.clear();
        break;
      case 20:
        store->Delete(s);
        for (auto& tr : ref[s])
          for (auto& x : tr.steps) x.clear();
        break;
      case 21: {
        int a = pick(0, 255), b = pick(0, 255);
        store->SetStartEndSteps(s, t, a, b);
        if (b >= a) std::tie(track.start, track.end) = std::pair(a, b);
        break;
      }
    }
    CheckStore(*store, ref);
    if (HasFatalFailure()) return;
  }
}
