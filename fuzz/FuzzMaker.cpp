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

// The first sample of each type the maker reads, behind control bytes that place it inside
// the raster, keyed or not.
void WriteSeeds(const std::string& dir) {
  for (unsigned char type = 0; type + 1u < std::size(kTypes); ++type) {
    const auto samples = kvtest::SampleFiles(kTypes[type] + 1);
    if (samples.empty()) continue;
    std::vector<unsigned char> bytes = {type, 21, 21, 30, 20, static_cast<unsigned char>(type % 2),
                                        9,    9,  9};
    bytes.insert(bytes.end(), samples[0].bytes.begin(), samples[0].bytes.end());
    kvtest::WriteBytes(dir + "/seed-" + std::to_string(type), bytes);
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
