#include "picture/ImageLoader.h"

#include <IL/il.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/ByteReader.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "host/MemBlock.h"
#include "host/RowConversion.h"
#include "picture/CodecEntry.h"
#include "picture/PictureBuffer.h"
#include "platform/File.h"
#include "platform/String.h"

namespace {

// Made on first use, or by KvMediaFileOpen; destroyed by KvMediaFileClose (and made again
// by a later use).
std::atomic<CImageLoader*> g_loader{nullptr};
std::mutex g_loaderMutex;

struct CodePair {
  int code;
  int devil;
};
constexpr CodePair kFormats[] = {
    {0, IL_COLOUR_INDEX}, {1, IL_RGB},       {2, IL_RGBA},           {3, IL_BGR},
    {4, IL_BGRA},         {5, IL_LUMINANCE}, {6, IL_LUMINANCE_ALPHA}};
constexpr CodePair kTypes[] = {{0, IL_BYTE},           {1, IL_UNSIGNED_BYTE}, {2, IL_SHORT},
                               {3, IL_UNSIGNED_SHORT}, {4, IL_INT},           {5, IL_UNSIGNED_INT},
                               {6, IL_FLOAT},          {8, IL_DOUBLE}};

int ToDevil(const CodePair* table, std::size_t n, int code) {
  for (std::size_t i = 0; i < n; ++i)
    if (table[i].code == code) return table[i].devil;
  return 0x05FF;
}
int FromDevil(const CodePair* table, std::size_t n, int devil) {
  for (std::size_t i = 0; i < n; ++i)
    if (table[i].devil == devil) return table[i].code;
  return -1;
}

int ChannelsOf(int formatCode) {
  switch (formatCode) {
    case 1:
    case 3:
      return 3;
    case 2:
    case 4:
      return 4;
    case 6:
      return 2;
    default:
      return 1;
  }
}

// The file's bytes; false when it cannot be read whole. The image library takes at most
// 4 GiB from memory.
bool ReadWholeFile(const wchar_t* path, std::vector<BYTE>& bytes) {
  return KvGuarded([&] {
    CFile file;
    if (!KvRequireFile(path) || !KvOpenForReading(path, file)) return false;
    const ULONGLONG length = file.GetLength();
    if (length > UINT32_MAX) return KvFail("the file is larger than 4 GiB");
    bytes.resize(static_cast<std::size_t>(length));
    return file.Read(bytes.data(), static_cast<UINT>(length)) == length ||
           KvFail("the file could not be read whole");
  });
}

constexpr BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr const char* kNoSignature = "no PNG signature";
constexpr const char* kEndsEarly = "the file ends before IEND";
constexpr const char* kHugeChunk = "a chunk length of 2^31 or more";
constexpr const char* kChunkPastEnd = "a chunk runs past the end of the file";
constexpr const char* kIhdrNotFirst = "IHDR is not the first chunk";
constexpr const char* kIhdrLength = "IHDR is not 13 bytes long";
constexpr const char* kUnknownColour = "an unknown colour type";

// Samples a pixel of a colour type stores (a palette index is one); 0 for no such type.
int PngSamples(BYTE colorType) {
  switch (colorType) {
    case 0:
    case 3:
      return 1;
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 0;
  }
}

// A transparency chunk gives grey, colour and palette pictures an alpha channel.
bool TakesTransparency(BYTE colorType) {
  return colorType == 0 || colorType == 2 || colorType == 3;
}

// A deflate stream gives at most 1032 bytes for each of its own (a 258-byte match in two bits).
constexpr ULONGLONG kMaxInflateRatio = 1032;

// The raw pixels of the format codes 1 to 6 (RGB, RGBA, BGR, BGRA, grey, grey and alpha).
constexpr RawPixel kPixelKinds[] = {RawPixel::Rgb24,  RawPixel::Rgba32, RawPixel::Bgr24,
                                    RawPixel::Bgra32, RawPixel::Grey8,  RawPixel::GreyAlpha8};

// Bytes in memory as the image library's input. Its own reader of memory copies a byte at a
// time; this one copies whole reads and answers at the end as it does: fewer items, no seek
// past the end, end of file from the last byte on.
struct MemoryInput {
  const BYTE* data;
  ILuint size;
  ILuint pos;
};

MemoryInput& InputOf(ILHANDLE handle) { return *static_cast<MemoryInput*>(handle); }
ILHANDLE ILAPIENTRY OpenNothing(ILconst_string) { return nullptr; }
void ILAPIENTRY CloseNothing(ILHANDLE) {}
ILboolean ILAPIENTRY InputEnded(ILHANDLE handle) {
  const MemoryInput& in = InputOf(handle);
  return in.pos >= in.size ? IL_TRUE : IL_FALSE;
}
ILint ILAPIENTRY InputByte(ILHANDLE handle) {
  MemoryInput& in = InputOf(handle);
  return in.pos < in.size ? in.data[in.pos++] : IL_EOF;
}
ILint ILAPIENTRY InputRead(void* out, ILuint size, ILuint count, ILHANDLE handle) {
  MemoryInput& in = InputOf(handle);
  // In 64 bits: a product of the two that wraps must not shrink the read to a wrong count.
  const auto bytes =
      static_cast<ILuint>(std::min<unsigned long long>(1ull * size * count, in.size - in.pos));
  std::memcpy(out, in.data + in.pos, bytes);
  in.pos += bytes;
  return static_cast<ILint>(size != 0 ? bytes / size : bytes);
}
ILint ILAPIENTRY InputSeek(ILHANDLE handle, ILint offset, ILint mode) {
  MemoryInput& in = InputOf(handle);
  const long long size = in.size;
  long long to = 0;
  switch (mode) {
    case IL_SEEK_SET:
      to = offset;
      break;
    case IL_SEEK_CUR:
      to = in.pos + static_cast<long long>(offset);
      break;
    case IL_SEEK_END:
      if (offset > 0) return 1;
      to = size + offset;
      break;
    default:
      return 1;
  }
  if (to < 0 || to > size) return 1;
  in.pos = static_cast<ILuint>(to);
  return 0;
}
ILint ILAPIENTRY InputTell(ILHANDLE handle) { return static_cast<ILint>(InputOf(handle).pos); }

}  // namespace

