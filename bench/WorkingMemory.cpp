#include "WorkingMemory.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> g_live{0}, g_peak{0};
constexpr std::size_t kHeader = 16;  // keeps the block's size and the alignment of new
}  // namespace

void* operator new(std::size_t n) {
  void* p = std::malloc(n + kHeader);
  if (!p) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = n;
  const std::size_t live = g_live += n;
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char*>(p) + kHeader;
}

void operator delete(void* p) noexcept {
  if (!p) return;
  char* base = static_cast<char*>(p) - kHeader;
  g_live -= *reinterpret_cast<std::size_t*>(base);
  std::free(base);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace kvbench {

std::size_t PeakNewBytes(const std::function<void()>& run) {
  const std::size_t before = g_live.load();
  g_peak.store(before);
  run();
  return g_peak.load() - before;
}

}  // namespace kvbench
