// JPEG load and save of a 1920 x 1080 frame against libjpeg-turbo's own API on the same file:
// a load reads the file and decodes it to BGRA in a fresh buffer, as ours does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return bytes;
  bytes.resize(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)));
  if (::pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
    bytes.clear();
  ::close(fd);
  return bytes;
}

// The frame saved by our saver (quality 75, 4:2:0), the file both loads read.
struct Files {
  std::string saved = kvbench::TempPath("frame.jpg");
  Files() {
    auto frame = kvbench::VideoFrame();
    KvMediaSaveJPGFile(CString::FromUtf8(saved), frame.data(), CSize(kW, kH), CRect(0, 0, kW, kH));
  }
  ~Files() { std::remove(saved.c_str()); }
};

Files& TheFiles() {
  static Files files;
  return files;
}

void BM_LoadOurs(benchmark::State& state) {
  const CString path = CString::FromUtf8(TheFiles().saved);
  for (auto _ : state) {
    CRect rect;
    DWORD* picture = KvMediaLoadJPGFile(path, rect);
    if (!picture) state.SkipWithError("load failed");
    GlobalFree(picture);
  }
}

void BM_LoadTurbo(benchmark::State& state) {
  const std::string& path = TheFiles().saved;
  for (auto _ : state) {
    const std::vector<unsigned char> file = ReadFile(path);
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, subsamp = 0, colourspace = 0;
    if (tjDecompressHeader3(tj, file.data(), file.size(), &w, &h, &subsamp, &colourspace) != 0) {
      state.SkipWithError("header failed");
      tjDestroy(tj);
      break;
    }
    auto* pixels = static_cast<unsigned char*>(std::calloc(std::size_t(w) * h, 4));
    if (tjDecompress2(tj, file.data(), file.size(), pixels, w, 0, h, TJPF_BGRA, 0) != 0)
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
    tjDestroy(tj);
  }
}

void BM_SaveOurs(benchmark::State& state) {
  auto frame = kvbench::VideoFrame();
  const std::string path = kvbench::TempPath("save.jpg");
  const CString p = CString::FromUtf8(path);
  for (auto _ : state)
    if (!KvMediaSaveJPGFile(p, frame.data(), CSize(kW, kH), CRect(0, 0, kW, kH)))
      state.SkipWithError("save failed");
  std::remove(path.c_str());
}

void BM_SaveTurbo(benchmark::State& state) {
  const auto& frame = kvbench::VideoFrame();
  const std::string path = kvbench::TempPath("save-tj.jpg");
  for (auto _ : state) {
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(tj, reinterpret_cast<const unsigned char*>(frame.data()), kW, 0, kH, TJPF_BGRA,
                    &jpeg, &size, TJSAMP_420, 75, 0) != 0)
      state.SkipWithError("compress failed");
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(jpeg, 1, size, f);
      std::fclose(f);
    }
    tjFree(jpeg);
    tjDestroy(tj);
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_LoadOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTurbo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTurbo)->Unit(benchmark::kMillisecond);

KVBENCH_AT_START(kvbench::Ratio("BM_LoadOurs", "BM_LoadTurbo", 1.15,
                                "quality 75, 4:2:0, against tjDecompress2 to BGRA"));
KVBENCH_AT_START(kvbench::Ratio("BM_SaveOurs", "BM_SaveTurbo", 0.0,
                                "quality 75, 4:2:0, safe save against tjCompress2 + fwrite"));

}  // namespace
