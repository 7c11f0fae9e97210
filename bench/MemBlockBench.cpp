// Block copies of whole 1920 x 1080 frames against a memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "BenchSupport.h"
#include "TitleFrame.h"
#include "host/MemBlock.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;
constexpr std::size_t kBytes = std::size_t{kW} * kH * 4;

struct Blocks {
  CKvMemBlock title, video, target;
  Blocks() {
    title.InitBlock(CSize(kW, kH));
    video.InitBlock(CSize(kW, kH));
    target.InitBlock(CSize(kW, kH));
    std::memcpy(title.GetAddress(), kvbench::TitleFrame().data(), kBytes);
    std::memcpy(video.GetAddress(), kvbench::VideoFrame().data(), kBytes);
  }
};

Blocks& TheBlocks() {
  static Blocks blocks;
  return blocks;
}

void BM_Memcpy(benchmark::State& state) {
  Blocks& b = TheBlocks();
  for (auto _ : state) {
    std::memcpy(b.target.GetAddress(), b.video.GetAddress(), kBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_Memcpy);

void BM_CopyReplace(benchmark::State& state) {
  Blocks& b = TheBlocks();
  for (auto _ : state) {
    b.target.Copy(0, 0, &b.video, b.video.GetRect(), KV_MIX_COPY);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_CopyReplace);

// A window of the frame, so that the copy goes row by row.
void BM_CopyReplaceWindow(benchmark::State& state) {
  Blocks& b = TheBlocks();
  for (auto _ : state) {
    b.target.Copy(8, 8, &b.video, CRect(0, 0, kW - 16, kH - 16), KV_MIX_COPY);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * (kW - 16) * (kH - 16) * 4);
}
BENCHMARK(BM_CopyReplaceWindow);

// The title laid over video: what play-out does every frame. The target is refreshed from
// the video outside the timing so each round mixes onto the same picture.
void BM_CopyOverTitle(benchmark::State& state) {
  Blocks& b = TheBlocks();
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(b.target.GetAddress(), b.video.GetAddress(), kBytes);
    state.ResumeTiming();
    b.target.Copy(0, 0, &b.title, b.title.GetRect(), KV_MIX_OVER);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_CopyOverTitle);

// Every pixel half transparent over a half-transparent target: the general path everywhere.
void BM_CopyOverWorstCase(benchmark::State& state) {
  Blocks& b = TheBlocks();
  CKvMemBlock src, dst;
  src.InitBlock(CSize(kW, kH));
  dst.InitBlock(CSize(kW, kH));
  const auto& video = kvbench::VideoFrame();
  for (std::size_t i = 0; i < video.size(); ++i) {
    src.GetAddress()[i] = tagCOLOR32::FromValue((video[i] & 0x00FFFFFF) | (0x40u + i % 128) << 24);
    dst.GetAddress()[i] = tagCOLOR32::FromValue((~video[i] & 0x00FFFFFF) | (0x30u + i % 160) << 24);
  }
  (void)b;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(b.target.GetAddress(), dst.GetAddress(), kBytes);
    state.ResumeTiming();
    b.target.Copy(0, 0, &src, src.GetRect(), KV_MIX_OVER);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kBytes);
}
BENCHMARK(BM_CopyOverWorstCase);

KVBENCH_AT_START(kvbench::Ratio("BM_CopyReplace", "BM_Memcpy", 1.2, "mix mode 2, whole frame"));
KVBENCH_AT_START(kvbench::Ratio("BM_CopyReplaceWindow", "BM_Memcpy", 1.2,
                                "mix mode 2, a window (row by row)"));
KVBENCH_AT_START(kvbench::Ratio("BM_CopyOverTitle", "BM_Memcpy", 4.0,
                                "mix mode 0, a title over video"));
KVBENCH_AT_START(kvbench::Ratio("BM_CopyOverWorstCase", "BM_Memcpy", 0.0,
                                "mix mode 0, every pixel semi-transparent on both sides"));

}  // namespace
