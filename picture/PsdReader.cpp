#include "picture/PsdReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <new>
#include <span>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "host/FileName.h"
#include "host/MemBlock.h"
#include "picture/ByteReader.h"
#include "picture/PictureBuffer.h"
#include "picture/RowConversion.h"

namespace {

// The one working buffer of a load: file bytes are read through it, and raw planes are read
// into it in blocks. Never larger than the file.
constexpr std::size_t kBufferBytes = 64 * 1024;
// The longest PackBits packet: a header and 128 literal bytes.
constexpr std::size_t kMaxPacketBytes = 129;
constexpr std::size_t kPaletteBytes = 768;

bool CheckedMul(ULONGLONG a, ULONGLONG b, ULONGLONG& out) {
  return !__builtin_mul_overflow(a, b, &out);
}

// Buffered big-endian reading over a CFile that knows how much of the file is left, so that
// claimed sizes are compared with the bytes that are there before anything is read.
class PsdInput {
 public:
  explicit PsdInput(CFile& file)
      : m_file(file), m_length(file.GetLength()), m_filePos(file.GetPosition()) {
    m_buffer.resize(static_cast<std::size_t>(std::min<ULONGLONG>(kBufferBytes, m_length)));
  }

  ULONGLONG Position() const { return m_filePos - (m_end - m_begin); }
  ULONGLONG Remaining() const { return m_length > Position() ? m_length - Position() : 0; }
  bool AtEnd() const { return Remaining() == 0; }

  bool Read(void* out, std::size_t n) {
    if (!Fill(n)) return false;
    std::memcpy(out, &m_buffer[m_begin], n);
    m_begin += n;
    return true;
  }
  bool U8(BYTE& v) { return Read(&v, 1); }
  bool U16(WORD& v) {
    BYTE b[2];
    if (!Read(b, 2)) return false;
    v = static_cast<WORD>(b[0] << 8 | b[1]);
    return true;
  }
  bool U32(DWORD& v) {
    BYTE b[4];
    if (!Read(b, 4)) return false;
    v = static_cast<DWORD>(b[0]) << 24 | static_cast<DWORD>(b[1]) << 16 |
        static_cast<DWORD>(b[2]) << 8 | b[3];
    return true;
  }

  // Fails, without moving, when fewer than n bytes are left.
  bool Skip(ULONGLONG n) {
    if (n > Remaining()) return false;
    const std::size_t buffered = m_end - m_begin;
    if (n <= buffered) {
      m_begin += static_cast<std::size_t>(n);
      return true;
    }
    m_filePos += n - buffered;
    m_begin = m_end = 0;
    m_file.Seek(static_cast<LONGLONG>(m_filePos), CFile::begin);
    return true;
  }

  // The buffered bytes, topped up first when a whole packet might not be among them. Empty at
  // the end of the file.
  std::span<const BYTE> Peek() {
    Fill(std::min<std::size_t>(kMaxPacketBytes, m_buffer.size()));
    return {m_buffer.data() + m_begin, m_end - m_begin};
  }
  void Consume(std::size_t n) { m_begin += n; }

  // The buffer, emptied, for a caller that then reads with ReadAt.
  std::span<BYTE> Scratch() {
    m_begin = m_end = 0;
    return m_buffer;
  }
  bool ReadAt(ULONGLONG pos, BYTE* out, std::size_t n) {
    m_file.Seek(static_cast<LONGLONG>(pos), CFile::begin);
    const UINT got = m_file.Read(out, static_cast<UINT>(n));
    m_filePos = pos + got;
    return got == n;
  }

 private:
  // At least n bytes buffered, reading as many as fit; false when the file has fewer.
  bool Fill(std::size_t n) {
    const std::size_t buffered = m_end - m_begin;
    if (buffered >= n) return true;
    if (n > m_buffer.size()) return false;
    std::memmove(m_buffer.data(), m_buffer.data() + m_begin, buffered);
    m_begin = 0;
    m_end = buffered;
    while (m_end < n) {
      const UINT got =
          m_file.Read(m_buffer.data() + m_end, static_cast<UINT>(m_buffer.size() - m_end));
      if (got == 0) return false;
      m_end += got;
      m_filePos += got;
    }
    return true;
  }

