// The library's own resources: its string table and dialog texts, reached through its
// module handle.
#pragma once

#include "KvMediaFile/KvMediaApi.h"
#include "platform/Module.h"

// Template ids of the library's dialogs.
enum : UINT {
  KV_IDD_OPEN_PICTURE = 1000,
  KV_IDD_PICFILE_PANEL = 8002,
};

// This library's module handle, for loading its strings and bitmaps with the host's
// resource calls.
KV_MEDIA_API HINSTANCE KvMediaGetResourceHandle();
