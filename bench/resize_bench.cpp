// Cost of one resize of the main window (layout, eight frame copies, the
// outline, placing the controls) beside a plain copy of as many bytes as the
// window's frame image holds, measured in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "forms/device_scale.h"
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

// A whole repaint of the 888 x 700 window on a screen at DPI: its design
// pixels enlarged onto the device, as the Windows backend paints it.
void BM_EnlargeWindow(benchmark::State& state) {
  const forms::DeviceScale scale(static_cast<int>(state.range(0)));
  const int w = 888, h = 700;
  std::vector<forms::Color> design(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < design.size(); ++i)
    design[i] = static_cast<forms::Color>(i * 2654435761u) & 0xFFFFFF;
  const int dw = scale.ToDevice(w), dh = scale.ToDevice(h);
  std::vector<forms::Color> device(static_cast<std::size_t>(dw) * dh);
  for (auto _ : state) {
    forms::Enlarge({design.data(), w, h, w}, 0, 0, scale, {device.data(), dw, dh, dw}, 0, 0);
    benchmark::DoNotOptimize(device.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(dw) * dh * 4);
  state.counters["device_px"] = static_cast<double>(dw) * dh;
}

}  // namespace

BENCHMARK(BM_EnlargeWindow)->Arg(120)->Arg(144)->Arg(192)->Arg(288);
BENCHMARK(BM_FormResize)->Args({888, 700})->Args({1920, 1040});
BENCHMARK(BM_PlainCopy)->Args({888, 700})->Args({1920, 1040});

BENCHMARK_MAIN();
