#include "AllocationFaults.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kNever = SIZE_MAX;
std::atomic<std::size_t> g_failFrom{kNever};  // allocations of this size and more fail
std::atomic<std::size_t> g_countdown{0};      // the allocation that brings it to 0 fails
std::atomic<std::size_t> g_failures{0};

bool ShouldFail(std::size_t bytes) {
  bool fail = bytes >= g_failFrom.load(std::memory_order_relaxed);
  if (g_countdown.load(std::memory_order_relaxed) != 0 && g_countdown.fetch_sub(1) == 1)
    fail = true;
  if (fail) g_failures.fetch_add(1);
  return fail;
}

void* Allocate(std::size_t bytes) noexcept {
  return ShouldFail(bytes) ? nullptr : std::malloc(bytes ? bytes : 1);
}

void* AllocateOrThrow(std::size_t bytes) {
  if (void* p = Allocate(bytes)) return p;
  throw std::bad_alloc();
}

}  // namespace

namespace kvtest {

FailingAllocations::FailingAllocations(std::size_t atLeast, std::size_t nth) {
  g_failures = 0;
  g_failFrom = atLeast ? atLeast : kNever;
  g_countdown = nth;
}

FailingAllocations::~FailingAllocations() {
  g_failFrom = kNever;
  g_countdown = 0;
}

std::size_t FailingAllocations::Failures() const { return g_failures.load(); }

}  // namespace kvtest

void* operator new(std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new[](std::size_t bytes) { return AllocateOrThrow(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return Allocate(bytes); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
