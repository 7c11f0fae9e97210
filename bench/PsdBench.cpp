// PSD loads of 1920 x 1080 pictures against stb_image on the same files: the title frame with
// its alpha channel, run-length packed; the same frame's colour planes uncompressed (the
// reader refuses raw data with an alpha channel); and a packed video frame, which hardly
// packs. Also the physical baseline of the raw load, and the working memory of a load beside
// the picture buffer.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "PsdWriter.h"
#include "TitleFrame.h"
#include "WorkingMemory.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;

struct File {
  std::string name, path;
  std::size_t size = 0;
};

File WriteFile(const std::string& name, const std::vector<DWORD>& frame, bool alpha,
               int compression) {
  kvtest::PsdImage img;
  img.width = kW;
  img.height = kH;
  img.channels = alpha ? 4 : 3;
  img.compression = compression;
  img.planes = kvtest::PsdRgbPlanes(frame, alpha);
  const std::vector<unsigned char> bytes = kvtest::WritePsd(img);
  return {name, kvbench::WriteTempFile(name, bytes), bytes.size()};
}

struct Files {
  File packed, raw, video;
  Files()
      : packed(WriteFile("title-packbits.psd", kvbench::TitleFrame(), true, 1)),
        raw(WriteFile("title-raw.psd", kvbench::TitleFrame(), false, 0)),
        video(WriteFile("video-packbits.psd", kvbench::VideoFrame(), true, 1)) {}
  ~Files() {
    for (const File* f : {&packed, &raw, &video}) std::remove(f->path.c_str());
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

// The physical baseline of a raw load: one read of the whole file, one copy of its pixels.
void BM_RawReadCopy(benchmark::State& state) {
  kvbench::ReadAndCopyLoop(state, TheFiles().raw.path, 0, std::size_t{kW} * kH * 4);
}

void Ours(benchmark::State& s, const File& file) {
  kvbench::LoaderLoop(s, &KvMediaLoadPSDFile, file.path);
}
void BM_PackedOurs(benchmark::State& s) { Ours(s, TheFiles().packed); }
void BM_PackedStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().packed.path); }
void BM_RawOurs(benchmark::State& s) { Ours(s, TheFiles().raw); }
void BM_RawStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().raw.path); }
void BM_PackedVideoOurs(benchmark::State& s) { Ours(s, TheFiles().video); }
void BM_PackedVideoStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().video.path); }
BENCHMARK(BM_PackedOurs);
BENCHMARK(BM_PackedStb);
BENCHMARK(BM_RawReadCopy);
BENCHMARK(BM_RawOurs);
BENCHMARK(BM_RawStb);
BENCHMARK(BM_PackedVideoOurs);
BENCHMARK(BM_PackedVideoStb);

std::string MemoryNote() {
  std::string out;
  for (const File* file : {&TheFiles().packed, &TheFiles().raw, &TheFiles().video}) {
    CRect rect;
    DWORD* picture = nullptr;
    const std::size_t extra = kvbench::PeakNewBytes(
        [&] { picture = KvMediaLoadPSDFile(CString::FromUtf8(file->path), rect); });
    const bool loaded = picture != nullptr;
    GlobalFree(picture);
    char line[240];
    std::snprintf(line, sizeof line,
                  "working memory of a load beside the %zu-byte picture (%s): %.1f KiB, file "
                  "%.1f KiB (limit: the file's size: %s)\n",
                  std::size_t{kW} * kH * 4, file->name.c_str(), extra / 1024.0, file->size / 1024.0,
                  loaded && extra <= file->size ? "ok" : "OVER");
    out += line;
  }
  out.pop_back();
  return out;
}

KVBENCH_AT_START(kvbench::Ratio("BM_PackedOurs", "BM_PackedStb", 1.0,
                                "PackBits RGB + alpha title, the same file"));
KVBENCH_AT_START(kvbench::Ratio("BM_RawOurs", "BM_RawStb", 1.0, "raw RGB title, the same file"));
KVBENCH_AT_START(kvbench::Ratio("BM_RawOurs", "BM_RawReadCopy", 0.0,
                                "raw RGB title, against read + one copy"));
KVBENCH_AT_START(kvbench::Ratio("BM_PackedVideoOurs", "BM_PackedVideoStb", 1.0,
                                "PackBits RGB + alpha video frame, the same file"));
KVBENCH_AT_START(kvbench::Note(MemoryNote()));

}  // namespace
