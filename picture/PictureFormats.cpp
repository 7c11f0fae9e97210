#include "picture/PictureFormats.h"

#include <array>
#include <cstring>

#include "KvMediaFile/KvPicture.h"
#include "picture/BmpCodec.h"
#include "picture/GifDecoder.h"
#include "picture/ImageLoader.h"
#include "picture/JpegCodec.h"
#include "picture/PcxCodec.h"
#include "picture/PsdReader.h"
#include "picture/TgaCodec.h"
#include "platform/File.h"
#include "platform/Paths.h"

namespace {

constexpr KvPictureFormat kFormats[] = {
    {L".TGA", KV_PIC_TGA, "TGA", &KvMediaLoadTGAFile, &KvTgaPictureInfo, &KvTgaPictureFacts,
     &KvMediaSaveTGAFile, true, nullptr},
    {L".BMP", KV_PIC_BMP, "BMP", &KvMediaLoadBMPFile, &KvBmpPictureInfo, &KvBmpPictureFacts,
     &KvMediaSaveBMPFile, true, nullptr},
    {L".GIF", KV_PIC_GIF, "GIF", &KvMediaLoadGIFFile, &KvGifPictureInfo, &KvGifPictureFacts,
     nullptr, false, &KvGifCheckFile},
    {L".PCX", KV_PIC_PCX, "PCX", &KvMediaLoadPCXFile, &KvPcxPictureInfo, &KvPcxPictureFacts,
     &KvMediaSavePCXFile, false, nullptr},
    {L".JPG", KV_PIC_JPG, "JPEG", &KvMediaLoadJPGFile, &KvJpegPictureInfo, &KvJpegPictureFacts,
     &KvMediaSaveJPGFile, false, &KvJpegCheckFile},
    {L".PNG", KV_PIC_PNG, "PNG", &KvMediaLoadPNGFile, &KvPngInfo, &KvPngFacts, nullptr, false,
     nullptr},
    {L".PSD", KV_PIC_PSD, "PSD", &KvMediaLoadPSDFile, &KvPsdPictureInfo, &KvPsdPictureFacts,
     nullptr, false, nullptr},
    {L".SVE", KV_PIC_SVE, "motion movie", nullptr, nullptr, nullptr, nullptr, false, nullptr},
    {L".FLI", KV_PIC_FLI, "FLIC movie", nullptr, nullptr, nullptr, nullptr, false, nullptr},
    // Picture information and facts also read device-independent bitmaps, which have no type
    // code.
    {L".DIB", KV_PIC_UNKNOWN, "BMP", nullptr, &KvBmpPictureInfo, &KvBmpPictureFacts, nullptr, false,
     nullptr},
};

}  // namespace

std::span<const KvPictureFormat> KvPictureFormats() { return kFormats; }

const KvPictureFormat* KvFindPictureFormat(const CString& path, bool informationOnly) {
  const CString ext = KvPathExtension(path);
  for (const KvPictureFormat& f : kFormats)
    if ((f.type != KV_PIC_UNKNOWN || informationOnly) && _wcsicmp(ext, f.extension) == 0) return &f;
  return nullptr;
}

const KvPictureFormat* KvPictureFormatOfType(int type) {
  for (const KvPictureFormat& f : kFormats)
    if (f.type == type && type != KV_PIC_UNKNOWN) return &f;
  return nullptr;
}

int KvSniffPictureType(const CString& path) {
  CFile file;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return KV_PIC_UNKNOWN;
  std::array<BYTE, 16> head{};
  char footer[18] = {};
  std::size_t n = 0;
  bool tgaFooter = false;
  try {
    n = file.Read(head.data(), static_cast<UINT>(head.size()));
    const ULONGLONG length = file.GetLength();
    if (length >= 44) {
      file.Seek(static_cast<LONGLONG>(length - 18), CFile::begin);
      tgaFooter = file.Read(footer, 18) == 18 && std::memcmp(footer, "TRUEVISION-XFILE.", 18) == 0;
    }
  } catch (const CException&) {
    return KV_PIC_UNKNOWN;
  }
  const auto starts = [&](const char* magic, std::size_t len) {
    return n >= len && std::memcmp(head.data(), magic, len) == 0;
  };
  if (starts("BM", 2)) return KV_PIC_BMP;
  if (starts("GIF8", 4)) return KV_PIC_GIF;
  if (starts("\xFF\xD8\xFF", 3)) return KV_PIC_JPG;
  if (starts("\x89PNG\r\n\x1A\n", 8)) return KV_PIC_PNG;
  if (starts("8BPS", 4)) return KV_PIC_PSD;
  // PCX has a one-byte signature and a version byte; the encoding byte is 0 or 1.
  if (n >= 4 && head[0] == 10 && head[1] <= 5 && head[2] <= 1) return KV_PIC_PCX;
  if (tgaFooter) return KV_PIC_TGA;
  return KV_PIC_UNKNOWN;
}