  CFile& m_file;
  ULONGLONG m_length;
  ULONGLONG m_filePos;  // where the file's next read starts: just past the buffered bytes
  std::vector<BYTE> m_buffer;
  std::size_t m_begin = 0, m_end = 0;
};

// What the image resources say. Only the colour count is used here; the rest is kept for
// whoever wants it. The thumbnail header holds format, width, height, width bytes, total
// size, compressed size, bits per pixel and planes.
struct PsdResources {
  bool hasInfo = false;  // 1000: channels, rows, columns, depth, mode
  std::array<DWORD, 5> info{};
  bool hasResolution = false;  // 1005
  std::array<DWORD, 6> resolution{};
  bool hasDisplay = false;  // 1007: colour space, four components, opacity, kind
  std::array<DWORD, 7> display{};
  bool hasThumbnail = false;  // 1033, 1036
  std::array<DWORD, 8> thumbnail{};
  DWORD copyright = 0;          // 1034
  LONG globalAngle = 30;        // 1037
  short colorCount = -1;        // 1046
  short transparentIndex = -1;  // 1047
};

// base to a non-negative power by repeated squaring, so that results match to the last bit.
double Power(double base, int exponent) {
  double result = 1.0;
  for (; exponent > 0; exponent >>= 1, base *= base)
    if (exponent & 1) result *= base;
  return result;
}

DWORD Bgra(unsigned r, unsigned g, unsigned b, unsigned a = 255) {
  return static_cast<DWORD>(a) << 24 | r << 16 | g << 8 | b;
}

// One channel of CMYK to RGB: the ink and black coverages are 1 - sample / max.
unsigned CmykChannel(double ink, double black) {
  const int v = static_cast<int>((1 - ((1 - black) * ink + black)) * 255);
  return static_cast<unsigned>(std::clamp(v, 0, 255));
}

// How the samples of one pixel become BGRA, by colour mode.
struct PixelRule {
  short mode = 0;
  int depth = 8;                  // of the samples handed over
  int channels = 0;               // in the file
  const BYTE* palette = nullptr;  // 768 bytes, or null when indexed pixels cannot be made
};

// Converts `count` pixels into `out`. sample(c, i) is the value of channel c of pixel i in
// `depth` bits; channel 3 is asked for only when the file has it. Pixels whose mode gives
// nothing are left alone.
template <class Sample>
void ConvertPixels(const PixelRule& rule, std::size_t count, DWORD* out, Sample sample) {
  const int toByte = rule.depth - 8;
  const double max = Power(2.0, rule.depth);
  switch (rule.mode) {
    case KV_PSD_GRAYSCALE:
    case KV_PSD_DUOTONE:
      for (std::size_t i = 0; i < count; ++i) {
        const unsigned g = sample(0, i) >> toByte;
        out[i] = Bgra(g, g, g);
      }
      break;
    case KV_PSD_INDEXED:
      if (!rule.palette) break;
      for (std::size_t i = 0; i < count; ++i) {
        const unsigned k = sample(0, i) >> toByte;
        out[i] = Bgra(rule.palette[k], rule.palette[256 + k], rule.palette[512 + k]);
      }
      break;
    case KV_PSD_RGB:  // sampled here only for raw data, which has exactly three channels
      for (std::size_t i = 0; i < count; ++i)
        out[i] = Bgra(sample(0, i) >> toByte, sample(1, i) >> toByte, sample(2, i) >> toByte);
      break;
    case KV_PSD_CMYK:
    case KV_PSD_MULTICHANNEL: {
      if (rule.channels < 3) break;
      const bool hasBlack = rule.mode == KV_PSD_CMYK || rule.channels == 4;
      for (std::size_t i = 0; i < count; ++i) {
        const double k = hasBlack ? 1 - sample(3, i) / max : 0.0;
        out[i] =
            Bgra(CmykChannel(1 - sample(0, i) / max, k), CmykChannel(1 - sample(1, i) / max, k),
                 CmykChannel(1 - sample(2, i) / max, k));
      }
      break;
    }
    case KV_PSD_LAB: {
      // Flat areas repeat one colour; the last one is remembered.
      unsigned lastKey = ~0u;
      DWORD lastPixel = 0;
      for (std::size_t i = 0; i < count; ++i) {
        const int l = static_cast<int>(sample(0, i) / (max / 100));
        const int a = static_cast<int>(sample(1, i) / (max / 256) - 128);
        const int b = static_cast<int>(sample(2, i) / (max / 256) - 128);
        const unsigned key = static_cast<unsigned>(l) << 16 | (a & 0xFF) << 8 | (b & 0xFF);
        if (key != lastKey) {
          lastKey = key;
          lastPixel = KvPsdLabPixel(l, a, b);
        }
        out[i] = lastPixel;
      }
      break;
    }
    default:
      break;
  }
}

// The colour channels a mode's formula reads; files with fewer are refused. Multichannel
// files with fewer than three give an empty picture instead.
int ChannelsNeeded(short mode) {
  switch (mode) {
    case KV_PSD_RGB:
    case KV_PSD_LAB:
      return 3;
    case KV_PSD_CMYK:
      return 4;
    default:
      return 1;
  }
}

class PsdReader {
 public:
  PsdReader(CFile& file, PsdHeader& header) : m_file(file), m_h(header) {}

