#include "platform/Window.h"

#include <algorithm>

void CBufferDC::FillSolidRect(const RECT& rect, COLORREF color) {
  if (!m_pixels) return;
  const RECT bounds{0, 0, m_width, m_height};
  RECT r;
  if (!IntersectRect(&r, &rect, &bounds)) return;
  const DWORD px = 0xFF000000u | (static_cast<DWORD>(GetRValue(color)) << 16) |
                   (static_cast<DWORD>(GetGValue(color)) << 8) | GetBValue(color);
  for (int y = r.top; y < r.bottom; ++y)
    std::fill(m_pixels + static_cast<std::size_t>(y) * m_width + r.left,
              m_pixels + static_cast<std::size_t>(y) * m_width + r.right, px);
}

BOOL CBufferDC::DrawDib24(const RECT& dest, const BYTE* bits, CSize size) {
  if (!m_pixels || !bits || size.cx <= 0 || size.cy <= 0 || IsRectEmpty(&dest)) return FALSE;
  const RECT bounds{0, 0, m_width, m_height};
  RECT r;
  if (!IntersectRect(&r, &dest, &bounds)) return TRUE;
  const std::size_t stride = (static_cast<std::size_t>(size.cx) * 3 + 3) & ~std::size_t{3};
  const long long dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  for (int y = r.top; y < r.bottom; ++y) {
    const long long sy = (y - dest.top) * static_cast<long long>(size.cy) / dh;
    const BYTE* row = bits + (size.cy - 1 - sy) * stride;  // bottom-up rows
    for (int x = r.left; x < r.right; ++x) {
      const long long sx = (x - dest.left) * static_cast<long long>(size.cx) / dw;
      const BYTE* p = row + sx * 3;
      m_pixels[static_cast<std::size_t>(y) * m_width + x] =
          0xFF000000u | (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[1]) << 8) | p[0];
    }
  }
  return TRUE;
}
