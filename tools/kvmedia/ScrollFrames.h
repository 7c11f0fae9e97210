// Scroll helpers shared by the commands and the demo.
#pragma once

#include <vector>

#include "platform/Geometry.h"
#include "platform/String.h"

namespace kvtool {

// Writes width x height pixels as a scroll file: rows for rolls (directions 0, 1), columns
// for crawls (2, 3).
bool WriteScrollFromPicture(const CString& path, DWORD direction, const DWORD* pixels, int width,
                            int height);

// A streamed frame in screen order: the ring buffer rotated so that the window's first row
// (column) comes first.
std::vector<DWORD> UnrollScrollRing(const std::vector<DWORD>& ring, CSize size, DWORD direction,
                                    CPoint ringPoint);

}  // namespace kvtool
