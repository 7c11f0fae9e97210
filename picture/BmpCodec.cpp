#include "picture/BmpCodec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/FileName.h"
#include "host/MemBlock.h"
#include "picture/ByteReader.h"
#include "picture/PictureBuffer.h"
#include "picture/RowConversion.h"
#include "picture/SafeSave.h"

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr WORD kBmpType = 0x4D42;  // "BM"
constexpr std::size_t kMaxColours = 256;
constexpr DWORD kOpaqueBlack = 0xFF000000u;
// Uncompressed rows are read in blocks of about this many bytes.
constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

struct BmpInfoHeader {
  DWORD size = 0;
  LONG width = 0;
  LONG height = 0;
  WORD planes = 0;
  WORD bitCount = 0;
  DWORD compression = 0;
  DWORD sizeImage = 0;
  LONG xPelsPerMeter = 0;
  LONG yPelsPerMeter = 0;
  DWORD clrUsed = 0;
  DWORD clrImportant = 0;

  static constexpr std::size_t kSize = 40;
  static BmpInfoHeader Parse(const std::array<BYTE, kSize>& bytes) {
    ByteReader r(bytes);
    BmpInfoHeader h;
    h.size = r.u32le();
    h.width = r.i32le();
    h.height = r.i32le();
    h.planes = r.u16le();
    h.bitCount = r.u16le();
    h.compression = r.u32le();
    h.sizeImage = r.u32le();
    h.xPelsPerMeter = r.i32le();
    h.yPelsPerMeter = r.i32le();
    h.clrUsed = r.u32le();
    h.clrImportant = r.u32le();
    return h;
  }
};
static_assert(sizeof(BITMAPINFOHEADER) == BmpInfoHeader::kSize);

// How the pixels are stored; decided from bits per pixel and compression alone.
enum class Layout { Unsupported, Indexed, RunLength, Rgb555, Bgr24, Bgrx32 };

Layout LayoutOf(const BmpInfoHeader& h) {
  switch (h.bitCount) {
    case 1:
      return Layout::Indexed;  // whatever the compression says
    case 4:
    case 8: {
      const DWORD runLength = h.bitCount == 4 ? BI_RLE4 : BI_RLE8;
      if (h.compression == BI_RGB) return Layout::Indexed;
      // Run-length pictures are bottom-up only.
      return h.compression == runLength && h.height >= 1 ? Layout::RunLength : Layout::Unsupported;
    }
    case 16:
      return h.compression == BI_RGB ? Layout::Rgb555 : Layout::Unsupported;
    case 24:
      return Layout::Bgr24;  // whatever the compression says
    case 32:
      return h.compression == BI_RGB ? Layout::Bgrx32 : Layout::Unsupported;
    default:
      return Layout::Unsupported;
  }
}

// Reads exactly `bytes`; a file that ends first is a failure.
bool ReadExact(CFile& file, void* out, std::size_t bytes) {
  auto* p = static_cast<BYTE*>(out);
  while (bytes > 0) {
    const UINT chunk = static_cast<UINT>(std::min<std::size_t>(bytes, std::size_t{1} << 30));
    if (file.Read(p, chunk) != chunk) return false;
    p += chunk;
    bytes -= chunk;
  }
  return true;
}

// Palette entries of 1-, 4- or 8-bit indices, most significant bits first.
void ExpandIndices(const BYTE* src, DWORD* dst, std::size_t count, int bits, const DWORD* palette) {
  if (bits == 8) {
    for (std::size_t i = 0; i < count; ++i) dst[i] = palette[src[i]];
    return;
  }
  const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned shift = 8 - bits * (1 + i % perByte);
    dst[i] = palette[(src[i / perByte] >> shift) & mask];
  }
}

// B, G, R bytes to opaque pixels. All but the last pixel are taken as whole words, which
// the compiler turns into a fast loop; the last one must not read past its three bytes.
void ExpandBgr(const BYTE* src, DWORD* dst, std::size_t count) {
  if (count == 0) return;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    DWORD v;
    std::memcpy(&v, src + 3 * i, 4);
    dst[i] = v | kOpaqueBlack;
  }
  KvConvertRow(RawPixel::Bgr24, src + 3 * (count - 1), dst + count - 1, 1, 255);
}

// A 32-bit file row: its stored alpha is never kept. One pass, in whole words.
void CopyOpaque(const BYTE* src, DWORD* dst, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    DWORD v;
    std::memcpy(&v, src + 4 * i, 4);
    dst[i] = v | kOpaqueBlack;
  }
}

class BmpDecoder {
 public:
  BmpDecoder(CFile& file, const BmpInfoHeader& h)
      : m_file(file),
        m_h(h),
        m_layout(LayoutOf(h)),
        m_width(h.width),
        m_height(h.height < 0 ? -static_cast<long long>(h.height) : h.height) {}

