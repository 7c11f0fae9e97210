// The TGA decoder over arbitrary bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "TgaWriter.h"
#include "host/MemBlock.h"
#include "picture/TgaCodec.h"
#include "platform/GlobalMemory.h"

namespace {

void WriteSeeds(const char* dir) {
  int n = 0;
  for (int type : {1, 2, 3, 9, 10, 11}) {
    for (int depth : {8, 16, 24, 32}) {
      const bool mapped = type == 1 || type == 9;
      if (mapped && depth != 8) continue;
      kvtest::TgaImage img;
      img.imageType = type;
      img.pixelDepth = depth;
      img.width = 5;
      img.height = 3;
      img.descriptor = n % 2 ? 0x20 : 0x00;
      const int bpp = (depth + 7) / 8;
      for (int i = 0; i < 15 * bpp; ++i) img.pixels.push_back(static_cast<unsigned char>(i / 3));
      if (mapped) {
        img.colorMapType = 1;
        img.colorMapLength = 8;
        img.colorMapEntryBits = 24;
        img.colorMap.assign(24, 0x40);
      }
      const auto bytes = kvtest::WriteTga(img);
      WriteSeedFile(std::string(dir) + "/seed-" + std::to_string(n++) + ".tga", bytes);
    }
  }
}

}  // namespace

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, WriteSeeds,
               [](const uint8_t* data, size_t size) { KvFuzzDecode(data, size, KvDecodeTga); })
