// FLIC files from arbitrary bytes: open, prepare, and play every frame forwards and then
// backwards, from the file and from memory, alone and over a background. The only exception
// the player may throw is the file exception for a frame of unknown type.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFile.h"
#include "KvMediaFile/KvMovie.h"

namespace {

FuzzFile* g_file = nullptr;
CString g_path;

// Plays up to `frames` frames forwards, then (with `back`) every third one backwards.
void Play(int memory, int mix, CKvMemBlock* back, int frames, bool backwards) {
  CKvPlayMovieFlick player;
  if (!player.Open(g_path, 0)) return;
  player.m_bLoadToMem = memory;
  player.m_nMixMode = mix;
  player.m_ptPaste = CPoint(-3, 5);
  try {
    if (!player.Prepare(back)) return;
    const int n = player.m_nFrames, last = std::min(n, frames) - 1;
    for (int i = 0; i <= last; ++i) player.GetOneFrame(static_cast<float>(i) / n);
    for (int i = last; backwards && i >= 0; i -= 3) player.GetOneFrame(static_cast<float>(i) / n);
  } catch (const CFileException& e) {
    if (e.m_cause != kKvFlicBadFrameCause) std::abort();
  }
}

}  // namespace

// FLC frames up to 466,033 pixels.
KV_FUZZ_TARGET(
    std::size_t{4} << 20,
    [] {
      g_file = new FuzzFile("kvfuzz-flic.flc");
      g_path = g_file->Path();
    },
    KvFuzzSeeds({"flic"}),
    [](const uint8_t* data, size_t size) {
      if (!g_file->Write(data, size)) return;
      CKvMemBlock back;
      MakeFuzzBackground(back);
      Play(0, -1, nullptr, 30, true);
      Play(1, 0, &back, 30, true);
      Play(1, 1, &back, 4, false);
    })
