// SPDX-License-Identifier: LGPL-2.1-or-later
// Thousands of random edits applied both to a SessionsStore and to a plain reference model;
// after each edit the pools must balance and the notes must match the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <tuple>

#include "model/SessionsStore.h"

namespace {

constexpr int kUsedSessions = 3;
constexpr int kUsedTracks = 4;

struct Reference {
  std::vector<Note> steps[kSessions][kTracks][kSteps];
  int start[kSessions][kTracks];
  int end[kSessions][kTracks];

  Reference() {
    for (auto& s : start) std::fill(std::begin(s), std::end(s), 0);
    for (auto& e : end) std::fill(std::begin(e), std::end(e), 15);
  }
  Note* Find(int s, int t, int st, int note) {
    for (Note& n : steps[s][t][st]) {
      if (n.note == note) return &n;
    }
    return nullptr;
  }
};

bool SameNote(const Note& a, const Note& b) {
  return std::tie(a.note, a.velocity, a.gate, a.gateFraction, a.offset) ==
         std::tie(b.note, b.velocity, b.gate, b.gateFraction, b.offset);
}

// Pool balance and slot sanity over the whole store, plus equality with the reference.
void CheckStore(const SessionsStore& store, Reference& ref) {
  const StepStore& stepPool = store.StepPool();
  const NoteStore& notePool = store.Notes();
  std::vector<int> stepUse(stepPool.Count(), 0), noteUse(notePool.Count(), 0);
  for (int i : stepPool.FreeList()) ++stepUse.at(i);
  for (int i : notePool.FreeList()) ++noteUse.at(i);
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    for (int t = 0; t < kTracks; ++t) {
      for (int st = 0; st < kSteps; ++st) {
        int slot = store.StepIndex(s, t, st);
        std::vector<Note> expected = ref.steps[s][t][st];
        std::sort(expected.begin(), expected.end(), compareOffsetsThenNotesAscending);
        if (slot == -1) {
          ASSERT_TRUE(expected.empty()) << "step " << s << "/" << t << "/" << st << " lost its notes";
          continue;
        }
        ASSERT_GE(slot, 0);
        ASSERT_LT(slot, stepPool.Count());
        ++stepUse[slot];
        const StepRecord* record = stepPool.Get(slot);
        ASSERT_FALSE(record->empty()) << "non-empty slot points at an empty step";
        for (int index : *record) ++noteUse.at(index);
        store.GetNotes(s, t, st, notes);
        ASSERT_TRUE(std::is_sorted(notes.begin(), notes.end(), compareOffsetsThenNotesAscending));
        ASSERT_EQ(notes.size(), expected.size()) << "step " << s << "/" << t << "/" << st;
        for (size_t i = 0; i < notes.size(); ++i) ASSERT_TRUE(SameNote(notes[i], expected[i]));
      }
      int start, end;
      store.GetStartEndSteps(s, t, start, end);
      ASSERT_EQ(start, ref.start[s][t]);
      ASSERT_EQ(end, ref.end[s][t]);
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
  auto store = std::make_unique<SessionsStore>();
  auto backup = std::make_unique<SessionsStore>();
  auto ref = std::make_unique<Reference>();

  for (int op = 0; op < 4000; ++op) {
    int s = pick(0, kUsedSessions - 1), t = pick(0, kUsedTracks - 1), st = pick(0, 40);
    int s2 = pick(0, kUsedSessions - 1), t2 = pick(0, kUsedTracks - 1), st2 = pick(0, 40);
    if (pick(0, 9) == 0) st = 250 + pick(0, 5);  // keep the track ends busy too
    auto& step = ref->steps[s][t][st];
    int note = pick(50, 62);
    int kind = pick(0, 19);
    SCOPED_TRACE(testing::Message() << "seed " << seed << " op " << op << " kind " << kind);
    switch (kind) {
      case 0: case 1: case 2: case 3: {
        Note n;
        n.note = static_cast<uint8_t>(note);
        n.velocity = static_cast<uint8_t>(pick(0, 127));
        n.gate = static_cast<uint8_t>(pick(0, 8));
        n.gateFraction = static_cast<uint8_t>(pick(0, 127));
        n.offset = static_cast<uint8_t>(pick(0, 3) * 32);
        store->AddNote(s, t, st, n);
        if (Note* old = ref->Find(s, t, st, note)) *old = n; else step.push_back(n);
        break;
      }
      case 4:
        store->DeleteNote(s, t, st, note);
        std::erase_if(step, [&](const Note& n) { return n.note == note; });
        break;
      case 5: {
        int semis = pick(-12, 12);
        bool fits = std::all_of(step.begin(), step.end(), [&](const Note& n) {
          return n.note + semis >= 30 && n.note + semis <= 90;  // no clipping: clipping is tested alone
        });
        if (!fits) break;
        store->Transpose(s, t, st, semis);
        for (Note& n : step) n.note = static_cast<uint8_t>(n.note + semis);
        break;
      }
      case 6: {
        int gate = pick(0, 9), fraction = pick(0, 127);
        store->SetGate(s, t, st, note, gate, fraction);
        if (Note* n = ref->Find(s, t, st, note)) {
          n->gate = static_cast<uint8_t>(gate);
          n->gateFraction = static_cast<uint8_t>(fraction);
        }
        break;
      }
      case 7: {
        store->CopyNote(s, t, st, note, s2, t2, st2);
        Note* src = ref->Find(s, t, st, note);
        if (src) {
          Note copy = *src;
          if (Note* dst = ref->Find(s2, t2, st2, note)) *dst = copy; else ref->steps[s2][t2][st2].push_back(copy);
        }
        break;
      }
      case 8: {
        int note2 = pick(50, 62);
        store->CopyNoteAttribs(s, t, st, note, s2, t2, st2, note2);
        Note* src = ref->Find(s, t, st, note);
        Note* dst = ref->Find(s2, t2, st2, note2);
        if (src && dst && src != dst) {
          dst->velocity = src->velocity;
          dst->gate = src->gate;
          dst->gateFraction = src->gateFraction;
          dst->offset = src->offset;
        }
        break;
      }
      case 9:
        store->MakeSameAttribs(s, t, st, note);
        if (Note* m = ref->Find(s, t, st, note)) {
          Note model = *m;
          for (Note& n : step) {
            n.velocity = model.velocity;
            n.gate = model.gate;
            n.gateFraction = model.gateFraction;
            n.offset = model.offset;
          }
        }
        break;
      case 10:
        store->Quantize(s, t, st);
        for (Note& n : step) n.offset = 0;
        break;
      case 11:
        if (pick(0, 3) != 0) break;  // whole-session copies wipe a lot; keep them rarer
        store->Copy(s, s2);
        if (s != s2) {
          for (int tt = 0; tt < kTracks; ++tt) {
            for (int x = 0; x < kSteps; ++x) ref->steps[s2][tt][x] = ref->steps[s][tt][x];
            ref->start[s2][tt] = ref->start[s][tt];
            ref->end[s2][tt] = ref->end[s][tt];
          }
        }
        break;
      case 12:
        store->Copy(s, t, s2, t2);
        if (s != s2 || t != t2) {
          for (int x = 0; x < kSteps; ++x) ref->steps[s2][t2][x] = ref->steps[s][t][x];
          ref->start[s2][t2] = ref->start[s][t];
          ref->end[s2][t2] = ref->end[s][t];
        }
        break;
      case 13:
        store->Copy(s, t, st, s2, t2, st2);
        ref->steps[s2][t2][st2] = ref->steps[s][t][st];
        break;
      case 14: {
        store->Insert(s, t, st);
        auto& track = ref->steps[s][t];
        for (int x = kSteps - 1; x > st; --x) track[x] = track[x - 1];
        track[st].clear();
        break;
      }
      case 15: {
        store->DeleteAndMoveUp(s, t, st);
        auto& track = ref->steps[s][t];
        for (int x = st; x < kSteps - 1; ++x) track[x] = track[x + 1];
        track[kSteps - 1].clear();
        break;
      }
      case 16: {
        auto& track = ref->steps[s][t];
        if (pick(0, 1)) {
          store->RotateUpCircular(s, t);
          std::rotate(track, track + 1, track + kSteps);
        } else {
          store->RotateDownCircular(s, t);
          std::rotate(track, track + kSteps - 1, track + kSteps);
        }
        break;
      }
      case 17:
        store->BackupTo(backup.get());
        // Disturb the store before restoring, as an undo would find it.
        store->Delete(s);
        store->RestoreFrom(backup.get(), pick(0, 1) == 0);
        break;
      case 18: {
        int which = pick(0, 2);
        if (which == 0) {
          store->Delete(s, t, st);
          step.clear();
        } else if (which == 1) {
          store->Delete(s, t);
          for (auto& x : ref->steps[s][t]) x.clear();
        } else {
          store->Delete(s);
          for (auto& tr : ref->steps[s]) for (auto& x : tr) x.clear();
        }
        break;
      }
      case 19: {
        int a = pick(0, 255), b = pick(0, 255);
        store->SetStartEndSteps(s, t, a, b);
        if (b >= a) {
          ref->start[s][t] = a;
          ref->end[s][t] = b;
        }
        break;
      }
    }
    CheckStore(*store, *ref);
    if (HasFatalFailure()) return;
  }
}
