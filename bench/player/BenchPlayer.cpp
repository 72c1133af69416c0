// SPDX-License-Identifier: LGPL-2.1-or-later
// Cost of one Player::Update, the work the sequencer thread does for playback in each 1 ms
// frame, on a dense project: 12 tracks with four notes on every step, at 255 BPM.
#include <benchmark/benchmark.h>

#include <memory>

#include "player/Player.h"

namespace {

void BM_UpdateDenseAt255Bpm(benchmark::State& state) {
  auto store = std::make_unique<SessionsStore>();
  Player player(store.get(), nullptr, nullptr, nullptr, false, false, true);  // clears the store
  std::vector<Note> notes(4);
  for (int i = 0; i < 4; ++i) {
    notes[i].note = static_cast<uint8_t>(48 + 5 * i);
    notes[i].velocity = 100;
    notes[i].gate = 1;
    notes[i].offset = static_cast<uint8_t>(i * 30);
  }
  for (int t = 0; t < kTracks; ++t) {
    store->SetStartEndSteps(0, t, 0, 255);
    for (int st = 0; st < kSteps; ++st) store->SetNotes(0, t, st, notes);
  }
  int sent = 0;
  player.SetSendObserver([&sent](const SentNote&) { ++sent; });
  player.SetBPM(255);
  player.Play(false);
  const double frame = 0.001;  // the sequencer thread's frame
  for (auto _ : state) player.Update(frame);
  state.counters["messages_per_update"] = static_cast<double>(sent) / state.iterations();
}
BENCHMARK(BM_UpdateDenseAt255Bpm);

}  // namespace
