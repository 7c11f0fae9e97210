// The image loader: one DevIL image behind one lock. DevIL keeps its bound image as
// process-wide state, so every operation holds the lock for its whole run.
#pragma once

#include <span>
#include <vector>

#include "platform/Geometry.h"
#include "platform/String.h"
#include "platform/Sync.h"
#include "platform/Types.h"

// Library codes of pixel formats: 0 colour index, 1 RGB, 2 RGBA, 3 BGR, 4 BGRA, 5 luminance,
// 6 luminance and alpha; -1 for anything else.
// Library codes of sample types: 0 byte, 1 unsigned byte, 2 short, 3 unsigned short, 4 int,
// 5 unsigned int, 6 float, 8 double; -1 for anything else.
struct SImageInfo {
  DWORD width = 0;  // rounded up so that a row is a multiple of 4 bytes
  DWORD height = 0;
  DWORD depth = 0;
  DWORD bytesPerPixel = 0;
  DWORD rowBytes = 0;
  DWORD totalBytes = 0;
  int formatCode = 0;
  int typeCode = 0;
  LONGLONG imageCount = 1;
  DWORD imageWidth = 0;  // the image's own width
};

// Why a PNG's bytes are refused before the image library sees them, or null when they may
// go on. The library's PNG reader follows a chunk length past the end of the file without
// stopping, so the chunk list must hold together within the file: the signature, IHDR first
// and 13 bytes long, every length below 2^31 and within the file, IEND reached. The picture
// IHDR declares must also fit the picture limit and be within reach of the image data the
// file holds. CRCs are left to the reader.
const char* KvPngRefusal(std::span<const BYTE> bytes);

int KvImageFormatToDevil(int code);
int KvImageFormatFromDevil(int format);
int KvImageTypeToDevil(int code);
int KvImageTypeFromDevil(int type);

class CImageLoader {
 public:
  // Initialises DevIL and binds the loader's image.
  CImageLoader();
  // Deletes the image and shuts DevIL down.
  virtual ~CImageLoader();
  CImageLoader(const CImageLoader&) = delete;
  CImageLoader& operator=(const CImageLoader&) = delete;

  // Loads the file and describes it; 1 on success. Samples wider than a byte are described
  // as bytes: the copy asks DevIL for them so.
  int GetImageInfo(const wchar_t* path, SImageInfo* info);
  // Copies the pixels of image `imageIndex` into `dest` (info->totalBytes bytes), rows
  // info->rowBytes apart. `info` comes from GetImageInfo on the same path; a file unchanged
  // since then is not decoded again.
  int CopyImagePixels(const wchar_t* path, SImageInfo* info, BYTE* dest, int imageIndex);
  // The first image as a picture buffer at its own width, converted straight from DevIL's
  // pixels under one hold of the lock: what GetImageInfo, CopyImagePixels and the conversion
  // give together, without the intermediate copy. Null (with `handled` false) for pictures
  // this path does not take (palettes, wider samples, several images): those go the long way.
  DWORD* LoadBgra(const wchar_t* path, CRect& rect, bool& handled);

 private:
  // Loads a file's bytes (checked by KvPngRefusal) into the bound image, unless it already
  // holds those bytes. Called under the lock.
  bool Load(std::vector<BYTE>& bytes);

  unsigned m_image = 0;
  CCriticalSection m_lock;
  std::vector<BYTE> m_loaded;  // the bytes the bound image was decoded from
};

// Picture information of a PNG through the loader: the picture's own width, and its bytes
// (not bits) per pixel. 0 when there is no loader or the file does not load.
int KvPngInfo(const CString& path, RECT* rect, int* bits);
// The facts of a PNG (see KvMediaGetPicFacts) from its chunks up to the image data, read
// without the image library (so without its lock, and before KvMediaFileOpen too). Refused
// with KvPngRefusal's reasons for what it checks of those chunks, and for a size of 0;
// `facts` is written only on success.
struct SKvPicFacts;
int KvPngFacts(const CString& path, SKvPicFacts& facts);

// The library's one loader, made on first use (thread-safe); null, with the reason recorded,
// only when it cannot be made. KvDestroyImageLoader (KvMediaFileClose) ends it; no loader
// operation may be running then.
CImageLoader* KvImageLoader();
void KvDestroyImageLoader();
