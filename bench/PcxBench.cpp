// PCX load and save of a 1920 x 1080 video frame as 24-bit PCX (three planes), in bytes of
// picture buffer per second. No peer reads or writes PCX here.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "TitleFrame.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;
constexpr long long kPictureBytes = 4LL * kW * kH;

// The frame saved once by our saver, as the file the load benchmark reads.
struct SavedFrame {
  std::string path = kvbench::TempPath("frame.pcx");
  SavedFrame() {
    auto frame = kvbench::VideoFrame();
    KvMediaSavePCXFile(CString::FromUtf8(path), frame.data(), CSize(kW, kH), CRect(0, 0, kW, kH));
  }
  ~SavedFrame() { std::remove(path.c_str()); }
};

const std::string& FramePath() {
  static SavedFrame saved;
  return saved.path;
}

void BM_PcxLoad(benchmark::State& state) {
  const CString path = CString::FromUtf8(FramePath());
  for (auto _ : state) {
    CRect rect;
    DWORD* picture = KvMediaLoadPCXFile(path, rect);
    if (!picture) state.SkipWithError("load failed");
    GlobalFree(picture);
  }
  state.SetBytesProcessed(state.iterations() * kPictureBytes);
}
BENCHMARK(BM_PcxLoad);

void BM_PcxSave(benchmark::State& state) {
  auto frame = kvbench::VideoFrame();
  const std::string path = kvbench::TempPath("save.pcx");
  const CString p = CString::FromUtf8(path);
  for (auto _ : state)
    if (!KvMediaSavePCXFile(p, frame.data(), CSize(kW, kH), CRect(0, 0, kW, kH)))
      state.SkipWithError("save failed");
  state.SetBytesProcessed(state.iterations() * kPictureBytes);
  std::remove(path.c_str());
}
BENCHMARK(BM_PcxSave);

KVBENCH_AT_START(kvbench::Throughput("BM_PcxLoad", 0.0, "24-bit video frame, picture bytes"));
KVBENCH_AT_START(kvbench::Throughput("BM_PcxSave", 0.0, "24-bit video frame, picture bytes"));

}  // namespace
