// Picture information and header facts of arbitrary bytes under every extension the readers
// know, and the PNG load. Each input is laid into an in-memory file; names with the extensions link
// to it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "host/MemBlock.h"
#include "platform/GlobalMemory.h"

namespace {

FuzzFile* g_file = nullptr;
std::vector<CString> g_paths;

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
  DWORD pixels[6] = {0xFF112233, 0x80445566, 0, 0xFFFFFFFF, 1, 2};
  KvMediaSaveTGAFile(CString::FromUtf8(dir + "/seed.tga"), pixels, CSize(3, 2), CRect(0, 0, 3, 2));
  KvMediaSaveBMPFile(CString::FromUtf8(dir + "/seed.bmp"), pixels, CSize(3, 2), CRect(0, 0, 3, 2));
}

}  // namespace

KV_FUZZ_TARGET(
    std::size_t{16} << 20,
    [] {
      g_file = new FuzzFile("kvfuzz-picinfo");
      for (const char* ext :
           {".bmp", ".dib", ".tga", ".gif", ".pcx", ".jpg", ".png", ".psd", ".xyz"})
        g_paths.push_back(g_file->LinkWithExtension(ext));
      KvMediaFileOpen();
    },
    WriteSeeds,
    [](const uint8_t* data, size_t size) {
      if (!g_file->Write(data, size)) return;
      for (const CString& path : g_paths) {
        RECT rect{};
        int bits = 0;
        KvMediaGetPicInfo(path, &rect, &bits);
        SKvPicFacts facts;
        KvMediaGetPicFacts(path, &facts);
      }
    })
