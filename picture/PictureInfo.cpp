#include "picture/PictureInfo.h"

#include <new>
#include <string>

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
template <auto Read, class... Out>
int FromHeader(const CString& path, Out&&... out) {
  CFile file;
  return KvOpenForReading(path, file) ? Read(file, out...) : 0;
}

// Where the extension names no picture type, the content decides, as in the load dispatch.
const KvPictureFormat* FactsFormat(const CString& path) {
  const KvPictureFormat* format = KvFindPictureFormat(path, true);
  if (format && format->facts) return format;
  const KvPictureFormat* content = KvPictureFormatOfType(KvSniffPictureType(path));
  return content && content->facts ? content : nullptr;
}
}  // namespace

int KvBmpPictureInfo(const CString& path, RECT* rect, int* bits) {
  return FromHeader<KvBmpHeaderInfo>(path, rect, bits);
}
int KvBmpPictureFacts(const CString& path, SKvPicFacts& facts) {
  return FromHeader<KvBmpHeaderFacts>(path, facts);
}
int KvTgaPictureInfo(const CString& path, RECT* rect, int* bits) {
  return FromHeader<KvTgaHeaderInfo>(path, rect, bits);
}
int KvTgaPictureFacts(const CString& path, SKvPicFacts& facts) {
  return FromHeader<KvTgaHeaderFacts>(path, facts);
}
int KvPcxPictureInfo(const CString& path, RECT* rect, int* bits) {
  return FromHeader<KvPcxHeaderInfo>(path, rect, bits);
}
int KvPcxPictureFacts(const CString& path, SKvPicFacts& facts) {
  return FromHeader<KvPcxHeaderFacts>(path, facts);
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

int KvMediaGetPicFacts(CString path, SKvPicFacts* facts) {
  KvClearFailure();
  if (!KvRequireFile(path)) return 0;
  try {
    const KvPictureFormat* format = FactsFormat(path);
    if (!format) return KvFail("not a picture type this library reads");
    SKvPicFacts read;
    if (!format->facts(path, read)) {
      // A file that is another type than its extension says is told as such, as by loading.
      const int content = KvSniffPictureType(path);
      if (format->type != KV_PIC_UNKNOWN && content != KV_PIC_UNKNOWN && content != format->type)
        KvSetFailure(std::string("content is ") + KvPictureFormatOfType(content)->name + ", not " +
                     format->name);
      return 0;
    }
    // The one extension without a type code names device-independent bitmaps: BMP files.
    read.type = format->type != KV_PIC_UNKNOWN ? format->type : KV_PIC_BMP;
    if (facts) *facts = read;
    return 1;
  } catch (const CException&) {
    return KvFail("cannot be read");
  } catch (const std::bad_alloc&) {
    return KvFail("out of memory");
  }
}
