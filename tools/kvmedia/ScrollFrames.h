// Scroll helpers shared by the commands and the demo.
#pragma once

#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/String.h"

namespace kvtool {

class Progress;

// Writes width x height pixels as a scroll file: rows for rolls (directions 0, 1), columns
// for crawls (2, 3). The file is written under a temporary name and takes its own only when
// whole. On failure returns false with the reason in *error.
bool WriteScrollFromPicture(const std::string& path, DWORD direction, const DWORD* pixels,
                            int width, int height, std::string* error,
                            Progress* progress = nullptr);

// A streamed frame in screen order: the ring buffer rotated so that the window's first row
// (column) comes first.
std::vector<DWORD> UnrollScrollRing(const std::vector<DWORD>& ring, CSize size, DWORD direction,
                                    CPoint ringPoint);

}  // namespace kvtool
