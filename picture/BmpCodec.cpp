#include "picture/BmpCodec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/ByteReader.h"
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "host/MemBlock.h"
#include "host/RowConversion.h"
#include "host/SafeSave.h"
#include "picture/CodecEntry.h"
#include "picture/PictureBuffer.h"

namespace {

constexpr WORD kBmpType = 0x4D42;  // "BM"
constexpr std::size_t kMaxColours = 256;
constexpr DWORD kOpaqueBlack = 0xFF000000u;
constexpr DWORD kAlphaBitFields = 6;
// Uncompressed rows are read in blocks of about this many bytes, straight from the file; the
// headers and colour table come through a small input buffer.
constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
constexpr std::size_t kInputBytes = 4096;

// The information header: the 12-byte core header, the 40-byte one, or a later one of which
// the fields up to the alpha mask are read.
struct BmpInfoHeader {
  DWORD size = 0;
  LONG width = 0;
  LONG height = 0;
  WORD bitCount = 0;
  DWORD compression = BI_RGB;
  DWORD clrUsed = 0;
  KvBitFields masks;

  bool IsCore() const { return size == 12; }
  // Bit fields mean something for 16 and 32 bits only; 24 bits take any compression.
  bool HasBitFields() const {
    return (bitCount == 16 || bitCount == 32) &&
           (compression == BI_BITFIELDS || compression == kAlphaBitFields);
  }
  // Read from the reader's position; with `whole`, the bit-field masks (in the header or
  // after a 40-byte one) and the rest of a later header too. False only when the data ends.
  bool Read(FileReader& in, bool whole) {
    size = in.u32le();
    if (IsCore()) {
      width = in.u16le();
      height = in.u16le();
      in.skip(2);  // planes
      bitCount = in.u16le();
      return in.ok();
    }
    width = in.i32le();
    height = in.i32le();
    in.skip(2);  // planes
    bitCount = in.u16le();
    compression = in.u32le();
    in.skip(12);  // image size, resolutions
    clrUsed = in.u32le();
    in.skip(4);  // important colours
    if (!whole) return in.ok();
    if (size >= 52 || (size == 40 && HasBitFields())) {
      masks.red = in.u32le();
      masks.green = in.u32le();
      masks.blue = in.u32le();
      if (size >= 56 || (size == 40 && compression == kAlphaBitFields)) masks.alpha = in.u32le();
    }
    if (IsKnownSize() && size > 56) in.skip(size - 56);
    return in.ok();
  }
  bool IsKnownSize() const {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
  }
};

// How the pixels are stored; decided from the header alone.
enum class Layout {
  Unsupported,
  Indexed,
  RunLength,
  Rgb555,
  Rgb565,
  Bgr24,
  Bgrx32,
  Bgra32,  // stored alpha, kept unless every pixel's is 0
  BitFields,
};

// The raw pixels of the layouts that convert without a palette or masks.
RawPixel KindOf(Layout layout) {
  switch (layout) {
    case Layout::Rgb555:
      return RawPixel::Rgb555Bmp;
    case Layout::Rgb565:
      return RawPixel::Rgb565;
    case Layout::Bgr24:
      return RawPixel::Bgr24;
    case Layout::Bgrx32:
      return RawPixel::Bgrx32;
    default:
      return RawPixel::Bgra32;
  }
}

// The layout, or Unsupported with the reason recorded.
Layout LayoutOf(const BmpInfoHeader& header, KvBitFields& masks, bool& keepAlpha) {
  keepAlpha = false;
  const DWORD c = header.compression;
  switch (header.bitCount) {
    case 1:
      return Layout::Indexed;  // whatever the compression says
    case 4:
    case 8: {
      const DWORD runLength = header.bitCount == 4 ? BI_RLE4 : BI_RLE8;
      if (c == BI_RGB) return Layout::Indexed;
      if (c != runLength) break;
      // Run-length pictures are bottom-up only.
      if (header.height >= 1) return Layout::RunLength;
      KvFail("top-down run-length BMP");
      return Layout::Unsupported;
    }
    case 24:
      return Layout::Bgr24;  // whatever the compression says
    case 16:
    case 32: {
      if (c != BI_RGB && !header.HasBitFields()) break;
      // The alpha mask of a later header (or of alpha bit fields) says the file has alpha.
      const DWORD alphaMask = header.size > 40 || c == kAlphaBitFields ? header.masks.alpha : 0;
      if (c == BI_RGB) {
        if (header.bitCount == 16) return Layout::Rgb555;
        if (alphaMask == 0) return Layout::Bgrx32;
        masks = {.red = 0xFF0000, .green = 0xFF00, .blue = 0xFF, .alpha = alphaMask};
      } else {
        masks = header.masks;
        masks.alpha = alphaMask;
      }
      if (header.bitCount == 16) {
        for (DWORD* m : {&masks.red, &masks.green, &masks.blue, &masks.alpha}) *m &= 0xFFFF;
      }
      if (!masks.IsValid() || (masks.red | masks.green | masks.blue) == 0) {
        KvFailf("bit fields %08X %08X %08X %08X are not runs of bits", masks.red, masks.green,
                masks.blue, masks.alpha);
        return Layout::Unsupported;
      }
      keepAlpha = masks.alpha != 0;
      const bool opaqueRgb = masks.alpha == 0;
      if (header.bitCount == 16 && opaqueRgb && masks.red == 0xF800 && masks.green == 0x07E0 &&
          masks.blue == 0x1F)
        return Layout::Rgb565;
      if (header.bitCount == 16 && opaqueRgb && masks.red == 0x7C00 && masks.green == 0x03E0 &&
          masks.blue == 0x1F)
        return Layout::Rgb555;
      if (header.bitCount == 32 && masks.red == 0xFF0000 && masks.green == 0xFF00 &&
          masks.blue == 0xFF)
        return opaqueRgb                    ? Layout::Bgrx32
               : masks.alpha == 0xFF000000u ? Layout::Bgra32
                                            : Layout::BitFields;
      return Layout::BitFields;
    }
    default:
      KvFailf("%d bits per pixel", header.bitCount);
      return Layout::Unsupported;
  }
  KvFailf("%d-bit BMP with compression %u is not supported", header.bitCount, c);
  return Layout::Unsupported;
}

class BmpDecoder {
 public:
  BmpDecoder(FileReader& in, const BmpInfoHeader& header)
      : m_in(in),
        m_header(header),
        m_width(header.width),
        m_height(header.height < 0 ? -static_cast<long long>(header.height) : header.height) {}

