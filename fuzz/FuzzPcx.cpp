// The PCX decoder over arbitrary bytes.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "PcxWriter.h"
#include "host/MemBlock.h"
#include "picture/PcxCodec.h"
#include "platform/GlobalMemory.h"

namespace {

void WriteSeeds(const char* dir) {
  struct Kind {
    int bits, planes, bytesPerLine;
  };
  const int w = 7, h = 5;
  int n = 0;
  for (const Kind& k : {Kind{8, 3, 8}, Kind{8, 1, 8}, Kind{4, 1, 4}, Kind{1, 1, 2}}) {
    kvtest::PcxImage img;
    img.bitsPerPixel = k.bits;
    img.planes = k.planes;
    img.xmax = k.bits == 8 && k.planes == 1 ? w : w - 1;  // 8-bit lines must fit the width
    img.ymax = h - 1;
    img.bytesPerLine = k.bytesPerLine;
    for (int i = 0; i < k.planes * k.bytesPerLine * h; ++i)
      img.lines.push_back(static_cast<unsigned char>(i / 3 * 17));
    img.palette16.assign(48, 0x40);
    if (k.bits == 8 && k.planes == 1) img.palette256.assign(768, 0x20);
    img.packing = n % 2 ? kvtest::PcxPacking::kAcrossLines : kvtest::PcxPacking::kPerLine;
    const auto bytes = kvtest::WritePcx(img);
    WriteSeedFile(std::string(dir) + "/seed-" + std::to_string(n++) + ".pcx", bytes);
  }
}

}  // namespace

// A copy of its own, so that reads past the end are caught.
KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, WriteSeeds,
               [](const uint8_t* data, size_t size) {
                 const std::vector<BYTE> bytes(data, data + size);
                 CRect rect;
                 GlobalFree(KvDecodePcx(bytes, rect));
               })
