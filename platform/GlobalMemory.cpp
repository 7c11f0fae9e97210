#include "platform/GlobalMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

// A fixed block is one allocation: a 16-byte header, then the data, whose address is the
// handle. A movable block is a small record holding the data pointer; its handle is the
// record's address plus 1, so that a handle is told from a fixed block (at least 8-byte
// aligned) by its low bits alone, without reading memory that may not belong to a block.
namespace {

constexpr std::uint32_t kFixedMagic = 0x4B564746;    // "KVGF"
constexpr std::uint32_t kMovableMagic = 0x4B56474D;  // "KVGM"
constexpr std::uint32_t kFreedMagic = 0x4B564758;    // "KVGX"
constexpr std::uintptr_t kMovableTag = 1;

struct alignas(16) FixedHeader {
  std::uint32_t magic;
  std::uint32_t flags;
  std::size_t size;
};
static_assert(sizeof(FixedHeader) == 16);

struct alignas(16) MovableRecord {
  std::uint32_t magic;
  std::uint32_t flags;
  std::size_t size;
  void* data;
  std::uint32_t locks;
};

bool IsMovableHandle(HGLOBAL h) { return (reinterpret_cast<std::uintptr_t>(h) & 7) == kMovableTag; }

MovableRecord* Movable(HGLOBAL h) {
  if (!h || !IsMovableHandle(h)) return nullptr;
  auto* rec = reinterpret_cast<MovableRecord*>(reinterpret_cast<std::uintptr_t>(h) - kMovableTag);
  return rec->magic == kMovableMagic ? rec : nullptr;
}

FixedHeader* Fixed(HGLOBAL h) {
  if (!h || (reinterpret_cast<std::uintptr_t>(h) & 7) != 0) return nullptr;
  auto* hdr = static_cast<FixedHeader*>(h) - 1;
  return hdr->magic == kFixedMagic ? hdr : nullptr;
}

// Freed fixed blocks of a picture's size are kept for the next allocation of the same size:
// play-out loads picture after picture of one raster, and fresh memory costs a page fault
// per page on first touch, more than clearing a warm block. The cache is small and bounded;
// sanitizer builds go without it, so that use after free stays visible.
#if defined(__SANITIZE_ADDRESS__)
#define KV_GLOBAL_CACHE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KV_GLOBAL_CACHE 0
#endif
#endif
#ifndef KV_GLOBAL_CACHE
#define KV_GLOBAL_CACHE 1
#endif

constexpr std::size_t kCacheMinBytes = std::size_t{1} << 20;
constexpr std::size_t kCacheMaxBytes = std::size_t{96} << 20;
constexpr std::size_t kCacheMaxBlocks = 4;

struct BlockCache {
  std::mutex mutex;
  std::vector<std::pair<void*, std::size_t>> blocks;  // allocations and their sizes
  std::size_t bytes = 0;
};

BlockCache& Cache() {
  static BlockCache* cache = new BlockCache;  // lives as long as the process
  return *cache;
}

// A kept allocation of exactly `total` bytes, or null.
void* TakeCached(std::size_t total) {
  if (!KV_GLOBAL_CACHE || total < kCacheMinBytes) return nullptr;
  BlockCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  for (std::size_t i = 0; i < c.blocks.size(); ++i) {
    if (c.blocks[i].second != total) continue;
    void* p = c.blocks[i].first;
    c.bytes -= total;
    c.blocks.erase(c.blocks.begin() + static_cast<std::ptrdiff_t>(i));
    return p;
  }
  return nullptr;
}

// Keeps an allocation for reuse; false when it should be freed.
bool KeepCached(void* p, std::size_t total) {
  if (!KV_GLOBAL_CACHE || total < kCacheMinBytes || total > kCacheMaxBytes) return false;
  BlockCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  while (!c.blocks.empty() &&
         (c.blocks.size() >= kCacheMaxBlocks || c.bytes + total > kCacheMaxBytes)) {
    std::free(c.blocks.front().first);
    c.bytes -= c.blocks.front().second;
    c.blocks.erase(c.blocks.begin());
  }
  c.blocks.emplace_back(p, total);
  c.bytes += total;
  return true;
}

void* RawAlloc(std::size_t bytes, bool zero) {
  void* p = zero ? std::calloc(1, bytes) : std::malloc(bytes);
  if (p) KvAdviseLargeAllocation(p, bytes);
  return p;
}

}  // namespace

void KvAdviseLargeAllocation(void* p, std::size_t bytes) {
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  if (!p || bytes < 2 * kHuge) return;
  const auto begin = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHuge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
  const bool zero = (flags & GMEM_ZEROINIT) != 0;
  if (bytes > (SIZE_MAX >> 2)) return nullptr;
  if (flags & GMEM_MOVEABLE) {
    auto* rec = static_cast<MovableRecord*>(std::calloc(1, sizeof(MovableRecord)));
    if (!rec) return nullptr;
    rec->data = RawAlloc(bytes ? bytes : 1, zero);
    if (!rec->data) {
      std::free(rec);
      return nullptr;
    }
    rec->magic = kMovableMagic;
    rec->flags = flags;
    rec->size = bytes;
    return reinterpret_cast<HGLOBAL>(reinterpret_cast<std::uintptr_t>(rec) + kMovableTag);
  }
  auto* hdr = static_cast<FixedHeader*>(TakeCached(sizeof(FixedHeader) + bytes));
  if (hdr && zero) std::memset(hdr, 0, sizeof(FixedHeader) + bytes);
  if (!hdr) hdr = static_cast<FixedHeader*>(RawAlloc(sizeof(FixedHeader) + bytes, zero));
  if (!hdr) return nullptr;
  hdr->magic = kFixedMagic;
  hdr->flags = flags;
  hdr->size = bytes;
  return hdr + 1;
}

HGLOBAL GlobalFree(HGLOBAL h) {
  if (!h) return nullptr;
  if (MovableRecord* rec = Movable(h)) {
    std::free(rec->data);
    rec->magic = kFreedMagic;
    std::free(rec);
    return nullptr;
  }
  if (FixedHeader* hdr = Fixed(h)) {
    hdr->magic = kFreedMagic;
    if (!KeepCached(hdr, sizeof(FixedHeader) + hdr->size)) std::free(hdr);
    return nullptr;
  }
  return h;
}

void* GlobalLock(HGLOBAL h) {
  if (MovableRecord* rec = Movable(h)) {
    ++rec->locks;
    return rec->data;
  }
  return Fixed(h) ? h : nullptr;
}

BOOL GlobalUnlock(HGLOBAL h) {
  if (MovableRecord* rec = Movable(h)) {
    if (rec->locks > 0) --rec->locks;
    return rec->locks > 0;
  }
  return FALSE;
}

std::size_t GlobalSize(HGLOBAL h) {
  if (MovableRecord* rec = Movable(h)) return rec->size;
  if (FixedHeader* hdr = Fixed(h)) return hdr->size;
  return 0;
}

UINT GlobalFlags(HGLOBAL h) {
  if (MovableRecord* rec = Movable(h)) return rec->locks & 0xFF;
  return 0;
}
