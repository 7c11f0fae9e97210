// Scroll files from arbitrary bytes: open in both modes and play frames forward, backward
// and with jumps. Each input is laid into an in-memory file reached through /proc/self/fd.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "KvMediaFile/KvScroll.h"
#include "host/VideoStd.h"

namespace {

FuzzFile* g_file = nullptr;
CString g_path;

void Play(int inMemory) {
  CKvPlayScrollFile player;
  if (!player.Open(g_path, inMemory)) return;
  CSize size;
  player.GetFrameSize(size);
  std::vector<DWORD> frame(static_cast<std::size_t>(size.cx) * size.cy);
  SKvScrollBuffer buffer;
  buffer.pFrame = frame.data();
  for (float p : {0.0f, 0.1f, 0.13f, 0.5f, 0.49f, 0.47f, 0.9f, 1.0f, -1.0f, 0.333f, 0.3301f})
    player.GetOneFrame(p, &buffer);
}

}  // namespace

KV_FUZZ_TARGET(
    std::size_t{16} << 20,
    [] {
      // A small raster keeps frames small, as the strips of the inputs are.
      CKvVideoStd::SetHD(FALSE);
      g_file = new FuzzFile("kvfuzz-scroll.ksc");
      g_path = g_file->Path();
    },
    KvFuzzSeeds({"ksc"}),
    [](const uint8_t* data, size_t size) {
      if (!g_file->Write(data, size)) return;
      Play(0);
      Play(1);
      CKvScrollFileRead reader;
      if (reader.OpenFile(g_path)) {
        delete[] reader.GetData();
        delete[] reader.GetSpecialFrame(3, 1);
        delete[] reader.GetSpecialFrame(0, 0xFFFFFFFF);
      }
    })
