// PCX pictures: the decoder over any file (a file on disk, or bytes in memory for tests and
// fuzzing), and the header's picture information.
#pragma once

#include <span>

#include "platform/File.h"
#include "platform/Geometry.h"
#include "platform/String.h"
#include "platform/Types.h"

// Decodes the PCX at the file's start. Null for anything it cannot or will not read, the
// reason recorded; the rect is set only on success. Never throws.
DWORD* KvDecodePcx(CFile& file, CRect& rect);
DWORD* KvDecodePcx(std::span<const BYTE> bytes, CRect& rect);

// Picture information from the 128-byte header of the PCX file at `path`: the rect (x min,
// y min, x max + 1, y max + 1) and bits per pixel times planes. 0 when the header is short or
// its first byte is not 10 (the reason recorded), 1 otherwise. Either pointer may be null.
int KvPcxPictureInfo(const CString& path, RECT* rect, int* bits);
// The facts of that header (see KvMediaGetPicFacts), accepted as above and when it describes
// at least one pixel; `facts` is written only on success.
struct SKvPicFacts;
int KvPcxPictureFacts(const CString& path, SKvPicFacts& facts);
