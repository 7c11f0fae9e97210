// Making motion movies from 1920 x 1080 pictures already in memory (the picture loads are not
// counted): a title whose ticker band moves along, as key frames and as difference frames,
// against a copy of one frame's bytes. A key frame's cost is mostly the write of its 8 MB
// into the file. Beside it, the title de-flickered, and a busy sequence of falling snow.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvMovie.h"
#include "LoadLoops.h"
#include "TitleFrame.h"
#include "host/VideoStd.h"
#include "movie/MotionMaker.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;
constexpr int kPictures = 25;
constexpr int kFramesPerFile = 100;

// A title with a ticker band along its bottom tenth whose text moves from picture to picture.
const std::vector<std::vector<DWORD>>& Pictures() {
  static const std::vector<std::vector<DWORD>> pictures = [] {
    std::vector<std::vector<DWORD>> out;
    const auto& title = kvbench::TitleFrame();
    const int bandTop = kH - kH / 10;
    for (int f = 0; f < kPictures; ++f) {
      std::vector<DWORD> px(title.begin(), title.end());
      for (int y = bandTop; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
          px[std::size_t(y) * kW + x] = 0xC0000000u | (((x + 7 * f) * 2654435761u >> 8) & 0xFFFFFF);
      out.push_back(std::move(px));
    }
    return out;
  }();
  return pictures;
}

// Snow over a dark title: 8,000 one-pixel flakes (0.4 % of the pixels) that fall from
// picture to picture, too many changed cells for a frame chunk's patches, so that its
// difference frames are stored band by band.
const std::vector<std::vector<DWORD>>& SnowPictures() {
  static const std::vector<std::vector<DWORD>> pictures = [] {
    std::vector<std::vector<DWORD>> out;
    for (int f = 0; f < kPictures; ++f) {
      std::vector<DWORD> px(std::size_t{kW} * kH, 0xFF101830u);
      std::mt19937 random(7);
      for (int i = 0; i < 8000; ++i) {
        const auto x = static_cast<int>(random() % kW), y = static_cast<int>(random() % kH);
        px[std::size_t((y + 13 * f) % kH) * kW + std::size_t((x + 3 * f) % kW)] = 0xFFFFFFFFu;
      }
      out.push_back(std::move(px));
    }
    return out;
  }();
  return pictures;
}

// Frames are made with `frameOf(i)` as their index: 0 makes every one a key frame, numbers
// off the key interval make difference frames, i itself a sequence with a key frame every 25.
template <class FrameOf>
void Make(benchmark::State& state, FrameOf frameOf,
          const std::vector<std::vector<DWORD>>& pictures = Pictures(), KvMovieKeying keying = {}) {
  CKvVideoStd::SetHD(TRUE);
  const std::string path = kvbench::TempPath("made.sve");
  const CRect rc(0, 0, kW, kH);
  KvMovieEncoder encoder;
  if (!encoder.Init(rc, keying, 25)) {
    state.SkipWithError("no memory for the raster");
    return;
  }
  auto writer = std::make_unique<CKvMotionFileWrite>();
  int written = 0;
  const auto open = [&] {
    writer = std::make_unique<CKvMotionFileWrite>();
    written = 0;
    return writer->CreateFileW(CString::FromUtf8(path), 25, kFramesPerFile, 4, 0, 0, kW, kH) != 0;
  };
  if (!open()) {
    state.SkipWithError("cannot create the movie");
    return;
  }
  int i = 0;
  for (auto _ : state) {
    // A new file every 100 frames keeps the disk use small.
    if (written == kFramesPerFile && !open()) break;
    const auto& picture = pictures[static_cast<std::size_t>(i % kPictures)];
    if (!encoder.AddFrame(frameOf(i), picture.data(), rc, true, *writer)) {
      state.SkipWithError("a frame could not be made");
      break;
    }
    ++written;
    ++i;
  }
  writer.reset();
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations());
}

void BM_KeyFrames(benchmark::State& s) {
  Make(s, [](int) { return 0; });
}
void BM_DifferenceFrames(benchmark::State& s) {
  Make(s, [](int i) { return 1 + i % 24; });
}
void BM_TitleSequence(benchmark::State& s) {
  Make(s, [](int i) { return i; });
}
void BM_TitleSequenceDeflickered(benchmark::State& s) {
  KvMovieKeying keying;
  keying.deflicker = true;
  Make(
      s, [](int i) { return i; }, Pictures(), keying);
}
void BM_BusySequence(benchmark::State& s) {
  Make(
      s, [](int i) { return i; }, SnowPictures());
}
BENCHMARK(BM_KeyFrames);
BENCHMARK(BM_DifferenceFrames);
BENCHMARK(BM_TitleSequence);
BENCHMARK(BM_TitleSequenceDeflickered);
BENCHMARK(BM_BusySequence);

void BM_Memcpy(benchmark::State& state) {
  std::vector<DWORD> dst(std::size_t{kW} * kH);
  for (auto _ : state) {
    std::memcpy(dst.data(), Pictures()[0].data(), dst.size() * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy);

KVBENCH_AT_START(kvbench::Rate("BM_TitleSequence", 50,
                               "frames made per second, a key frame every 25 (floor 50)"));
KVBENCH_AT_START(kvbench::Rate("BM_TitleSequenceDeflickered", 0,
                               "frames made per second, de-flickered"));
KVBENCH_AT_START(kvbench::Rate("BM_BusySequence", 0,
                               "frames made per second, 1080 lines of moving snow"));
KVBENCH_AT_START(kvbench::Rate("BM_KeyFrames", 0, "key frames made per second"));
KVBENCH_AT_START(kvbench::Rate("BM_DifferenceFrames", 0, "difference frames made per second"));
KVBENCH_AT_START(kvbench::Ratio("BM_KeyFrames", "BM_Memcpy", 0, "a key frame, per frame copy"));
KVBENCH_AT_START(kvbench::Ratio("BM_DifferenceFrames", "BM_Memcpy", 0,
                                "a difference frame, per frame copy"));

}  // namespace
