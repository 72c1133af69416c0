// SPDX-License-Identifier: LGPL-2.1-or-later
// Cost of drawing one editor frame (DisplayPageSteps) into the quad list. The sequencer thread
// builds a frame up to 1000 times a second, so microseconds per frame / 10 is the share of a
// core that drawing takes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "bench/support/DemoSequencer.h"
#include "editor/Sequencer.h"
#include "player/Player.h"

namespace {


std::unique_ptr<Sequencer> Start() { return StartSequencerOnDemo("screen"); }

void Press(Sequencer& seq, void (*set)(Controls&)) {
  Controls c{};
  set(c);
  QuadList quads;
  SceneInfo scene;
  seq.Update(0.001, c, quads, scene);
}

// dense: every visible cell of every track holds a note, all tracks shown, the help page with
// the most glyphs on top. Otherwise the demo song as it opens.
void Frame(benchmark::State& state, bool dense) {
  auto seq = Start();
  if (!seq) {
    state.SkipWithError("start-up failed");
    return;
  }
  if (dense) {
    Note n{};
    n.velocity = 100;
    n.gate = 1;
    for (int t = 0; t < kTracks; ++t)
      for (int s = 48; s < 64; ++s)
        for (int c = 0; c < Sequencer::kNoteColumns; ++c) {
          n.note = static_cast<uint8_t>(48 + c);
          seq->GetSessions()->AddNote(0, t, s, n);
        }
    Press(*seq, [](Controls& c) { c.altDigit[4] = true; });
    Press(*seq, [](Controls& c) { c.f10Pressed = true; });
    Press(*seq, [](Controls& c) { c.f11Pressed = true; });
  }
  QuadList quads;
  for (auto _ : state) {
    seq->DisplayPageSteps(quads);
    benchmark::DoNotOptimize(quads.quads.data());
  }
  state.counters["quads"] = static_cast<double>(quads.quads.size());
  seq->Shutdown();
}

void BM_DisplayPageStepsDemo(benchmark::State& state) { Frame(state, false); }
void BM_DisplayPageStepsDensest(benchmark::State& state) { Frame(state, true); }

}  // namespace

BENCHMARK(BM_DisplayPageStepsDemo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayPageStepsDensest)->Unit(benchmark::kMicrosecond);
