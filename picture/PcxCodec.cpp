#include "picture/PcxCodec.h"

#include <algorithm>
#include <array>
#include <cstring>
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
#include "platform/File.h"

namespace {

constexpr BYTE kPaletteMarker = 12;
constexpr std::size_t kPaletteBytes = 256 * 3;
constexpr BYTE kRunHeader = 0xC0;  // a byte above it starts a run of (byte - 0xC0)
constexpr std::size_t kMaxRun = 63;
// Sizes are 16-bit fields; the reader takes xmax and ymax as signed.
constexpr int kMaxSavedSide = 32768;

struct PcxHeader {
  BYTE manufacturer = 0;
  BYTE version = 0;
  BYTE encoding = 0;
  BYTE bitsPerPixel = 0;
  short xmin = 0, ymin = 0, xmax = 0, ymax = 0;
  WORD hres = 0, vres = 0;
  std::array<BYTE, 48> palette{};
  BYTE reserved = 0;
  BYTE planes = 0;
  WORD bytesPerLine = 0;
  WORD paletteInfo = 0;

  static constexpr std::size_t kSize = 128;

  static PcxHeader Parse(std::span<const BYTE, kSize> bytes) {
    ByteReader r(bytes);
    PcxHeader header;
    header.manufacturer = r.u8();
    header.version = r.u8();
    header.encoding = r.u8();
    header.bitsPerPixel = r.u8();
    header.xmin = r.i16le();
    header.ymin = r.i16le();
    header.xmax = r.i16le();
    header.ymax = r.i16le();
    header.hres = r.u16le();
    header.vres = r.u16le();
    r.copy(header.palette.data(), header.palette.size());
    header.reserved = r.u8();
    header.planes = r.u8();
    header.bytesPerLine = r.u16le();
    header.paletteInfo = r.u16le();
    return header;
  }

  std::array<BYTE, kSize> Serialize() const {
    std::array<BYTE, kSize> b{};
    b[0] = manufacturer;
    b[1] = version;
    b[2] = encoding;
    b[3] = bitsPerPixel;
    KvPutLe16(&b[4], static_cast<WORD>(xmin));
    KvPutLe16(&b[6], static_cast<WORD>(ymin));
    KvPutLe16(&b[8], static_cast<WORD>(xmax));
    KvPutLe16(&b[10], static_cast<WORD>(ymax));
    KvPutLe16(&b[12], hres);
    KvPutLe16(&b[14], vres);
    std::copy(palette.begin(), palette.end(), &b[16]);
    b[64] = reserved;
    b[65] = planes;
    KvPutLe16(&b[66], bytesPerLine);
    KvPutLe16(&b[68], paletteInfo);
    return b;
  }
};

long long PictureWidth(const PcxHeader& header) {
  return static_cast<long long>(header.xmax) - header.xmin + 1;
}
long long PictureHeight(const PcxHeader& header) {
  return static_cast<long long>(header.ymax) - header.ymin + 1;
}

// Scan-line bytes from run-length data read from the file. A run that goes past the end of
// a line carries on into the next one; what is left of it after the last line is dropped.
class PcxRunDecoder {
 public:
  explicit PcxRunDecoder(FileReader& in) : m_in(in) {}

  // Fills `bytes` bytes; false when the data ends first.
  bool Line(BYTE* out, std::size_t bytes) {
    std::size_t i = 0;
    while (i < bytes) {
      if (m_left != 0) {
        const std::size_t n = std::min(m_left, bytes - i);
        std::memset(out + i, m_value, n);
        i += n;
        m_left -= n;
        continue;
      }
      // The rest of the line takes at most two bytes a byte.
      const std::span<const BYTE> data = m_in.peek(2 * (bytes - i));
      std::size_t p = 0;
      while (i < bytes && p < data.size()) {
        const BYTE b = data[p];
        if (b <= kRunHeader) {  // literal bytes, 0xC0 included
          out[i++] = b;
          ++p;
          continue;
        }
        if (p + 1 == data.size()) break;  // the run's value is not buffered yet
        const std::size_t count = b - kRunHeader, n = std::min(count, bytes - i);
        std::memset(out + i, data[p + 1], n);
        i += n;
        p += 2;
        m_left = count - n;
        m_value = data[p - 1];
      }
      m_in.consume(p);
      if (p == 0) return m_in.fail(2);  // nothing left, or a run header at the very end
    }
    return true;
  }