  DWORD* Decode(ULONGLONG pixelOffset, CRect& rect) {
    if (m_layout == Layout::Unsupported || m_width <= 0) return nullptr;
    // Within the picture limit, every size below fits easily in 64 bits.
    if (KvCheckedPictureBytes(m_width, m_height) == 0) return nullptr;
    if (m_h.bitCount < 16 && !ReadColourTable()) return nullptr;
    if (pixelOffset != 0) m_file.Seek(static_cast<LONGLONG>(pixelOffset), CFile::begin);
    const ULONGLONG length = m_file.GetLength(), position = m_file.GetPosition();
    const ULONGLONG available = position < length ? length - position : 0;

    PictureBuffer picture;
    if (m_layout == Layout::RunLength) {
      // A few codes may describe a large picture (skips, an early end), so the data cannot
      // bound the size: it is checked first, and the picture made only for data that decodes.
      std::vector<BYTE> codes(static_cast<std::size_t>(available));
      if (!ReadExact(m_file, codes.data(), codes.size())) return nullptr;
      if (!DecodeRunLength(codes, nullptr)) return nullptr;
      picture = PictureBuffer::Allocate(m_width, m_height);
      if (!picture || !DecodeRunLength(codes, &picture)) return nullptr;
    } else {
      if (RowBytes() * (m_height - 1) + UsedRowBytes() > available) return nullptr;
      picture = PictureBuffer::Allocate(m_width, m_height);
      if (!picture || !DecodeRows(picture)) return nullptr;
    }
    rect = CRect(0, 0, static_cast<int>(m_width), static_cast<int>(m_height));
    return picture.Release();
  }

 private:
  bool ReadColourTable() {
    const std::size_t count = m_h.clrUsed != 0 ? m_h.clrUsed : std::size_t{1} << m_h.bitCount;
    if (count > kMaxColours) return false;
    std::array<BYTE, kMaxColours * 4> raw{};
    if (!ReadExact(m_file, raw.data(), count * 4)) return false;
    // Indices beyond the entries stored give opaque black.
    m_palette.fill(kOpaqueBlack);
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(&m_palette[i], &raw[i * 4], 4);
      m_palette[i] |= kOpaqueBlack;
    }
    return true;
  }

  // A file row, padded to whole 32-bit words, and the part of it that holds pixels.
  ULONGLONG RowBytes() const {
    return (static_cast<ULONGLONG>(m_width) * m_h.bitCount + 31) / 32 * 4;
  }
  ULONGLONG UsedRowBytes() const {
    return (static_cast<ULONGLONG>(m_width) * m_h.bitCount + 7) / 8;
  }

  void ConvertRow(const BYTE* src, DWORD* dst) const {
    const auto w = static_cast<std::size_t>(m_width);
    switch (m_layout) {
      case Layout::Indexed:
        ExpandIndices(src, dst, w, m_h.bitCount, m_palette.data());
        break;
      case Layout::Rgb555:
        KvConvertRow(RawPixel::Rgb555Bmp, src, dst, w, 255);
        break;
      case Layout::Bgr24:
        ExpandBgr(src, dst, w);
        break;
      case Layout::Bgrx32:
        CopyOpaque(src, dst, w);
        break;
      default:
        break;
    }
  }

  bool DecodeRows(const PictureBuffer& picture) {
    const auto rowBytes = static_cast<std::size_t>(RowBytes());
    const std::size_t rowsPerBlock = std::max<std::size_t>(1, kBlockBytes / rowBytes);
    const std::size_t blockRows = std::min<std::size_t>(rowsPerBlock, m_height);
    std::vector<BYTE> block(blockRows * rowBytes);
    const bool bottomUp = m_h.height > 0;
    for (long long row = 0; row < m_height;) {
      const auto rows = static_cast<std::size_t>(std::min<long long>(blockRows, m_height - row));
      std::size_t bytes = rows * rowBytes;
      // The padding of the last row may be missing.
      if (row + static_cast<long long>(rows) == m_height)
        bytes -= rowBytes - static_cast<std::size_t>(UsedRowBytes());
      if (!ReadExact(m_file, block.data(), bytes)) return false;
      for (std::size_t r = 0; r < rows; ++r) {
        const long long fileRow = row + static_cast<long long>(r);
        ConvertRow(&block[r * rowBytes], picture.row(bottomUp ? m_height - 1 - fileRow : fileRow));
      }
      row += static_cast<long long>(rows);
    }
    return true;
  }

  // Run-length codes of 4- and 8-bit pictures, from the bottom row up. With no picture the
  // codes are only checked. Every write is bounded by the checks before it: a run never
  // passes the row's end, and nothing is written above the top row.
  bool DecodeRunLength(std::span<const BYTE> codes, const PictureBuffer* picture) const {
    ByteReader in(codes);
    const long long w = m_width, h = m_height;
    const bool nibbles = m_h.bitCount == 4;
    long long x = 0, y = 0;  // pixels written in the current row, rows finished
    auto out = [&]() { return picture ? picture->row(h - 1 - y) + x : nullptr; };
    for (;;) {
      const BYTE first = in.u8(), second = in.u8();
      if (!in.ok()) return false;
      if (first != 0) {  // encoded run
        if (x + first > w || y >= h) return false;
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
          if (y + 1 > h) return false;
          ++y;
          x = 0;
          break;
        case 1:  // end of bitmap
          return true;
        case 2: {  // delta: skipped pixels stay transparent black
          const BYTE dx = in.u8(), dy = in.u8();
          if (!in.ok() || x + dx > w - 1 || y + dy > h - 1) return false;
          x += dx;
          y += dy;
          break;
        }
        default: {  // absolute run, padded to 16-bit words
          const int n = second;
          if (x + n > w || y >= h) return false;
          const std::size_t bytes = nibbles ? (n + 3) / 4 * 2 : (n + 1) / 2 * 2;
          const std::span<const BYTE> indices = in.bytes(bytes);
          if (!in.ok()) return false;
          if (DWORD* p = out()) ExpandIndices(indices.data(), p, n, m_h.bitCount, m_palette.data());
          x += n;
          break;
        }
      }
    }
  }

  CFile& m_file;
  const BmpInfoHeader& m_h;
  const Layout m_layout;
  const long long m_width;
  const long long m_height;
  std::array<DWORD, kMaxColours> m_palette{};
};

}  // namespace

