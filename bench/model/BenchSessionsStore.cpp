#include <benchmark/benchmark.h>
#include "model/SessionsStore.h"
static void BM_Construct(benchmark::State& state) { for (auto _ : state) { SessionsStore s; benchmark::DoNotOptimize(&s); } }
BENCHMARK(BM_Construct);