  DWORD* Read() {
    m_file.SeekToBegin();
    if (!ReadHeader()) return nullptr;
    PsdInput input(m_file);
    m_in = &input;
    if (!ReadColorModeData() || !ReadImageResources()) return nullptr;
    SkipLayerAndMask();
    PictureBuffer picture;
    if (!ReadImageData(picture)) return nullptr;
    return picture.Release();
  }

 private:
  bool ReadHeader() { return PsdHeader::Read(m_file, m_h); }

  // Only a palette is ever used, so only data of a palette's length is kept.
  bool ReadColorModeData() {
    DWORD length = 0;
    if (!m_in->U32(length)) return false;
    const auto n = static_cast<LONG>(length);
    if (n < 1) return true;
    if (n != static_cast<LONG>(kPaletteBytes)) return m_in->Skip(static_cast<ULONGLONG>(n));
    m_hasPalette = m_in->Read(m_palette.data(), kPaletteBytes);
    return m_hasPalette;
  }

  // Blocks are counted as they are read, and the count must end exactly on the section's
  // length. The known resources read only their own fields, whatever their block's size says.
  bool ReadImageResources() {
    DWORD length = 0;
    if (!m_in->U32(length)) return false;
    if (m_in->AtEnd()) return length == 0;
    ULONGLONG consumed = 0;
    while (consumed < length) {
      if (!ReadResourceBlock(consumed)) return false;
      if (m_in->AtEnd()) break;
    }
    return consumed == length;
  }

  bool ReadResourceBlock(ULONGLONG& consumed) {
    BYTE signature[4];
    if (!m_in->Read(signature, 4)) return false;
    consumed += 4;
    // Anything but a block signature is stepped over four bytes at a time.
    if (std::memcmp(signature, "8BIM", 4) != 0) return true;
    WORD id = 0;
    BYTE nameLength = 0;
    if (!m_in->U16(id) || !m_in->U8(nameLength)) return false;
    consumed += 3;
    // The length byte and the name together take an even number of bytes.
    const unsigned nameBytes = nameLength + (nameLength % 2 == 0 ? 1u : 0u);
    if (!m_in->Skip(nameBytes)) return false;
    consumed += nameBytes;
    DWORD rawSize = 0;
    if (!m_in->U32(rawSize)) return false;
    consumed += 4;
    LONGLONG size = static_cast<LONG>(rawSize);
    if (size % 2 != 0) ++size;
    if (size < 1) return true;

    PsdResources& r = m_resources;
    switch (id) {
      case 1000:
        r.hasInfo = ReadFields({2, 2, 2, 2, 2}, r.info.data(), consumed);
        return r.hasInfo;
      case 1005:
        r.hasResolution = ReadFields({2, 4, 2, 2, 4, 2}, r.resolution.data(), consumed);
        return r.hasResolution;
      case 1007: {
        std::array<DWORD, 8> fields{};  // the last is padding
        r.hasDisplay = ReadFields({2, 2, 2, 2, 2, 2, 1, 1}, fields.data(), consumed);
        std::copy_n(fields.begin(), r.display.size(), r.display.begin());
        return r.hasDisplay;
      }
      case 1033:
      case 1036: {
        r.hasThumbnail = ReadFields({4, 4, 4, 4, 4, 4, 2, 2}, r.thumbnail.data(), consumed);
        const ULONGLONG data = size > 28 ? static_cast<ULONGLONG>(size - 28) : 0;
        consumed += data;
        return r.hasThumbnail && m_in->Skip(data);
      }
      case 1034:
        return ReadFields({2}, &r.copyright, consumed);
      case 1037: {
        DWORD angle = 0;
        const bool ok = ReadFields({4}, &angle, consumed);
        r.globalAngle = static_cast<LONG>(angle);
        return ok;
      }
      case 1046:
      case 1047: {
        DWORD value = 0;
        const bool ok = ReadFields({2}, &value, consumed);
        (id == 1046 ? r.colorCount : r.transparentIndex) = static_cast<short>(value);
        return ok;
      }
      default:
        consumed += static_cast<ULONGLONG>(size);
        return m_in->Skip(static_cast<ULONGLONG>(size));
    }
  }

