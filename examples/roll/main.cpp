// A roll streamed as a play-out module streams it, frame after frame: the player reads only
// the lines that came into view and writes them into the module's frame buffer, which it
// uses as a ring of rows; the module shows the ring from the ring point on. Writes the roll
// first, checks every frame against the strip and exits non-zero when one is wrong, and
// saves some frames. Usage: roll FOLDER.
#include <cstdio>
#include <cstring>
#include <vector>

#include <KvMediaFile/KvMediaFile.h>

namespace {

// Row y of the strip: one opaque colour that tells the row's number.
DWORD RowColour(long y) { return 0xFF000000u | static_cast<DWORD>(y); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: roll FOLDER\n");
    return 2;
  }
  const CString folder = CString::FromUtf8(argv[1]) + L"/";
  KvMediaFileOpen();

  // The roll: a strip of 3000 rows of 64 pixels, content moving up. A scroll file holds it
  // line by line (rows of a roll, columns of a crawl), each line compressed.
  const DWORD width = 64, lines = 3000;
  const CString path = folder + L"roll.ksc";
  {
    CKvScrollFileWrite file;
    if (!file.OpenFile(path, KV_SCROLL_UP, 0, lines, width)) {
      std::fprintf(stderr, "roll: cannot write roll.ksc\n");
      return 1;
    }
    std::vector<DWORD> row(width);
    for (DWORD y = 0; y < lines; ++y) {
      std::fill(row.begin(), row.end(), RowColour(y));
      if (!file.AppendDataLine(row.data())) {
        std::fprintf(stderr, "roll: cannot write roll.ksc\n");
        return 1;
      }
    }
    file.CloseFile();
  }

  // Streaming (in-memory flag 0): only the file's line table stays in memory.
  CKvPlayScrollFile player;
  if (!player.Open(path, 0)) {
    std::fprintf(stderr, "roll: cannot open roll.ksc\n");
    return 1;
  }
  CSize size;  // the roll's width by the raster's height
  player.GetFrameSize(size);
  const std::size_t w = static_cast<std::size_t>(size.cx), h = static_cast<std::size_t>(size.cy);
  // The module's frame buffer: handed unchanged to every call, since only the rows that came
  // into view are rewritten.
  std::vector<DWORD> ring(w * h);
  SKvScrollBuffer frame;
  frame.pFrame = ring.data();
  std::vector<DWORD> screen(w * h);

  int wrong = 0, saved = 0;
  for (int step = 0; step <= 100; ++step) {
    // Positions run from 0 to 1 along the scroll; here 6 lines a frame, from row -480 of
    // the strip at the top of the screen (the roll coming in) to its middle.
    const float position = 0.2f + 0.002f * static_cast<float>(step);
    if (!player.GetOneFrame(position, &frame)) {
      std::fprintf(stderr, "roll: frame %d cannot be read\n", step);
      return 1;
    }
    // Screen row y is ring row (ring point + y) modulo the height, for a roll moving up.
    const std::size_t first = static_cast<std::size_t>(player.GetRingPoint().y) % h;
    for (std::size_t y = 0; y < h; ++y)
      std::memcpy(&screen[y * w], &ring[(first + y) % h * w], w * sizeof(DWORD));

    // The screen shows the strip's rows of the window frame.rcSource; rows before or after
    // the strip are transparent.
    for (std::size_t y = 0; y < h; ++y) {
      const long row = frame.rcSource.top + static_cast<long>(y);
      const DWORD want = row >= 0 && row < static_cast<long>(lines) ? RowColour(row) : 0;
      if (screen[y * w] != want || screen[y * w + w - 1] != want) {
        std::fprintf(stderr, "roll: frame %d, screen row %zu is %08x, not %08x\n", step, y,
                     screen[y * w], want);
        ++wrong;
        break;
      }
    }
    if (step % 25 == 0) {
      CString name;
      name.Format(L"%sroll%03d.tga", static_cast<const wchar_t*>(folder), step);
      saved += KvMediaSaveTGAFile(name, screen.data(), size, CRect(CPoint(0, 0), size));
    }
  }
  player.Close();
  KvMediaFileClose();
  if (wrong || saved != 5) return 1;
  std::printf("roll: 101 frames of a %ux%u roll streamed, roll000.tga ... roll100.tga\n", width,
              lines);
  return 0;
}
