#include "ContentSniff.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace kvtool {

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

std::string SniffFileType(const std::string& path) {
  const std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return "";
  unsigned char head[8] = {};
  const std::size_t n = std::fread(head, 1, sizeof head, f.get());
  const auto starts = [&](const char* magic, std::size_t len) {
    return n >= len && std::memcmp(head, magic, len) == 0;
  };
  if (starts("BM", 2)) return "BMP";
  if (starts("GIF8", 4)) return "GIF";
  if (starts("\xFF\xD8\xFF", 3)) return "JPEG";
  if (starts("\x89PNG\r\n\x1A\n", 8)) return "PNG";
  if (starts("8BPS", 4)) return "PSD";
  if (starts("SVSC", 4)) return "scroll";
  if (n >= 4 && head[0] == 10 && head[2] <= 1) return "PCX";
  // TGA has no signature; its version-2 footer is taken as one.
  char footer[18] = {};
  if (std::fseek(f.get(), -18, SEEK_END) == 0 && std::fread(footer, 1, 18, f.get()) == 18 &&
      std::memcmp(footer, "TRUEVISION-XFILE.", 18) == 0)
    return "TGA";
  return "";
}

}  // namespace kvtool
