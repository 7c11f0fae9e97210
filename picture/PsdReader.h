// Photoshop documents (version 1): the header, and the merged picture at depths 8 and 16
// decoded over any file (a file on disk, or a memory file for tests and fuzzing).
#pragma once

#include <cstddef>

#include "platform/File.h"
#include "platform/Geometry.h"

class FileReader;

// Colour modes of the header.
enum : short {
  KV_PSD_BITMAP = 0,
  KV_PSD_GRAYSCALE = 1,
  KV_PSD_INDEXED = 2,
  KV_PSD_RGB = 3,
  KV_PSD_CMYK = 4,
  KV_PSD_MULTICHANNEL = 7,
  KV_PSD_DUOTONE = 8,
  KV_PSD_LAB = 9,
};

// The 26-byte file header: signature "8BPS", version 1, six reserved zero bytes, then these
// fields, big-endian. Every field is -1 until a header has been accepted.
struct PsdHeader {
  short channels = -1;
  LONG height = -1;
  LONG width = -1;
  short depth = -1;  // bits per channel sample
  short mode = -1;

  static constexpr std::size_t kSize = 26;
  // Reads the header at the reader's position and stores its fields when signature, version
  // and reserved bytes are right. False, with `header` untouched and the reason recorded,
  // otherwise or when the file is shorter.
  static bool Read(FileReader& in, PsdHeader& header);
};

// The picture information of a PSD file: rect (0, 0, width, height) and bits = depth. 1 when
// the header was accepted; null pointers are not written. Never throws.
int KvPsdPictureInfo(const CString& path, RECT* rect, int* bits);
// The facts of that header (see KvMediaGetPicFacts), accepted as above and when it describes
// at least one pixel; `facts` is written only on success. Never throws.
struct SKvPicFacts;
int KvPsdPictureFacts(const CString& path, SKvPicFacts& facts);

// Decodes the PSD at the file's start. The rect is always set: (0, 0, width, height) from the
// header, also when a later step fails, and (0, 0, -1, -1) when the header is refused. Null
// for anything it cannot or will not read. Never throws.
DWORD* KvDecodePsd(CFile& file, CRect& rect);

// An opaque BGRA pixel from CIE Lab (lightness 0 to 100, a and b -128 to 127) over D65,
// through sRGB.
DWORD KvPsdLabPixel(int lightness, int a, int b);
