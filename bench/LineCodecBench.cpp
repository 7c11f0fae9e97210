// Line codec on a play-out title frame: mostly transparent, with a few bands of anti-aliased
// text. memcpy of the expanded frame is the physical baseline for decompression.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include "host/LineCodec.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBandHeight = 40;
constexpr int kBandTops[] = {90, 760, 860, 960};  // a headline and a lower third

// Pixel coverage of the span [x0, x1) in pixel x.
float Overlap(int x, float x0, float x1) {
  return std::max(0.0f, std::min(x + 1.0f, x1) - std::max<float>(x, x0));
}

// Adds a stroke to a band's coverage: on each row from y0 to y1 (fractional, so the first and
// last rows are partly covered) a span of `width` starting at x0 and leaning by `slope`.
void Stroke(std::vector<float>& cover, float x0, float width, float slope, float y0, float y1) {
  for (int y = std::max(0, int(y0)); y < std::min(kBandHeight, int(std::ceil(y1))); ++y) {
    const float rowCover = std::min(y + 1.0f, y1) - std::max<float>(y, y0);
    const float left = x0 + slope * (y - y0);
    for (int x = std::max(0, int(left)); x < std::min(kWidth, int(left + width) + 1); ++x)
      cover[y * kWidth + x] += rowCover * Overlap(x, left, left + width);
  }
}

// The frame, deterministic: glyphs of vertical, slanted and horizontal strokes with soft edges
// at fractional positions, in a colour that changes from row to row.
std::vector<DWORD> MakeTitleFrame() {
  std::vector<DWORD> frame(std::size_t{kWidth} * kHeight, 0);
  std::mt19937 rng(20240611);
  auto uniform = [&](float lo, float hi) { return lo + (hi - lo) * (rng() / 4294967296.0f); };
  for (int top : kBandTops) {
    std::vector<float> cover(std::size_t{kWidth} * kBandHeight, 0.0f);
    float x = uniform(150, 250);
    const float right = uniform(1500, 1750);
    while (x < right) {
      const int glyphs = 2 + rng() % 7;  // one word
      for (int g = 0; g < glyphs && x < right; ++g) {
        const float w = uniform(14, 26);
        const float ascent = rng() % 3 == 0 ? 4.3f : 12.4f;
        Stroke(cover, x + uniform(0, 2), uniform(3.2f, 4.6f), 0, ascent, 34.6f);
        if (rng() % 2) Stroke(cover, x + w - 5, uniform(3.2f, 4.6f), 0, 12.4f, 34.6f);
        if (rng() % 3 == 0) Stroke(cover, x + 2, 3.8f, 0.45f, 12.4f, 34.6f);
        for (float bar : {12.4f, 22.7f, 31.2f})
          if (rng() % 3 == 0) Stroke(cover, x + 1, w - 4, 0, bar, bar + 3.4f);
        x += w + uniform(3, 6);
      }
      x += uniform(14, 20);
    }
    for (int y = 0; y < kBandHeight; ++y) {
      const DWORD shade = 0xFF - 2 * y;  // a vertical gradient on the face
      for (int i = 0; i < kWidth; ++i) {
        const DWORD a = DWORD(std::lround(255 * std::min(1.0f, cover[y * kWidth + i])));
        // Premultiplied, as the play-out mixer takes it.
        frame[std::size_t(top + y) * kWidth + i] =
            a << 24 | (a * 0xFF / 255) << 16 | (a * 0xF0 / 255) << 8 | (a * shade / 255);
      }
    }
  }
  return frame;
}

struct TitleSet {
  std::vector<DWORD> frame = MakeTitleFrame();
  std::vector<DWORD> packed;  // the lines compressed one by one, back to back

  TitleSet() {
    packed.resize(KvRLEWorstCaseWords(kWidth) * kHeight);
    std::size_t n = 0;
    for (int y = 0; y < kHeight; ++y)
      n += KvRLECompress(&frame[std::size_t(y) * kWidth], kWidth, &packed[n], 0);
    packed.resize(n);
  }
  std::size_t Bytes() const { return frame.size() * sizeof(DWORD); }
};

const TitleSet& Titles() {
  static const TitleSet set;
  return set;
}

std::string SizeNote() {
  const TitleSet& t = Titles();
  const double percent = 100.0 * t.packed.size() / t.frame.size();
  char line[200];
  std::snprintf(line, sizeof line,
                "title set %dx%d: %zu bytes raw, %zu compressed = %.2f %% (limit 10 %%: %s)",
                kWidth, kHeight, t.Bytes(), t.packed.size() * sizeof(DWORD), percent,
                percent < 10.0 ? "ok" : "OVER");
  return line;
}

void BM_TitleMemcpy(benchmark::State& state) {
  const TitleSet& t = Titles();
  std::vector<DWORD> out(t.frame.size());
  for (auto _ : state) {
    std::memcpy(out.data(), t.frame.data(), t.Bytes());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * t.Bytes());
}
BENCHMARK(BM_TitleMemcpy);

void BM_TitleDecompress(benchmark::State& state) {
  const TitleSet& t = Titles();
  std::vector<DWORD> packed = t.packed;
  std::vector<DWORD> out(t.frame.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(KvRLEDecompress(packed.data(), out.data(), DWORD(out.size())));
    benchmark::ClobberMemory();
  }
  if (out != t.frame) state.SkipWithError("decompressed frame differs");
  state.SetBytesProcessed(state.iterations() * t.Bytes());
}
BENCHMARK(BM_TitleDecompress);

void BM_TitleDecompressBounded(benchmark::State& state) {
  const TitleSet& t = Titles();
  std::vector<DWORD> out(t.frame.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(KvRLEDecompress(std::span<const DWORD>(t.packed), out));
    benchmark::ClobberMemory();
  }
  if (out != t.frame) state.SkipWithError("decompressed frame differs");
  state.SetBytesProcessed(state.iterations() * t.Bytes());
}
BENCHMARK(BM_TitleDecompressBounded);

void BM_TitleCompress(benchmark::State& state) {
  const TitleSet& t = Titles();
  std::vector<DWORD> frame = t.frame;
  std::vector<DWORD> out(KvRLEWorstCaseWords(kWidth) * kHeight);
  for (auto _ : state) {
    std::size_t n = 0;
    for (int y = 0; y < kHeight; ++y)
      n += KvRLECompress(&frame[std::size_t(y) * kWidth], kWidth, &out[n], 0);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * t.Bytes());
}
BENCHMARK(BM_TitleCompress);

KVBENCH_AT_START(kvbench::Throughput("BM_TitleDecompress", 1e9, "output pixel bytes"));
KVBENCH_AT_START(kvbench::Throughput("BM_TitleDecompressBounded", 1e9, "output pixel bytes"));
KVBENCH_AT_START(kvbench::Throughput("BM_TitleCompress", 5e8, "input pixel bytes"));
KVBENCH_AT_START(kvbench::Ratio("BM_TitleDecompress", "BM_TitleMemcpy", 0.0,
                                "time against a memcpy of the expanded frame"));
KVBENCH_AT_START(kvbench::Note(SizeNote()));

}  // namespace