  DWORD* Decode(ULONGLONG pixelOffset, CRect& rect) {
    m_layout = LayoutOf(m_header, m_masks, m_keepAlpha);
    if (m_layout == Layout::Unsupported) return nullptr;
    // Within the picture limit, every size below fits easily in 64 bits.
    if (!PictureBuffer::SizeAllowed(m_width, m_height)) return nullptr;
    if (m_header.bitCount < 16 && !ReadColourTable(pixelOffset)) return nullptr;
    if (pixelOffset != 0 && !m_in.seek(pixelOffset)) return KvRefused(KvFail(m_in.Reason()));
    const ULONGLONG available = m_in.remaining();

    PictureBuffer picture;
    if (m_layout == Layout::RunLength) {
      // A few codes may describe a large picture (skips, an early end), so the data cannot
      // bound the size: it is checked first, and the picture made only for data that decodes.
      std::vector<BYTE> codes(static_cast<std::size_t>(available));
      if (!m_in.read(codes.data(), codes.size())) return KvRefused(KvFail(m_in.Reason()));
      if (!DecodeRunLength(codes, nullptr)) return nullptr;
      picture = PictureBuffer::Allocate(m_width, m_height);
      if (!picture || !DecodeRunLength(codes, &picture)) return nullptr;
    } else {
      const ULONGLONG needed = RowBytes() * (m_height - 1) + UsedRowBytes();
      if (needed > available) return KvRefused(KvFailTruncated(m_in, needed));
      // Every row is written below, so the buffer need not be cleared.
      picture = PictureBuffer::Allocate(m_width, m_height, false);
      if (!picture) return nullptr;
      if (!DecodeRows(picture)) return KvRefused(KvFail(m_in.Reason()));
      if (m_keepAlpha) KeepAlphaIfAny(picture);
    }
    rect = CRect(0, 0, static_cast<int>(m_width), static_cast<int>(m_height));
    return picture.Release();
  }

