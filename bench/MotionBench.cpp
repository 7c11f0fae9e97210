// Motion-movie playback on 1920 x 1080 movies against a memcpy of one frame's bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvMovie.h"
#include "LoadLoops.h"
#include "MotionWriter.h"
#include "TitleFrame.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;
constexpr std::size_t kBytes = std::size_t{kW} * kH * 4;

std::string TempPath(const std::string& name) { return kvbench::TempPath(name + ".sve"); }

// Every frame different everywhere: the video frame, its colours turned a little per frame.
std::string FullChangeMovie() {
  std::vector<kvtest::MotionPixels> frames;
  for (int f = 0; f < 12; ++f) {
    kvtest::MotionPixels px = kvbench::VideoFrame();
    for (DWORD& p : px) p = (p + 0x010203u * (f + 1)) | 0xFF000000u;
    frames.push_back(std::move(px));
  }
  const std::string path = TempPath("full");
  kvtest::WriteMotionMovie(CString::FromUtf8(path), frames, 0, 0, kW, kH, 10);
  return path;
}

// A title over transparency in which a band of `percent` of the frame's area changes from
// frame to frame: a ticker whose text moves along. Key frames every 25.
std::string ChangingMovie(int percent, int frameCount) {
  std::vector<kvtest::MotionPixels> frames;
  const auto& title = kvbench::TitleFrame();
  const int bandRows = kH * percent / 100, bandTop = kH - bandRows;
  for (int f = 0; f < frameCount; ++f) {
    kvtest::MotionPixels px(title.begin(), title.end());
    for (int y = bandTop; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        px[std::size_t(y) * kW + x] = 0xC0000000u | (((x + 7 * f) * 2654435761u >> 8) & 0xFFFFFF);
    frames.push_back(std::move(px));
  }
  const std::string path = TempPath("changing-" + std::to_string(percent));
  kvtest::WriteMotionMovie(CString::FromUtf8(path), frames, 0, 0, kW, kH, 25);
  return path;
}

struct Movies {
  std::string full = FullChangeMovie();
  std::map<int, std::string> changing;
  Movies() {
    for (int percent : {1, 10, 50}) changing[percent] = ChangingMovie(percent, 50);
  }
  ~Movies() {
    std::remove(full.c_str());
    for (auto& [p, path] : changing) std::remove(path.c_str());
  }
};

Movies& TheMovies() {
  static Movies movies;
  return movies;
}

CKvMemBlock& Background() {
  static CKvMemBlock block = [] {
    CKvMemBlock b;
    b.InitBlock(CSize(kW, kH));
    std::memcpy(b.GetAddress(), kvbench::VideoFrame().data(), kBytes);
    return b;
  }();
  return block;
}

// Sequential playback: one new frame per iteration, round and round.
void Play(benchmark::State& state, const std::string& path, int memory, int mix) {
  CKvPlayMovieMotion player;
  player.m_nMixMode = mix;
  if (!player.Open(CString::FromUtf8(path), memory) ||
      !player.Prepare(mix >= 0 ? &Background() : nullptr)) {
    state.SkipWithError("cannot open the movie");
    return;
  }
  const int n = player.m_nFrames;
  int i = 0;
  for (auto _ : state) {
    player.GetOneFrame(static_cast<float>(i) / static_cast<float>(n));
    benchmark::DoNotOptimize(player.m_blockWork.GetAddress());
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<DWORD> dst(std::size_t{kW} * kH);
  for (auto _ : state) {
    std::memcpy(dst.data(), kvbench::VideoFrame().data(), kBytes);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy);

// The physical baseline of playing from memory: each frame's bytes come from a different
// place, as the loaded chunks of a movie lie, so they are not in the cache.
void BM_MemcpyEachFrameNew(benchmark::State& state) {
  std::vector<std::vector<DWORD>> sources(12, kvbench::VideoFrame());
  std::vector<DWORD> dst(std::size_t{kW} * kH);
  std::size_t i = 0;
  for (auto _ : state) {
    std::memcpy(dst.data(), sources[i++ % sources.size()].data(), kBytes);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyEachFrameNew);

void BM_FullChangeAlone(benchmark::State& s) { Play(s, TheMovies().full, 1, -1); }
void BM_FullChangeOverBack(benchmark::State& s) { Play(s, TheMovies().full, 1, 0); }
void BM_Title10Memory(benchmark::State& s) { Play(s, TheMovies().changing[10], 1, -1); }
void BM_Title10File(benchmark::State& s) { Play(s, TheMovies().changing[10], 0, -1); }
void BM_Changed1Memory(benchmark::State& s) { Play(s, TheMovies().changing[1], 1, -1); }
void BM_Changed50Memory(benchmark::State& s) { Play(s, TheMovies().changing[50], 1, -1); }
BENCHMARK(BM_FullChangeAlone);
BENCHMARK(BM_FullChangeOverBack);
BENCHMARK(BM_Title10Memory);
BENCHMARK(BM_Title10File);
BENCHMARK(BM_Changed1Memory);
BENCHMARK(BM_Changed50Memory);

KVBENCH_AT_START(kvbench::Ratio("BM_FullChangeAlone", "BM_MemcpyEachFrameNew", 1.5,
                                "every frame new, from memory, mix -1, per frame"));
KVBENCH_AT_START(kvbench::Ratio("BM_FullChangeOverBack", "BM_MemcpyEachFrameNew", 4.0,
                                "the same over a 1920 x 1080 background, mix 0"));
KVBENCH_AT_START(kvbench::Ratio("BM_FullChangeAlone", "BM_Memcpy", 0.0,
                                "against a memcpy whose source stays in the cache"));
KVBENCH_AT_START(kvbench::Ratio("BM_FullChangeOverBack", "BM_Memcpy", 0.0,
                                "against a memcpy whose source stays in the cache"));
KVBENCH_AT_START(kvbench::Rate("BM_Title10Memory", 2000,
                               "10 % of the area changing, key every 25, from memory"));
KVBENCH_AT_START(kvbench::Rate("BM_Title10File", 0, "the same from the file"));
KVBENCH_AT_START(kvbench::Rate("BM_Changed1Memory", 0, "1 % changing"));
KVBENCH_AT_START(kvbench::Rate("BM_Changed50Memory", 0, "50 % changing"));

}  // namespace
