// The PSD reader over arbitrary bytes. With KV_FUZZ_SEED_DIR set, a few valid files of every
// colour mode are written there first, as a starting corpus.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "PsdWriter.h"
#include "host/MemBlock.h"
#include "picture/PsdReader.h"
#include "platform/GlobalMemory.h"

namespace {

void WriteSeeds(const char* dir) {
  struct Kind {
    int mode, channels;
  };
  int n = 0;
  for (const Kind kind : {Kind{3, 3}, {3, 4}, {1, 1}, {8, 2}, {2, 1}, {4, 4}, {7, 3}, {9, 3}})
    for (int depth : {8, 16})
      for (int compression : {0, 1}) {
        kvtest::PsdImage img;
        img.mode = kind.mode;
        img.channels = kind.channels;
        img.width = 5;
        img.height = 3;
        img.depth = depth;
        img.compression = compression;
        const int samples = 15 * kind.channels * depth / 8;
        for (int i = 0; i < samples; ++i) img.planes.push_back(static_cast<unsigned char>(i / 4));
        if (kind.mode == 2) {
          img.colorData.assign(768, 0x40);
          img.resources = kvtest::PsdResource(1046, {0, 8});
        }
        if (n % 3 == 0) {
          const auto resolution = kvtest::PsdResource(1005, std::vector<unsigned char>(16, 1));
          img.resources.insert(img.resources.end(), resolution.begin(), resolution.end());
          img.layers = {0, 0, 0, 4, 1, 2, 3, 4};
        }
        const auto bytes = kvtest::WritePsd(img);
        WriteSeedFile(std::string(dir) + "/seed-" + std::to_string(n++) + ".psd", bytes);
      }
}

}  // namespace

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, WriteSeeds,
               [](const uint8_t* data, size_t size) { KvFuzzDecode(data, size, KvDecodePsd); })
