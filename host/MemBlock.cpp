#include "host/MemBlock.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/FileReader.h"
#include "host/PixelOps.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"

IMPLEMENT_DYNCREATE(CKvMemBlock, CKvObject)

namespace {
std::atomic<std::size_t> g_maxPictureBytes{std::size_t{1} << 30};
}

std::size_t KvGetMaxPictureBytes() { return g_maxPictureBytes.load(); }
void KvSetMaxPictureBytes(std::size_t bytes) { g_maxPictureBytes.store(bytes); }

std::string KvPictureLimitText() {
  constexpr std::size_t kMiB = std::size_t{1} << 20, kGiB = std::size_t{1} << 30;
  const std::size_t bytes = KvGetMaxPictureBytes();
  if (bytes >= kGiB && bytes % kGiB == 0) return std::to_string(bytes / kGiB) + " GiB";
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return KvGroupDigits(bytes) + " bytes";
}

std::size_t KvCheckedPictureBytes(long long width, long long height) {
  if (width <= 0 || height <= 0) return 0;
  const unsigned long long max = KvGetMaxPictureBytes();
  const auto w = static_cast<unsigned long long>(width),
             h = static_cast<unsigned long long>(height);
  if (w > max / 4 || h > max / (w * 4)) return 0;
  return static_cast<std::size_t>(w * h * 4);
}

CKvMemBlock::CKvMemBlock(const CKvMemBlock& other) : CKvObject(other) { *this = other; }

CKvMemBlock::~CKvMemBlock() { Close(); }

CKvObject& CKvMemBlock::operator=(const CKvObject& other) {
  if (const auto* block = dynamic_cast<const CKvMemBlock*>(&other)) *this = *block;
  return *this;
}

CKvMemBlock& CKvMemBlock::operator=(const CKvMemBlock& other) {
  if (this == &other) return *this;
  CKvObject::operator=(other);
  if (!other.IsValid()) {
    Close();
    return *this;
  }
  if (!IsValid() || m_size != other.m_size || !m_owned) {
    Close();
    if (!InitBlock(other.m_size)) AfxThrowMemoryException();
  }
  std::memcpy(m_pixels, other.m_pixels,
              static_cast<std::size_t>(m_size.cx) * static_cast<std::size_t>(m_size.cy) * 4);
  return *this;
}

int CKvMemBlock::InitBlock(CSize size, tagCOLOR32* pixels, int, int) {
  Close();
  if (size.cx == -1 && size.cy == -1)
    size = CSize(CKvVideoStd::GetResWidth(), CKvVideoStd::GetResHeight());
  const std::size_t bytes = KvCheckedPictureBytes(size.cx, size.cy);
  if (bytes == 0) return 0;
  if (pixels) {
    m_pixels = pixels;
    m_owned = false;
  } else {
    m_pixels = static_cast<tagCOLOR32*>(std::calloc(1, bytes));
    if (!m_pixels) return 0;
    KvAdviseLargeAllocation(m_pixels, bytes);
    m_owned = true;
  }
  m_size = size;
  return 1;
}

void CKvMemBlock::Close() {
  if (m_owned) std::free(m_pixels);
  m_pixels = nullptr;
  m_owned = false;
  m_size = CSize();
}

tagCOLOR32* CKvMemBlock::GetPixelAddress(CPoint pt) const {
  if (!m_pixels || !GetRect().PtInRect(pt)) return nullptr;
  return m_pixels + static_cast<std::size_t>(pt.y) * m_size.cx + pt.x;
}

void CKvMemBlock::SetPixel(int x, int y, tagCOLOR32 color) {
  if (tagCOLOR32* p = GetPixelAddress(CPoint(x, y))) *p = color;
}

tagCOLOR32 CKvMemBlock::GetPixel(int x, int y) const {
  const tagCOLOR32* p = GetPixelAddress(CPoint(x, y));
  return p ? *p : tagCOLOR32{0, 0, 0, 0};
}

void CKvMemBlock::ClearBlock(const RECT* area, tagCOLOR32 color) {
  if (!m_pixels) return;
  CRect r = GetRect();
  if (area && !r.IntersectRect(&r, area)) return;
  const std::size_t width = static_cast<std::size_t>(r.Width());
  const bool bytewise = color.b == color.g && color.g == color.r && color.r == color.a;
  // Whole rows of one byte value (transparent black, mostly) are one memset.
  if (bytewise && width == static_cast<std::size_t>(m_size.cx)) {
    std::memset(m_pixels + static_cast<std::size_t>(r.top) * width, color.b,
                width * static_cast<std::size_t>(r.Height()) * 4);
    return;
  }
  // One row is filled, the others copied from it.
  tagCOLOR32* first = m_pixels + static_cast<std::size_t>(r.top) * m_size.cx + r.left;
  std::fill(first, first + width, color);
  for (int y = r.top + 1; y < r.bottom; ++y)
    std::memcpy(m_pixels + static_cast<std::size_t>(y) * m_size.cx + r.left, first, width * 4);
}

int CKvMemBlock::Copy(int x, int y, CKvMemBlock* src, CRect srcRect, EMixMode mode) {
  if (!src || !src->IsValid()) return 0;
  return CopyPixels(CPoint(x, y), src->m_pixels, src->m_size, srcRect, mode, KV_FIELD_FRAME);
}

