// Picture buffers: allocation behind the size gate, ownership until hand-over.
#pragma once

#include "platform/Geometry.h"
#include "platform/GlobalMemory.h"
#include "platform/Types.h"

// width x height pixels of fixed, zero-filled global memory, freed on destruction unless
// released to the caller.
class PictureBuffer {
 public:
  PictureBuffer() = default;
  // An empty buffer when the size is not positive, exceeds the picture limit, or memory is
  // short; the reason is recorded. Decoders that write every pixel may ask for it uncleared.
  static PictureBuffer Allocate(long long width, long long height, bool zeroed = true);
  // The size gate alone, for decoders that check before they read: false, with the reason
  // recorded ("picture of 70,000 x 70,000 exceeds the 1 GiB limit"), when the size is not
  // positive or too large.
  static bool SizeAllowed(long long width, long long height);

  explicit operator bool() const { return m_block != nullptr; }
  DWORD* data() const { return static_cast<DWORD*>(m_block.get()); }
  DWORD* row(long long y) const { return data() + static_cast<std::size_t>(y) * m_width; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  std::size_t pixels() const { return static_cast<std::size_t>(m_width) * m_height; }
  // Hands the buffer over (to be freed with GlobalFree).
  DWORD* Release() { return static_cast<DWORD*>(m_block.release()); }

 private:
  KvGlobalPtr m_block;
  int m_width = 0;
  int m_height = 0;
};

// For a size already found too large: records why (as SizeAllowed does) and returns false.
inline bool KvRefusePictureSize(long long width, long long height) {
  PictureBuffer::SizeAllowed(width, height);
  return false;
}

// What a saver writes: the part of a `size` buffer that `rect` selects, at most `maxSide`
// pixels a side (what the format's header can hold). False, with the reason recorded, when
// there is nothing to write.
bool KvSavedRegion(const DWORD* buffer, CSize size, const CRect& rect, long long maxSide,
                   CRect& region);
