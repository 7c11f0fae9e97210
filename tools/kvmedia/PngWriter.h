// Lossless PNG export of picture buffers through libpng.
#pragma once

#include <string>

#include "platform/Types.h"

namespace kvtool {

// Writes width x height BGRA pixels (rows top to bottom) as an 8-bit RGBA PNG. On failure
// returns false with the reason in *error.
bool WritePng(const std::string& path, const DWORD* pixels, int width, int height,
              std::string* error);

}  // namespace kvtool
