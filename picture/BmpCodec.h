// BMP pictures: the decoder over any file (a file on disk, or a bitmap resource or test data
// in a memory file).
#pragma once

#include "platform/File.h"
#include "platform/Geometry.h"
#include "platform/String.h"

// Decodes the device-independent bitmap whose information header (of 40 bytes; the 12-byte
// core header and the later ones of 52 to 124 bytes are read too) starts at the
// file's current position. A pixel offset other than 0 is sought to from the start of the
// file before the rows are read; with 0 the rows follow the colour table, as in a bitmap
// resource. Null for anything it cannot or will not read; the rect is set only on success.
// Never throws.
DWORD* KvDecodeBmp(CFile& file, ULONGLONG pixelOffset, CRect& rect);

// Decodes a BMP file: the 14-byte file header at the start of the file, then as above.
DWORD* KvDecodeBmpFile(CFile& file, CRect& rect);

// Picture information from the headers of the BMP file at `path`: the rect (0, 0, width,
// absolute height) and the bits per pixel. 0 when the file is refused (the reason recorded),
// 1 otherwise. Either pointer may be null.
int KvBmpPictureInfo(const CString& path, RECT* rect, int* bits);

struct SKvPicFacts;
// The facts of that file's headers (see KvMediaGetPicFacts): the whole information header is
// read, checked as the decoder checks it, and the pixel layout must be one the decoder reads,
// since alpha depends on it. 0 when refused (the decoder's reason recorded); `facts` is
// written only on success.
int KvBmpPictureFacts(const CString& path, SKvPicFacts& facts);
