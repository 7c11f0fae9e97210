// The GIF decoder over arbitrary bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "GifWriter.h"
#include "host/MemBlock.h"
#include "picture/GifDecoder.h"
#include "platform/GlobalMemory.h"

namespace {

void WriteSeed(const char* dir, int n, const std::vector<unsigned char>& bytes) {
  WriteSeedFile(std::string(dir) + "/seed-" + std::to_string(n) + ".gif", bytes);
}

void WriteSeeds(const char* dir) {
  int n = 0;
  for (int colours : {2, 16, 256}) {
    std::vector<unsigned char> indices;
    for (int i = 0; i < 24 * 10; ++i)
      indices.push_back(static_cast<unsigned char>((i / 3 + i % 7) % colours));
    const auto table = kvtest::DistinctColours(colours);
    kvtest::GifFile plain = kvtest::OneImageGif(24, 10, indices, table);
    WriteSeed(dir, n++, kvtest::WriteGif(plain));

    kvtest::GifFile varied = plain;
    varied.signature = "GIF87a";
    varied.otherExtensions = true;
    varied.images[0].interlaced = true;
    varied.images[0].control = true;
    varied.images[0].transparentIndex = 1;
    varied.images[0].localTable = kvtest::DistinctColours(colours, 50);
    varied.images.push_back(plain.images[0]);
    WriteSeed(dir, n++, kvtest::WriteGif(varied));

    kvtest::GifFile bare = plain;
    bare.globalTable.clear();
    bare.images[0].subBlockBytes = 7;
    WriteSeed(dir, n++, kvtest::WriteGif(bare));
  }
  // A table that fills up, once cleared and once used on as it stands.
  std::vector<unsigned char> noise;
  unsigned s = 1;
  for (int i = 0; i < 160 * 120; ++i)
    noise.push_back(static_cast<unsigned char>((s = s * 1103515245u + 12345u) >> 28 & 3));
  kvtest::GifFile full = kvtest::OneImageGif(160, 120, noise, kvtest::DistinctColours(4));
  WriteSeed(dir, n++, kvtest::WriteGif(full));
  full.images[0].clear = kvtest::GifClear::kDeferred;
  WriteSeed(dir, n++, kvtest::WriteGif(full));
}

}  // namespace

KV_FUZZ_TARGET(std::size_t{64} << 20, KvFuzzNoSetUp, WriteSeeds,
               [](const uint8_t* data, size_t size) {
                 GifDecodeNotes notes;
                 KvFuzzDecode(data, size,
                              [&](CFile& f, CRect& r) { return KvDecodeGif(f, r, &notes); });
               })
