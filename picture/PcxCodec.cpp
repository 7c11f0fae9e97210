#include "picture/PcxCodec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/FileName.h"
#include "host/MemBlock.h"
#include "picture/ByteReader.h"
#include "picture/PictureBuffer.h"
#include "picture/SafeSave.h"
#include "platform/File.h"

namespace {

constexpr BYTE kPaletteMarker = 12;
constexpr std::size_t kPaletteBytes = 256 * 3;
constexpr BYTE kRunHeader = 0xC0;  // a byte above it starts a run of (byte - 0xC0)
constexpr std::size_t kMaxRun = 63;
constexpr DWORD kOpaqueBlack = 0xFF000000u;
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
    PcxHeader h;
    h.manufacturer = r.u8();
    h.version = r.u8();
    h.encoding = r.u8();
    h.bitsPerPixel = r.u8();
    h.xmin = r.i16le();
    h.ymin = r.i16le();
    h.xmax = r.i16le();
    h.ymax = r.i16le();
    h.hres = r.u16le();
    h.vres = r.u16le();
    r.copy(h.palette.data(), h.palette.size());
    h.reserved = r.u8();
    h.planes = r.u8();
    h.bytesPerLine = r.u16le();
    h.paletteInfo = r.u16le();
    return h;
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

// Scan-line bytes from run-length data. A run that goes past the end of a line carries on
// into the next one; what is left of it after the last line is dropped. Every read is
// checked against the end of the data.
class PcxRunReader {
 public:
  PcxRunReader(std::span<const BYTE> data, std::size_t position) : m_data(data), m_pos(position) {}

  // Fills `bytes` bytes; false when the data ends first.
  bool Line(BYTE* out, std::size_t bytes) {
    std::size_t i = 0;
    while (i < bytes) {
      if (m_left == 0) {
        // Literal bytes (0xC0 included) straight through.
        const std::size_t limit = i + std::min(bytes - i, m_data.size() - m_pos);
        while (i < limit && m_data[m_pos] <= kRunHeader) out[i++] = m_data[m_pos++];
        if (i == bytes) break;
        if (m_data.size() - m_pos < 2) return false;
        m_left = m_data[m_pos] - kRunHeader;
        m_value = m_data[m_pos + 1];
        m_pos += 2;
      }
      const std::size_t n = std::min(m_left, bytes - i);
      std::memset(out + i, m_value, n);
      i += n;
      m_left -= n;
    }
    return true;
  }

  // Where the data that the lines took ends.
  std::size_t position() const { return m_pos; }

 private:
  std::span<const BYTE> m_data;
  std::size_t m_pos;
  std::size_t m_left = 0;
  BYTE m_value = 0;
};

// Palette entries of 1-, 4- or 8-bit indices, most significant bits first.
void ExpandIndices(const BYTE* src, DWORD* dst, std::size_t count, int bits, const DWORD* palette) {
  const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned shift = 8 - bits * (1 + i % perByte);
    dst[i] = palette[(src[i / perByte] >> shift) & mask];
  }
}

DWORD Opaque(BYTE r, BYTE g, BYTE b) { return kOpaqueBlack | r << 16 | g << 8 | b; }

class PcxDecoder {
 public:
  PcxDecoder(std::span<const BYTE> file, const PcxHeader& h) : m_file(file), m_h(h) {}

  DWORD* Decode(CRect& rect) {
    if (m_h.version == 3) return nullptr;  // carries no palette of its own
    const long long w = static_cast<long long>(m_h.xmax) - m_h.xmin + 1;
    const long long h = static_cast<long long>(m_h.ymax) - m_h.ymin + 1;
    const int bits = m_h.bitsPerPixel;
    const std::size_t bpl = m_h.bytesPerLine;
    const bool trueColour = bits == 8 && m_h.planes == 3;
    if (w <= 0 || h <= 0) return nullptr;
    if (!trueColour && (m_h.planes != 1 || (bits != 1 && bits != 4 && bits != 8))) return nullptr;
    // A line holds the width; only 24-bit lines may be longer than the width in bytes, so an
    // 8-bit picture of odd width (lines padded to even) is refused.
    if (bpl < static_cast<std::size_t>((w * bits + 7) / 8)) return nullptr;
    if (!trueColour && bpl > static_cast<std::size_t>(w)) return nullptr;
    if (KvCheckedPictureBytes(w, h) == 0) return nullptr;

    // Two bytes of run-length data give at most 63 bytes: refuse files that cannot hold the
    // picture before allocating for it.
    const std::size_t lineBytes = bpl * m_h.planes;
    const std::size_t data = m_file.size() - PcxHeader::kSize;
    if (static_cast<unsigned long long>(lineBytes) * h > data / 2 * kMaxRun + data % 2)
      return nullptr;

    PictureBuffer picture = PictureBuffer::Allocate(w, h);
    if (!picture) return nullptr;
    PcxRunReader runs(m_file, PcxHeader::kSize);
    std::vector<BYTE> line(lineBytes);
    const auto width = static_cast<std::size_t>(w);
    const std::array<DWORD, 16> headerPalette = HeaderPalette();
    for (long long y = 0; y < h; ++y) {
      if (!runs.Line(line.data(), lineBytes)) return nullptr;
      DWORD* out = picture.row(y);
      if (trueColour) {
        const BYTE *r = line.data(), *g = r + bpl, *b = g + bpl;
        for (std::size_t x = 0; x < width; ++x) out[x] = Opaque(r[x], g[x], b[x]);
      } else if (bits == 8) {
        // Indices for now: the palette follows the data.
        for (std::size_t x = 0; x < width; ++x) out[x] = line[x];
      } else {
        ExpandIndices(line.data(), out, width, bits, headerPalette.data());
      }
    }
    if (bits == 8 && !trueColour && !ApplyTrailingPalette(runs.position(), picture)) return nullptr;
    rect = CRect(0, 0, static_cast<int>(w), static_cast<int>(h));
    return picture.Release();
  }