int CKvMemBlock::Copy(CPoint pt, DWORD* src, CSize srcSize, CRect srcRect, EMixMode mode) {
  if (!src || srcSize.cx <= 0 || srcSize.cy <= 0) return 0;
  return CopyPixels(pt, reinterpret_cast<const tagCOLOR32*>(src), srcSize, srcRect, mode,
                    KV_FIELD_FRAME);
}

int CKvMemBlock::Copy(CPoint pt, CKvMemBlock* src, CRect srcRect, EMixMode mode, EFieldType field) {
  if (!src || !src->IsValid()) return 0;
  return CopyPixels(pt, src->m_pixels, src->m_size, srcRect, mode, field);
}

int CKvMemBlock::CopyPixels(CPoint pt, const tagCOLOR32* src, CSize srcSize, CRect srcRect,
                            EMixMode mode, EFieldType field) {
  if (!m_pixels) return 0;
  // Clip the source area to the source, moving the destination point with it, then the
  // destination area to this block, moving the source area with it. 64-bit sums: the
  // positions come from files.
  const CRect srcBounds(0, 0, srcSize.cx, srcSize.cy);
  CRect s;
  if (!s.IntersectRect(&srcRect, &srcBounds)) return 1;
  long long dx = static_cast<long long>(pt.x) + (s.left - srcRect.left);
  long long dy = static_cast<long long>(pt.y) + (s.top - srcRect.top);
  long long w = s.Width(), h = s.Height();
  if (dx < 0) {
    w += dx;
    s.left -= static_cast<int>(dx);
    dx = 0;
  }
  if (dy < 0) {
    h += dy;
    s.top -= static_cast<int>(dy);
    dy = 0;
  }
  w = std::min<long long>(w, m_size.cx - dx);
  h = std::min<long long>(h, m_size.cy - dy);
  if (w <= 0 || h <= 0) return 1;

  const std::size_t srcStride = static_cast<std::size_t>(srcSize.cx);
  const std::size_t dstStride = static_cast<std::size_t>(m_size.cx);
  const tagCOLOR32* from = src + static_cast<std::size_t>(s.top) * srcStride + s.left;
  tagCOLOR32* to =
      m_pixels + static_cast<std::size_t>(dy) * dstStride + static_cast<std::size_t>(dx);
  const auto width = static_cast<std::size_t>(w);
  const auto rows = static_cast<std::size_t>(h);

  // A source that shares memory with this block is copied aside first, so that rows
  // already written are never read again.
  std::vector<tagCOLOR32> aside;
  const tagCOLOR32* blockEnd = m_pixels + dstStride * static_cast<std::size_t>(m_size.cy);
  const tagCOLOR32* srcEnd = src + srcStride * static_cast<std::size_t>(srcSize.cy);
  if (src < blockEnd && m_pixels < srcEnd) {
    aside.resize(width * rows);
    for (std::size_t r = 0; r < rows; ++r)
      std::memcpy(&aside[r * width], from + r * srcStride, width * 4);
    from = aside.data();
  }
  const std::size_t fromStride = aside.empty() ? srcStride : width;

  if (mode == KV_MIX_COPY && field == KV_FIELD_FRAME && width == dstStride && fromStride == width) {
    std::memcpy(to, from, width * rows * 4);
    return 1;
  }
  for (std::size_t r = 0; r < rows; ++r) {
    const long long destRow = dy + static_cast<long long>(r);
    if (field == KV_FIELD_UPPER && (destRow & 1) != 0) continue;
    if (field == KV_FIELD_LOWER && (destRow & 1) == 0) continue;
    tagCOLOR32* d = to + r * dstStride;
    const tagCOLOR32* f = from + r * fromStride;
    switch (mode) {
      case KV_MIX_OVER:
        KvMixRowOver(d, f, width);
        break;
      case KV_MIX_UNDER:
        KvMixRowUnder(d, f, width);
        break;
      default:
        std::memcpy(d, f, width * 4);
        break;
    }
  }
  return 1;
}

int CKvMemBlock::Deflicker(CRect area, int) {
  if (!m_pixels) return 0;
  CRect r;
  const CRect bounds = GetRect();
  area.NormalizeRect();
  if (!r.IntersectRect(&area, &bounds)) return 1;
  const auto width = static_cast<std::size_t>(r.Width());
  std::vector<tagCOLOR32> above(width), current(width);
  auto row = [&](int y) { return m_pixels + static_cast<std::size_t>(y) * m_size.cx + r.left; };
  std::memcpy(above.data(), row(r.top), width * 4);
  for (int y = r.top; y < r.bottom; ++y) {
    std::memcpy(current.data(), row(y), width * 4);
    const tagCOLOR32* below = y + 1 < r.bottom ? row(y + 1) : current.data();
    auto* out = reinterpret_cast<BYTE*>(row(y));
    const auto* a = reinterpret_cast<const BYTE*>(above.data());
    const auto* c = reinterpret_cast<const BYTE*>(current.data());
    const auto* b = reinterpret_cast<const BYTE*>(below);
    for (std::size_t i = 0; i < width * 4; ++i)
      out[i] = static_cast<BYTE>((a[i] + 2 * c[i] + b[i] + 2) >> 2);
    above.swap(current);
  }
  return 1;
}

void KvGenBackColorBar(CKvMemBlock* block) {
  if (!block || !block->IsValid()) return;
  const CSize size = block->GetSize();
  KvGenColorBars(block->GetAddress(), size.cx, size.cy);
}