 private:
  FileReader& m_in;
  std::size_t m_left = 0;
  BYTE m_value = 0;
};

// Data bytes that run-length coding needs at least for `bytes` bytes: 63 a run of two.
ULONGLONG MinimumCodedBytes(ULONGLONG bytes) {
  const ULONGLONG rest = bytes % kMaxRun;
  return bytes / kMaxRun * 2 + (rest == 0 ? 0 : rest == 1 ? 1 : 2);
}

class PcxDecoder {
 public:
  PcxDecoder(FileReader& in, const PcxHeader& header) : m_in(in), m_header(header) {}

  DWORD* Decode(CRect& rect) {
    if (m_header.version == 3) return KvRefused(KvFail("PCX version 3 carries no palette"));
    const long long width = PictureWidth(m_header), height = PictureHeight(m_header);
    const int bits = m_header.bitsPerPixel;
    const std::size_t bpl = m_header.bytesPerLine;
    const bool trueColour = bits == 8 && m_header.planes == 3;
    const bool planar16 = bits == 1 && m_header.planes == 4;
    if (width <= 0) return KvRefused(KvFailf("width %lld", width));
    if (height <= 0) return KvRefused(KvFailf("height %lld", height));
    if (!trueColour && !planar16 && (m_header.planes != 1 || (bits != 1 && bits != 4 && bits != 8)))
      return KvRefused(
          KvFailf("%d bits per pixel in %d planes is not supported", bits, m_header.planes));
    // A line holds the width. One-plane lines are no longer than the width in bytes, 8-bit
    // ones but padded to even.
    if (bpl < static_cast<std::size_t>((width * bits + 7) / 8))
      return KvRefused(KvFailf("%zu bytes per line cannot hold a width of %lld", bpl, width));
    const auto maxLine = static_cast<std::size_t>(bits == 8 ? (width + 1) / 2 * 2 : width);
    if (m_header.planes == 1 && bpl > maxLine)
      return KvRefused(KvFailf("%zu bytes per line for a width of %lld", bpl, width));
    if (!PictureBuffer::SizeAllowed(width, height)) return nullptr;

    // Refuse files that cannot hold the picture before allocating for it.
    const std::size_t lineBytes = bpl * m_header.planes;
    const ULONGLONG minimum = MinimumCodedBytes(static_cast<ULONGLONG>(lineBytes) * height);
    if (minimum > m_in.remaining()) return KvRefused(KvFailTruncated(m_in, minimum));

    PictureBuffer picture = PictureBuffer::Allocate(width, height);
    if (!picture) return nullptr;
    PcxRunDecoder runs(m_in);
    std::vector<BYTE> line(lineBytes), indices(trueColour ? 0 : static_cast<std::size_t>(width));
    const auto pixelsPerRow = static_cast<std::size_t>(width);
    const std::array<DWORD, 16> headerPalette = HeaderPalette();
    for (long long y = 0; y < height; ++y) {
      if (!runs.Line(line.data(), lineBytes)) return KvRefused(KvFail(m_in.Reason()));
      DWORD* out = picture.row(y);
      if (trueColour) {
        KvConvertPlanes8(line.data(), line.data() + bpl, line.data() + 2 * bpl, nullptr, out,
                         pixelsPerRow);
      } else if (bits == 8) {
        // Indices for now: the palette follows the data.
        for (std::size_t x = 0; x < pixelsPerRow; ++x) out[x] = line[x];
      } else if (planar16) {
        KvGatherBitPlanes(line.data(), bpl, 4, indices.data(), pixelsPerRow);
        KvConvertRow(RawPixel::Index8, indices.data(), out, pixelsPerRow, 255, headerPalette.data(),
                     headerPalette.size());
      } else {
        KvConvertRow(bits == 1 ? RawPixel::Index1 : RawPixel::Index4, line.data(), out,
                     pixelsPerRow, 255, headerPalette.data(), headerPalette.size());
      }
    }
    if (bits == 8 && !trueColour && !ApplyTrailingPalette(picture)) return nullptr;
    rect = CRect(0, 0, static_cast<int>(width), static_cast<int>(height));
    return picture.Release();
  }

