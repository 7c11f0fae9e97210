// The BMP decoder over arbitrary bytes: inputs that start with "BM" as files, the rest as
// bitmap resources (no file header).
#include <cstdint>
#include <string>
#include <vector>

#include "BmpWriter.h"
#include "FuzzFile.h"
#include "host/MemBlock.h"
#include "picture/BmpCodec.h"
#include "platform/GlobalMemory.h"

namespace {

void WriteSeed(const char* dir, int n, const std::vector<unsigned char>& bytes) {
  WriteSeedFile(std::string(dir) + "/seed-" + std::to_string(n) + ".bmp", bytes);
}

void WriteSeeds(const char* dir) {
  const int w = 7, h = 5;
  std::vector<unsigned char> indices;
  for (int i = 0; i < w * h; ++i) indices.push_back(static_cast<unsigned char>(i / 4 % 2));
  int n = 0;
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (int sign : {1, -1}) {
      kvtest::BmpImage img;
      img.width = w;
      img.height = sign * h;
      img.bitCount = bits;
      if (bits <= 8) {
        img.palette.assign(8, 0x80);
        img.colorsUsed = 2;
        img.pixels = kvtest::PackBmpRows(indices, w, bits);
      } else {
        img.pixels.assign((std::size_t(w) * bits + 31) / 32 * 4 * h, 0x5A);
      }
      WriteSeed(dir, n++, kvtest::WriteBmp(img));
      if (bits == 4 || bits == 8) {
        img.height = h;
        img.compression = bits == 8 ? 1 : 2;
        img.pixels = kvtest::EncodeBmpRle(indices, w, bits);
        WriteSeed(dir, n++, kvtest::WriteBmp(img));
        img.fileHeader = false;
        WriteSeed(dir, n++, kvtest::WriteBmp(img));
      }
    }
  }
  // Files of other programs: the core header, the later headers and bit fields.
  const std::vector<unsigned> rgb565{0xF800, 0x07E0, 0x001F},
      argb{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  const struct {
    int headerSize, bits, compression;
    std::vector<unsigned> masks;
  } later[] = {{12, 24, 0, {}}, {108, 24, 0, {}}, {40, 16, 3, rgb565}, {124, 32, 6, argb}};
  for (const auto& k : later) {
    kvtest::BmpImage img{.width = w,
                         .height = h,
                         .bitCount = k.bits,
                         .compression = k.compression,
                         .headerSize = k.headerSize};
    img.trueHeaderSize = true;
    img.masks = k.masks;
    img.pixels.assign((std::size_t(w) * k.bits + 31) / 32 * 4 * h, 0xA5);
    WriteSeed(dir, n++, kvtest::WriteBmp(img));
  }
}

}  // namespace

// Lower than for other formats: a few run-length codes may rightly describe a picture of any
// size, and zeroing large buffers would otherwise take most of the fuzzer's time. Inputs that
// start with "BM" are files, the rest bitmap resources (no file header).
KV_FUZZ_TARGET(std::size_t{8} << 20, KvFuzzNoSetUp, WriteSeeds,
               [](const uint8_t* data, size_t size) {
                 const bool isFile = size >= 2 && data[0] == 'B' && data[1] == 'M';
                 KvFuzzDecode(data, size, [&](CFile& f, CRect& r) {
                   return isFile ? KvDecodeBmpFile(f, r) : KvDecodeBmp(f, 0, r);
                 });
               })
