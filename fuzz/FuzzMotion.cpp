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

void WriteSeed(const char* dir) {
  const CString path = CString::FromUtf8(std::string(dir) + "/seed.sve");
  CKvMotionFileWrite file;
  if (!file.CreateFileW(path, 10, 3, 4, 2, 3, 12, 10)) return;
  for (int frame = 0; frame < 3; ++frame) {
    const int w = 4 + frame, h = 2;
    HGLOBAL patch = GlobalAlloc(GHND, 16 + w * h * 4);
    auto* p = static_cast<short*>(GlobalLock(patch));
    p[0] = static_cast<short>(frame);
    p[1] = 1;
    p[2] = static_cast<short>(w);
    p[3] = static_cast<short>(h);
    std::memset(reinterpret_cast<BYTE*>(p) + 16, 0x40 * (frame + 1), w * h * 4);
    GlobalUnlock(patch);
    void* patches[] = {patch};
    WORD sizes[] = {static_cast<WORD>(16 + w * h * 4)};
    file.AppendFrame(1, patches, sizes);
    GlobalFree(patch);
  }
  file.CloseFile();
}

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
    WriteSeed,
    [](const uint8_t* data, size_t size) {
      if (!g_file->Write(data, size)) return;
      CKvMemBlock back;
      MakeFuzzBackground(back);
      Play(0, -1, nullptr);
      Play(1, 0, &back);
      Play(1, 1, &back);
    })
