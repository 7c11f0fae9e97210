// The PNG load through the image loader, over arbitrary bytes. The loader reads paths, so
// each input is laid into an in-memory file reached by a name ending in ".png".
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFile.h"
#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "host/MemBlock.h"
#include "platform/GlobalMemory.h"

namespace {
FuzzFile* g_file = nullptr;
CString g_path;

// A few small files of the kinds read here, as a starting corpus.
void WriteSeeds(const std::string& dir) {
  int n = 0;
  for (int colorType : {0, 2, 3, 4, 6}) {
    for (int depth : {8, 16}) {
      if (colorType == 3 && depth == 16) continue;
      kvtest::PngImage img;
      img.width = 3;
      img.height = 2;
      img.colorType = colorType;
      img.bitDepth = depth;
      const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
      img.samples.assign(static_cast<std::size_t>(3 * 2 * channels * depth / 8), 0x5A);
      if (colorType == 3) img.palette.assign(3 * 91, 0x33);
      kvtest::WritePng(dir + "/seed-" + std::to_string(n++) + ".png", img);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  KvSetMaxPictureBytes(std::size_t{16} << 20);
  g_file = new FuzzFile("kvfuzz-png");
  g_path = g_file->LinkWithExtension(".png");
  KvMediaFileOpen();
  if (const char* seeds = std::getenv("KV_FUZZ_SEED_DIR")) WriteSeeds(seeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_file->Write(data, size)) return 0;
  CRect rect;
  GlobalFree(KvMediaLoadPNGFile(g_path, rect));
  return 0;
}