  // Big-endian fields of the given widths (1, 2 or 4 bytes).
  bool ReadFields(std::initializer_list<int> widths, DWORD* out, ULONGLONG& consumed) {
    std::array<BYTE, 28> bytes{};
    std::size_t total = 0;
    for (int w : widths) total += static_cast<std::size_t>(w);
    if (!m_in->Read(bytes.data(), total)) return false;
    consumed += total;
    ByteReader r(std::span<const BYTE>(bytes.data(), total));
    for (int w : widths) *out++ = w == 1 ? r.u8() : w == 2 ? r.u16be() : r.u32be();
    return true;
  }

  // Layers are not read. A length past the end of the file stops there; whatever happens
  // here, the image data is read next.
  void SkipLayerAndMask() {
    try {
      DWORD length = 0;
      if (m_in->U32(length)) m_in->Skip(std::min<ULONGLONG>(length, m_in->Remaining()));
    } catch (const CException&) {
    }
  }

  bool ReadImageData(PictureBuffer& picture) {
    WORD compression = 0;
    if (!m_in->U16(compression) || compression > 1) return false;
    if (m_h.depth != 8 && m_h.depth != 16) return false;
    if (m_h.channels < ChannelsNeeded(m_h.mode)) return false;
    const long long w = m_h.width, h = m_h.height;
    if (KvCheckedPictureBytes(w, h) == 0) return false;
    const int bytesPerSample = m_h.depth / 8;
    const ULONGLONG pixels = static_cast<ULONGLONG>(w) * static_cast<ULONGLONG>(h);
    const ULONGLONG planeBytes = pixels * bytesPerSample;

    m_rule.mode = m_h.mode;
    m_rule.channels = m_h.channels;
    if (m_hasPalette && m_resources.colorCount > 0) m_rule.palette = m_palette.data();
    return compression == 0 ? ReadRaw(picture, pixels, planeBytes)
                            : ReadPackBits(picture, pixels, planeBytes);
  }

  // Planes one after the other, each width x height samples. Only the planes the mode reads
  // are read, block by block, but all of them must be in the file.
  bool ReadRaw(PictureBuffer& picture, ULONGLONG pixels, ULONGLONG planeBytes) {
    int planes = 0, used = 0;
    switch (m_h.mode) {
      case KV_PSD_GRAYSCALE:
      case KV_PSD_INDEXED:
      case KV_PSD_DUOTONE:
        planes = m_h.channels;
        used = m_h.mode != KV_PSD_INDEXED || m_rule.palette ? 1 : 0;
        break;
      case KV_PSD_RGB:
      case KV_PSD_LAB:
        planes = used = 3;
        break;
      case KV_PSD_CMYK:
        planes = used = 4;
        break;
      default:
        return false;
    }
    ULONGLONG total = 0;
    if (m_h.channels != planes || !CheckedMul(planeBytes, static_cast<ULONGLONG>(planes), total) ||
        total > m_in->Remaining())
      return false;
    picture = PictureBuffer::Allocate(m_h.width, m_h.height);
    if (!picture || used == 0) return static_cast<bool>(picture);

    const int bytesPerSample = m_h.depth / 8;
    m_rule.depth = m_h.depth;
    const ULONGLONG start = m_in->Position();
    const std::span<BYTE> scratch = m_in->Scratch();
    const std::size_t blockPixels =
        scratch.size() / (static_cast<std::size_t>(used) * bytesPerSample);
    for (ULONGLONG first = 0; first < pixels;) {
      const auto n = static_cast<std::size_t>(std::min<ULONGLONG>(blockPixels, pixels - first));
      const BYTE* plane[4] = {};
      for (int c = 0; c < used; ++c) {
        BYTE* block = scratch.data() + c * n * bytesPerSample;
        if (!m_in->ReadAt(start + c * planeBytes + first * bytesPerSample, block,
                          n * bytesPerSample))
          return false;
        plane[c] = block;
      }
      DWORD* out = picture.data() + first;
      if (bytesPerSample == 1)
        ConvertPixels(m_rule, n, out, [&](int c, std::size_t i) { return unsigned{plane[c][i]}; });
      else
        ConvertPixels(m_rule, n, out, [&](int c, std::size_t i) {
          return unsigned{plane[c][2 * i]} << 8 | plane[c][2 * i + 1];
        });
      first += n;
    }
    return true;
  }

