#include "picture/TgaCodec.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/ByteReader.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "host/RowConversion.h"
#include "host/SafeSave.h"
#include "picture/CodecEntry.h"
#include "picture/PictureBuffer.h"

namespace {

// Working-memory limits: the file is read through an input buffer of kInputBytes (run-length
// packets, small pieces), uncompressed rows kBlockBytes at a time straight from the file
// (several rows a read, or a row in pieces when one row is larger, so that every width the
// saver writes loads back), and colour maps hold 512 entries.
constexpr std::size_t kInputBytes = 32 * 1024;
constexpr std::size_t kBlockBytes = 64 * 1024;
constexpr std::size_t kColorMapEntries = 512;
// Run-length pictures beyond these are refused.
constexpr int kMaxRleWidth = 16383;
constexpr int kMaxRleHeight = 32767;

RawPixel KindOf(int bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1:
      return RawPixel::Grey8;
    case 2:
      return RawPixel::Rgb555Tga;
    case 3:
      return RawPixel::Bgr24;
    default:
      return RawPixel::Bgra32;
  }
}

// Run-length packets read from the file. A packet may continue into the next row: its state
// stays here between calls.
class RlePacketReader {
 public:
  RlePacketReader(FileReader& in, int bytesPerPixel) : m_in(in), m_bpp(bytesPerPixel) {}

  // Decodes `pixels` file pixels into `out`; false when the data ends first.
  bool Decode(BYTE* out, std::size_t pixels) {
    while (pixels > 0) {
      if (m_left == 0) {
        const BYTE header = m_in.u8();
        m_run = (header & 0x80) != 0;
        m_left = (header & 0x7F) + 1;
        if (m_run) m_in.read(m_value, m_bpp);
        if (!m_in.ok()) return false;
      }
      const std::size_t n = std::min<std::size_t>(m_left, pixels);
      if (m_run) {
        Fill(out, n);
      } else if (!m_in.read(out, n * m_bpp)) {
        return false;
      }
      out += n * m_bpp;
      pixels -= n;
      m_left -= static_cast<int>(n);
    }
    return true;
  }

 private:
  void Fill(BYTE* out, std::size_t n) {
    if (m_bpp == 4) {
      DWORD v;
      std::memcpy(&v, m_value, 4);
      auto* d = reinterpret_cast<DWORD*>(out);
      if (reinterpret_cast<std::uintptr_t>(out) % alignof(DWORD) == 0) {
        std::fill_n(d, n, v);
        return;
      }
    }
    for (std::size_t i = 0; i < n; ++i) std::memcpy(out + i * m_bpp, m_value, m_bpp);
  }

  FileReader& m_in;
  int m_bpp;
  int m_left = 0;
  bool m_run = false;
  BYTE m_value[4] = {};
};

class TgaDecoder {
 public:
  TgaDecoder(FileReader& in, const TgaHeader& header) : m_in(in), m_header(header) {}

  DWORD* Decode(CRect& rect) {
    const int bpp = (m_header.pixelDepth + 7) / 8;
    if (bpp < 1 || bpp > 4) return KvRefused(KvFailf("pixel depth %d", m_header.pixelDepth));
    if (m_header.IsColorMapped() && bpp != 1)
      return KvRefused(
          KvFailf("colour-map indices of %d bits are not supported", m_header.pixelDepth));
    const int width = m_header.width, height = m_header.height;

    // Where the pixels start, and whether the file can hold them at all.
    ULONGLONG mapBytes = 0;
    int entryBytes = 0;
    if (m_header.colorMapType == 1 && m_header.colorMapLength != 0) {
      entryBytes = (m_header.colorMapEntryBits + 7) / 8;
      mapBytes = static_cast<ULONGLONG>(m_header.colorMapLength) * entryBytes;
      if (m_header.IsColorMapped()) {
        if (entryBytes < 1 || entryBytes > 4)
          return KvRefused(KvFailf("colour-map entries of %d bits", m_header.colorMapEntryBits));
        if (static_cast<std::size_t>(m_header.colorMapFirst) + m_header.colorMapLength >
            kColorMapEntries)
          return KvRefused(KvFailf("colour map of entries %d to %d exceeds 512 entries",
                                   m_header.colorMapFirst,
                                   m_header.colorMapFirst + m_header.colorMapLength - 1));
      }
    }
    const ULONGLONG pixels = static_cast<ULONGLONG>(width) * height;
    ULONGLONG minimum = pixels * bpp;
    if (m_header.IsRunLength()) {
      if (width > kMaxRleWidth || height > kMaxRleHeight)
        return KvRefused(
            KvFailf("run-length picture of %d x %d exceeds 16,383 x 32,767", width, height));
      // A packet of 1 + bpp bytes gives at most 128 pixels.
      minimum = (pixels + 127) / 128 * (1 + bpp);
    }
    if (m_header.idLength + mapBytes + minimum > m_in.remaining())
      return KvRefused(KvFailTruncated(m_in, m_header.idLength + mapBytes + minimum));

    // Every row is written below (or the load fails), so the buffer need not be cleared.
    PictureBuffer picture = PictureBuffer::Allocate(width, height, false);
    if (!picture) return nullptr;
    m_in.skip(m_header.idLength);
    if (m_header.IsColorMapped())
      ReadColorMap(entryBytes);
    else
      m_in.skip(mapBytes);

    const bool ok =
        m_header.IsRunLength() ? DecodeRunLength(picture, bpp) : DecodeBlocks(picture, bpp);
    if (!ok || !m_in.ok()) return KvRefused(KvFail(m_in.Reason()));
    rect = CRect(m_header.xOrigin, m_header.yOrigin, m_header.xOrigin + width,
                 m_header.yOrigin + height);
    return picture.Release();
  }

