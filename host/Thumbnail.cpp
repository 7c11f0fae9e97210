#include "host/Thumbnail.h"

#include <cstring>
#include <vector>

#include "host/MemBlock.h"
#include "host/PixelOps.h"
#include "platform/GlobalMemory.h"

namespace {
std::size_t RowBytes(int width, int bits) {
  return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}
}  // namespace

BYTE* KvGuiMakeIcon(DWORD* src, CSize srcSize, CRect srcArea, CSize dstSize, int bits) {
  if (!src || (bits != 24 && bits != 32)) return nullptr;
  if (KvCheckedPictureBytes(srcSize.cx, srcSize.cy) == 0 ||
      KvCheckedPictureBytes(dstSize.cx, dstSize.cy) == 0)
    return nullptr;
  CRect area;
  const CRect bounds(0, 0, srcSize.cx, srcSize.cy);
  srcArea.NormalizeRect();
  if (!area.IntersectRect(&srcArea, &bounds)) return nullptr;

  // The area, made contiguous, then scaled.
  const auto aw = static_cast<std::size_t>(area.Width()),
             ah = static_cast<std::size_t>(area.Height());
  std::vector<DWORD> part(aw * ah);
  for (std::size_t y = 0; y < ah; ++y)
    std::memcpy(&part[y * aw],
                src + (area.top + y) * static_cast<std::size_t>(srcSize.cx) + area.left, aw * 4);
  const auto dw = static_cast<std::size_t>(dstSize.cx), dh = static_cast<std::size_t>(dstSize.cy);
  std::vector<DWORD> scaled(dw * dh);
  KvMemZoom(part.data(), area.Size(), scaled.data(), dstSize);

  const std::size_t stride = RowBytes(dstSize.cx, bits);
  auto* out = static_cast<BYTE*>(GlobalAlloc(GPTR, stride * dh));
  if (!out) return nullptr;
  const std::size_t bpp = static_cast<std::size_t>(bits) / 8;
  for (std::size_t y = 0; y < dh; ++y) {
    BYTE* row = out + (dh - 1 - y) * stride;
    const auto* in = reinterpret_cast<const BYTE*>(&scaled[y * dw]);
    if (bpp == 4) {
      std::memcpy(row, in, dw * 4);
    } else {
      for (std::size_t x = 0; x < dw; ++x) {
        row[x * 3 + 0] = in[x * 4 + 0];
        row[x * 3 + 1] = in[x * 4 + 1];
        row[x * 3 + 2] = in[x * 4 + 2];
      }
    }
  }
  return out;
}

BOOL KvGuiDrawIcon(CDC* dc, CRect rect, BYTE* bits, CSize size, int bitCount) {
  if (!dc || !bits || size.cx <= 0 || size.cy <= 0) return FALSE;
  if (bitCount == 24) return dc->DrawDib24(rect, bits, size);
  if (bitCount != 32) return FALSE;
  const std::size_t in = RowBytes(size.cx, 32), out = RowBytes(size.cx, 24);
  std::vector<BYTE> converted(out * static_cast<std::size_t>(size.cy));
  for (int y = 0; y < size.cy; ++y)
    for (int x = 0; x < size.cx; ++x)
      std::memcpy(&converted[y * out + x * 3], bits + y * in + x * 4, 3);
  return dc->DrawDib24(rect, converted.data(), size);
}