DWORD* KvDecodeBmp(CFile& file, ULONGLONG pixelOffset, CRect& rect) {
  try {
    std::array<BYTE, BmpInfoHeader::kSize> bytes{};
    if (!ReadExact(file, bytes.data(), bytes.size())) return nullptr;
    const BmpInfoHeader header = BmpInfoHeader::Parse(bytes);
    // Only the 40-byte header: the later ones bring colour masks and spaces we do not follow.
    if (header.size != BmpInfoHeader::kSize || header.width == 0 || header.height == 0)
      return nullptr;
    return BmpDecoder(file, header).Decode(pixelOffset, rect);
  } catch (const CException&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

DWORD* KvDecodeBmpFile(CFile& file, CRect& rect) {
  try {
    std::array<BYTE, kFileHeaderSize> bytes{};
    file.SeekToBegin();
    if (!ReadExact(file, bytes.data(), bytes.size())) return nullptr;
    ByteReader r(bytes);
    const WORD type = r.u16le();
    r.skip(8);  // file size and reserved words
    const DWORD pixelOffset = r.u32le();
    if (type != kBmpType) return nullptr;
    return KvDecodeBmp(file, pixelOffset, rect);
  } catch (const CException&) {
    return nullptr;
  }
}

DWORD* KvMediaLoadBMPFile(CString path, CRect& rect) {
  if (!KvDoesFileExist(path)) return nullptr;
  CFile file;
  if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) return nullptr;
  return KvDecodeBmpFile(file, rect);
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
      BITMAPINFOHEADER{BmpInfoHeader::kSize, size.cx, -size.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
}

int KvMediaSaveBMPFile(CString path, DWORD* buffer, CSize size, CRect rect) {
  if (!buffer || size.cx <= 0 || size.cy <= 0) return 0;
  const CRect bounds(0, 0, size.cx, size.cy);
  CRect region;
  if (!region.IntersectRect(&rect, &bounds)) return 0;
  const auto W = static_cast<DWORD>(region.Width()), H = static_cast<DWORD>(region.Height());
  const unsigned long long imageBytes = 4ull * W * H;
  if (54 + imageBytes > 0xFFFFFFFFull) return 0;  // the header holds 32-bit sizes

  SafeFileWriter out(path);
  if (!out.Open()) return 0;
  std::array<BYTE, 54> head{};
  head[0] = 'B';
  head[1] = 'M';
  KvPutLe32(&head[2], static_cast<DWORD>(54 + imageBytes));
  KvPutLe32(&head[10], 54);
  BYTE* info = &head[14];
  KvPutLe32(info + 0, 40);
  KvPutLe32(info + 4, W);
  KvPutLe32(info + 8, H);
  KvPutLe16(info + 12, 1);
  KvPutLe16(info + 14, 32);
  KvPutLe32(info + 20, static_cast<DWORD>(imageBytes));
  KvPutLe32(info + 24, W);  // the resolution fields carry the size, as the suite has always written
  KvPutLe32(info + 28, H);
  out.Write(head.data(), head.size());
  // Rows bottom-up, alpha kept.
  const auto stride = static_cast<std::size_t>(size.cx);
  for (long long y = region.bottom - 1; y >= region.top; --y)
    out.Write(buffer + static_cast<std::size_t>(y) * stride + region.left, std::size_t{W} * 4);
  return out.Commit() ? 1 : 0;
}
