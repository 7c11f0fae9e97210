// JPEG pictures through the imaging layer: decoding bytes (for tests and fuzzing) and the
// picture information.
#pragma once

#include <span>

#include "platform/Geometry.h"
#include "platform/String.h"

// The JPEG in `bytes` as a picture buffer, or null.
DWORD* KvDecodeJpeg(std::span<const BYTE> bytes, CRect& rect);
// Size of a JPEG file without decoding it. `bits` is set to 32 first, also when the file
// turns out not to be a JPEG (result 0).
int KvJpegPictureInfo(const CString& path, RECT* rect, int* bits);
