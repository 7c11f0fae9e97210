#include "picture/PictureBuffer.h"

#include "host/Failure.h"
#include "host/FileReader.h"
#include "host/MemBlock.h"

PictureBuffer PictureBuffer::Allocate(long long width, long long height, bool zeroed) {
  PictureBuffer b;
  const std::size_t bytes = KvCheckedPictureBytes(width, height);
  if (bytes == 0) {
    KvRefusePictureSize(width, height);
    return b;
  }
  b.m_block.reset(GlobalAlloc(zeroed ? GPTR : GMEM_FIXED, bytes));
  if (!b.m_block) {
    KvFail("out of memory");
    return b;
  }
  b.m_width = static_cast<int>(width);
  b.m_height = static_cast<int>(height);
  return b;
}

bool KvRefusePictureSize(long long width, long long height) {
  if (width <= 0) return KvFailf("width %lld", width);
  if (height <= 0) return KvFailf("height %lld", height);
  const ULONGLONG limit = KvGetMaxPictureBytes();
  const std::string text = limit % (1ull << 30) == 0 ? KvGroupDigits(limit >> 30) + " GiB"
                                                     : KvGroupDigits(limit) + "-byte";
  return KvFail("picture of " + KvGroupDigits(static_cast<ULONGLONG>(width)) + " x " +
                KvGroupDigits(static_cast<ULONGLONG>(height)) + " exceeds the " + text + " limit");
}