const char* KvPngRefusal(std::span<const BYTE> bytes) {
  ByteReader r(bytes);
  const std::span<const BYTE> signature = r.bytes(sizeof kPngSignature);
  if (!r.ok() || std::memcmp(signature.data(), kPngSignature, sizeof kPngSignature) != 0)
    return kNoSignature;
  DWORD width = 0, height = 0;
  BYTE depth = 0, colorType = 0;
  bool transparency = false;
  ULONGLONG imageData = 0;
  for (bool first = true;; first = false) {
    const DWORD length = r.u32be();
    const std::span<const BYTE> type = r.bytes(4);
    if (!r.ok()) return kEndsEarly;
    if (length >= 0x80000000u) return kHugeChunk;
    if (length > r.remaining() || r.remaining() - length < 4) return kChunkPastEnd;
    ByteReader data(r.bytes(length));
    r.skip(4);  // CRC
    const auto is = [&](const char* name) { return std::memcmp(type.data(), name, 4) == 0; };
    if (first) {
      if (!is("IHDR")) return kIhdrNotFirst;
      if (length != 13) return kIhdrLength;
      width = data.u32be();
      height = data.u32be();
      depth = data.u8();
      colorType = data.u8();
    } else if (is("IDAT")) {
      imageData += length;
    } else if (is("tRNS")) {
      transparency = true;
    } else if (is("IEND")) {
      break;
    }
  }
  const int channels = PngSamples(colorType);
  if (channels == 0) return kUnknownColour;
  // The image library adds alpha for tRNS and keeps 16-bit samples, and sizes its picture in
  // 32 bits; the picture limit is checked as the loader checks it, at 8 bits a sample.
  const ULONGLONG pixels = ULONGLONG{width} * height;
  const unsigned libraryBytes =
      (channels + (transparency && (colorType == 0 || colorType == 2) ? 1 : 0)) *
      (depth > 8 ? 2 : 1);
  if (pixels > UINT32_MAX / libraryBytes || pixels * channels > KvGetMaxPictureBytes())
    return "the picture is too large";
  if (pixels * channels * depth / 8 > imageData * kMaxInflateRatio)
    return "too little image data for the picture";
  return nullptr;
}

int KvImageFormatToDevil(int code) { return ToDevil(kFormats, std::size(kFormats), code); }
int KvImageFormatFromDevil(int format) { return FromDevil(kFormats, std::size(kFormats), format); }
int KvImageTypeToDevil(int code) { return ToDevil(kTypes, std::size(kTypes), code); }
int KvImageTypeFromDevil(int type) { return FromDevil(kTypes, std::size(kTypes), type); }

