// GIF pictures: the decoder of a file's first image, over any file (a file on disk, or a memory
// file for tests and fuzzing), and the header information.
#pragma once

#include "platform/File.h"
#include "platform/Geometry.h"

// What a decode met on its way, beside the picture.
struct GifDecodeNotes {
  int badCodes = 0;      // codes above the next free table slot, decoded as if equal to it
  bool allRows = false;  // every row of the image was written
  bool endCode = false;  // the end code was read (before any further code after the last row)
  // The image data (its sub-blocks, or the file) ended before the end code.
  bool dataEnded = false;
  // After the image data ended with its empty sub-block, the blocks that follow (extensions,
  // further images) lead to the trailer. Looked for only when the notes are asked for.
  bool trailer = false;
};

// Decodes the first image of the GIF at the file's start; every pixel is opaque. Null when
// the file is not a GIF, holds no image, or its image cannot be decoded. Data that stops
// early leaves the rows it did not reach transparent black. The rect becomes (0, 0, width,
// height) of the image descriptor as soon as one is read, also when its image then fails.
// Never throws.
DWORD* KvDecodeGif(CFile& file, CRect& rect, GifDecodeNotes* notes = nullptr);

// Decodes the GIF strictly: 1 when the first image decodes whole up to its end code, with no
// code beyond the table, and the file goes on whole to its trailer; else 0 with the first
// damage recorded ("the data ends before the end code"). The loader passes such damage over.
int KvGifCheckFile(const CString& path);

// The logical screen size and (packed AND 7) + 1 from the file's first 14 bytes, accepted
// when they start with "GIF8" and both sizes are non-zero. 1 when accepted; null pointers
// are not written.
int KvGifPictureInfo(const CString& path, RECT* rect, int* bits);
// The facts of the same bytes (see KvMediaGetPicFacts), accepted as above: the screen size,
// stored bits (packed AND 7) + 1, three channels, no alpha. `facts` is written only on
// success. Never throws.
struct SKvPicFacts;
int KvGifPictureFacts(const CString& path, SKvPicFacts& facts);