 private:
  bool TopDown() const { return (m_header.descriptor & 0x30) == 0x20; }
  long long TargetRow(long long fileRow) const {
    return TopDown() ? fileRow : m_header.height - 1 - fileRow;
  }

  void ReadColorMap(int entryBytes) {
    m_palette.assign(kColorMapEntries, 0);
    const std::size_t n = m_header.colorMapLength;
    if (n == 0) return;  // an empty map: every index gives black
    std::vector<BYTE> raw(n * entryBytes);
    if (!m_in.read(raw.data(), raw.size())) return;
    // Entries keep their stored alpha only when they are 4 bytes wide; indexed pictures are
    // made opaque afterwards anyway, as their depth is 8.
    KvConvertRow(KindOf(entryBytes), raw.data(), &m_palette[m_header.colorMapFirst], n, 0);
  }

  // Converts raw file pixels (a row, or a piece of one) into picture pixels.
  void StoreRow(const BYTE* raw, DWORD* out, int bpp, std::size_t w) {
    if (m_header.IsColorMapped()) {
      KvConvertRow(RawPixel::Index8, raw, out, w, 255, m_palette.data(), m_palette.size());
      KvSetAlpha(out, w, 255);
    } else if (m_header.IsGreyAlpha()) {
      KvConvertRow(RawPixel::GreyAlpha8, raw, out, w, 255);
    } else {
      KvConvertRow(KindOf(bpp), raw, out, w, 255);
      if (bpp == 4 && m_header.pixelDepth != 32) KvSetAlpha(out, w, 255);
    }
  }

  bool DecodeBlocks(PictureBuffer& picture, int bpp) {
    const std::size_t w = m_header.width;
    const std::size_t fileRowBytes = w * bpp;
    // 32-bit rows in file order need no conversion: they are read straight into place, all
    // in one read.
    if (bpp == 4 && m_header.pixelDepth == 32 && TopDown())
      return m_in.read(picture.row(0), fileRowBytes * m_header.height);
    if (fileRowBytes > kBlockBytes) return DecodeRowsInPieces(picture, bpp);
    const std::size_t rowsPerBlock = kBlockBytes / fileRowBytes;
    std::vector<BYTE> block(std::min<std::size_t>(rowsPerBlock, m_header.height) * fileRowBytes);
    for (long long row = 0; row < m_header.height;) {
      const std::size_t rows = std::min<std::size_t>(rowsPerBlock, m_header.height - row);
      if (!m_in.read(block.data(), rows * fileRowBytes)) return false;
      for (std::size_t r = 0; r < rows; ++r)
        StoreRow(&block[r * fileRowBytes], picture.row(TargetRow(row + r)), bpp, w);
      row += static_cast<long long>(rows);
    }
    return true;
  }

  // Rows wider than one read are read and converted a piece at a time.
  bool DecodeRowsInPieces(PictureBuffer& picture, int bpp) {
    const std::size_t w = m_header.width, piece = kBlockBytes / bpp;
    std::vector<BYTE> block(piece * bpp);
    for (long long row = 0; row < m_header.height; ++row) {
      DWORD* out = picture.row(TargetRow(row));
      for (std::size_t x = 0; x < w; x += piece) {
        const std::size_t n = std::min(piece, w - x);
        if (!m_in.read(block.data(), n * bpp)) return false;
        StoreRow(block.data(), out + x, bpp, n);
      }
    }
    return true;
  }