 private:
  std::array<DWORD, 16> HeaderPalette() const {
    std::array<DWORD, 16> p{};
    KvConvertRow(RawPixel::Rgb24, m_header.palette.data(), p.data(), p.size(), 255);
    return p;
  }

  // The 256-colour palette stands right after the data that the lines took.
  bool ApplyTrailingPalette(const PictureBuffer& picture) const {
    const BYTE marker = m_in.u8();
    if (!m_in.ok()) return KvFail("no 256-colour palette after the data");
    if (marker != kPaletteMarker)
      return KvFailf("the 256-colour palette's marker is %d, not 12", marker);
    std::array<BYTE, kPaletteBytes> rgb{};
    if (!m_in.read(rgb.data(), rgb.size())) return KvFail(m_in.Reason());
    std::array<DWORD, 256> palette{};
    KvConvertRow(RawPixel::Rgb24, rgb.data(), palette.data(), palette.size(), 255);
    DWORD* p = picture.data();
    const std::size_t count = picture.pixels();
    for (std::size_t i = 0; i < count; ++i) p[i] = palette[p[i] & 0xFF];
    return true;
  }

  FileReader& m_in;
  const PcxHeader& m_header;
};

// The 128-byte header at the reader's position; false, with the reason, when it is short.
bool ReadHeader(FileReader& in, PcxHeader& header) {
  std::array<BYTE, PcxHeader::kSize> bytes{};
  if (!in.read(bytes.data(), bytes.size())) return KvFail(in.Reason());
  header = PcxHeader::Parse(bytes);
  return true;
}

// The header as picture information takes it: read whole, with PCX's one-byte signature.
bool ReadCheckedHeader(FileReader& in, PcxHeader& header) {
  if (!ReadHeader(in, header)) return false;
  return header.manufacturer == 10 || KvFailf("manufacturer byte %d, not 10", header.manufacturer);
}

// One plane row as the saver codes it: runs of 2 to 63 equal bytes as (0xC0 + length,
// byte), longer runs cut at 63, lone bytes as themselves unless they would read as a run
// header. `out` has room for 2 n bytes, the worst case; returns the end of what was written.
BYTE* EncodePlaneRow(const BYTE* p, std::size_t n, BYTE* out) {
  for (std::size_t i = 0; i < n;) {
    const BYTE v = p[i];
    std::size_t run = 1;
    while (i + run < n && run < kMaxRun && p[i + run] == v) ++run;
    if (run > 1 || v >= kRunHeader) *out++ = static_cast<BYTE>(kRunHeader + run);
    *out++ = v;
    i += run;
  }
  return out;
}

}  // namespace

DWORD* KvDecodePcx(CFile& file, CRect& rect) {
  return KvGuarded([&]() -> DWORD* {
    file.SeekToBegin();
    FileReader in(file);
    PcxHeader header;
    if (!ReadHeader(in, header)) return nullptr;
    return PcxDecoder(in, header).Decode(rect);
  });
}

