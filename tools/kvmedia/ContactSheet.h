// Contact sheets: the thumbnails of clip-media records in a grid, each over its name, drawn
// with a small built-in 5 x 7 font (printable ASCII; any other character is drawn as '?').
#pragma once

#include <string>
#include <vector>

#include "KvMediaFile/KvClipMedia.h"

namespace kvtool {

// Writes the sheet as a PNG at `out` through the safe writer; the reason of a failure, or "".
std::string WriteContactSheet(const std::string& out,
                              const std::vector<const CKvClipMedia*>& items);

}  // namespace kvtool
