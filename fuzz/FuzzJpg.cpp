// The JPEG loader (and libjpeg beneath it) over arbitrary bytes. With KV_FUZZ_SEED_DIR set,
// files from our own saver are written there first, as a starting corpus.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "host/MemBlock.h"
#include "picture/JpegCodec.h"
#include "picture/JpegImaging.h"
#include "platform/Geometry.h"
#include "platform/GlobalMemory.h"

namespace {

void WriteSeeds(const char* dir) {
  int n = 0;
  for (auto [w, h] : {std::pair{1, 1}, {8, 8}, {17, 9}, {40, 24}}) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        pixels.push_back(static_cast<DWORD>(x * 9 | y * 13 << 8 | (x ^ y) * 5 << 16 | 0xFF000000u));
    std::vector<BYTE> jpeg;
    if (!KvJpegEncode(pixels.data(), w, h, jpeg)) continue;
    kvtest::WriteBytes(std::string(dir) + "/seed-" + std::to_string(n++) + ".jpg", jpeg);
  }
}

}  // namespace

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, WriteSeeds,
               [](const uint8_t* data, size_t size) {
                 CRect rect;
                 GlobalFree(KvDecodeJpeg(std::span<const BYTE>(data, size), rect));
               })