DWORD* KvDecodePcx(std::span<const BYTE> bytes, CRect& rect) {
  if (bytes.size() > UINT32_MAX) return nullptr;
  // The memory file only reads the bytes; it is detached before it closes.
  CMemFile file(const_cast<BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  DWORD* picture = KvDecodePcx(file, rect);
  file.Detach();
  return picture;
}

namespace {
// The header of the PCX at `path`, read once for information and facts alike.
bool ReadHeader(const CString& path, PcxHeader& header) {
  return KvGuarded([&] {
    CFile file;
    if (!KvOpenForReading(path, file)) return false;
    FileReader in(file, PcxHeader::kSize);
    return ReadCheckedHeader(in, header);
  });
}
}  // namespace

int KvPcxPictureInfo(const CString& path, RECT* rect, int* bits) {
  PcxHeader header;
  if (!ReadHeader(path, header)) return 0;
  if (rect) *rect = RECT{header.xmin, header.ymin, header.xmax + 1, header.ymax + 1};
  if (bits) *bits = header.bitsPerPixel * header.planes;
  return 1;
}

int KvPcxPictureFacts(const CString& path, SKvPicFacts& facts) {
  PcxHeader header;
  if (!ReadHeader(path, header)) return 0;
  const long long width = PictureWidth(header), height = PictureHeight(header);
  if (width <= 0) return KvFailf("width %lld", width);
  if (height <= 0) return KvFailf("height %lld", height);
  facts.width = width;
  facts.height = height;
  facts.x = header.xmin;
  facts.y = header.ymin;
  facts.storedBits = header.bitsPerPixel * header.planes;
  facts.channels = 3;  // every layout loads opaque
  facts.alpha = false;
  return 1;
}

DWORD* KvMediaLoadPCXFile(CString path, CRect& rect) {
  KvClearFailure();
  CFile file;
  return KvOpenForReading(path, file) ? KvDecodePcx(file, rect) : nullptr;
}

int KvMediaSavePCXFile(CString path, DWORD* buffer, CSize size, CRect rect) {
  KvClearFailure();
  CRect region;
  if (!KvSavedRegion(buffer, size, rect, kMaxSavedSide, region)) return 0;
  const int width = region.Width(), height = region.Height();

  SafeFileWriter out(path);
  if (!out.Open()) return 0;
  PcxHeader header;
  header.manufacturer = 10;
  header.version = 5;
  header.encoding =
      0;  // the rows are run-length coded all the same, as the suite has always written
  header.bitsPerPixel = 8;
  header.xmax = static_cast<short>(width - 1);
  header.ymax = static_cast<short>(height - 1);
  header.hres = static_cast<WORD>(width);
  header.vres = static_cast<WORD>(height);
  header.reserved = 1;
  header.planes = 3;
  header.bytesPerLine = static_cast<WORD>(width);  // not rounded up to even
  header.paletteInfo = 1;
  const auto head = header.Serialize();
  out.Write(head.data(), head.size());

  // Each row as three plane rows, R, G then B, each coded on its own; alpha is dropped.
  const auto planeBytes = static_cast<std::size_t>(width);
  std::vector<BYTE> planes(3 * planeBytes), coded(2 * planes.size());
  for (int y = 0; y < height; ++y) {
    const DWORD* src = buffer + static_cast<std::size_t>(region.top + y) * size.cx + region.left;
    for (std::size_t x = 0; x < planeBytes; ++x) {
      planes[x] = static_cast<BYTE>(src[x] >> 16);
      planes[planeBytes + x] = static_cast<BYTE>(src[x] >> 8);
      planes[2 * planeBytes + x] = static_cast<BYTE>(src[x]);
    }
    BYTE* end = coded.data();
    for (int c = 0; c < 3; ++c) end = EncodePlaneRow(&planes[c * planeBytes], planeBytes, end);
    out.Write(coded.data(), static_cast<std::size_t>(end - coded.data()));
  }
  return out.Commit() ? 1 : 0;
}
