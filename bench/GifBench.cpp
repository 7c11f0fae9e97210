// GIF load of 1920 x 1080 pictures against stb_image and giflib on the same files: a
// camera-like frame in 256 colours (short strings, many codes) and a title (long runs). For
// giflib a load includes turning its indices into BGRA pixels, as ours does; its bare
// decode to indices is listed too. Also the working memory of a load beside the picture.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "GifWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "TitleFrame.h"
#include "WorkingMemory.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr int kW = kvbench::kFrameWidth;
constexpr int kH = kvbench::kFrameHeight;

// 3 bits of red, 3 of green, 2 of blue.
std::vector<unsigned char> Palette332() {
  std::vector<unsigned char> table;
  for (int i = 0; i < 256; ++i) {
    table.push_back(static_cast<unsigned char>((i >> 5) * 255 / 7));
    table.push_back(static_cast<unsigned char>((i >> 2 & 7) * 255 / 7));
    table.push_back(static_cast<unsigned char>((i & 3) * 255 / 3));
  }
  return table;
}

std::vector<unsigned char> Indices332(const std::vector<DWORD>& frame) {
  std::vector<unsigned char> out;
  out.reserve(frame.size());
  for (DWORD px : frame) {
    const DWORD b = px & 0xFF, g = px >> 8 & 0xFF, r = px >> 16 & 0xFF;
    out.push_back(static_cast<unsigned char>((r >> 5) << 5 | (g >> 5) << 2 | b >> 6));
  }
  return out;
}

struct File {
  std::string path;
  std::size_t bytes = 0;
};

File WriteFile(const std::string& name, const std::vector<unsigned char>& bytes) {
  return {kvbench::WriteTempFile(name, bytes), bytes.size()};
}

struct Files {
  File video, title;
  Files() {
    video = WriteFile("video.gif", kvtest::WriteGif(kvtest::OneImageGif(
                                       kW, kH, Indices332(kvbench::VideoFrame()), Palette332())));
    title = WriteFile("title.gif", kvtest::WriteGif(kvtest::OneImageGif(
                                       kW, kH, Indices332(kvbench::TitleFrame()), Palette332())));
  }
  ~Files() {
    std::remove(video.path.c_str());
    std::remove(title.path.c_str());
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

void Giflib(benchmark::State& state, const File& file, bool toPixels) {
  for (auto _ : state) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(file.path.c_str(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
      state.SkipWithError("giflib failed");
      if (gif) DGifCloseFile(gif, &error);
      break;
    }
    if (toPixels) {
      const SavedImage& image = gif->SavedImages[0];
      const ColorMapObject* map =
          image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
      DWORD palette[256] = {};
      for (int i = 0; i < map->ColorCount && i < 256; ++i)
        palette[i] = 0xFF000000u | DWORD(map->Colors[i].Red) << 16 |
                     DWORD(map->Colors[i].Green) << 8 | map->Colors[i].Blue;
      const std::size_t count = std::size_t(image.ImageDesc.Width) * image.ImageDesc.Height;
      auto* pixels = static_cast<DWORD*>(std::malloc(count * 4));
      for (std::size_t i = 0; i < count; ++i) pixels[i] = palette[image.RasterBits[i]];
      benchmark::DoNotOptimize(pixels);
      std::free(pixels);
    }
    DGifCloseFile(gif, &error);
  }
}

void BM_VideoOurs(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadGIFFile, TheFiles().video.path);
}
void BM_VideoStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().video.path); }
void BM_VideoGiflib(benchmark::State& s) { Giflib(s, TheFiles().video, true); }
void BM_VideoGiflibIndices(benchmark::State& s) { Giflib(s, TheFiles().video, false); }
void BM_TitleOurs(benchmark::State& s) {
  kvbench::LoaderLoop(s, &KvMediaLoadGIFFile, TheFiles().title.path);
}
void BM_TitleStb(benchmark::State& s) { kvbench::StbLoop(s, TheFiles().title.path); }
void BM_TitleGiflib(benchmark::State& s) { Giflib(s, TheFiles().title, true); }
void BM_TitleGiflibIndices(benchmark::State& s) { Giflib(s, TheFiles().title, false); }
BENCHMARK(BM_VideoOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VideoStb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VideoGiflib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VideoGiflibIndices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitleOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitleStb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitleGiflib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitleGiflibIndices)->Unit(benchmark::kMillisecond);

std::string MemoryNote() {
  std::string out;
  for (const File* file : {&TheFiles().video, &TheFiles().title}) {
    CRect rect;
    DWORD* picture = nullptr;
    const std::size_t extra = kvbench::PeakNewBytes(
        [&] { picture = KvMediaLoadGIFFile(CString::FromUtf8(file->path), rect); });
    GlobalFree(picture);
    char line[220];
    std::snprintf(line, sizeof line,
                  "working memory of a load beside the %zu-byte picture (%s, %zu-byte file): "
                  "%.1f KiB (limit: the file's size: %s)\n",
                  std::size_t{kW} * kH * 4, file == &TheFiles().title ? "title" : "video",
                  file->bytes, extra / 1024.0, extra <= file->bytes ? "ok" : "OVER");
    out += line;
  }
  out.pop_back();
  return out;
}

KVBENCH_AT_START(kvbench::Ratio("BM_VideoOurs", "BM_VideoStb", 1.0, "camera-like, 256 colours"));
KVBENCH_AT_START(kvbench::Ratio("BM_VideoOurs", "BM_VideoGiflib", 0.5, "the same file, to BGRA"));
KVBENCH_AT_START(kvbench::Ratio("BM_VideoOurs", "BM_VideoGiflibIndices", 0.0,
                                "against giflib's bare indices"));
KVBENCH_AT_START(kvbench::Ratio("BM_TitleOurs", "BM_TitleStb", 1.0, "title, long runs"));
KVBENCH_AT_START(kvbench::Ratio("BM_TitleOurs", "BM_TitleGiflib", 0.5, "the same file, to BGRA"));
KVBENCH_AT_START(kvbench::Ratio("BM_TitleOurs", "BM_TitleGiflibIndices", 0.0,
                                "against giflib's bare indices"));
KVBENCH_AT_START(kvbench::Note(MemoryNote()));

}  // namespace
