#include "picture/PictureBuffer.h"

#include <string>

#include "host/Failure.h"
#include "host/FileReader.h"
#include "host/MemBlock.h"

bool PictureBuffer::SizeAllowed(long long width, long long height) {
  if (width <= 0) return KvFailf("width %lld", width);
  if (height <= 0) return KvFailf("height %lld", height);
  if (KvCheckedPictureBytes(width, height) != 0) return true;
  return KvFail("picture of " + KvGroupDigits(static_cast<ULONGLONG>(width)) + " x " +
                KvGroupDigits(static_cast<ULONGLONG>(height)) + " exceeds the " +
                KvPictureLimitText() + " limit");
}

PictureBuffer PictureBuffer::Allocate(long long width, long long height, bool zeroed) {
  PictureBuffer b;
  if (!SizeAllowed(width, height)) return b;
  const std::size_t bytes = KvCheckedPictureBytes(width, height);
  b.m_block.reset(GlobalAlloc(zeroed ? GPTR : GMEM_FIXED, bytes));
  if (!b.m_block) {
    KvFail("out of memory for a picture of " + KvGroupDigits(static_cast<ULONGLONG>(width)) +
           " x " + KvGroupDigits(static_cast<ULONGLONG>(height)));
    return b;
  }
  b.m_width = static_cast<int>(width);
  b.m_height = static_cast<int>(height);
  return b;
}

bool KvSavedRegion(const DWORD* buffer, CSize size, const CRect& rect, long long maxSide,
                   CRect& region) {
  if (!buffer || size.cx <= 0 || size.cy <= 0) return KvFail("no pixels to save");
  const CRect bounds(0, 0, size.cx, size.cy);
  if (!region.IntersectRect(&rect, &bounds)) return KvFail("the region lies outside the picture");
  if (region.Width() > maxSide || region.Height() > maxSide)
    return KvFailf("a picture of %d x %d is too large for the format", region.Width(),
                   region.Height());
  return true;
}
