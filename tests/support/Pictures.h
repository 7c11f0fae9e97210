// Pictures saved by the library itself, for tests that need files of a kind rather than of
// chosen bytes. Suites that use it link the library.
#pragma once

#include <string>

namespace kvtest {

// Writes a w x h 32-bit TGA (or BMP, by the extension) whose pixels depend on `seed`.
void WritePicture(const std::string& path, int w, int h, int seed);

}  // namespace kvtest
