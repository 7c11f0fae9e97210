// Picture information of every type, on 1920 x 1080 and 3840 x 2160 files. Header-only
// types must cost the same at both sizes; PNG goes through the image loader, which decodes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ByteOut.h"
#include "GifWriter.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "PngWriter.h"
#include "PsdWriter.h"
#include "TitleFrame.h"

namespace {

const char* const kTypes[] = {"bmp", "tga", "gif", "pcx", "jpg", "png", "psd"};

// Writes a w x h picture of every type; returns the paths by type.
std::map<std::string, std::string> WriteAll(int w, int h) {
  std::vector<DWORD> pixels(static_cast<std::size_t>(w) * h);
  const auto& video = kvbench::VideoFrame();
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = video[i % video.size()];
  const std::string base = kvbench::TempPath(std::to_string(w));
  std::map<std::string, std::string> paths;
  for (const char* type : kTypes) paths[type] = base + "." + type;
  const CSize size(w, h);
  const CRect all(0, 0, w, h);
  KvMediaSaveTGAFile(CString::FromUtf8(paths["tga"]), pixels.data(), size, all);
  KvMediaSaveBMPFile(CString::FromUtf8(paths["bmp"]), pixels.data(), size, all);
  KvMediaSavePCXFile(CString::FromUtf8(paths["pcx"]), pixels.data(), size, all);
  KvMediaSaveJPGFile(CString::FromUtf8(paths["jpg"]), pixels.data(), size, all);
  std::vector<unsigned char> indices(pixels.size());
  for (std::size_t i = 0; i < indices.size(); ++i)
    indices[i] = static_cast<unsigned char>(pixels[i]);
  kvtest::WriteBytes(paths["gif"], kvtest::WriteGif(kvtest::OneImageGif(
                                       w, h, indices, kvtest::DistinctColours(256))));
  kvtest::PngImage png;
  png.width = w;
  png.height = h;
  png.colorType = 6;
  png.samples.resize(pixels.size() * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    for (int c = 0; c < 4; ++c)
      png.samples[i * 4 + c] = static_cast<unsigned char>(pixels[i] >> (c == 3 ? 24 : 16 - 8 * c));
  kvtest::WritePng(paths["png"], png);
  kvtest::PsdImage psd;
  psd.width = w;
  psd.height = h;
  psd.channels = 4;
  psd.compression = 1;
  psd.planes = kvtest::PsdRgbPlanes(std::vector<std::uint32_t>(pixels.begin(), pixels.end()), true);
  kvtest::WriteBytes(paths["psd"], kvtest::WritePsd(psd));
  return paths;
}

struct Files {
  std::map<std::string, std::string> hd = WriteAll(1920, 1080);
  std::map<std::string, std::string> uhd = WriteAll(3840, 2160);
  Files() { KvMediaFileOpen(); }
  ~Files() {
    KvMediaFileClose();
    for (auto* set : {&hd, &uhd})
      for (auto& [type, path] : *set) std::remove(path.c_str());
  }
};

Files& TheFiles() {
  static Files files;
  return files;
}

void Info(benchmark::State& state, const std::string& path) {
  const CString p = CString::FromUtf8(path);
  for (auto _ : state) {
    RECT rect{};
    int bits = 0;
    if (!KvMediaGetPicInfo(p, &rect, &bits)) state.SkipWithError("no information");
    benchmark::DoNotOptimize(bits);
  }
}

void Register() {
  for (const char* type : kTypes) {
    const std::string t = type;
    benchmark::RegisterBenchmark(("BM_Info_" + t + "_1080p").c_str(),
                                 [t](benchmark::State& s) { Info(s, TheFiles().hd[t]); });
    benchmark::RegisterBenchmark(("BM_Info_" + t + "_2160p").c_str(),
                                 [t](benchmark::State& s) { Info(s, TheFiles().uhd[t]); });
    kvbench::Ratio("BM_Info_" + t + "_2160p", "BM_Info_" + t + "_1080p", 0.0,
                   t == "png" ? "4K against 1080p (the loader decodes PNG)"
                              : "4K against 1080p (header only: about 1)");
  }
}
KVBENCH_AT_START(Register());

}  // namespace