  bool DecodeRunLength(PictureBuffer& picture, int bpp) {
    RlePacketReader reader(m_in, bpp);
    const std::size_t w = m_header.width;
    const bool direct = bpp == 4 && m_header.pixelDepth == 32;
    std::vector<BYTE> raw(direct ? 0 : w * bpp);
    for (long long row = 0; row < m_header.height; ++row) {
      DWORD* out = picture.row(TargetRow(row));
      if (direct) {
        if (!reader.Decode(reinterpret_cast<BYTE*>(out), w)) return false;
      } else {
        if (!reader.Decode(raw.data(), w)) return false;
        StoreRow(raw.data(), out, bpp, w);
      }
    }
    return true;
  }

  FileReader& m_in;
  const TgaHeader& m_header;
  std::vector<DWORD> m_palette;
};

}  // namespace

TgaHeader TgaHeader::Parse(const std::array<BYTE, kSize>& bytes) {
  ByteReader r(bytes);
  TgaHeader header;
  header.idLength = r.u8();
  header.colorMapType = r.u8();
  header.imageType = r.u8();
  header.colorMapFirst = r.u16le();
  header.colorMapLength = r.u16le();
  header.colorMapEntryBits = r.u8();
  header.xOrigin = r.u16le();
  header.yOrigin = r.u16le();
  header.width = r.u16le();
  header.height = r.u16le();
  header.pixelDepth = r.u8();
  header.descriptor = r.u8();
  return header;
}

std::array<BYTE, TgaHeader::kSize> TgaHeader::Serialize() const {
  std::array<BYTE, kSize> b{};
  b[0] = idLength;
  b[1] = colorMapType;
  b[2] = imageType;
  KvPutLe16(&b[3], colorMapFirst);
  KvPutLe16(&b[5], colorMapLength);
  b[7] = colorMapEntryBits;
  KvPutLe16(&b[8], xOrigin);
  KvPutLe16(&b[10], yOrigin);
  KvPutLe16(&b[12], width);
  KvPutLe16(&b[14], height);
  b[16] = pixelDepth;
  b[17] = descriptor;
  return b;
}

bool TgaHeader::IsAcceptable() const {
  if (width == 0) return KvFail("width 0");
  if (height == 0) return KvFail("height 0");
  if (colorMapType > 1) return KvFailf("colour-map type %d", colorMapType);
  switch (imageType) {
    case 1:
    case 9:
      return colorMapType == 1 || KvFailf("colour-mapped type %d without a colour map", imageType);
    case 2:
    case 3:
    case 10:
    case 11:
      return true;
    default:
      return KvFailf("image type %d", imageType);
  }
}

bool KvReadTgaHeader(FileReader& in, TgaHeader& header) {
  std::array<BYTE, TgaHeader::kSize> bytes{};
  if (!in.read(bytes.data(), bytes.size())) return KvFail(in.Reason());
  header = TgaHeader::Parse(bytes);
  return header.IsAcceptable();
}

DWORD* KvDecodeTga(CFile& file, CRect& rect) {
  return KvGuarded([&]() -> DWORD* {
    file.SeekToBegin();
    FileReader in(file, kInputBytes);
    TgaHeader header;
    if (!KvReadTgaHeader(in, header)) return nullptr;
    return TgaDecoder(in, header).Decode(rect);
  });
}

namespace {
// The header of the TGA at `path`, read once for information and facts alike.
bool ReadHeader(const CString& path, TgaHeader& header) {
  return KvGuarded([&] {
    CFile file;
    if (!KvOpenForReading(path, file)) return false;
    FileReader in(file, TgaHeader::kSize);
    return KvReadTgaHeader(in, header);
  });
}
}  // namespace

int KvTgaPictureInfo(const CString& path, RECT* rect, int* bits) {
  TgaHeader header;
  if (!ReadHeader(path, header)) return 0;
  if (rect)
    *rect = RECT{header.xOrigin, header.yOrigin, header.xOrigin + header.width,
                 header.yOrigin + header.height};
  if (bits) *bits = header.pixelDepth;
  return 1;
}

int KvTgaPictureFacts(const CString& path, SKvPicFacts& facts) {
  TgaHeader header;
  if (!ReadHeader(path, header)) return 0;
  const bool grey = header.imageType == 3 || header.imageType == 11;
  // As the decoder converts: true colour keeps alpha at 32 bits, grey at 16; indexed
  // pictures are made opaque.
  const bool alpha =
      grey ? header.IsGreyAlpha() : !header.IsColorMapped() && header.pixelDepth == 32;
  facts.width = header.width;
  facts.height = header.height;
  facts.x = header.xOrigin;
  facts.y = header.yOrigin;
  facts.storedBits = header.pixelDepth;
  facts.channels = (grey ? 1 : 3) + (alpha ? 1 : 0);
  facts.alpha = alpha;
  return 1;
}

