// Library-wide state made by KvMediaFileOpen, for the units that read it.
#pragma once

#include "platform/Types.h"

// 256 x 256 entries, [a][b] = a * b; filled by KvMediaFileOpen.
const WORD* KvProductTable();
// 256 entries, min(255, trunc(v * 1.0079 + 0.5)); filled by KvMediaFileOpen.
const BYTE* KvLevelTable();
