// The search of a folder for its valid pictures, kept fast by a per-folder catalogue of the
// records found last time (declared in the exported header).
#pragma once

#include <vector>

#include "KvMediaFile/KvClipMedia.h"

// The extension text split at every comma: the text before the first, between two, and
// after the last (one token when there is no comma).
std::vector<CString> KvSplitExtensions(const CString& extensions);
