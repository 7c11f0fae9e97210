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
#include "TitleFrame.h"
#include "host/LineCodec.h"

namespace {

constexpr int kWidth = kvbench::kFrameWidth;
constexpr int kHeight = kvbench::kFrameHeight;
struct TitleSet {
  std::vector<DWORD> frame = kvbench::TitleFrame();
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
