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
#include "host/MemBlock.h"
#include "platform/GlobalMemory.h"

namespace {

FuzzFile* g_file = nullptr;
std::vector<CString> g_paths;

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
    KvFuzzSeeds({"tga", "bmp", "pcx", "gif", "png", "psd"}),
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
