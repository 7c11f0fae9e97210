#include <array>
#include <cstdint>
#include <cstring>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "picture/ByteReader.h"
#include "picture/PictureFormats.h"
#include "picture/PictureInfo.h"
#include "picture/TgaCodec.h"

namespace {

bool ReadAt(CFile& file, ULONGLONG offset, BYTE* out, UINT bytes) {
  file.Seek(static_cast<LONGLONG>(offset), CFile::begin);
  return file.Read(out, bytes) == bytes;
}

bool OpenShared(const CString& path, CFile& file) {
  return file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary) != FALSE;
}

}  // namespace

int KvBmpPictureInfo(const CString& path, RECT* rect, int* bits) {
  CFile file;
  if (!OpenShared(path, file)) return 0;
  std::array<BYTE, 44> info{};
  BYTE sig[2] = {};
  if (!ReadAt(file, 0, sig, 2) || sig[0] != 'B' || sig[1] != 'M') return 0;
  if (!ReadAt(file, 14, info.data(), static_cast<UINT>(info.size()))) return 0;
  ByteReader r(info);
  r.skip(4);
  const LONG width = r.i32le(), height = r.i32le();
  r.skip(2);
  const WORD bitCount = r.u16le();
  // A height of -2^31 has no positive counterpart.
  if (width <= 0 || height == 0 || height == INT32_MIN) return 0;
  const LONG absHeight = height < 0 ? -height : height;
  if (rect) *rect = RECT{0, 0, width, absHeight};
  if (bits) *bits = bitCount;
  return 1;
}

int KvTgaPictureInfo(const CString& path, RECT* rect, int* bits) {
  CFile file;
  if (!OpenShared(path, file)) return 0;
  std::array<BYTE, TgaHeader::kSize> bytes{};
  if (!ReadAt(file, 0, bytes.data(), TgaHeader::kSize)) return 0;
  const TgaHeader h = TgaHeader::Parse(bytes);
  if (!h.IsAcceptable()) return 0;
  // The footer is looked at but not used: version-1 files have none.
  if (rect) *rect = RECT{h.xOrigin, h.yOrigin, h.xOrigin + h.width, h.yOrigin + h.height};
  if (bits) *bits = h.pixelDepth;
  return 1;
}

int KvPcxPictureInfo(const CString& path, RECT* rect, int* bits) {
  CFile file;
  if (!OpenShared(path, file)) return 0;
  std::array<BYTE, 128> head{};
  if (!ReadAt(file, 0, head.data(), static_cast<UINT>(head.size())) || head[0] != 10) return 0;
  ByteReader r(head);
  r.skip(4);
  const short xmin = r.i16le(), ymin = r.i16le(), xmax = r.i16le(), ymax = r.i16le();
  if (rect) *rect = RECT{xmin, ymin, xmax + 1, ymax + 1};
  if (bits) *bits = head[3] * head[65];
  return 1;
}

int KvMediaGetPicInfo(CString path, RECT* rect, int* bits) {
  KvClearFailure();
  if (!KvDoesFileExist(path)) return KvFail("no such file");
  const KvPictureFormat* format = KvFindPictureFormat(path, true);
  // An extension the table does not read: nothing is known, nothing is written.
  if (!format || !format->information) return 1;
  try {
    return format->information(path, rect, bits);
  } catch (const CException&) {
    return KvFail("cannot be read");
  }
}
