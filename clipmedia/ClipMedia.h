// Clip-media records and their collection (declared in the exported header), and the
// archive-file helpers the search and the exported load and store calls share.
#pragma once

#include <string>

#include "KvMediaFile/KvClipMedia.h"
#include "host/SafeSave.h"

// A short reason for an archive that did not load ("truncated", "unknown class" ...).
std::string KvArchiveFailureText(const CException& e);

// Reads the whole of the archive file at `path` into `object`. False with the reason
// recorded (KvFail) when it cannot be opened, is damaged, or holds bytes past the object.
bool KvLoadArchiveFile(CKvObject& object, const CString& path);

// Writes `object` as an archive file at `path` through the safe writer (a cache: only as a
// regular file, see KvSaveKind): archived in memory first, so that a failed archive never
// touches the file. The reason of a failure is recorded.
enum class KvStoreResult { kArchiveFailed, kNotWritten, kStored };
KvStoreResult KvStoreArchiveFile(CKvObject& object, const CString& path,
                                 KvSaveKind kind = KvSaveKind::kUserFile);
