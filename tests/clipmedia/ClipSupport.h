// Pictures in folders and records compared field by field, for the clip-media tests.
#pragma once

#include <string>
#include <vector>

#include "KvMediaFile/KvClipMedia.h"
#include "Pictures.h"

namespace kvtest {

// Sets a file's last-write time to `seconds` since 1970.
void SetWriteTime(const std::string& path, long long seconds);
// Replaces a file's bytes with junk of the same length, keeping its last-write time.
void SpoilKeepingState(const std::string& path);

// Every field a record holds, icon bytes included.
bool SameRecord(const CKvClipMedia& a, const CKvClipMedia& b);

// The list's records as pointers.
std::vector<CKvClipMedia*> Records(CKvObList& list);

}  // namespace kvtest
