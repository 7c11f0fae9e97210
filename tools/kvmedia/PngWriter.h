// Lossless PNG export of picture buffers through libpng.
#pragma once

#include <string>

#include "platform/Types.h"

namespace kvtool {

class Progress;

// Writes width x height BGRA pixels (rows top to bottom) as an 8-bit RGBA PNG, through the
// library's safe writer: the old file stays whole until the new one is. On failure returns
// false with the reason in *error. `progress`, when given, is told the rows written.
bool WritePng(const std::string& path, const DWORD* pixels, int width, int height,
              std::string* error, Progress* progress = nullptr);

}  // namespace kvtool
