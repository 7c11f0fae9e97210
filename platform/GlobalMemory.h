// Global memory blocks as the library's callers expect them: fixed blocks, whose handle is
// their address, and movable blocks, reached through GlobalLock. Picture buffers that cross
// the library's boundary are fixed blocks, released with GlobalFree.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/Types.h"

enum : UINT {
  GMEM_FIXED = 0x0000,
  GMEM_MOVEABLE = 0x0002,
  GMEM_ZEROINIT = 0x0040,
  GPTR = GMEM_FIXED | GMEM_ZEROINIT,
  GHND = GMEM_MOVEABLE | GMEM_ZEROINIT,
};

// Null when the memory cannot be had (the size is not limited otherwise). Zero-filled blocks
// come from calloc, so large ones cost no page writes until used.
KV_PLATFORM_API HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// Null on success, the handle when it is not a live block.
KV_PLATFORM_API HGLOBAL GlobalFree(HGLOBAL h);
// The block's first byte; null for a handle that is not a live block.
KV_PLATFORM_API void* GlobalLock(HGLOBAL h);
// TRUE while the block stays locked.
KV_PLATFORM_API BOOL GlobalUnlock(HGLOBAL h);
KV_PLATFORM_API std::size_t GlobalSize(HGLOBAL h);
KV_PLATFORM_API UINT GlobalFlags(HGLOBAL h);

// Asks the kernel to back a large zero-filled allocation with huge pages, so that first
// touching it costs a few faults instead of one per 4 KiB page. Harmless where that is off.
KV_PLATFORM_API void KvAdviseLargeAllocation(void* p, std::size_t bytes);

// Owns a global block until it is handed over with release().
struct KvGlobalFree {
  void operator()(void* p) const { GlobalFree(p); }
};
using KvGlobalPtr = std::unique_ptr<void, KvGlobalFree>;

// Keeps a movable block locked for a scope.
class KvGlobalLock {
 public:
  explicit KvGlobalLock(HGLOBAL h) : m_h(h), m_p(GlobalLock(h)) {}
  ~KvGlobalLock() {
    if (m_p) GlobalUnlock(m_h);
  }
  KvGlobalLock(const KvGlobalLock&) = delete;
  KvGlobalLock& operator=(const KvGlobalLock&) = delete;
  void* get() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  HGLOBAL m_h;
  void* m_p;
};
