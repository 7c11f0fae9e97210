#include "picture/PictureInfo.h"
#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "picture/BmpCodec.h"
#include "picture/PcxCodec.h"
#include "picture/PictureFormats.h"
#include "picture/TgaCodec.h"

// The codecs parse their own headers; picture information opens the file for them.
namespace {
template <int (*Read)(CFile&, RECT*, int*)>
int FromHeader(const CString& path, RECT* rect, int* bits) {
  CFile file;
  return KvOpenForReading(path, file) ? Read(file, rect, bits) : 0;
}
}  // namespace

int KvBmpPictureInfo(const CString& path, RECT* rect, int* bits) {
  return FromHeader<KvBmpHeaderInfo>(path, rect, bits);
}
int KvTgaPictureInfo(const CString& path, RECT* rect, int* bits) {
  return FromHeader<KvTgaHeaderInfo>(path, rect, bits);
}
int KvPcxPictureInfo(const CString& path, RECT* rect, int* bits) {
  return FromHeader<KvPcxHeaderInfo>(path, rect, bits);
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
