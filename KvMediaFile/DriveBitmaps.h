// The pictures of the picture panel's drive list: 16 x 16 bitmap resources of the library's
// module. Their background is white, which the panel masks out.
#pragma once

#include <cstddef>

#include "platform/Module.h"

enum : UINT {
  KV_IDB_DRIVE_FLOPPY = 1200,
  KV_IDB_DRIVE_FIXED = 1201,
  KV_IDB_DRIVE_REMOTE = 1202,
  KV_IDB_DRIVE_OPTICAL = 1203,
};

inline constexpr std::size_t kKvDriveBitmapCount = 4;
extern const KvBitmapResource kKvDriveBitmaps[kKvDriveBitmapCount];