  // Row byte counts (not trusted, skipped), then each channel's plane as one PackBits stream.
  // Channels 0 to 3 are decoded straight into the bytes of the picture's pixels and converted
  // there; 16-bit samples keep their high byte and convert as 8-bit ones.
  bool ReadPackBits(PictureBuffer& picture, ULONGLONG pixels, ULONGLONG planeBytes) {
    const auto channels = static_cast<ULONGLONG>(m_h.channels);
    // A packet of at least two bytes gives at most 128.
    const ULONGLONG rowCounts = channels * static_cast<ULONGLONG>(m_h.height) * 2;
    ULONGLONG packed = 0;
    const ULONGLONG remaining = m_in->Remaining();
    if (!CheckedMul(channels, (planeBytes + 127) / 128 * 2, packed) || packed > remaining ||
        rowCounts > remaining - packed)
      return false;

    // The pixel byte each channel lands in (-1: decoded and dropped).
    std::array<int, 4> slot{-1, -1, -1, -1};
    switch (m_h.mode) {
      case KV_PSD_RGB:
        slot = {2, 1, 0, 3};
        break;
      case KV_PSD_GRAYSCALE:
      case KV_PSD_DUOTONE:
        slot[0] = 0;
        break;
      case KV_PSD_INDEXED:
        if (m_rule.palette) slot[0] = 0;
        break;
      case KV_PSD_CMYK:
      case KV_PSD_LAB:
        slot = {0, 1, 2, 3};
        break;
      case KV_PSD_MULTICHANNEL:
        if (m_h.channels >= 3) slot = {0, 1, 2, m_h.channels == 4 ? 3 : -1};
        break;
      default:
        break;
    }

    picture = PictureBuffer::Allocate(m_h.width, m_h.height);
    if (!picture || !m_in->Skip(rowCounts)) return false;
    auto* bytes = reinterpret_cast<BYTE*>(picture.data());
    for (ULONGLONG c = 0; c < channels; ++c) {
      BYTE* out = c < 4 && slot[c] >= 0 ? bytes + slot[c] : nullptr;
      const bool ok =
          m_h.depth == 8 ? DecodePlane<1>(out, planeBytes) : DecodePlane<2>(out, planeBytes);
      if (!ok) return false;
    }

    DWORD* px = picture.data();
    const auto count = static_cast<std::size_t>(pixels);
    if (m_h.mode == KV_PSD_RGB) {
      if (m_h.channels == 3) KvSetAlpha(px, count, 255);
      return true;
    }
    m_rule.depth = 8;
    ConvertPixels(m_rule, count, px, [px](int c, std::size_t i) { return px[i] >> 8 * c & 0xFF; });
    return true;
  }

