// Cost of one resize of the main window (layout, eight frame copies, the
// outline, placing the controls) beside a plain copy of as many bytes as the
// window's frame image holds, measured in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "test_support.h"

namespace {

void BM_FormResize(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0));
  const int h = static_cast<int>(state.range(1));
  testing_support::Harness harness;
  // Alternate between two sizes one pixel apart so every call really resizes.
  bool flip = false;
  for (auto _ : state) {
    harness.Resize(w, h - (flip ? 1 : 0));
    flip = !flip;
    benchmark::DoNotOptimize(harness.ba1->Image().Bits());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(w) * h * 4);
}

void BM_PlainCopy(benchmark::State& state) {
  const auto bytes = static_cast<std::size_t>(state.range(0)) * state.range(1) * 4;
  std::vector<char> from(bytes, 1), to(bytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

}  // namespace

BENCHMARK(BM_FormResize)->Args({888, 700})->Args({1920, 1040});
BENCHMARK(BM_PlainCopy)->Args({888, 700})->Args({1920, 1040});

BENCHMARK_MAIN();
