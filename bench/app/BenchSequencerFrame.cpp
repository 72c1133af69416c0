// SPDX-License-Identifier: LGPL-2.1-or-later
// Cost of one sequencer-thread frame (keys, drawing, player) on the demo song. The thread runs
// up to 1000 frames a second, so the time per frame in microseconds divided by 10 is its CPU
// share in percent when the keyboard reader and the hand-over are left aside.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "bench/support/DemoSequencer.h"
#include "editor/Sequencer.h"
#include "player/Player.h"

namespace {


std::unique_ptr<Sequencer> StartOnDemo() { return StartSequencerOnDemo("seq"); }

void Frames(benchmark::State& state, bool playing) {
  auto seq = StartOnDemo();
  if (!seq) {
    state.SkipWithError("start-up failed");
    return;
  }
  QuadList quads;
  SceneInfo scene;
  if (playing) {
    Controls space{};
    space.spacePressed = true;
    seq->Update(0.001, space, quads, scene);
  }
  for (auto _ : state) {
    seq->Update(0.001, Controls{}, quads, scene);
    benchmark::DoNotOptimize(quads.quads.data());
  }
  state.counters["quads"] = static_cast<double>(quads.quads.size());
  seq->Shutdown();
}

void BM_SequencerFrameIdle(benchmark::State& state) { Frames(state, false); }
void BM_SequencerFramePlaying(benchmark::State& state) { Frames(state, true); }

}  // namespace

BENCHMARK(BM_SequencerFrameIdle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SequencerFramePlaying)->Unit(benchmark::kMicrosecond);
