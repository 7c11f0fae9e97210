// The movie maker's picture intake: arbitrary bytes as the pictures of a two-frame sequence,
// of the type, movie rectangle and keying that the first bytes choose.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFile.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "host/MemBlock.h"
#include "host/VideoStd.h"

namespace {

constexpr const char* kTypes[] = {".tga", ".bmp", ".pcx", ".gif", ".psd", ".png", ".jpg"};
constexpr std::size_t kControl = 9;

FuzzFile* g_file = nullptr;
std::string g_dir;

void WriteSeeds(const std::string& dir) {
  DWORD pixels[12] = {0xFF112233, 0x80445566, 0, 0xFFFFFFFF, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::string tmp = g_dir + "/seed";
  KvMediaSaveTGAFile(CString::FromUtf8(tmp + ".tga"), pixels, CSize(4, 3), CRect(0, 0, 4, 3));
  KvMediaSaveBMPFile(CString::FromUtf8(tmp + ".bmp"), pixels, CSize(4, 3), CRect(0, 0, 4, 3));
  int n = 0;
  for (const char* ext : {".tga", ".bmp"}) {
    FILE* in = std::fopen((tmp + ext).c_str(), "rb");
    if (!in) continue;
    std::vector<unsigned char> bytes = {static_cast<unsigned char>(n), 0, 0, 0, 0, 4, 0, 3, 0};
    for (int c; (c = std::fgetc(in)) != EOF;) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(in);
    WriteSeedFile(dir + "/seed-" + std::to_string(n++), bytes);
  }
}

}  // namespace

KV_FUZZ_TARGET(
    std::size_t{16} << 20,
    [] {
      CKvVideoStd::SetHD(FALSE);
      g_file = new FuzzFile("kvfuzz-maker");
      char dir[] = "/tmp/kvfuzz-maker-XXXXXX";
      if (!::mkdtemp(dir)) std::abort();
      g_dir = dir;
      // Pictures 0 and 1 of every type are the input.
      for (const char* ext : kTypes)
        for (const char* number : {"0", "1"})
          if (::symlink(g_file->Path().ToUtf8().c_str(), (g_dir + "/p" + number + ext).c_str()))
            std::abort();
      KvMediaFileOpen();
    },
    WriteSeeds,
    [](const uint8_t* data, size_t size) {
      if (size < kControl || !g_file->Write(data + kControl, size - kControl)) return;
      const char* ext = kTypes[data[0] % std::size(kTypes)];
      const RECT rect{data[1] * 3 - 64, data[2] * 3 - 64, data[1] * 3 - 64 + data[3] * 3,
                      data[2] * 3 - 64 + data[4] * 3};
      const bool key = data[5] & 1;
      CKvMakeMovieMotion maker;
      const std::string movie = g_dir + "/out.sve";
      maker.Sink(CString::FromUtf8(g_dir + "/p" + ext), 0, 1, 1, key,
                 CKvColor32(data[6], data[7], data[8], 0), CKvColor32(data[6], 8, 8, 0),
                 data[5] & 2, &rect, CString::FromUtf8(movie), data[5], nullptr);
      ::unlink(movie.c_str());
    })
