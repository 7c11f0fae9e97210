// Writing a picture buffer by the output file's extension, for the commands that make pictures.
#pragma once

#include <string>

#include "platform/Geometry.h"

namespace kvtool {

// Pictures above this many pixels show their progress.
constexpr long long kBigPicture = 20'000'000;

// OUT's extension names a type that WritePicture writes: .tga, .bmp, .pcx, .jpg, .jpeg, .png.
bool IsPictureOutput(const std::string& out);
inline constexpr const char* kPictureOutputRule =
    "OUT must end in .tga, .bmp, .pcx, .jpg, .jpeg or .png";

// Writes `area` (inside the buffer) of a `size` buffer to OUT through the safe writer: TGA, BMP
// and PCX with the library's savers, JPEG with its saver, PNG lossless with alpha. Returns ""
// or the reason it could not.
std::string WritePicture(const std::string& out, DWORD* pixels, CSize size, const CRect& area);

}  // namespace kvtool
