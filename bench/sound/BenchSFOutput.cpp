// SPDX-License-Identifier: LGPL-2.1-or-later
// Start-up cost of the synthesizers and the cost of rendering. Without a sound device (as on
// the build machines) the ALSA driver fails at once, so Init's figure excludes driver start-up
// and the render figure is the synthesizer, with whatever effect chain the build tree's
// plug-ins give it, as an audio thread would run it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sound/SFOutput.h"

namespace {

const std::string kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// The program directory of this build tree (bench/ and bin/ are siblings), where Init looks
// for "../share/plugins/".
std::string ProgramDirectory() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return (exe.parent_path().parent_path() / "bin").string() + "/";
}

// Init prints a line per preset; keep that out of the benchmark's report.
bool QuietInit(SFOutput& sf, const std::vector<std::string>& paths) {
  fflush(stdout);
  int saved = dup(1);
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  bool ok = sf.Init(ProgramDirectory(), paths, std::vector<double>(paths.size(), 1.0), 128, false, "");
  fflush(stdout);
  dup2(saved, 1);
  close(null);
  close(saved);
  return ok;
}

void BM_InitTimGM6mb(benchmark::State& state) {
  for (auto _ : state) {
    SFOutput sf;
    if (!QuietInit(sf, {kTimGM6mb})) state.SkipWithError("Init failed");
    sf.Shutdown();
  }
}
BENCHMARK(BM_InitTimGM6mb)->Unit(benchmark::kMillisecond);

// Twelve soundfonts: twelve copies of TimGM6mb (arg 0), which fluidsynth must load one by one,
// or the same file twelve times (arg 1), whose samples fluidsynth's sample cache shares.
void BM_InitTwelveSoundfonts(benchmark::State& state) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("zs-bench-sound-" + std::to_string(getpid()));
  std::vector<std::string> paths;
  if (state.range(0) == 0) {
    fs::create_directories(dir);
    for (int i = 0; i < 12; ++i) {
      fs::path copy = dir / ("Font" + std::to_string(i) + ".sf2");
      fs::copy_file(kTimGM6mb, copy, fs::copy_options::overwrite_existing);
      paths.push_back(copy.string());
    }
  } else {
    paths.assign(12, kTimGM6mb);
  }
  for (auto _ : state) {
    SFOutput sf;
    if (!QuietInit(sf, paths)) state.SkipWithError("Init failed");
    sf.Shutdown();
  }
  fs::remove_all(dir);
}
BENCHMARK(BM_InitTwelveSoundfonts)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One second of audio with 64 sustained organ voices spread over all twelve tracks, rendered
// in 128-frame blocks with reverb and chorus on. realtime_factor = CPU time / audio time.
void BM_Render64SustainedVoices(benchmark::State& state) {
  SFOutput sf;
  if (!QuietInit(sf, {kTimGM6mb})) {
    state.SkipWithError("Init failed");
    return;
  }
  for (int t = 0; t < SFOutput::kTracks; ++t) sf.SetInstrument(t, 0, 0, 19);  // church organ
  fluid_synth_t* synth = sf.GetSynth(0);
  for (int n = 0; fluid_synth_get_active_voice_count(synth) < 64 && n < 120; ++n) {
    sf.SendNoteOn(Playhead{}, n % SFOutput::kTracks, 36 + n / 2, 100);
  }
  constexpr int kBlock = 128;
  constexpr int kRate = 44100;
  float left[kBlock], right[kBlock];
  for (int i = 0; i < kRate / kBlock; ++i) sf.RenderBlock(0, kBlock, left, right);  // past the attacks
  int voices = fluid_synth_get_active_voice_count(synth);
  for (auto _ : state) {
    for (int done = 0; done < kRate; done += kBlock) {
      sf.RenderBlock(0, kBlock, left, right);
      benchmark::DoNotOptimize(left[0]);
    }
  }
  state.counters["voices"] = voices;
  state.counters["endVoices"] = fluid_synth_get_active_voice_count(synth);
  // Seconds of CPU per second of audio; the iteration renders one second.
  state.counters["realtime_factor"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  sf.Shutdown();
}
BENCHMARK(BM_Render64SustainedVoices)->Unit(benchmark::kMillisecond);

}  // namespace
