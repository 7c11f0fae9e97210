// PNG load of a 1920 x 1080 RGBA picture through the image loader, against libpng decoding
// the same file straight to BGRA.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "PngWriter.h"
#include "TitleFrame.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;

// Two pictures one pixel apart: loads alternate between them, so that each load decodes (the
// loader keeps the last picture it decoded while the bytes it comes from stay the same).
struct File {
  std::string path = kvbench::TempPath("title.png");
  std::string copy = kvbench::TempPath("title-copy.png");
  File() {
    kvtest::PngImage img;
    img.width = kW;
    img.height = kH;
    img.colorType = PNG_COLOR_TYPE_RGBA;
    const auto& frame = kvbench::VideoFrame();
    img.samples.resize(frame.size() * 4);
    for (std::size_t i = 0; i < frame.size(); ++i) {
      img.samples[i * 4 + 0] = static_cast<unsigned char>(frame[i] >> 16);
      img.samples[i * 4 + 1] = static_cast<unsigned char>(frame[i] >> 8);
      img.samples[i * 4 + 2] = static_cast<unsigned char>(frame[i]);
      img.samples[i * 4 + 3] = static_cast<unsigned char>(0x80 + i % 100);
    }
    kvtest::WritePng(path, img);
    img.samples[0] ^= 1;
    kvtest::WritePng(copy, img);
  }
  ~File() {
    std::remove(path.c_str());
    std::remove(copy.c_str());
  }
};

File& TheFile() {
  static File file;
  return file;
}
const std::string& ThePath() { return TheFile().path; }

// Each decode makes a new picture, as a loader must: the output is a fresh allocation.
void BM_LibpngToBgra(benchmark::State& state) {
  std::vector<png_bytep> rows(kH);
  for (auto _ : state) {
    auto* out = static_cast<unsigned char*>(std::malloc(std::size_t{kW} * kH * 4));
    for (int y = 0; y < kH; ++y) rows[y] = out + std::size_t(y) * kW * 4;
    std::FILE* f = std::fopen(ThePath().c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
      png_destroy_read_struct(&png, &info, nullptr);
      std::fclose(f);
      std::free(out);
      state.SkipWithError("libpng failed");
      break;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
}
BENCHMARK(BM_LibpngToBgra);

void BM_KvMediaLoadPNGFile(benchmark::State& state) {
  KvMediaFileOpen();
  const CString paths[] = {CString::FromUtf8(TheFile().path), CString::FromUtf8(TheFile().copy)};
  int i = 0;
  for (auto _ : state) {
    CRect rect;
    DWORD* picture = KvMediaLoadPNGFile(paths[i++ % 2], rect);
    if (!picture) state.SkipWithError("load failed");
    GlobalFree(picture);
  }
  KvMediaFileClose();
}
BENCHMARK(BM_KvMediaLoadPNGFile);

KVBENCH_AT_START(kvbench::Ratio("BM_KvMediaLoadPNGFile", "BM_LibpngToBgra", 1.02,
                                "1920 x 1080 RGBA through the image loader"));

}  // namespace