CImageLoader* KvImageLoader() {
  if (CImageLoader* loader = g_loader.load(std::memory_order_acquire)) return loader;
  const std::lock_guard lock(g_loaderMutex);
  CImageLoader* loader = g_loader.load(std::memory_order_relaxed);
  if (!loader) {
    try {
      loader = new CImageLoader;
    } catch (...) {
      KvFail("the image loader could not be started");
      return nullptr;
    }
    g_loader.store(loader, std::memory_order_release);
  }
  return loader;
}

void KvDestroyImageLoader() {
  const std::lock_guard lock(g_loaderMutex);
  delete g_loader.exchange(nullptr);
}

CImageLoader::CImageLoader() {
  CSingleLock lock(&m_lock, TRUE);
  ilInit();
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  m_image = image;
}

CImageLoader::~CImageLoader() {
  CSingleLock lock(&m_lock, TRUE);
  ilBindImage(0);
  ILuint image = m_image;
  ilDeleteImages(1, &image);
  ilShutDown();
}

bool CImageLoader::Load(std::vector<BYTE>& bytes) {
  if (!m_loaded.empty() && bytes == m_loaded) return true;
  m_loaded.clear();
  if (const char* refusal = KvPngRefusal(bytes)) return KvFail(refusal);
  // From memory, so that the image library reads no further than the bytes just checked.
  ilBindImage(m_image);
  MemoryInput input{bytes.data(), static_cast<ILuint>(bytes.size()), 0};
  ilSetRead(&OpenNothing, &CloseNothing, &InputEnded, &InputByte, &InputRead, &InputSeek,
            &InputTell);
  const ILboolean decoded = ilLoadF(IL_PNG, &input);
  ilResetRead();
  if (!decoded) return KvFail("the PNG data does not decode");
  m_loaded.swap(bytes);
  return true;
}

int CImageLoader::GetImageInfo(const wchar_t* path, SImageInfo* info) {
  std::vector<BYTE> bytes;
  if (!path || !info || !ReadWholeFile(path, bytes)) return 0;
  CSingleLock lock(&m_lock, TRUE);
  if (!Load(bytes)) return 0;
  SImageInfo i;
  i.imageWidth = static_cast<DWORD>(ilGetInteger(IL_IMAGE_WIDTH));
  i.height = static_cast<DWORD>(ilGetInteger(IL_IMAGE_HEIGHT));
  i.bytesPerPixel = static_cast<DWORD>(ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL));
  i.depth = 1;
  i.typeCode = KvImageTypeFromDevil(ilGetInteger(IL_IMAGE_TYPE));
  i.formatCode = KvImageFormatFromDevil(ilGetInteger(IL_IMAGE_FORMAT));
  i.imageCount = ilGetInteger(IL_NUM_IMAGES);
  if (i.imageCount == 0) i.imageCount = 1;
  if (i.formatCode == 0) {
    switch (ilGetInteger(IL_PALETTE_TYPE)) {
      case IL_PAL_RGB24:
      case IL_PAL_RGB32:
        i.formatCode = 1;
        i.bytesPerPixel = 3;
        break;
      case IL_PAL_RGBA32:
        i.formatCode = 2;
        i.bytesPerPixel = 4;
        break;
      case IL_PAL_BGR24:
      case IL_PAL_BGR32:
        i.formatCode = 3;
        i.bytesPerPixel = 3;
        break;
      case IL_PAL_BGRA32:
        i.formatCode = 4;
        i.bytesPerPixel = 4;
        break;
      default:
        break;
    }
  } else if (i.typeCode != 1) {
    // Wider samples are asked for as bytes, so that every caller sees 8-bit samples.
    i.typeCode = 1;
    i.bytesPerPixel = static_cast<DWORD>(ChannelsOf(i.formatCode));
  }
  if (i.imageWidth == 0 || i.height == 0 || i.bytesPerPixel == 0 || i.bytesPerPixel > 16) return 0;
  // Rows are rounded up to a multiple of 4 bytes, by whole pixels.
  const unsigned long long raw = static_cast<unsigned long long>(i.bytesPerPixel) * i.imageWidth;
  unsigned long long rowBytes = (raw + 3) & ~3ull;
  unsigned long long pad = rowBytes - raw;
  if (pad != 0 && pad % i.bytesPerPixel != 0) {
    while (pad % i.bytesPerPixel != 0) pad += 4;
    rowBytes = raw + pad;
  }
  const unsigned long long total = rowBytes * i.height;
  if (total > KvGetMaxPictureBytes()) return 0;
  i.rowBytes = static_cast<DWORD>(rowBytes);
  i.width = static_cast<DWORD>(rowBytes / i.bytesPerPixel);
  i.totalBytes = static_cast<DWORD>(total);
  *info = i;
  return 1;
}