 private:
  std::array<DWORD, 16> HeaderPalette() const {
    std::array<DWORD, 16> p{};
    for (std::size_t i = 0; i < p.size(); ++i)
      p[i] = Opaque(m_h.palette[3 * i], m_h.palette[3 * i + 1], m_h.palette[3 * i + 2]);
    return p;
  }

  // The 256-colour palette stands right after the data that the lines took.
  bool ApplyTrailingPalette(std::size_t position, const PictureBuffer& picture) const {
    ByteReader in(m_file);
    if (!in.seek(position) || in.u8() != kPaletteMarker) return false;
    const std::span<const BYTE> rgb = in.bytes(kPaletteBytes);
    if (!in.ok()) return false;
    std::array<DWORD, 256> palette{};
    for (std::size_t i = 0; i < palette.size(); ++i)
      palette[i] = Opaque(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    DWORD* p = picture.data();
    const std::size_t count = static_cast<std::size_t>(picture.width()) * picture.height();
    for (std::size_t i = 0; i < count; ++i) p[i] = palette[p[i] & 0xFF];
    return true;
  }

  std::span<const BYTE> m_file;
  const PcxHeader& m_h;
};

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

DWORD* KvDecodePcx(std::span<const BYTE> file, CRect& rect) {
  if (file.size() < PcxHeader::kSize) return nullptr;
  try {
    const PcxHeader header = PcxHeader::Parse(file.first<PcxHeader::kSize>());
    return PcxDecoder(file, header).Decode(rect);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

DWORD* KvMediaLoadPCXFile(CString path, CRect& rect) {
  if (!KvDoesFileExist(path)) return nullptr;
  try {
    std::vector<BYTE> bytes;
    {
      CFile file;
      if (!file.Open(path, CFile::modeRead | CFile::typeBinary)) return nullptr;
      const ULONGLONG length = file.GetLength();
      if (length < PcxHeader::kSize || length > UINT32_MAX) return nullptr;
      bytes.resize(static_cast<std::size_t>(length));
      if (file.Read(bytes.data(), static_cast<UINT>(length)) != length) return nullptr;
    }
    return KvDecodePcx(bytes, rect);
  } catch (const CException&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int KvMediaSavePCXFile(CString path, DWORD* buffer, CSize size, CRect rect) {
  if (!buffer || size.cx <= 0 || size.cy <= 0) return 0;
  const CRect bounds(0, 0, size.cx, size.cy);
  CRect region;
  if (!region.IntersectRect(&rect, &bounds)) return 0;
  const int W = region.Width(), H = region.Height();
  if (W > kMaxSavedSide || H > kMaxSavedSide) return 0;

  SafeFileWriter out(path);
  if (!out.Open()) return 0;
  PcxHeader h;
  h.manufacturer = 10;
  h.version = 5;
  h.encoding = 0;  // the rows are run-length coded all the same, as the suite has always written
  h.bitsPerPixel = 8;
  h.xmax = static_cast<short>(W - 1);
  h.ymax = static_cast<short>(H - 1);
  h.hres = static_cast<WORD>(W);
  h.vres = static_cast<WORD>(H);
  h.reserved = 1;
  h.planes = 3;
  h.bytesPerLine = static_cast<WORD>(W);  // not rounded up to even
  h.paletteInfo = 1;
  const auto head = h.Serialize();
  out.Write(head.data(), head.size());

  // Each row as three plane rows, R, G then B, each coded on its own; alpha is dropped.
  const auto w = static_cast<std::size_t>(W);
  std::vector<BYTE> planes(3 * w), coded(2 * planes.size());
  for (int y = 0; y < H; ++y) {
    const DWORD* src = buffer + static_cast<std::size_t>(region.top + y) * size.cx + region.left;
    for (std::size_t x = 0; x < w; ++x) {
      planes[x] = static_cast<BYTE>(src[x] >> 16);
      planes[w + x] = static_cast<BYTE>(src[x] >> 8);
      planes[2 * w + x] = static_cast<BYTE>(src[x]);
    }
    BYTE* end = coded.data();
    for (int c = 0; c < 3; ++c) end = EncodePlaneRow(&planes[c * w], w, end);
    out.Write(coded.data(), static_cast<std::size_t>(end - coded.data()));
  }
  return out.Commit() ? 1 : 0;
}
