// Working memory of a call: what it takes with operator new, at its peak. Picture buffers
// are global memory (calloc) and are not counted, so for a loader this is everything it
// needs beside the picture it returns. Linking this unit counts every operator new of the
// program, so only the benchmarks that ask for it pay.
#pragma once

#include <cstddef>
#include <functional>

namespace kvbench {

std::size_t PeakNewBytes(const std::function<void()>& run);

}  // namespace kvbench
