// BMP pictures: the decoder over any file (a file on disk, or a bitmap resource or test data
// in a memory file).
#pragma once

#include "platform/File.h"
#include "platform/Geometry.h"

// Decodes the device-independent bitmap whose 40-byte information header starts at the
// file's current position. A pixel offset other than 0 is sought to from the start of the
// file before the rows are read; with 0 the rows follow the colour table, as in a bitmap
// resource. Null for anything it cannot or will not read; the rect is set only on success.
// Never throws.
DWORD* KvDecodeBmp(CFile& file, ULONGLONG pixelOffset, CRect& rect);

// Decodes a BMP file: the 14-byte file header at the start of the file, then as above.
DWORD* KvDecodeBmpFile(CFile& file, CRect& rect);
