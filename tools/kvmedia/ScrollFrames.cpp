#include "ScrollFrames.h"

#include <algorithm>
#include <cstring>

#include "KvMediaFile/KvScroll.h"

namespace kvtool {

bool WriteScrollFromPicture(const CString& path, DWORD direction, const DWORD* pixels, int width,
                            int height) {
  const bool roll = direction <= KV_SCROLL_DOWN;
  const int lines = roll ? height : width, lineWidth = roll ? width : height;
  CKvScrollFileWrite file;
  if (!file.OpenFile(path, direction, 0, static_cast<DWORD>(lines), static_cast<DWORD>(lineWidth)))
    return false;
  std::vector<DWORD> line(static_cast<std::size_t>(lineWidth));
  for (int i = 0; i < lines; ++i) {
    if (roll) {
      std::memcpy(line.data(), pixels + static_cast<std::size_t>(i) * width, line.size() * 4);
    } else {
      for (int y = 0; y < height; ++y) line[y] = pixels[static_cast<std::size_t>(y) * width + i];
    }
    if (!file.AppendDataLine(line.data())) return false;
  }
  file.CloseFile();
  return true;
}

std::vector<DWORD> UnrollScrollRing(const std::vector<DWORD>& ring, CSize size, DWORD direction,
                                    CPoint ringPoint) {
  const int w = size.cx, h = size.cy;
  std::vector<DWORD> screen(ring.size());
  const bool firstAtPoint = direction == KV_SCROLL_UP || direction == KV_SCROLL_LEFT;
  if (direction <= KV_SCROLL_DOWN) {
    const int first = ((ringPoint.y + (firstAtPoint ? 0 : 1)) % h + h) % h;
    for (int y = 0; y < h; ++y)
      std::memcpy(&screen[static_cast<std::size_t>(y) * w],
                  &ring[static_cast<std::size_t>((first + y) % h) * w],
                  static_cast<std::size_t>(w) * 4);
  } else {
    const int first = ((ringPoint.x + (firstAtPoint ? 0 : 1)) % w + w) % w;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        screen[static_cast<std::size_t>(y) * w + x] =
            ring[static_cast<std::size_t>(y) * w + (first + x) % w];
  }
  return screen;
}

}  // namespace kvtool
