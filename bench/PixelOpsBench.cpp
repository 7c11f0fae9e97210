// Pixel kernels on full HD frames. The mix of a title over opaque video is what the block copy
// does for every frame on air, so it is held to a multiple of memcpy of the same frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "TitleFrame.h"
#include "host/PixelOps.h"

namespace {

constexpr int kWidth = kvbench::kFrameWidth;
constexpr int kHeight = kvbench::kFrameHeight;
constexpr std::size_t kPixels = std::size_t{kWidth} * kHeight;
constexpr std::size_t kFrameBytes = kPixels * sizeof(tagCOLOR32);

// The shared title and video frames of the benchmarks, as pixels.
std::vector<tagCOLOR32> AsPixels(const std::vector<DWORD>& frame) {
  std::vector<tagCOLOR32> px(frame.size());
  std::memcpy(px.data(), frame.data(), frame.size() * 4);
  return px;
}
std::vector<tagCOLOR32> MakeTitle() { return AsPixels(kvbench::TitleFrame()); }
std::vector<tagCOLOR32> MakeVideo() { return AsPixels(kvbench::VideoFrame()); }

std::vector<tagCOLOR32> MakeNoise(unsigned seed, BYTE alphaLo, BYTE alphaHi) {
  std::vector<tagCOLOR32> px(kPixels);
  std::mt19937 rng(seed);
  for (tagCOLOR32& p : px) {
    p = tagCOLOR32::FromValue(DWORD(rng()));
    p.a = BYTE(alphaLo + rng() % (alphaHi - alphaLo + 1));
  }
  return px;
}

void BM_MemcpyFrame(benchmark::State& state) {
  const std::vector<tagCOLOR32> src = MakeVideo();
  std::vector<tagCOLOR32> dst(kPixels);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), kFrameBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMillisecond);

// Mixing again over the already mixed frame takes the same paths: the bottom stays opaque.
void BM_MixOverTitle(benchmark::State& state) {
  const std::vector<tagCOLOR32> title = MakeTitle();
  std::vector<tagCOLOR32> dst = MakeVideo();
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y)
      KvMixRowOver(dst.data() + std::size_t(y) * kWidth, title.data() + std::size_t(y) * kWidth,
                   kWidth);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_MixOverTitle)->Unit(benchmark::kMillisecond);

// Every pixel through the general blend; the bottom is restored untimed, as mixing would
// otherwise make it opaque.
void BM_MixOverWorstCase(benchmark::State& state) {
  const std::vector<tagCOLOR32> top = MakeNoise(1, 1, 254);
  const std::vector<tagCOLOR32> bottom = MakeNoise(2, 1, 254);
  std::vector<tagCOLOR32> dst(kPixels);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(dst.data(), bottom.data(), kFrameBytes);
    state.ResumeTiming();
    for (int y = 0; y < kHeight; ++y)
      KvMixRowOver(dst.data() + std::size_t(y) * kWidth, top.data() + std::size_t(y) * kWidth,
                   kWidth);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_MixOverWorstCase)->Unit(benchmark::kMillisecond);

void BM_IntpLinesFrame(benchmark::State& state) {
  std::vector<tagCOLOR32> a = MakeVideo(), b = MakeNoise(3, 0, 255), out(kPixels);
  const auto row = [](std::vector<tagCOLOR32>& v, int y) {
    return reinterpret_cast<BYTE*>(v.data() + std::size_t(y) * kWidth);
  };
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y)
      KvIntpLines_BGRA(row(a, y), row(b, y), row(out, y), kWidth, 0.3f);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kFrameBytes);
}
BENCHMARK(BM_IntpLinesFrame)->Unit(benchmark::kMillisecond);

void BM_ZoomFrameTo80x60(benchmark::State& state) {
  std::vector<tagCOLOR32> src = MakeVideo();
  std::vector<DWORD> dst(80 * 60);
  for (auto _ : state) {
    KvMemZoom(reinterpret_cast<DWORD*>(src.data()), CSize(kWidth, kHeight), dst.data(),
              CSize(80, 60));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ZoomFrameTo80x60)->Unit(benchmark::kMillisecond);

void BM_ZoomSdToFrame(benchmark::State& state) {
  std::vector<tagCOLOR32> src = MakeNoise(4, 255, 255);
  src.resize(720 * 576);
  std::vector<DWORD> dst(kPixels);
  for (auto _ : state) {
    KvMemZoom(reinterpret_cast<DWORD*>(src.data()), CSize(720, 576), dst.data(),
              CSize(kWidth, kHeight));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ZoomSdToFrame)->Unit(benchmark::kMillisecond);

KVBENCH_AT_START(kvbench::Ratio("BM_MixOverTitle", "BM_MemcpyFrame", 4.0,
                                "title over opaque video"));
KVBENCH_AT_START(kvbench::Ratio("BM_MixOverWorstCase", "BM_MemcpyFrame", 0.0,
                                "all semi-transparent over semi-transparent"));
KVBENCH_AT_START(kvbench::Ratio("BM_IntpLinesFrame", "BM_MemcpyFrame"));
KVBENCH_AT_START(kvbench::Note([] {
  const std::vector<tagCOLOR32> title = MakeTitle();
  double clear = 0, opaque = 0;
  for (const tagCOLOR32 p : title) clear += p.a == 0, opaque += p.a == 255;
  char line[120];
  std::snprintf(line, sizeof line, "title: %.2f %% clear, %.2f %% opaque, %.2f %% edge",
                100 * clear / kPixels, 100 * opaque / kPixels,
                100 * (kPixels - clear - opaque) / kPixels);
  return std::string(line);
}()));

}  // namespace
