// PCX pictures: the decoder over a whole file held in memory, as the loader reads it.
#pragma once

#include <span>

#include "platform/Geometry.h"
#include "platform/Types.h"

// Decodes the PCX file in `file`. Null for anything it cannot or will not read; the rect is
// set only on success. Never throws.
DWORD* KvDecodePcx(std::span<const BYTE> file, CRect& rect);