int CImageLoader::CopyImagePixels(const wchar_t* path, SImageInfo* info, BYTE* dest,
                                  int imageIndex) {
  std::vector<BYTE> bytes;
  if (!path || !info || !dest || !ReadWholeFile(path, bytes)) return 0;
  CSingleLock lock(&m_lock, TRUE);
  if (!Load(bytes)) return 0;
  if (info->imageCount > 1) {
    ilActiveImage(static_cast<ILuint>(imageIndex));
    m_loaded.clear();  // the bound image now points at a sub-image
  }
  const ILint imageWidth = ilGetInteger(IL_IMAGE_WIDTH);
  const ILint imageHeight = ilGetInteger(IL_IMAGE_HEIGHT);
  if (ilGetInteger(IL_IMAGE_FORMAT) != IL_COLOUR_INDEX) {
    // The copy writes rows of info->width pixels; never more rows or wider ones than the
    // picture the info was made from.
    if (static_cast<DWORD>(imageWidth) > info->width ||
        static_cast<DWORD>(imageHeight) != info->height)
      return 0;
    return ilCopyPixels(0, 0, 0, info->width, info->height, 1,
                        KvImageFormatToDevil(info->formatCode), KvImageTypeToDevil(info->typeCode),
                        dest) != 0
               ? 1
               : 0;
  }
  const ILint entryBytes = ilGetInteger(IL_PALETTE_BPP);
  const ILint entries = ilGetInteger(IL_PALETTE_NUM_COLS);
  const ILubyte* palette = ilGetPalette();
  const ILubyte* indices = ilGetData();
  if (!palette || !indices || entryBytes <= 0 || imageWidth <= 0 ||
      static_cast<DWORD>(imageWidth) > info->width ||
      info->bytesPerPixel > static_cast<DWORD>(entryBytes))
    return 0;
  const std::size_t bpp = info->bytesPerPixel;
  const std::size_t rows =
      std::min<std::size_t>(info->height, static_cast<std::size_t>(imageHeight));
  for (std::size_t y = 0; y < rows; ++y) {
    BYTE* out = dest + static_cast<std::size_t>(info->width) * y * bpp;
    const ILubyte* row = indices + y * static_cast<std::size_t>(imageWidth);
    for (ILint x = 0; x < imageWidth; ++x) {
      const ILubyte index = row[x];
      if (index < entries)
        std::memcpy(out + x * bpp, palette + static_cast<std::size_t>(index) * entryBytes, bpp);
      else
        std::memset(out + x * bpp, 0, bpp);
    }
  }
  return 1;
}

DWORD* CImageLoader::LoadBgra(const wchar_t* path, CRect& rect, bool& handled) {
  handled = false;
  std::vector<BYTE> bytes;
  if (!path) return nullptr;
  if (!ReadWholeFile(path, bytes)) {
    handled = true;
    return nullptr;
  }
  CSingleLock lock(&m_lock, TRUE);
  if (!Load(bytes)) {
    handled = true;  // the long way would fail just the same
    return nullptr;
  }
  const int format = KvImageFormatFromDevil(ilGetInteger(IL_IMAGE_FORMAT));
  if (ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE || format <= 0 ||
      ilGetInteger(IL_NUM_IMAGES) > 1)
    return nullptr;
  const ILint w = ilGetInteger(IL_IMAGE_WIDTH), h = ilGetInteger(IL_IMAGE_HEIGHT);
  const ILint bpp = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
  const ILubyte* data = ilGetData();
  handled = true;
  if (!data || w <= 0 || h <= 0 || bpp != ChannelsOf(format) ||
      static_cast<std::size_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA)) <
          static_cast<std::size_t>(w) * h * bpp)
    return nullptr;
  // Every pixel is written below.
  PictureBuffer picture = PictureBuffer::Allocate(w, h, false);
  if (!picture) return nullptr;
  const std::size_t n = static_cast<std::size_t>(w) * h;
  KvConvertRow(kPixelKinds[format - 1], data, picture.data(), n, 255);
  rect = CRect(0, 0, w, h);
  return picture.Release();
}

