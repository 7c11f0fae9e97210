// The PNG load through the image loader, over arbitrary bytes. The loader reads paths, so
// each input is laid into an in-memory file reached by a name ending in ".png".
//
// The image library is not instrumented, and its reader stops at the first bad CRC of a
// critical chunk, which nearly every mutation makes. So the CRCs of the chunks are mended
// before the load: mutated files reach the decoder. A finding reproduces from the mended
// bytes. Raw bytes, CRCs and all, go through the picture-information target.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "KvMediaFile/KvPicture.h"
#include "host/MemBlock.h"
#include "platform/GlobalMemory.h"

namespace {
FuzzFile* g_file = nullptr;
CString g_path;

void MendCrcs(std::vector<uint8_t>& bytes) {
  const auto be32 = [&](std::size_t at) {
    return static_cast<uint32_t>(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 |
           bytes[at + 3];
  };
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t length = be32(at);
    if (length > bytes.size() - at - 12) break;
    const uLong crc = crc32(crc32(0, nullptr, 0), &bytes[at + 4], length + 4);
    for (int i = 0; i < 4; ++i)
      bytes[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + std::size_t{length};
  }
}

}  // namespace

KV_FUZZ_TARGET(
    std::size_t{16} << 20,
    [] {
      g_file = new FuzzFile("kvfuzz-png");
      g_path = g_file->LinkWithExtension(".png");
      KvMediaFileOpen();
    },
    KvFuzzSeeds({"png"}),
    [](const uint8_t* data, size_t size) {
      std::vector<uint8_t> bytes(data, data + size);
      MendCrcs(bytes);
      if (!g_file->Write(bytes.data(), bytes.size())) return;
      CRect rect;
      GlobalFree(KvMediaLoadPNGFile(g_path, rect));
    })
