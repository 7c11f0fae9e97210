// TGA load and save on 1920 x 1080 frames, against stb_image on the same files and the
// physical baseline (read the file into memory and copy it once); the working memory of a
// load beside the picture buffer.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stb/stb_image.h>
#include <unistd.h>

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
#include "TgaWriter.h"
#include "TitleFrame.h"
#include "WorkingMemory.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;

std::vector<unsigned char> FilePixels(const std::vector<DWORD>& frame, bool bottomUp) {
  std::vector<unsigned char> bytes(frame.size() * 4);
  for (int y = 0; y < kH; ++y) {
    const int src = bottomUp ? kH - 1 - y : y;
    std::memcpy(&bytes[std::size_t(y) * kW * 4], &frame[std::size_t(src) * kW], kW * 4);
  }
  return bytes;
}

// The frame's green as grey and its blue as alpha, 2 bytes a pixel.
std::vector<unsigned char> GreyAlphaPixels() {
  std::vector<unsigned char> bytes;
  bytes.reserve(std::size_t{kW} * kH * 2);
  for (DWORD p : kvbench::VideoFrame()) {
    bytes.push_back(p >> 8 & 0xFF);
    bytes.push_back(p & 0xFF);
  }
  return bytes;
}

struct Files {
  std::string rawTop, rawBottom, rle, grey16;
  Files() {
    kvtest::TgaImage img;
    img.width = kW;
    img.height = kH;
    img.pixelDepth = 32;
    img.descriptor = 0x20;
    img.pixels = FilePixels(kvbench::VideoFrame(), false);
    rawTop = kvbench::WriteTempFile("top.tga", kvtest::WriteTga(img));
    img.descriptor = 0x00;
    img.pixels = FilePixels(kvbench::VideoFrame(), true);
    rawBottom = kvbench::WriteTempFile("bottom.tga", kvtest::WriteTga(img));
    img.imageType = 10;
    img.descriptor = 0x20;
    img.pixels = FilePixels(kvbench::TitleFrame(), false);
    rle = kvbench::WriteTempFile("title-rle.tga", kvtest::WriteTga(img));
    img.imageType = 3;
    img.pixelDepth = 16;
    img.pixels = GreyAlphaPixels();
    grey16 = kvbench::WriteTempFile("grey16.tga", kvtest::WriteTga(img));
  }
  ~Files() {
    for (const std::string& p : {rawTop, rawBottom, rle, grey16}) std::remove(p.c_str());
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

// The physical baseline: one read of the whole file, one copy of its pixels.
void BM_RawTopReadCopy(benchmark::State& s) {
  kvbench::ReadAndCopyLoop(s, TheFiles().rawTop, 18, std::size_t{kW} * kH * 4);
}
void BM_RawTopOurs(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadTGAFile, TheFiles().rawTop);
}
void BM_RawTopStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().rawTop); }
void BM_RawBottomReadCopy(benchmark::State& s) {
  kvbench::ReadAndCopyLoop(s, TheFiles().rawBottom, 18, std::size_t{kW} * kH * 4);
}
void BM_RawBottomOurs(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadTGAFile, TheFiles().rawBottom);
}
void BM_RawBottomStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().rawBottom); }
void BM_RleTitleOurs(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadTGAFile, TheFiles().rle);
}
void BM_RleTitleStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().rle); }
void BM_Grey16Ours(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadTGAFile, TheFiles().grey16);
}
void BM_Grey16Stb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().grey16); }
BENCHMARK(BM_RawTopReadCopy);
BENCHMARK(BM_RawTopOurs);
BENCHMARK(BM_RawTopStb);
BENCHMARK(BM_RawBottomReadCopy);
BENCHMARK(BM_RawBottomOurs);
BENCHMARK(BM_RawBottomStb);
BENCHMARK(BM_RleTitleOurs);
BENCHMARK(BM_RleTitleStb);
BENCHMARK(BM_Grey16Ours);
BENCHMARK(BM_Grey16Stb);

// Saving: our TGA 2.0 file against one write() of the same bytes.
std::vector<unsigned char> SavedBytes() {
  const std::string path = kvbench::TempPath("saved.tga");
  auto frame = kvbench::VideoFrame();
  KvMediaSaveTGAFile(CString::FromUtf8(path), frame.data(), CSize(kW, kH), CRect(0, 0, kW, kH));
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::vector<unsigned char> bytes;
  if (f) {
    std::fseek(f, 0, SEEK_END);
    bytes.resize(static_cast<std::size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    std::fclose(f);
  }
  std::remove(path.c_str());
  return bytes;
}

void BM_SaveOneWrite(benchmark::State& state) {
  const std::vector<unsigned char> bytes = SavedBytes();
  const std::string path = kvbench::TempPath("write.tga");
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    benchmark::DoNotOptimize(::write(fd, bytes.data(), bytes.size()));
    ::close(fd);
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_SaveOneWrite);

void BM_SaveOurs(benchmark::State& state) {
  auto frame = kvbench::VideoFrame();
  const std::string path = kvbench::TempPath("save.tga");
  const CString p = CString::FromUtf8(path);
  for (auto _ : state)
    if (!KvMediaSaveTGAFile(p, frame.data(), CSize(kW, kH), CRect(0, 0, kW, kH)))
      state.SkipWithError("save failed");
  std::remove(path.c_str());
}
BENCHMARK(BM_SaveOurs);

std::string MemoryNote() {
  std::string out;
  for (const std::string* path : {&TheFiles().rawBottom, &TheFiles().rle}) {
    CRect rect;
    DWORD* picture = nullptr;
    const std::size_t extra = kvbench::PeakNewBytes(
        [&] { picture = KvMediaLoadTGAFile(CString::FromUtf8(*path), rect); });
    GlobalFree(picture);
    char line[200];
    std::snprintf(line, sizeof line,
                  "working memory of a load beside the %zu-byte picture (%s): %.1f KiB "
                  "(limit 128 KiB: %s)\n",
                  std::size_t{kW} * kH * 4, path == &TheFiles().rle ? "run-length" : "raw",
                  extra / 1024.0, extra < 128 * 1024 ? "ok" : "OVER");
    out += line;
  }
  out.pop_back();
  return out;
}

KVBENCH_AT_START(kvbench::Ratio("BM_RawTopOurs", "BM_RawTopReadCopy", 1.5,
                                "uncompressed 32-bit, top-left, against read + one copy"));
KVBENCH_AT_START(kvbench::Ratio("BM_RawTopOurs", "BM_RawTopStb", 1.0, "the same file"));
KVBENCH_AT_START(kvbench::Ratio("BM_RawBottomOurs", "BM_RawBottomReadCopy", 1.5,
                                "uncompressed 32-bit, bottom-left, against read + one copy"));
KVBENCH_AT_START(kvbench::Ratio("BM_RawBottomOurs", "BM_RawBottomStb", 1.0, "the same file"));
KVBENCH_AT_START(kvbench::Ratio("BM_RleTitleOurs", "BM_RleTitleStb", 1.0,
                                "run-length 32-bit title"));
KVBENCH_AT_START(kvbench::Ratio("BM_Grey16Ours", "BM_Grey16Stb", 1.0,
                                "16-bit grey with alpha, top-left"));
KVBENCH_AT_START(kvbench::Ratio("BM_SaveOurs", "BM_SaveOneWrite", 0.0,
                                "TGA 2.0 save against one write() of the same bytes"));
KVBENCH_AT_START(kvbench::Note(MemoryNote()));

}  // namespace
