// TGA pictures: the header, and the decoder over any file (a file on disk, or a memory file
// for tests and fuzzing).
#pragma once

#include <array>

#include "platform/File.h"
#include "platform/Geometry.h"
#include "platform/String.h"

struct TgaHeader {
  BYTE idLength = 0;
  BYTE colorMapType = 0;
  BYTE imageType = 0;
  WORD colorMapFirst = 0;
  WORD colorMapLength = 0;
  BYTE colorMapEntryBits = 0;
  WORD xOrigin = 0;
  WORD yOrigin = 0;
  WORD width = 0;
  WORD height = 0;
  BYTE pixelDepth = 0;
  BYTE descriptor = 0;

  static constexpr std::size_t kSize = 18;
  static TgaHeader Parse(const std::array<BYTE, kSize>& bytes);
  std::array<BYTE, kSize> Serialize() const;
  bool IsRunLength() const { return imageType >= 9; }
  bool IsColorMapped() const { return imageType == 1 || imageType == 9; }
  // Grey pictures of 16 bits are a grey byte and an alpha byte.
  bool IsGreyAlpha() const { return pixelDepth == 16 && (imageType == 3 || imageType == 11); }
  // The checks every reader of TGA headers makes: sizes, colour-map type, image type. A
  // refusal records its reason.
  bool IsAcceptable() const;
};

class FileReader;
struct SKvPicFacts;

// Reads the 18-byte header at the reader's position and checks it; false, with the reason
// recorded, when it is short or not acceptable.
bool KvReadTgaHeader(FileReader& in, TgaHeader& header);

// Picture information from the header of the TGA file at `path`: the rect (x origin,
// y origin, x origin + width, y origin + height) and the pixel depth. 0 when the header is
// refused (the reason recorded), 1 otherwise. Either pointer may be null.
int KvTgaPictureInfo(const CString& path, RECT* rect, int* bits);
// The facts of that header (see KvMediaGetPicFacts), accepted as above; `facts` is written
// only on success.
int KvTgaPictureFacts(const CString& path, SKvPicFacts& facts);

// Decodes the TGA at the file's start. Null for anything it cannot or will not read; the
// rect is set only on success. Never throws.
DWORD* KvDecodeTga(CFile& file, CRect& rect);
