#include "LoadLoops.h"

#include <fcntl.h>
#include <stb/stb_image.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ByteOut.h"
#include "platform/GlobalMemory.h"

namespace kvbench {

std::string TempPath(const std::string& name) {
  return "/tmp/kvbench-" + std::to_string(::getpid()) + "-" + name;
}

std::string WriteTempFile(const std::string& name, const std::vector<unsigned char>& bytes) {
  const std::string path = TempPath(name);
  kvtest::WriteBytes(path, bytes);
  return path;
}

void ReadAndCopyLoop(benchmark::State& state, const std::string& path, std::size_t skip,
                     std::size_t pixelBytes) {
  std::vector<unsigned char> file, copy(pixelBytes);
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    file.resize(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)));
    if (::pread(fd, file.data(), file.size(), 0) < 0) state.SkipWithError("read failed");
    ::close(fd);
    if (file.size() > skip)
      std::memcpy(copy.data(), file.data() + skip, std::min(copy.size(), file.size() - skip));
    benchmark::DoNotOptimize(copy.data());
  }
}

void LoaderLoop(benchmark::State& state, DWORD* (*load)(CString, CRect&), const std::string& path) {
  const CString p = CString::FromUtf8(path);
  for (auto _ : state) {
    CRect rect;
    DWORD* picture = load(p, rect);
    if (!picture) state.SkipWithError("load failed");
    GlobalFree(picture);
  }
}

void StbLoop(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    stbi_uc* p = stbi_load(path.c_str(), &w, &h, &n, 4);
    if (!p) state.SkipWithError("stb failed");
    stbi_image_free(p);
  }
}

}  // namespace kvbench
