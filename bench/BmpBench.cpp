// BMP load of 1920 x 1080 frames at 24 and 32 bits, against stb_image on the same files and
// the physical baseline (read the file into memory and copy it once); the working memory of
// a load beside the picture buffer.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stb/stb_image.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "BmpWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "TitleFrame.h"
#include "WorkingMemory.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;

// The video frame as bottom-up file rows of 3 or 4 bytes a pixel (1920 pixels need no
// padding at either depth).
std::vector<unsigned char> FileRows(int bytesPerPixel) {
  const auto& frame = kvbench::VideoFrame();
  std::vector<unsigned char> rows;
  rows.reserve(std::size_t{kW} * kH * bytesPerPixel);
  for (int y = kH - 1; y >= 0; --y)
    for (int x = 0; x < kW; ++x) {
      const DWORD p = frame[std::size_t(y) * kW + x];
      for (int i = 0; i < bytesPerPixel; ++i) rows.push_back((p >> (8 * i)) & 0xFF);
    }
  return rows;
}

// The frame as bottom-up 16-bit 5-6-5 words, as other programs write bit-field BMPs.
std::vector<unsigned char> Rgb565Rows() {
  const auto& frame = kvbench::VideoFrame();
  std::vector<unsigned char> rows;
  rows.reserve(std::size_t{kW} * kH * 2);
  for (int y = kH - 1; y >= 0; --y)
    for (int x = 0; x < kW; ++x) {
      const DWORD p = frame[std::size_t(y) * kW + x];
      const unsigned w = (p >> 19 & 31) << 11 | (p >> 10 & 63) << 5 | (p >> 3 & 31);
      rows.push_back(w & 0xFF);
      rows.push_back(w >> 8);
    }
  return rows;
}

struct Files {
  std::string bgr24, bgra32, rgb565;
  std::size_t bytes24 = 0, bytes32 = 0;
  Files() {
    kvtest::BmpImage img;
    img.width = kW;
    img.height = kH;
    for (int bits : {24, 32}) {
      img.bitCount = bits;
      img.pixels = FileRows(bits / 8);
      const auto file = kvtest::WriteBmp(img);
      (bits == 24 ? bytes24 : bytes32) = file.size();
      (bits == 24 ? bgr24 : bgra32) =
          kvbench::WriteTempFile(bits == 24 ? "24.bmp" : "32.bmp", file);
    }
    img.bitCount = 16;
    img.compression = 3;  // bit fields
    img.masks = {0xF800, 0x07E0, 0x001F};
    img.pixels = Rgb565Rows();
    rgb565 = kvbench::WriteTempFile("565.bmp", kvtest::WriteBmp(img));
  }
  ~Files() {
    for (const std::string& p : {bgr24, bgra32, rgb565}) std::remove(p.c_str());
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

// The physical baseline: one read of the whole file, one copy of a picture's bytes.
void BM_Bgr24ReadCopy(benchmark::State& s) {
  kvbench::ReadAndCopyLoop(s, TheFiles().bgr24, 54, std::size_t{kW} * kH * 4);
}
void BM_Bgr24Ours(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadBMPFile, TheFiles().bgr24);
}
void BM_Bgr24Stb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().bgr24); }
void BM_Bgra32ReadCopy(benchmark::State& s) {
  kvbench::ReadAndCopyLoop(s, TheFiles().bgra32, 54, std::size_t{kW} * kH * 4);
}
void BM_Bgra32Ours(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadBMPFile, TheFiles().bgra32);
}
void BM_Bgra32Stb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().bgra32); }
void BM_BitFields565Ours(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadBMPFile, TheFiles().rgb565);
}
void BM_BitFields565Stb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().rgb565); }
BENCHMARK(BM_Bgr24ReadCopy);
BENCHMARK(BM_Bgr24Ours);
BENCHMARK(BM_Bgr24Stb);
BENCHMARK(BM_Bgra32ReadCopy);
BENCHMARK(BM_Bgra32Ours);
BENCHMARK(BM_Bgra32Stb);
BENCHMARK(BM_BitFields565Ours);
BENCHMARK(BM_BitFields565Stb);

std::string MemoryNote() {
  std::string out;
  for (int bits : {24, 32}) {
    const std::string& path = bits == 24 ? TheFiles().bgr24 : TheFiles().bgra32;
    const std::size_t fileBytes = bits == 24 ? TheFiles().bytes24 : TheFiles().bytes32;
    CRect rect;
    DWORD* picture = nullptr;
    const std::size_t extra =
        kvbench::PeakNewBytes([&] { picture = KvMediaLoadBMPFile(CString::FromUtf8(path), rect); });
    const bool loaded = picture != nullptr;
    GlobalFree(picture);
    char line[200];
    std::snprintf(line, sizeof line,
                  "working memory of a %d-bit load beside the %zu-byte picture: %.1f KiB "
                  "(limit: the file's %.1f KiB: %s)\n",
                  bits, std::size_t{kW} * kH * 4, extra / 1024.0, fileBytes / 1024.0,
                  loaded && extra <= fileBytes ? "ok" : "OVER");
    out += line;
  }
  out.pop_back();
  return out;
}

KVBENCH_AT_START(kvbench::Ratio("BM_Bgr24Ours", "BM_Bgr24Stb", 1.0, "24-bit bottom-up, same file"));
KVBENCH_AT_START(kvbench::Ratio("BM_Bgra32Ours", "BM_Bgra32Stb", 1.0,
                                "32-bit bottom-up, same file"));
KVBENCH_AT_START(kvbench::Ratio("BM_BitFields565Ours", "BM_BitFields565Stb", 1.0,
                                "16-bit 5-6-5 bit fields, same file"));
KVBENCH_AT_START(kvbench::Ratio("BM_Bgr24Ours", "BM_Bgr24ReadCopy", 2.0,
                                "24-bit against read + one copy"));
KVBENCH_AT_START(kvbench::Ratio("BM_Bgra32Ours", "BM_Bgra32ReadCopy", 0.0,
                                "32-bit against read + one copy"));
KVBENCH_AT_START(kvbench::Note(MemoryNote()));

}  // namespace
