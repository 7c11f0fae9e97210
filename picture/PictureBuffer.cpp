#include "picture/PictureBuffer.h"

#include "host/MemBlock.h"

PictureBuffer PictureBuffer::Allocate(long long width, long long height, bool zeroed) {
  PictureBuffer b;
  const std::size_t bytes = KvCheckedPictureBytes(width, height);
  if (bytes == 0) return b;
  b.m_block.reset(GlobalAlloc(zeroed ? GPTR : GMEM_FIXED, bytes));
  if (b.m_block) {
    b.m_width = static_cast<int>(width);
    b.m_height = static_cast<int>(height);
  }
  return b;
}