  // Decodes one plane of `planeBytes` bytes; the first (high) byte of each sample goes to
  // out[4 * sample], or nowhere when out is null. A packet that runs past the plane is
  // consumed whole and its excess dropped: the plane's end is known, the row counts are not
  // trusted. False when the file ends first.
  template <int S>
  bool DecodePlane(BYTE* out, ULONGLONG planeBytes) {
    ULONGLONG pos = 0;
    // Writes plane bytes [pos, pos + n), byte k being value(k).
    auto put = [&](std::size_t n, auto value) {
      if (!out) return;
      const ULONGLONG stop = std::min<ULONGLONG>(pos + n, planeBytes);
      for (ULONGLONG i = (pos + S - 1) / S * S; i < stop; i += S)
        out[i / S * 4] = value(static_cast<std::size_t>(i - pos));
    };
    while (pos < planeBytes) {
      const std::span<const BYTE> in = m_in->Peek();
      const BYTE* p = in.data();
      const BYTE* const end = p + in.size();
      while (pos < planeBytes && p < end) {
        const unsigned header = *p;
        if (header < 128) {
          const std::size_t n = header + 1;
          if (static_cast<std::size_t>(end - p) <= n) break;
          const BYTE* literal = p + 1;
          put(n, [literal](std::size_t k) { return literal[k]; });
          p += n + 1;
          pos += n;
        } else if (header > 128) {
          if (end - p < 2) break;
          const std::size_t n = 257 - header;
          const BYTE v = p[1];
          // The picture starts zero-filled and each byte is written once: zeros need no
          // writing, which spares the clear areas of titles.
          if (v != 0) put(n, [v](std::size_t) { return v; });
          p += 2;
          pos += n;
        } else {
          ++p;  // 128 is a no-op
        }
      }
      const auto used = static_cast<std::size_t>(p - in.data());
      if (used == 0) return false;
      m_in->Consume(used);
    }
    return true;
  }

  CFile& m_file;
  PsdHeader& m_h;
  PsdInput* m_in = nullptr;
  std::array<BYTE, kPaletteBytes> m_palette{};
  bool m_hasPalette = false;
  PsdResources m_resources;
  PixelRule m_rule;
};

}  // namespace

bool PsdHeader::Read(CFile& file, PsdHeader& header) {
  std::array<BYTE, kSize> bytes{};
  if (file.Read(bytes.data(), kSize) != kSize) return false;
  ByteReader r(bytes);
  const bool signature = std::memcmp(r.bytes(4).data(), "8BPS", 4) == 0;
  const bool version = r.u16be() == 1;
  const auto reserved = r.bytes(6);
  if (!signature || !version ||
      std::any_of(reserved.begin(), reserved.end(), [](BYTE b) { return b != 0; }))
    return false;
  header.channels = r.i16be();
  header.height = r.i32be();
  header.width = r.i32be();
  header.depth = r.i16be();
  header.mode = r.i16be();
  return true;
}

int KvPsdPictureInfo(const CString& path, RECT* rect, int* bits) {
  try {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary)) return 0;
    PsdHeader h;
    if (!PsdHeader::Read(file, h)) return 0;
    if (rect) *rect = RECT{0, 0, h.width, h.height};
    if (bits) *bits = h.depth;
    return 1;
  } catch (const CException&) {
    return 0;
  }
}

DWORD* KvDecodePsd(CFile& file, CRect& rect) {
  PsdHeader header;
  DWORD* picture = nullptr;
  try {
    picture = PsdReader(file, header).Read();
  } catch (const CException&) {
  } catch (const std::bad_alloc&) {
  }
  rect = CRect(0, 0, header.width, header.height);
  return picture;
}

DWORD KvPsdLabPixel(int lightness, int a, int b) {
  const double fy = (lightness + 16) / 116.0;
  const double fx = a / 500.0 + fy;
  const double fz = fy - b / 200.0;
  auto linear = [](double f) {
    const double cube = Power(f, 3);
    return cube > 0.008856 ? cube : (f - 16 / 116.0) / 7.787;
  };
  const double x = linear(fx) * 95.047 / 100, y = linear(fy) * 100.0 / 100,
               z = linear(fz) * 108.883 / 100;
  auto channel = [](double v) {
    const double s = v > 0.0031308 ? 1.055 * std::pow(v, 1 / 2.4) - 0.055 : 12.92 * v;
    const double scaled = s * 256;
    return scaled >= 255 ? 255u : scaled > 0 ? static_cast<unsigned>(scaled) : 0u;
  };
  return Bgra(channel(3.2406 * x - 1.5372 * y - 0.4986 * z),
              channel(-0.9689 * x + 1.8758 * y + 0.0415 * z),
              channel(0.0557 * x - 0.204 * y + 1.057 * z));
}

DWORD* KvMediaLoadPSDFile(CString path, CRect& rect) {
  if (!KvDoesFileExist(path)) return nullptr;
  CFile file;
  try {
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary))
      return nullptr;
  } catch (const CException&) {
    return nullptr;
  }
  return KvDecodePsd(file, rect);
}