 private:
  bool ReadColourTable(ULONGLONG pixelOffset) {
    std::size_t count = m_header.clrUsed != 0 && !m_header.IsCore()
                            ? m_header.clrUsed
                            : std::size_t{1} << m_header.bitCount;
    // Core files give no count: the table ends where the pixels start.
    if (m_header.IsCore() && pixelOffset > m_in.position())
      count =
          static_cast<std::size_t>(std::min<ULONGLONG>(count, (pixelOffset - m_in.position()) / 3));
    if (count > kMaxColours) return KvFailf("colour table of %zu entries exceeds 256", count);
    // Core files store B, G, R; the others add a reserved byte.
    const std::size_t entryBytes = m_header.IsCore() ? 3 : 4;
    std::array<BYTE, kMaxColours * 4> raw{};
    if (!m_in.read(raw.data(), count * entryBytes)) return KvFail(m_in.Reason());
    // Indices beyond the entries stored give opaque black.
    m_palette.fill(kOpaqueBlack);
    KvConvertRow(m_header.IsCore() ? RawPixel::Bgr24 : RawPixel::Bgrx32, raw.data(),
                 m_palette.data(), count, 255);
    return true;
  }

  // A file row, padded to whole 32-bit words, and the part of it that holds pixels.
  ULONGLONG RowBytes() const {
    return (static_cast<ULONGLONG>(m_width) * m_header.bitCount + 31) / 32 * 4;
  }
  ULONGLONG UsedRowBytes() const {
    return (static_cast<ULONGLONG>(m_width) * m_header.bitCount + 7) / 8;
  }

  RawPixel IndexKind() const {
    return m_header.bitCount == 1   ? RawPixel::Index1
           : m_header.bitCount == 4 ? RawPixel::Index4
                                    : RawPixel::Index8;
  }

  void ConvertRow(const BYTE* src, DWORD* dst) const {
    const auto w = static_cast<std::size_t>(m_width);
    if (m_layout == Layout::BitFields)
      KvConvertBitFields(src, dst, w, m_header.bitCount / 8, m_masks, 255);
    else if (m_layout == Layout::Indexed)
      KvConvertRow(IndexKind(), src, dst, w, 255, m_palette.data(), m_palette.size());
    else
      KvConvertRow(KindOf(m_layout), src, dst, w, 255);
  }

  bool DecodeRows(const PictureBuffer& picture) {
    const auto rowBytes = static_cast<std::size_t>(RowBytes());
    const std::size_t rowsPerBlock = std::max<std::size_t>(1, kBlockBytes / rowBytes);
    const std::size_t blockRows = std::min<std::size_t>(rowsPerBlock, m_height);
    std::vector<BYTE> block(blockRows * rowBytes);
    const bool bottomUp = m_header.height > 0;
    for (long long row = 0; row < m_height;) {
      const auto rows = static_cast<std::size_t>(std::min<long long>(blockRows, m_height - row));
      std::size_t bytes = rows * rowBytes;
      // The padding of the last row may be missing.
      if (row + static_cast<long long>(rows) == m_height)
        bytes -= rowBytes - static_cast<std::size_t>(UsedRowBytes());
      if (!m_in.read(block.data(), bytes)) return false;
      for (std::size_t r = 0; r < rows; ++r) {
        const long long fileRow = row + static_cast<long long>(r);
        ConvertRow(&block[r * rowBytes], picture.row(bottomUp ? m_height - 1 - fileRow : fileRow));
      }
      row += static_cast<long long>(rows);
    }
    return true;
  }

  // Files that say they have alpha but leave it 0 everywhere meant none.
  static void KeepAlphaIfAny(const PictureBuffer& picture) {
    const DWORD* p = picture.data();
    const std::size_t n = picture.pixels();
    DWORD any = 0;
    for (std::size_t i = 0; i < n; ++i) any |= p[i];
    if ((any >> 24) == 0) KvSetAlpha(picture.data(), n, 255);
  }

