// SPDX-License-Identifier: LGPL-2.1-or-later
// Undo history costs on a dense project (12 sessions x 12 tracks x 256 steps x 4 notes):
// recording one entry for the edits a musician makes, undo and redo, the memory of 1,000
// random edits, and the text the recovery file is built from within a frame.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "editor/UndoHistory.h"
#include "model/SessionsStore.h"
#include "player/Player.h"
#include "project/ProjectSnapshot.h"

namespace {

struct DenseSong {
  SessionsStore store;
  Player player{&store, nullptr, nullptr, nullptr, false, false, true};
  UndoHistory history;
  DenseSong() {
    player.Init();  // clears the song
    std::vector<Note> notes(4);
    for (int i = 0; i < 4; ++i) {
      notes[i].velocity = 100;
      notes[i].gate = 1;
      notes[i].offset = static_cast<uint8_t>(i * 8);
    }
    for (int s = 0; s < kSessions; ++s) {
      for (int t = 0; t < kTracks; ++t) {
        for (int st = 0; st < kSteps; ++st) {
          for (int i = 0; i < 4; ++i) notes[i].note = static_cast<uint8_t>(36 + 4 * i + t + st % 12);
          store.SetNotes(s, t, st, notes);
        }
      }
    }
    history.Attach(&player);
  }
};

// Each edit with its history entry; Arg(0) without the history (the edit alone).
enum EditKind { SingleNote, LineDelete, BlockCopy, SessionErase };

void Edit(SessionsStore& s, EditKind kind, int i) {
  switch (kind) {
    case SingleNote: {
      Note n{};
      n.note = static_cast<uint8_t>(40 + i % 20);
      n.velocity = 90;
      s.AddNote(i % kSessions, 3, i % kSteps, n);
      break;
    }
    case LineDelete: s.DeleteAndMoveUp(i % kSessions, 3, i % kSteps); break;
    case BlockCopy:  // a whole track's steps onto another track that holds other notes
      for (int st = 0; st < kSteps; ++st) s.Copy(0, 1, (st + i) % kSteps, i % kSessions, 2, st);
      break;
    case SessionErase: s.Delete(i % kSessions); break;
  }
}

void BM_EditWithHistoryEntry(benchmark::State& state) {
  auto song = std::make_unique<DenseSong>();
  const EditKind kind = static_cast<EditKind>(state.range(0));
  const bool withHistory = state.range(1) != 0;
  song->store.SetJournaling(withHistory);
  int i = 0;
  for (auto _ : state) {
    Edit(song->store, kind, i);
    if (withHistory) song->history.Commit("EDIT");
    ++i;
    // Erased sessions are refilled outside the timing, so every erase removes notes.
    if (kind == SessionErase && i % kSessions == 0) {
      state.PauseTiming();
      song = std::make_unique<DenseSong>();
      song->store.SetJournaling(withHistory);
      state.ResumeTiming();
    }
  }
  state.counters["history_MiB"] = song->history.Bytes() / 1048576.0;
}
BENCHMARK(BM_EditWithHistoryEntry)
    ->ArgsProduct({{SingleNote, BlockCopy}, {0, 1}})
    ->ArgNames({"edit", "history"})
    ->Unit(benchmark::kMicrosecond);
// A fixed count, so the tracks stay dense (120 line deletes over 12 sessions) and few sessions
// need refilling.
BENCHMARK(BM_EditWithHistoryEntry)
    ->ArgsProduct({{LineDelete, SessionErase}, {0, 1}})
    ->ArgNames({"edit", "history"})
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(120);

// The block undo this history replaces copied the whole store before every block command.
void BM_WholeStoreBackup(benchmark::State& state) {
  auto song = std::make_unique<DenseSong>();
  auto copy = std::make_unique<SessionsStore>();
  for (auto _ : state) song->store.BackupTo(copy.get());
}
BENCHMARK(BM_WholeStoreBackup)->Unit(benchmark::kMicrosecond);

void BM_UndoRedoSessionErase(benchmark::State& state) {
  auto song = std::make_unique<DenseSong>();
  song->store.Delete(4);
  song->history.Commit("ERASE SESSION");
  std::string label;
  for (auto _ : state) {
    song->history.Undo(label);
    song->history.Redo(label);
  }
}
BENCHMARK(BM_UndoRedoSessionErase)->Unit(benchmark::kMicrosecond);

// 1,000 random edits of every size; the history's memory afterwards.
void BM_HistoryMemoryAfter1000RandomEdits(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto song = std::make_unique<DenseSong>();
    std::mt19937 rng(7);
    state.ResumeTiming();
    for (int i = 0; i < 1000; ++i) {
      const int r = static_cast<int>(rng() % 100);
      // Mostly note edits, as when composing; some line, block and session commands.
      const EditKind kind = r < 70 ? SingleNote : r < 85 ? LineDelete : r < 97 ? BlockCopy : SessionErase;
      Edit(song->store, kind, static_cast<int>(rng() % 100000));
      if (r % 10 == 0) song->player.SetBPM(60 + r);
      song->history.Commit("EDIT");
    }
    state.counters["entries"] = static_cast<double>(song->history.Entries());
    state.counters["history_MiB"] = song->history.Bytes() / 1048576.0;
  }
}
BENCHMARK(BM_HistoryMemoryAfter1000RandomEdits)->Unit(benchmark::kMillisecond)->Iterations(1);

// What a frame spends when the recovery file is due: the copy of the song; the writer's
// thread makes the text from it (the second figure) and writes it.
void BM_RecoverySnapshotInTheFrame(benchmark::State& state) {
  auto song = std::make_unique<DenseSong>();
  for (auto _ : state) {
    ProjectSnapshot snapshot;
    song->player.TakeSnapshot(snapshot);
    benchmark::DoNotOptimize(snapshot.steps.notes.data());
  }
}
BENCHMARK(BM_RecoverySnapshotInTheFrame)->Unit(benchmark::kMillisecond);

void BM_RecoveryTextOnTheWriterThread(benchmark::State& state) {
  auto song = std::make_unique<DenseSong>();
  ProjectSnapshot snapshot;
  song->player.TakeSnapshot(snapshot);
  std::string text;
  for (auto _ : state) ProjectText(snapshot, text);
  state.counters["MiB"] = text.size() / 1048576.0;
}
BENCHMARK(BM_RecoveryTextOnTheWriterThread)->Unit(benchmark::kMillisecond);

}  // namespace
