#include "ScrollFrames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "KvMediaFile/KvScroll.h"
#include "Progress.h"
#include "ToolSupport.h"
#include "host/SafeSave.h"

namespace kvtool {

namespace {
// Line `line` decompresses: its place in the table and its bytes are there.
bool ReadsLine(CKvScrollFileRead& file, int line) {
  const std::unique_ptr<BYTE[]> data(
      file.GetSpecialFrame(static_cast<DWORD>(line), static_cast<DWORD>(line) + 1));
  return data != nullptr;
}
}  // namespace

bool WriteScrollFromPicture(const std::string& path, DWORD direction, const DWORD* pixels,
                            int width, int height, std::string* error, Progress* progress) {
  const bool roll = direction <= KV_SCROLL_DOWN;
  const int lines = roll ? height : width, lineWidth = roll ? width : height;
  SafeFileWriter out(PathArg(path));
  const auto failure = [&](int code) {
    if (error) *error = "cannot write " + path + ": " + std::strerror(code ? code : EIO);
    return false;
  };
  if (!out.Open()) return failure(out.error());
  CKvScrollFileWrite file;
  if (!file.OpenFile(CString::FromUtf8(out.Path()), direction, 0, static_cast<DWORD>(lines),
                     static_cast<DWORD>(lineWidth)))
    return failure(errno);
  std::vector<DWORD> line(static_cast<std::size_t>(lineWidth));
  for (int i = 0; i < lines; ++i) {
    if (roll) {
      std::memcpy(line.data(), pixels + static_cast<std::size_t>(i) * width, line.size() * 4);
    } else {
      for (int y = 0; y < height; ++y) line[y] = pixels[static_cast<std::size_t>(y) * width + i];
    }
    if (!file.AppendDataLine(line.data())) return failure(errno);
    if (progress) progress->Set(i + 1);
  }
  file.CloseFile();
  // Read back before it takes its name: a scroll that does not open as the one written (put
  // into a device, say) fails, and an old file of that name stays.
  CKvScrollFileRead check;
  const bool whole = check.OpenFile(CString::FromUtf8(out.Path())) &&
                     check.GetDirection() == direction && check.GetDataLines() == DWORD(lines) &&
                     check.GetDataWidth() == DWORD(lineWidth) && ReadsLine(check, 0) &&
                     ReadsLine(check, lines - 1);
  check.CloseFile();
  if (!whole) {
    if (error) *error = "cannot write " + path + ": the scroll written does not read back";
    return false;
  }
  return out.Commit() || failure(out.error());
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
