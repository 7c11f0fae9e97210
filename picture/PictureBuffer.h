// Picture buffers: allocation behind the size gate, ownership until hand-over.
#pragma once

#include "platform/GlobalMemory.h"
#include "platform/Types.h"

// width x height pixels of fixed, zero-filled global memory, freed on destruction unless
// released to the caller.
class PictureBuffer {
 public:
  PictureBuffer() = default;
  // An empty buffer when the size is not positive, exceeds the picture limit, or memory is
  // short (the reason recorded). Decoders that write every pixel may ask for it uncleared.
  static PictureBuffer Allocate(long long width, long long height, bool zeroed = true);

  explicit operator bool() const { return m_block != nullptr; }
  DWORD* data() const { return static_cast<DWORD*>(m_block.get()); }
  DWORD* row(long long y) const { return data() + static_cast<std::size_t>(y) * m_width; }
  int width() const { return m_width; }
  int height() const { return m_height; }
  // Hands the buffer over (to be freed with GlobalFree).
  DWORD* Release() { return static_cast<DWORD*>(m_block.release()); }

 private:
  KvGlobalPtr m_block;
  int m_width = 0;
  int m_height = 0;
};

// Records why a picture of this size is refused ("width 0", "picture of 70,000 x 70,000
// exceeds the 1 GiB limit"); false, so that a decoder can check a size before reading on.
bool KvRefusePictureSize(long long width, long long height);
