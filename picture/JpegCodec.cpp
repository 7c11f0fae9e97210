// JPEG load, save and header information, over the imaging layer.
#include <new>
#include <span>
#include <string>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/MemBlock.h"
#include "host/SafeSave.h"
#include "picture/JpegCodec.h"
#include "picture/JpegImaging.h"
#include "picture/PictureBuffer.h"
#include "platform/GlobalMemory.h"

// The codec's entry points below the exported API: decoding from memory (for tests and
// fuzzing) and the header information that KvMediaGetPicInfo reports.

namespace {

constexpr const char* kNotJpeg = "not a JPEG file, or its header is damaged";

// The rect is (0, 0, 0, 0) unless a picture comes back. With `corruption`, libjpeg's words
// for corrupt data it filled in as best it could.
template <typename Source>
DWORD* LoadJpeg(const Source& source, CRect& rect, std::string* corruption = nullptr) {
  rect = CRect(0, 0, 0, 0);
  try {
    KvJpegReader reader;
    // libjpeg's own buffers (whole-picture coefficients of progressive files) stay within
    // the picture limit too.
    reader.SetMemoryLimit(KvGetMaxPictureBytes());
    if (!reader.Open(source)) {
      KvFail(kNotJpeg);
      return nullptr;
    }
    if (!reader.CanHoldPicture()) {
      KvFail("the file is too short for the picture it announces");
      return nullptr;
    }
    PictureBuffer picture = PictureBuffer::Allocate(reader.width(), reader.height());
    if (!picture) return nullptr;
    if (!reader.Decode(picture.data())) {
      KvFail("the JPEG data is damaged or cut short");
      return nullptr;
    }
    rect = CRect(0, 0, picture.width(), picture.height());
    if (corruption) *corruption = reader.corruption();
    return picture.Release();
  } catch (const std::bad_alloc&) {
    KvFail("out of memory");
    return nullptr;
  }
}

}  // namespace

DWORD* KvDecodeJpeg(std::span<const BYTE> bytes, CRect& rect) { return LoadJpeg(bytes, rect); }

DWORD* KvMediaLoadJPGFile(CString path, CRect& rect) {
  KvClearFailure();
  return LoadJpeg(path, rect);
}

int KvJpegCheckFile(const CString& path) {
  KvClearFailure();
  CRect rect;
  std::string corruption;
  const KvGlobalPtr picture(LoadJpeg(path, rect, &corruption));
  if (!picture) return 0;
  return corruption.empty() || KvFail("the JPEG data is corrupt: " + corruption);
}

DWORD* KvMediaLoadJPGFile(CString path, CRect& rect, int& value) {
  value = 4;
  return KvMediaLoadJPGFile(path, rect);
}

int KvMediaSaveJPGFile(CString path, DWORD* pixels, CSize size, CRect /*rect*/) {
  if (!pixels || size.cx <= 0 || size.cy <= 0) return 0;
  try {
    std::vector<BYTE> jpeg;
    if (!KvJpegEncode(pixels, size.cx, size.cy, jpeg)) return 0;
    // Written beside the target and renamed over it: a failed save leaves the old file.
    SafeFileWriter out(path);
    if (!out.Open() || !out.Write(jpeg.data(), jpeg.size())) return 0;
    return out.Commit() ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int KvJpegPictureInfo(const CString& path, RECT* rect, int* bits) {
  if (bits) *bits = 32;
  try {
    KvJpegReader reader;
    if (!reader.Open(path)) return 0;
    if (rect) *rect = RECT{0, 0, reader.width(), reader.height()};
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

int KvJpegPictureFacts(const CString& path, SKvPicFacts& facts) {
  try {
    KvJpegReader reader;
    if (!reader.Open(path)) return KvFail(kNotJpeg);
    facts.width = reader.width();
    facts.height = reader.height();
    facts.channels = reader.components();
    facts.storedBits = reader.precision() * reader.components();
    facts.alpha = false;  // CMYK files load as colour too
    return 1;
  } catch (const std::bad_alloc&) {
    return KvFail("out of memory");
  }
}
