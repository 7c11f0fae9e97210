// Scroll playback of 1920-wide rolls and 1080-high crawls of 20,000 lines, against a memcpy of
// one 1920 x 1080 frame.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvScroll.h"
#include "LoadLoops.h"
#include "TitleFrame.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;
constexpr DWORD kLines = 20000;

// A long strip of title lines: the title frame's rows over and over.
std::string WriteStrip(DWORD direction) {
  const std::string path = kvbench::TempPath(std::to_string(direction) + ".ksc");
  const auto& title = kvbench::TitleFrame();
  const bool roll = direction <= KV_SCROLL_DOWN;
  const DWORD width = roll ? kW : kH;
  CKvScrollFileWrite file;
  file.OpenFile(CString::FromUtf8(path), direction, 0, kLines, width);
  std::vector<DWORD> line(width);
  for (DWORD i = 0; i < kLines; ++i) {
    if (roll) {
      std::memcpy(line.data(), &title[std::size_t(i % kH) * kW], kW * 4);
    } else {  // a crawl's line is a column: take a title row, as text runs along it
      for (DWORD y = 0; y < width; ++y) line[y] = title[std::size_t(y) * kW + i % kW];
    }
    file.AppendDataLine(line.data());
  }
  file.CloseFile();
  return path;
}

struct Strips {
  std::string roll = WriteStrip(KV_SCROLL_UP);
  std::string crawl = WriteStrip(KV_SCROLL_LEFT);
  ~Strips() {
    std::remove(roll.c_str());
    std::remove(crawl.c_str());
  }
};

Strips& TheStrips() {
  static Strips strips;
  return strips;
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<DWORD> dst(std::size_t{kW} * kH);
  for (auto _ : state) {
    std::memcpy(dst.data(), kvbench::VideoFrame().data(), dst.size() * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy);

// The physical baseline of playing from memory: the strip is far larger than the cache, so
// each frame's bytes come from memory, not from the cache. A memcpy from one of several
// frames in turn has the same handicap.
void BM_MemcpyUncached(benchmark::State& state) {
  std::vector<std::vector<DWORD>> sources(12, kvbench::VideoFrame());
  std::vector<DWORD> dst(std::size_t{kW} * kH);
  std::size_t i = 0;
  for (auto _ : state) {
    std::memcpy(dst.data(), sources[i++ % sources.size()].data(), dst.size() * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyUncached);

// Streaming, `lines` lines a frame, from the point where the window lies on the strip.
void BM_StreamRoll(benchmark::State& state) {
  const int step = static_cast<int>(state.range(0));
  CKvPlayScrollFile player;
  if (!player.Open(CString::FromUtf8(TheStrips().roll), 0)) {
    state.SkipWithError("open failed");
    return;
  }
  std::vector<DWORD> frame(std::size_t{kW} * kH);
  SKvScrollBuffer buffer;
  buffer.pFrame = frame.data();
  long line = kH;
  player.GetOneFrame(static_cast<float>(line) / kLines, &buffer);
  for (auto _ : state) {
    line += step;
    if (line > static_cast<long>(kLines)) {
      state.PauseTiming();
      line = kH;
      player.InitExtData();
      player.GetOneFrame(static_cast<float>(line) / kLines, &buffer);
      state.ResumeTiming();
    }
    player.GetOneFrame(static_cast<float>(line) / kLines, &buffer);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StreamRoll)->Arg(1)->Arg(4)->Arg(32);

// From memory, moving 2.37 lines a frame: every frame lands between two lines.
void MemoryPlay(benchmark::State& state, const std::string& path) {
  CKvPlayScrollFile player;
  if (!player.Open(CString::FromUtf8(path), 1)) {
    state.SkipWithError("open failed");
    return;
  }
  CSize size;
  player.GetFrameSize(size);
  std::vector<DWORD> frame(static_cast<std::size_t>(size.cx) * size.cy);
  SKvScrollBuffer buffer;
  buffer.pFrame = frame.data();
  double line = kH;
  for (auto _ : state) {
    line += 2.37;
    if (line > kLines) line = kH;
    player.GetOneFrame(static_cast<float>(line / kLines), &buffer);
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_MemoryRoll(benchmark::State& s) { MemoryPlay(s, TheStrips().roll); }
void BM_MemoryCrawl(benchmark::State& s) { MemoryPlay(s, TheStrips().crawl); }
BENCHMARK(BM_MemoryRoll);
BENCHMARK(BM_MemoryCrawl);

// Opening in memory mode: the whole strip decompressed (and, for a crawl, turned).
void OpenMemory(benchmark::State& state, const std::string& path, std::size_t pixels) {
  for (auto _ : state) {
    CKvPlayScrollFile player;
    if (!player.Open(CString::FromUtf8(path), 1)) state.SkipWithError("open failed");
  }
  state.SetBytesProcessed(state.iterations() * pixels * 4);
}
void BM_OpenRollInMemory(benchmark::State& s) {
  OpenMemory(s, TheStrips().roll, std::size_t{kW} * kLines);
}
void BM_OpenCrawlInMemory(benchmark::State& s) {
  OpenMemory(s, TheStrips().crawl, std::size_t{kH} * kLines);
}
BENCHMARK(BM_OpenRollInMemory);
BENCHMARK(BM_OpenCrawlInMemory);

std::string SizeNote() {
  const auto size = [](const std::string& p) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) return 0L;
    std::fseek(f, 0, SEEK_END);
    const long n = std::ftell(f);
    std::fclose(f);
    return n;
  };
  char line[200];
  const double raw = double(kW) * kLines * 4;
  std::snprintf(line, sizeof line,
                "scroll files of 20,000 title lines: roll %.2f %%, crawl %.2f %% of the raw pixels "
                "(limit 10 %%)",
                100.0 * size(TheStrips().roll) / raw,
                100.0 * size(TheStrips().crawl) / (double(kH) * kLines * 4));
  return line;
}

KVBENCH_AT_START(kvbench::Ratio("BM_StreamRoll/1", "BM_Memcpy", 0.0, "streaming, 1 line a frame"));
KVBENCH_AT_START(kvbench::Ratio("BM_StreamRoll/4", "BM_Memcpy", 0.05,
                                "streaming, 4 lines a frame"));
KVBENCH_AT_START(kvbench::Ratio("BM_StreamRoll/32", "BM_Memcpy", 0.0,
                                "streaming, 32 lines a frame"));
KVBENCH_AT_START(kvbench::Ratio("BM_MemoryRoll", "BM_MemcpyUncached", 3.0,
                                "memory mode, roll between lines (interpolated)"));
KVBENCH_AT_START(kvbench::Ratio("BM_MemoryCrawl", "BM_MemcpyUncached", 1.5, "memory mode, crawl"));
KVBENCH_AT_START(kvbench::Ratio("BM_MemoryRoll", "BM_Memcpy", 0.0,
                                "the same against a memcpy from the cache"));
KVBENCH_AT_START(kvbench::Ratio("BM_MemoryCrawl", "BM_Memcpy", 0.0,
                                "the same against a memcpy from the cache"));
KVBENCH_AT_START(kvbench::Throughput("BM_OpenRollInMemory", 1e9, "pixels decompressed at open"));
KVBENCH_AT_START(kvbench::Throughput("BM_OpenCrawlInMemory", 1e9,
                                     "pixels decompressed and turned at open"));
KVBENCH_AT_START(kvbench::Note(SizeNote()));

}  // namespace