DWORD* KvMediaLoadPNGFile(CString path, CRect& rect) {
  KvClearFailure();
  CImageLoader* loader = KvImageLoader();
  if (!loader) return nullptr;
  bool handled = false;
  if (DWORD* fast = loader->LoadBgra(path, rect, handled)) return fast;
  if (handled) return nullptr;
  SImageInfo info;
  if (!loader->GetImageInfo(path, &info)) return nullptr;
  KvGlobalPtr raw(GlobalAlloc(GPTR, info.totalBytes));
  if (!raw) return nullptr;
  auto* bytes = static_cast<BYTE*>(raw.get());
  loader->CopyImagePixels(path, &info, bytes, 0);
  const std::size_t w = info.imageWidth, h = info.height;
  const CRect size(0, 0, static_cast<int>(w), static_cast<int>(h));
  switch (info.formatCode) {
    case 2:  // RGBA, rows never padded: converted in place
      KvConvertRow(RawPixel::Rgba32, bytes, reinterpret_cast<DWORD*>(bytes), w * h, 255);
      rect = size;
      return static_cast<DWORD*>(raw.release());
    case 4:
      rect = size;
      return static_cast<DWORD*>(raw.release());
    case 1:
    case 3:
    case 5:
    case 6: {
      PictureBuffer picture =
          PictureBuffer::Allocate(static_cast<long long>(w), static_cast<long long>(h), false);
      if (!picture) return nullptr;
      for (std::size_t y = 0; y < h; ++y)
        KvConvertRow(kPixelKinds[info.formatCode - 1], bytes + y * info.rowBytes,
                     picture.row(static_cast<long long>(y)), w, 255);
      rect = size;
      return picture.Release();
    }
    default:
      return nullptr;
  }
}

int KvPngInfo(const CString& path, RECT* rect, int* bits) {
  CImageLoader* loader = KvImageLoader();
  if (!loader) return 0;
  SImageInfo info;
  if (!loader->GetImageInfo(path, &info)) return 0;
  if (rect) *rect = RECT{0, 0, static_cast<LONG>(info.imageWidth), static_cast<LONG>(info.height)};
  if (bits) *bits = static_cast<int>(info.bytesPerPixel);
  return 1;
}

int KvPngFacts(const CString& path, SKvPicFacts& facts) {
  // The chunks up to the image data, read as KvPngRefusal reads them (with its reasons), but
  // from the file and without the image library: IHDR, and a transparency chunk, which must
  // come before the data.
  return KvGuarded([&]() -> bool {
    CFile file;
    if (!KvOpenForReading(path, file)) return 0;
    FileReader in(file, 4096);
    BYTE signature[sizeof kPngSignature] = {};
    if (!in.read(signature, sizeof signature) ||
        std::memcmp(signature, kPngSignature, sizeof kPngSignature) != 0)
      return KvFail(kNoSignature);
    DWORD width = 0, height = 0;
    BYTE depth = 0, colorType = 0;
    bool transparency = false;
    for (bool first = true;; first = false) {
      const DWORD length = in.u32be();
      BYTE type[4] = {};
      in.read(type, sizeof type);
      if (!in.ok()) return KvFail(kEndsEarly);
      if (length >= 0x80000000u) return KvFail(kHugeChunk);
      if (length > in.remaining() || in.remaining() - length < 4) return KvFail(kChunkPastEnd);
      const auto is = [&](const char* name) { return std::memcmp(type, name, 4) == 0; };
      if (first) {
        if (!is("IHDR")) return KvFail(kIhdrNotFirst);
        if (length != 13) return KvFail(kIhdrLength);
        width = in.u32be();
        height = in.u32be();
        depth = in.u8();
        colorType = in.u8();
        in.skip(3 + 4);  // compression, filter, interlace; CRC
        continue;
      }
      if (is("IDAT") || is("IEND")) break;
      if (is("tRNS")) transparency = true;
      in.skip(ULONGLONG{length} + 4);
    }
    const int samples = PngSamples(colorType);
    if (samples == 0) return KvFail(kUnknownColour);
    if (width == 0 || height == 0) return KvRefusePictureSize(width, height);
    if (width >= 0x80000000u || height >= 0x80000000u) return KvFail("a PNG size of 2^31 or more");
    const bool added = transparency && TakesTransparency(colorType);
    facts.width = width;
    facts.height = height;
    facts.storedBits = depth * samples;
    facts.channels = (colorType == 3 ? 3 : samples) + (added ? 1 : 0);
    facts.alpha = added || colorType == 4 || colorType == 6;
    return true;
  });
}
