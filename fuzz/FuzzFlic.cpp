// FLIC files from arbitrary bytes: open, prepare, and play every frame forwards and then
// backwards, from the file and from memory, alone and over a background. The only exception
// the player may throw is the file exception for a frame of unknown type.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FlicWriter.h"
#include "FuzzFile.h"
#include "KvMediaFile/KvMovie.h"

namespace {

FuzzFile* g_file = nullptr;
CString g_path;

// A small FLC that holds every chunk type the player reads, and an FLI of byte deltas.
void WriteSeeds(const std::string& dir) {
  const int w = 12, h = 6;
  kvtest::FlicBytes a(w * h), b(w * h), rgb(48);
  for (int i = 0; i < w * h; ++i) a[i] = BYTE(i % 7), b[i] = BYTE(i % 5 ? i % 7 : 3);
  for (int i = 0; i < 48; ++i) rgb[i] = BYTE(i * 5);
  kvtest::FlicFile flc{.width = w, .height = h};
  flc.frames = {
      {.chunks = {kvtest::FlicPaletteChunk({{0, rgb}}), kvtest::FlicPictureChunk(15, {}, a, w, h)}},
      {.chunks = {kvtest::FlicPictureChunk(7, a, b, w, h)}},
      {.chunks = {kvtest::FlicPaletteChunk({{3, rgb}}, true),
                  kvtest::FlicPictureChunk(12, b, a, w, h)}},
      {.chunks = {{13}}},
      {.chunks = {{16, b}}}};
  flc.ring = kvtest::FlicFrame{.chunks = {kvtest::FlicPictureChunk(12, b, a, w, h)}};
  WriteSeedFile(dir + "/seed.flc", kvtest::WriteFlic(flc));
  kvtest::FlicFile fli{.magic = 0xAF11, .width = 320, .height = 200};
  kvtest::FlicBytes big(320 * 200, 1), next = big;
  for (int i = 0; i < 320 * 200; i += 97) next[i] = BYTE(i);
  fli.frames = {{.type = 0xF100},
                {.chunks = {kvtest::FlicPaletteChunk({{0, rgb}}, true),
                            kvtest::FlicPictureChunk(15, {}, big, 320, 200)}},
                {.chunks = {kvtest::FlicPictureChunk(12, big, next, 320, 200)}}};
  WriteSeedFile(dir + "/seed.fli", kvtest::WriteFlic(fli));
}

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
    WriteSeeds,
    [](const uint8_t* data, size_t size) {
      if (!g_file->Write(data, size)) return;
      CKvMemBlock back;
      MakeFuzzBackground(back);
      Play(0, -1, nullptr, 30, true);
      Play(1, 0, &back, 30, true);
      Play(1, 1, &back, 4, false);
    })
