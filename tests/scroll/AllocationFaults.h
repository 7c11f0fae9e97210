// Allocation failures on demand, so that tests can prove that failed allocations come back
// as results rather than as exceptions, without the machine running out of memory.
//
// This test program replaces the global operator new and delete (over malloc and free).
// While a FailingAllocations object lives, the chosen allocations through operator new fail:
// the throwing forms throw std::bad_alloc, the nothrow forms return null. malloc and calloc
// are not affected.
#pragma once

#include <cstddef>

namespace kvtest {

class FailingAllocations {
 public:
  // Every allocation of at least `bytes` bytes fails.
  static FailingAllocations AtLeast(std::size_t bytes) { return FailingAllocations(bytes, 0); }
  // The n-th allocation from now on (counting from 1) fails, and only that one.
  static FailingAllocations Nth(std::size_t n) { return FailingAllocations(0, n); }
  ~FailingAllocations();
  FailingAllocations(const FailingAllocations&) = delete;
  FailingAllocations& operator=(const FailingAllocations&) = delete;

  // How many allocations were made to fail so far.
  std::size_t Failures() const;

 private:
  FailingAllocations(std::size_t atLeast, std::size_t nth);
};

}  // namespace kvtest
