// SPDX-License-Identifier: LGPL-2.1-or-later
// Song model costs on a dense project: every step of every track of every session holds
// four notes (147456 notes).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>

#include "model/SessionsStore.h"

namespace {

void FillDense(SessionsStore& store) {
  std::vector<Note> notes(4);
  for (int i = 0; i < 4; ++i) {
    notes[i].note = static_cast<uint8_t>(60 + 4 * i);
    notes[i].velocity = 100;
    notes[i].gate = 1;
    notes[i].offset = static_cast<uint8_t>(i * 8);
  }
  for (int s = 0; s < kSessions; ++s)
    for (int t = 0; t < kTracks; ++t)
      for (int st = 0; st < kSteps; ++st) store.SetNotes(s, t, st, notes);
}

void BM_AddNoteIntoFullStep(benchmark::State& state) {
  auto store = std::make_unique<SessionsStore>();
  FillDense(*store);
  Note n;
  n.note = 61;
  n.velocity = 90;
  int step = 0;
  for (auto _ : state) {
    store->AddNote(5, 5, step, n);  // fifth note, then replacements of it
    step = (step + 1) % kSteps;
  }
}
BENCHMARK(BM_AddNoteIntoFullStep);

// The editor backs the whole store up before every undoable block edit.
void BM_BackupThenRestoreDense(benchmark::State& state) {
  auto store = std::make_unique<SessionsStore>();
  auto undo = std::make_unique<SessionsStore>();
  FillDense(*store);
  for (auto _ : state) {
    store->BackupTo(undo.get());
    store->RestoreFrom(undo.get(), true);
  }
  state.SetLabel("147456 notes");
}
BENCHMARK(BM_BackupThenRestoreDense)->Unit(benchmark::kMillisecond);

void BM_DenseStoreMemory(benchmark::State& state) {
  for (auto _ : state) {
    size_t before = mallinfo2().uordblks;
    auto store = std::make_unique<SessionsStore>();
    FillDense(*store);
    size_t after = mallinfo2().uordblks;
    state.counters["heap_MiB"] = (after - before) / 1048576.0;
    state.counters["object_KiB"] = sizeof(SessionsStore) / 1024.0;
  }
}
BENCHMARK(BM_DenseStoreMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
