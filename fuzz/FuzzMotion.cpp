// Motion movies from arbitrary bytes: open, prepare and play frames, from the file and from
// memory, alone and over a background. The player reads paths, so each input is laid into
// an in-memory file reached through /proc/self/fd.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "KvMediaFile/KvMovie.h"
#include "platform/GlobalMemory.h"

namespace {

FuzzFile* g_file = nullptr;
CString g_path;

void Play(int loadToMem, int mix, CKvMemBlock* back) {
  CKvPlayMovieMotion player;
  player.m_nMixMode = mix;
  player.m_ptPaste = CPoint(-3, 5);
  if (!player.Open(g_path, loadToMem)) return;
  player.Prepare(back);
  const int frames = std::min(player.m_nFrames, 40);
  for (int i = 0; i < frames; ++i) player.GetOneFrame(static_cast<float>(i) / player.m_nFrames);
  player.GetOneFrame(0.5f);  // a step back inside the movie
}

}  // namespace

KV_FUZZ_TARGET(
    std::size_t{16} << 20,
    [] {
      g_file = new FuzzFile("kvfuzz-motion.sve");
      g_path = g_file->Path();
    },
    KvFuzzSeeds({"sve"}),
    [](const uint8_t* data, size_t size) {
      if (!g_file->Write(data, size)) return;
      CKvMemBlock back;
      MakeFuzzBackground(back);
      Play(0, -1, nullptr);
      Play(1, 0, &back);
      Play(1, 1, &back);
    })
