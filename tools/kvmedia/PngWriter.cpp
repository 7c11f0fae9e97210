#include "PngWriter.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace kvtool {

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

bool WritePng(const std::string& path, const DWORD* pixels, int width, int height,
              std::string* error) {
  if (!pixels || width <= 0 || height <= 0) {
    if (error) *error = "nothing to write";
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    if (error) *error = "out of memory";
    return false;
  }
  std::vector<png_byte> row(static_cast<std::size_t>(width) * 4);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    if (error) *error = "write error on " + path;
    return false;
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 6);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const DWORD* in = pixels + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const DWORD p = in[x];
      row[x * 4 + 0] = static_cast<png_byte>(p >> 16);
      row[x * 4 + 1] = static_cast<png_byte>(p >> 8);
      row[x * 4 + 2] = static_cast<png_byte>(p);
      row[x * 4 + 3] = static_cast<png_byte>(p >> 24);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0) {
    if (error) *error = "write error on " + path;
    return false;
  }
  return true;
}

}  // namespace kvtool