DWORD* KvMediaLoadTGAFile(CString path, CRect& rect) {
  KvClearFailure();
  CFile file;
  return KvOpenForReading(path, file) ? KvDecodeTga(file, rect) : nullptr;
}

namespace {

// The postage stamp: 64 x 48 pixels of the width x height pixels at `first` (rows `stride`
// apart), picked at running single-precision steps.
std::vector<BYTE> TgaPostageStamp(const DWORD* first, std::size_t stride, int width, int height) {
  std::vector<BYTE> stamp(2 + 48 * 64 * 4);
  stamp[0] = 64;
  stamp[1] = 48;
  const float stepY = static_cast<float>(height) / 48, stepX = static_cast<float>(width) / 64;
  float sy = 0;
  for (int r = 0; r < 48; ++r, sy += stepY) {
    const int y = std::min(height - 1, static_cast<int>(sy));
    float sx = 0;
    for (int c = 0; c < 64; ++c, sx += stepX) {
      const int x = std::min(width - 1, static_cast<int>(sx));
      std::memcpy(&stamp[2 + (r * 64 + c) * 4], first + y * stride + x, 4);
    }
  }
  return stamp;
}

// The extension area, stamped with the local time, and the version-2 footer, for a stamp of
// `stampSize` bytes at `stampOffset`.
std::array<BYTE, 495 + 26> TgaExtensionAndFooter(DWORD stampOffset, DWORD stampSize) {
  std::array<BYTE, 495 + 26> tail{};
  BYTE* ext = tail.data();
  KvPutLe16(ext, 495);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  KvPutLe16(ext + 367, local.tm_mon + 1);
  KvPutLe16(ext + 369, local.tm_mday);
  KvPutLe16(ext + 371, local.tm_year + 1900);
  KvPutLe16(ext + 373, local.tm_hour);
  KvPutLe16(ext + 375, local.tm_min);
  KvPutLe16(ext + 377, local.tm_sec);
  ext[469] = 0x20;
  KvPutLe32(ext + 486, stampOffset);
  BYTE* footer = tail.data() + 495;
  KvPutLe32(footer, stampOffset + stampSize);
  std::memcpy(footer + 8, "TRUEVISION-XFILE.", 18);  // with its terminating zero
  return tail;
}

}  // namespace

int KvMediaSaveTGAFile(CString path, DWORD* buffer, CSize size, CRect rect) {
  KvClearFailure();
  CRect region;
  if (!KvSavedRegion(buffer, size, rect, 0xFFFF, region)) return 0;  // 16-bit sizes
  const int width = region.Width(), height = region.Height();

  SafeFileWriter out(path);
  if (!out.Open()) return 0;

  // Header and identification field.
  TgaHeader header;
  header.idLength = 64;
  header.imageType = 2;
  header.xOrigin = static_cast<WORD>(region.left);
  header.yOrigin = static_cast<WORD>(region.top);
  header.width = static_cast<WORD>(width);
  header.height = static_cast<WORD>(height);
  header.pixelDepth = 32;
  header.descriptor = 0x20;
  std::array<BYTE, TgaHeader::kSize + 64> head{};
  const auto hb = header.Serialize();
  std::copy(hb.begin(), hb.end(), head.begin());
  const char id[] = "Drevlock-32Bit-TrueColor-TGA";
  std::memcpy(&head[TgaHeader::kSize], id, sizeof id - 1);
  out.Write(head.data(), head.size());

  // Pixels, top row first, as they stand in the buffer.
  const auto stride = static_cast<std::size_t>(size.cx);
  const DWORD* first = buffer + static_cast<std::size_t>(region.top) * stride + region.left;
  if (static_cast<std::size_t>(width) == stride) {
    out.Write(first, static_cast<std::size_t>(width) * height * 4);
  } else {
    for (int y = 0; y < height; ++y)
      out.Write(first + y * stride, static_cast<std::size_t>(width) * 4);
  }

  // Then the postage stamp, after the 82 bytes of header and identification and the pixels.
  const DWORD stampOffset = 82 + 4u * static_cast<DWORD>(width) * static_cast<DWORD>(height);
  const std::vector<BYTE> stamp = TgaPostageStamp(first, stride, width, height);
  out.Write(stamp.data(), stamp.size());
  const auto tail = TgaExtensionAndFooter(stampOffset, static_cast<DWORD>(stamp.size()));
  out.Write(tail.data(), tail.size());

  return out.Commit() ? 1 : 0;
}
