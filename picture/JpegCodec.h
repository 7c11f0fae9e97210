// JPEG pictures through the imaging layer: decoding bytes (for tests and fuzzing) and the
// picture information.
#pragma once

#include <span>

#include "platform/Geometry.h"
#include "platform/String.h"

// The JPEG in `bytes` as a picture buffer, or null.
DWORD* KvDecodeJpeg(std::span<const BYTE> bytes, CRect& rect);
// Decodes strictly: 0, with libjpeg's words, also for corrupt data that the loader fills in.
int KvJpegCheckFile(const CString& path);
// Size of a JPEG file without decoding it. `bits` is set to 32 first, also when the file
// turns out not to be a JPEG (result 0).
int KvJpegPictureInfo(const CString& path, RECT* rect, int* bits);
// The facts of the frame header (see KvMediaGetPicFacts): size, components, and precision
// times components as stored bits; no alpha. 0, with the loader's reason, when the headers
// do not read; `facts` is written only on success.
struct SKvPicFacts;
int KvJpegPictureFacts(const CString& path, SKvPicFacts& facts);