  // Run-length codes of 4- and 8-bit pictures, from the bottom row up. With no picture the
  // codes are only checked. Every write is bounded by the checks before it: a run never
  // passes the row's end, and nothing is written above the top row.
  bool DecodeRunLength(std::span<const BYTE> codes, const PictureBuffer* picture) const {
    ByteReader in(codes);
    const bool nibbles = m_header.bitCount == 4;
    long long x = 0, y = 0;  // pixels written in the current row, rows finished
    auto out = [&]() { return picture ? picture->row(m_height - 1 - y) + x : nullptr; };
    for (;;) {
      const BYTE first = in.u8(), second = in.u8();
      if (!in.ok()) return KvFail("run-length data ends without an end-of-bitmap code");
      if (first != 0) {  // encoded run
        if (x + first > m_width || y >= m_height)
          return KvFailf("run-length run past the row's end");
        if (DWORD* p = out()) {
          const DWORD hi = m_palette[nibbles ? second >> 4 : second];
          const DWORD lo = m_palette[nibbles ? second & 15 : second];
          for (int i = 0; i < first; ++i) p[i] = i % 2 ? lo : hi;
        }
        x += first;
        continue;
      }
      switch (second) {
        case 0:  // end of line
          if (y + 1 > m_height) return KvFail("run-length rows past the top row");
          ++y;
          x = 0;
          break;
        case 1:  // end of bitmap
          return true;
        case 2: {  // delta: skipped pixels stay transparent black
          const BYTE dx = in.u8(), dy = in.u8();
          if (!in.ok()) return KvFail("run-length data ends inside a delta");
          if (x + dx > m_width - 1 || y + dy > m_height - 1)
            return KvFail("run-length delta outside the picture");
          x += dx;
          y += dy;
          break;
        }
        default: {  // absolute run, padded to 16-bit words
          const int n = second;
          if (x + n > m_width || y >= m_height) return KvFail("run-length run past the row's end");
          const std::size_t bytes = nibbles ? (n + 3) / 4 * 2 : (n + 1) / 2 * 2;
          const std::span<const BYTE> indices = in.bytes(bytes);
          if (!in.ok()) return KvFail("run-length data ends inside an absolute run");
          if (DWORD* p = out())
            KvConvertRow(IndexKind(), indices.data(), p, n, 255, m_palette.data(),
                         m_palette.size());
          x += n;
          break;
        }
      }
    }
  }

  FileReader& m_in;
  const BmpInfoHeader& m_header;
  Layout m_layout = Layout::Unsupported;
  KvBitFields m_masks;
  bool m_keepAlpha = false;
  const long long m_width;
  const long long m_height;
  std::array<DWORD, kMaxColours> m_palette{};
};

// The information header at the reader's position, checked as the decoder needs it.
bool ReadInfoHeader(FileReader& in, BmpInfoHeader& header) {
  if (!header.Read(in, true)) return KvFail(in.Reason());
  if (!header.IsKnownSize())
    return KvFailf("information header of %u bytes is not supported", header.size);
  if (header.width == 0) return KvFail("width 0");
  if (header.height == 0) return KvFail("height 0");
  return true;
}

DWORD* Decode(FileReader& in, ULONGLONG pixelOffset, CRect& rect) {
  BmpInfoHeader header;
  if (!ReadInfoHeader(in, header)) return nullptr;
  return BmpDecoder(in, header).Decode(pixelOffset, rect);
}

// The 14-byte file header: false, with the reason, unless it starts a BMP. Gives where the
// pixels start.
bool ReadFileHeader(FileReader& in, ULONGLONG& pixelOffset) {
  const WORD type = in.u16le();
  in.skip(8);  // file size and reserved words
  pixelOffset = in.u32le();
  if (!in.ok()) return KvFail(in.Reason());
  return type == kBmpType || KvFail("the signature is not BM");
}

}  // namespace

DWORD* KvDecodeBmp(CFile& file, ULONGLONG pixelOffset, CRect& rect) {
  return KvGuarded([&] {
    FileReader in(file, kInputBytes);
    return Decode(in, pixelOffset, rect);
  });
}

DWORD* KvDecodeBmpFile(CFile& file, CRect& rect) {
  return KvGuarded([&]() -> DWORD* {
    file.SeekToBegin();
    FileReader in(file, kInputBytes);
    ULONGLONG pixelOffset = 0;
    if (!ReadFileHeader(in, pixelOffset)) return nullptr;
    return Decode(in, pixelOffset, rect);
  });
}

namespace {
// The headers of the BMP file at `path`, read once for information or facts. Information
// reads the information header in the 40-byte layout, whatever its size, from a file that
// holds at least 44 bytes of it; facts read it whole and check it as the decoder does.
bool ReadHeader(const CString& path, BmpInfoHeader& header, bool whole) {
  return KvGuarded([&] {
    CFile file;
    if (!KvOpenForReading(path, file)) return false;
    FileReader in(file, kInputBytes);
    ULONGLONG pixelOffset = 0;
    if (!ReadFileHeader(in, pixelOffset)) return false;
    if (whole) return ReadInfoHeader(in, header);
    const auto size = in.peek(4);
    const bool core = size.size() == 4 && size[0] == 12 && !size[1] && !size[2] && !size[3];
    if (!core && in.remaining() < 44) return KvFailTruncated(in, 44);
    return header.Read(in, false) || KvFail(in.Reason());
  });
}
}  // namespace

