// Library-wide tables, built on first use (KvMediaFileOpen builds them up front).
#pragma once

#include "platform/Types.h"

// 256 x 256 entries, [a][b] = a * b.
const WORD* KvProductTable();
// 256 entries, min(255, trunc(v * 1.0079 + 0.5)).
const BYTE* KvLevelTable();
