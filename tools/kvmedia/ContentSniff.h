// What a file's content shows it to be, whatever its name says: for the note of `info` and
// for telling scroll files.
#pragma once

#include <string>

namespace kvtool {

// The type that the file's first bytes (or a TGA footer) show, "" when none: "TGA", "BMP",
// "GIF", "JPEG", "PNG", "PSD", "PCX" or "scroll".
std::string SniffFileType(const std::string& path);

}  // namespace kvtool