int KvBmpPictureInfo(const CString& path, RECT* rect, int* bits) {
  BmpInfoHeader header;
  if (!ReadHeader(path, header, false)) return 0;
  // A height of -2^31 has no positive counterpart.
  if (header.width <= 0) return KvFailf("width %d", static_cast<int>(header.width));
  if (header.height == 0 || header.height == INT32_MIN)
    return KvFailf("height %d", static_cast<int>(header.height));
  if (rect) *rect = RECT{0, 0, header.width, header.height < 0 ? -header.height : header.height};
  if (bits) *bits = header.bitCount;
  return 1;
}

int KvBmpPictureFacts(const CString& path, SKvPicFacts& facts) {
  BmpInfoHeader header;
  if (!ReadHeader(path, header, true)) return 0;
  // Negative widths and a height of -2^31 are refused here as the information call does;
  // the decoder refuses them by their size.
  if (header.width < 0) return KvFailf("width %d", static_cast<int>(header.width));
  if (header.height == INT32_MIN) return KvFailf("height %d", static_cast<int>(header.height));
  KvBitFields masks;
  bool keepAlpha = false;
  if (LayoutOf(header, masks, keepAlpha) == Layout::Unsupported) return 0;
  facts.width = header.width;
  facts.height = header.height < 0 ? -static_cast<long long>(header.height) : header.height;
  facts.storedBits = header.bitCount;
  facts.channels = keepAlpha ? 4 : 3;
  facts.alpha = keepAlpha;
  return 1;
}

DWORD* KvMediaLoadBMPFile(CString path, CRect& rect) {
  KvClearFailure();
  CFile file;
  return KvOpenForReading(path, file) ? KvDecodeBmpFile(file, rect) : nullptr;
}

DWORD* KvMediaLoadBMPInRC(HINSTANCE module, const wchar_t* name, CRect& rect) {
  const HRSRC found = FindResourceW(module, name, RT_BITMAP);
  if (!found) return nullptr;
  const HGLOBAL loaded = LoadResource(module, found);
  auto* bytes = static_cast<BYTE*>(loaded ? LockResource(loaded) : nullptr);
  if (!bytes) return nullptr;
  // The memory file only reads the resource's bytes; it is detached before it closes.
  CMemFile file(bytes, static_cast<UINT>(SizeofResource(module, found)));
  DWORD* picture = KvDecodeBmp(file, 0, rect);
  file.Detach();
  FreeResource(loaded);
  return picture;
}

void KvMediaInitBMPInfo(BITMAPINFO* info, CSize size) {
  if (!info) return;
  // A picture buffer: 32 bits, top row first (a negative height).
  info->bmiHeader =
      BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
}

int KvMediaSaveBMPFile(CString path, DWORD* buffer, CSize size, CRect rect) {
  KvClearFailure();
  CRect region;
  if (!KvSavedRegion(buffer, size, rect, 0x7FFFFFFF, region)) return 0;
  const auto width = static_cast<DWORD>(region.Width()),
             height = static_cast<DWORD>(region.Height());
  const unsigned long long imageBytes = 4ull * width * height;
  if (54 + imageBytes > 0xFFFFFFFFull)  // the header holds 32-bit sizes
    return KvFailf("a picture of %u x %u is too large for the format", width, height);

  SafeFileWriter out(path);
  if (!out.Open()) return 0;
  std::array<BYTE, 54> head{};
  head[0] = 'B';
  head[1] = 'M';
  KvPutLe32(&head[2], static_cast<DWORD>(54 + imageBytes));
  KvPutLe32(&head[10], 54);
  BYTE* info = &head[14];
  KvPutLe32(info + 0, 40);
  KvPutLe32(info + 4, width);
  KvPutLe32(info + 8, height);
  KvPutLe16(info + 12, 1);
  KvPutLe16(info + 14, 32);
  KvPutLe32(info + 20, static_cast<DWORD>(imageBytes));
  KvPutLe32(info + 24,
            width);  // the resolution fields carry the size, as the suite has always written
  KvPutLe32(info + 28, height);
  out.Write(head.data(), head.size());
  // Rows bottom-up, alpha kept.
  const auto stride = static_cast<std::size_t>(size.cx);
  for (long long y = region.bottom - 1; y >= region.top; --y)
    out.Write(buffer + static_cast<std::size_t>(y) * stride + region.left, std::size_t{width} * 4);
  return out.Commit() ? 1 : 0;
}
