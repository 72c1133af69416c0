// SPDX-License-Identifier: LGPL-2.1-or-later
// Real-time factor of our three effects at 44.1 kHz in 128- and 1024-frame blocks, in place, on
// noise at -12 dBFS. (bench/plugins/run-ladspa-bench.sh compares them with Debian's peers.)
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/LadspaHost.h"

namespace {

constexpr unsigned long kRate = 44100;

struct Effect {
  const char* file;
  const char* label;
  std::vector<std::pair<const char*, float>> settings;
};

const Effect kEffects[] = {
    {"Equalizer.so", "zembrovane_equalizer_10_band_stereo",
     {{"31 Hz", 6}, {"63 Hz", -6}, {"125 Hz", 6}, {"250 Hz", -6}, {"500 Hz", 6}, {"1 kHz", -6},
      {"2 kHz", 6}, {"4 kHz", -6}, {"8 kHz", 6}, {"16 kHz", -6}}},
    {"ReverbZitaRev1.so", "reverb_zita_rev1", {{"Level", 6}}},
    {"Limiter.so", "zembrovane_hard_limiter_stereo", {{"Ceiling", -6}}},
};

void RunEffect(benchmark::State& state) {
  const Effect& effect = kEffects[state.range(0)];
  const size_t block = size_t(state.range(1));
  zs::test::LadspaHost fx;
  if (!fx.Load(std::string(ZS_PLUGIN_DIR) + "/" + effect.file, effect.label, kRate)) {
    state.SkipWithError(fx.Error().c_str());
    return;
  }
  for (auto [name, value] : effect.settings) fx.SetControl(name, value);
  fx.Activate();

  std::vector<float> noise(1 << 16);
  uint32_t seed = 0x9E3779B9u;
  for (float& v : noise) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    v = 0.43f * (float(seed) / 2147483648.0f - 1.0f);  // about -12 dBFS RMS
  }
  std::vector<float> left(block), right(block);
  size_t at = 0;
  for (auto _ : state) {
    if (at + 2 * block > noise.size()) at = 0;
    std::memcpy(left.data(), noise.data() + at, block * sizeof(float));
    std::memcpy(right.data(), noise.data() + at + block, block * sizeof(float));
    at += 2 * block;
    fx.RunStereo(left, right, block);  // in place, one block
    benchmark::DoNotOptimize(left.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(block));
  // Seconds of audio per second of CPU: the real-time factor.
  state.counters["rtf"] = benchmark::Counter(double(state.iterations()) * double(block) / kRate,
                                             benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(RunEffect)
    ->ArgNames({"effect", "block"})
    ->ArgsProduct({{0, 1, 2}, {128, 1024}});
