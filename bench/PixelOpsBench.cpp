// Pixel kernels on full HD frames. The mix of a title over opaque video is what the block copy
// does for every frame on air, so it is held to a multiple of memcpy of the same frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "host/PixelOps.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr std::size_t kPixels = std::size_t{kWidth} * kHeight;
constexpr std::size_t kFrameBytes = kPixels * sizeof(tagCOLOR32);

// A title in straight alpha: transparent but for a headline and a two-line lower third of
// glyph-like strokes whose edges fall on fractional positions, so each stroke has one or two
// anti-aliased pixels on every side.
std::vector<tagCOLOR32> MakeTitle() {
  std::vector<float> cover(kPixels, 0.0f);
  std::mt19937 rng(7031);
  const auto uniform = [&](float lo, float hi) { return lo + (hi - lo) * (rng() / 4294967296.0f); };
  // Coverage of a box [x0, x1) x [y0, y1) in fractional pixels.
  const auto box = [&](float x0, float x1, float y0, float y1) {
    for (int y = int(y0); y < int(std::ceil(y1)); ++y) {
      const float cy = std::min(y + 1.0f, y1) - std::max<float>(y, y0);
      for (int x = int(x0); x < int(std::ceil(x1)); ++x) {
        const float cx = std::min(x + 1.0f, x1) - std::max<float>(x, x0);
        cover[std::size_t(y) * kWidth + x] += cx * cy;
      }
    }
  };
  for (const auto& [top, size] : {std::pair{110, 44.0f}, {820, 36.0f}, {880, 36.0f}}) {
    float x = uniform(160, 260);
    const float right = uniform(1400, 1720);
    while (x < right) {
      const float w = size * uniform(0.45f, 0.7f);
      const float stem = size * 0.11f + uniform(0, 0.8f);
      const float y0 = top + (rng() % 3 ? size * 0.3f : 0.0f) + uniform(0, 1);
      const float y1 = top + size + uniform(0, 1);
      box(x + uniform(0, 1), x + stem, y0, y1);
      if (rng() % 2) box(x + w - stem, x + w, top + size * 0.3f, y1);
      for (const float bar : {0.3f, 0.62f, 0.93f})
        if (rng() % 3 == 0) box(x, x + w, top + size * bar, top + size * bar + stem);
      x += w + uniform(4, 8) + (rng() % 6 == 0 ? size * 0.4f : 0.0f);
    }
  }
  std::vector<tagCOLOR32> title(kPixels, tagCOLOR32{0, 0, 0, 0});
  for (std::size_t i = 0; i < kPixels; ++i) {
    const auto a = BYTE(std::lround(255 * std::min(1.0f, cover[i])));
    if (a) title[i] = tagCOLOR32{40, 230, 250, a};
  }
  return title;
}

// Opaque video: smooth gradients with a little noise.
std::vector<tagCOLOR32> MakeVideo() {
  std::vector<tagCOLOR32> video(kPixels);
  std::mt19937 rng(99);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      video[std::size_t(y) * kWidth + x] = {BYTE(x / 8 + rng() % 8), BYTE(y / 5),
                                            BYTE(128 + x % 64), 255};
  return video;
}

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
  std::size_t clear = 0, opaque = 0;
  for (const tagCOLOR32 p : title) clear += p.a == 0, opaque += p.a == 255;
  return "title: " + std::to_string(100.0 * clear / kPixels).substr(0, 5) + " % clear, " +
         std::to_string(100.0 * opaque / kPixels).substr(0, 4) + " % opaque, " +
         std::to_string(100.0 * (kPixels - clear - opaque) / kPixels).substr(0, 4) + " % edge";
}()));

}  // namespace
