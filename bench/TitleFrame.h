// Test data shared by the benchmarks: a 1920 x 1080 title frame (mostly transparent, a few
// bands of anti-aliased text) and an opaque video frame to lay it over.
#pragma once

#include <vector>

#include "platform/Types.h"

namespace kvbench {

constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;

// BGRA pixels with straight alpha, rows top to bottom; the same every run.
const std::vector<DWORD>& TitleFrame();
// Opaque pixels with smooth gradients and some noise, like a camera picture.
const std::vector<DWORD>& VideoFrame();

}  // namespace kvbench
