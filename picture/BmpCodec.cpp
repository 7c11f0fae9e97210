#include <algorithm>
#include <array>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "picture/ByteReader.h"
#include "picture/SafeSave.h"

int KvMediaSaveBMPFile(CString path, DWORD* buffer, CSize size, CRect rect) {
  if (!buffer || size.cx <= 0 || size.cy <= 0) return 0;
  const CRect bounds(0, 0, size.cx, size.cy);
  CRect region;
  if (!region.IntersectRect(&rect, &bounds)) return 0;
  const auto W = static_cast<DWORD>(region.Width()), H = static_cast<DWORD>(region.Height());
  const unsigned long long imageBytes = 4ull * W * H;
  if (54 + imageBytes > 0xFFFFFFFFull) return 0;  // the header holds 32-bit sizes

  SafeFileWriter out(path);
  if (!out.Open()) return 0;
  std::array<BYTE, 54> head{};
  head[0] = 'B';
  head[1] = 'M';
  KvPutLe32(&head[2], static_cast<DWORD>(54 + imageBytes));
  KvPutLe32(&head[10], 54);
  BYTE* info = &head[14];
  KvPutLe32(info + 0, 40);
  KvPutLe32(info + 4, W);
  KvPutLe32(info + 8, H);
  KvPutLe16(info + 12, 1);
  KvPutLe16(info + 14, 32);
  KvPutLe32(info + 20, static_cast<DWORD>(imageBytes));
  KvPutLe32(info + 24, W);  // the resolution fields carry the size, as the suite has always written
  KvPutLe32(info + 28, H);
  out.Write(head.data(), head.size());
  // Rows bottom-up, alpha kept.
  const auto stride = static_cast<std::size_t>(size.cx);
  for (long long y = region.bottom - 1; y >= region.top; --y)
    out.Write(buffer + static_cast<std::size_t>(y) * stride + region.left, std::size_t{W} * 4);
  return out.Commit() ? 1 : 0;
}
