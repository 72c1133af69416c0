// SPDX-License-Identifier: LGPL-2.1-or-later
// What the effect chain costs the audio thread: one second of a sustained eight-note chord in
// 128-frame blocks, without a chain (arg 0), with the chain as Init leaves it (arg 1: reverb
// on, equalizer bypassed, limiter) and with every member on (arg 2).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/SFOutput.h"

namespace {

std::string BuildDirectory() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().parent_path().string();
}

// Init prints a line per preset; keep that out of the report.
bool QuietInit(SFOutput& sf, const std::string& programDirectory) {
  fflush(stdout);
  int saved = dup(1);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  bool ok = sf.Init(programDirectory, {"/usr/share/sounds/sf2/TimGM6mb.sf2"}, {1.0}, 128, false, "");
  fflush(stdout);
  dup2(saved, 1);
  close(null);
  close(saved);
  return ok;
}

void BM_RenderSecondThroughChain(benchmark::State& state) {
  // Without a sound device no driver competes for the synthesizer.
  setenv("ALSA_CONFIG_PATH", (BuildDirectory() + "/../tests/support/asound-no-device.conf").c_str(), 0);
  SFOutput sf;
  std::string programDirectory = BuildDirectory() + (state.range(0) == 0 ? "/no-plugins/bin/" : "/bin/");
  if (!QuietInit(sf, programDirectory)) state.SkipWithError("Init failed");
  if (state.range(0) == 2) sf.SetExternalEqualizerActive(0, true);
  sf.SetInstrument(0, 0, 0, 19);  // church organ: sustains while measured
  Playhead playhead{};
  for (int key : {36, 43, 48, 55, 60, 64, 67, 72}) sf.SendNoteOn(playhead, 0, key, 100);
  std::vector<float> left(128), right(128);
  for (auto _ : state) {
    for (int done = 0; done < 44100; done += 128) sf.RenderBlock(0, 128, left.data(), right.data());
    benchmark::DoNotOptimize(left.data());
  }
  state.counters["chain"] = sf.GetLimiterState(0).active ? 1 : 0;
}
BENCHMARK(BM_RenderSecondThroughChain)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
