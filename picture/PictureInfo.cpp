// Picture information and facts: the format table picks the codec, which reads the header.
#include <string>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "picture/CodecEntry.h"
#include "picture/PictureFormats.h"

namespace {
// Where the extension names no picture type, the content decides, as in the load dispatch.
const KvPictureFormat* FactsFormat(const CString& path) {
  const KvPictureFormat* format = KvFindPictureFormat(path, true);
  if (format && format->facts) return format;
  const KvPictureFormat* content = KvPictureFormatOfType(KvSniffPictureType(path));
  return content && content->facts ? content : nullptr;
}
}  // namespace

int KvMediaGetPicInfo(CString path, RECT* rect, int* bits) {
  KvClearFailure();
  if (!KvDoesFileExist(path)) return KvFail("no such file");
  const KvPictureFormat* format = KvFindPictureFormat(path, true);
  // An extension the table does not read: nothing is known, nothing is written.
  if (!format || !format->information) return 1;
  return KvGuarded([&] { return format->information(path, rect, bits); });
}

int KvMediaGetPicFacts(CString path, SKvPicFacts* facts) {
  KvClearFailure();
  if (!KvRequireFile(path)) return 0;
  return KvGuarded([&]() -> int {
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
  });
}
