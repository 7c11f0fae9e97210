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
#include "host/Failure.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "host/MemBlock.h"
#include "host/RowConversion.h"
#include "picture/CodecEntry.h"
#include "picture/PictureBuffer.h"

namespace {

// Raw planes are read this many bytes at a time, each block straight into a plane buffer
// (the file reader's own buffer is not larger, so such reads bypass it).
constexpr std::size_t kPlaneBlockBytes = FileReader::kDefaultBufferBytes;
constexpr std::size_t kPaletteBytes = 768;

bool CheckedMul(ULONGLONG a, ULONGLONG b, ULONGLONG& out) {
  return !__builtin_mul_overflow(a, b, &out);
}

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
  int depth = 8;                   // of the samples handed over
  int channels = 0;                // in the file
  const DWORD* palette = nullptr;  // 256 colours, or null when indexed pixels cannot be made
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
        out[i] = rule.palette[k];
      }
      break;
    case KV_PSD_RGB:  // sampled here only for raw data; alpha comes from a fourth channel
      for (std::size_t i = 0; i < count; ++i)
        out[i] = Bgra(sample(0, i) >> toByte, sample(1, i) >> toByte, sample(2, i) >> toByte,
                      rule.channels >= 4 ? sample(3, i) >> toByte : 255);
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
    FileReader input(m_file);
    m_in = &input;
    if (!PsdHeader::Read(input, m_h) || !ReadColorModeData() || !ReadImageResources())
      return nullptr;
    SkipLayerAndMask();
    PictureBuffer picture;
    if (!ReadImageData(picture)) return nullptr;
    return picture.Release();
  }

 private:
  // Records where the data ran out; false.
  bool Truncated() { return KvFail(m_in->Reason()); }

  // Only a palette is ever used, so only data of a palette's length is kept.
  bool ReadColorModeData() {
    const auto n = m_in->i32be();
    if (!m_in->ok()) return Truncated();
    if (n < 1) return true;
    if (n != static_cast<LONG>(kPaletteBytes)) {
      if (!m_in->skip(static_cast<ULONGLONG>(n))) return Truncated();
      return true;
    }
    m_hasPalette = m_in->read(m_palette.data(), kPaletteBytes);
    return m_hasPalette || Truncated();
  }

  // Blocks are counted as they are read, and the count must end exactly on the section's
  // length. The known resources read only their own fields, whatever their block's size says.
  bool ReadImageResources() {
    const DWORD length = m_in->u32be();
    if (!m_in->ok()) return Truncated();
    if (m_in->remaining() == 0)
      return length == 0 || KvFail("PSD file ends before its image resources");
    ULONGLONG consumed = 0;
    while (consumed < length) {
      if (!ReadResourceBlock(consumed)) return m_in->ok() ? false : Truncated();
      if (m_in->remaining() == 0) break;
    }
    return consumed == length ||
           KvFailf("PSD image resources take %llu bytes, not the %lu of their section",
                   static_cast<unsigned long long>(consumed), static_cast<unsigned long>(length));
  }

  bool ReadResourceBlock(ULONGLONG& consumed) {
    BYTE signature[4];
    if (!m_in->read(signature, 4)) return false;
    consumed += 4;
    // Anything but a block signature is stepped over four bytes at a time.
    if (std::memcmp(signature, "8BIM", 4) != 0) return true;
    const WORD id = m_in->u16be();
    const BYTE nameLength = m_in->u8();
    consumed += 3;
    // The length byte and the name together take an even number of bytes.
    const unsigned nameBytes = nameLength + (nameLength % 2 == 0 ? 1u : 0u);
    m_in->skip(nameBytes);
    consumed += nameBytes;
    const DWORD rawSize = m_in->u32be();
    consumed += 4;
    if (!m_in->ok()) return false;
    LONGLONG size = static_cast<LONG>(rawSize);
    if (size % 2 != 0) ++size;
    if (size < 1) return true;

    // Of the resources known here only the colour count is kept; the others are read field by
    // field all the same, whatever their block's size says.
    std::array<DWORD, 8> fields{};
    switch (id) {
      case 1000:  // channels, rows, columns, depth, mode
        return ReadFields({2, 2, 2, 2, 2}, fields.data(), consumed);
      case 1005:  // resolution
        return ReadFields({2, 4, 2, 2, 4, 2}, fields.data(), consumed);
      case 1007:  // display: colour space, four components, opacity, kind, padding
        return ReadFields({2, 2, 2, 2, 2, 2, 1, 1}, fields.data(), consumed);
      case 1033:
      case 1036: {  // the thumbnail: format, width, height, width bytes, total size,
                    // compressed size, bits per pixel, planes; then its data
        const bool ok = ReadFields({4, 4, 4, 4, 4, 4, 2, 2}, fields.data(), consumed);
        const ULONGLONG data = size > 28 ? static_cast<ULONGLONG>(size - 28) : 0;
        consumed += data;
        return ok && m_in->skip(data);
      }
      case 1034:  // copyright flag
      case 1047:  // transparent index
        return ReadFields({2}, fields.data(), consumed);
      case 1037:  // global angle
        return ReadFields({4}, fields.data(), consumed);
      case 1046: {
        const bool ok = ReadFields({2}, fields.data(), consumed);
        m_colorCount = static_cast<short>(fields[0]);
        return ok;
      }
      default:
        consumed += static_cast<ULONGLONG>(size);
        return m_in->skip(static_cast<ULONGLONG>(size));
    }
  }

  // Big-endian fields of the given widths (1, 2 or 4 bytes). None is stored unless all are
  // there.
  bool ReadFields(std::initializer_list<int> widths, DWORD* out, ULONGLONG& consumed) {
    std::array<DWORD, 8> fields{};
    std::size_t k = 0;
    for (int w : widths) {
      fields[k++] = w == 1 ? m_in->u8() : w == 2 ? m_in->u16be() : m_in->u32be();
      consumed += static_cast<ULONGLONG>(w);
    }
    if (!m_in->ok()) return false;
    std::copy_n(fields.begin(), k, out);
    return true;
  }

  // Layers are not read. A length past the end of the file stops there; whatever happens
  // here, the image data is read next.
  void SkipLayerAndMask() {
    const DWORD length = m_in->u32be();
    if (m_in->ok()) m_in->skip(std::min<ULONGLONG>(length, m_in->remaining()));
  }

  bool ReadImageData(PictureBuffer& picture) {
    const WORD compression = m_in->u16be();
    if (!m_in->ok()) return Truncated();
    if (compression > 1) return KvFailf("PSD compression %u is not supported", compression);
    if (m_h.depth != 8 && m_h.depth != 16)
      return KvFailf("PSD depth %d is not supported", m_h.depth);
    if (m_h.channels < ChannelsNeeded(m_h.mode))
      return KvFailf("PSD colour mode %d needs %d channels, not %d", m_h.mode,
                     ChannelsNeeded(m_h.mode), m_h.channels);
    const long long w = m_h.width, h = m_h.height;
    if (KvCheckedPictureBytes(w, h) == 0) return KvRefusePictureSize(w, h);
    const int bytesPerSample = m_h.depth / 8;
    const ULONGLONG pixels = static_cast<ULONGLONG>(w) * static_cast<ULONGLONG>(h);
    const ULONGLONG planeBytes = pixels * bytesPerSample;

    m_rule.mode = m_h.mode;
    m_rule.channels = m_h.channels;
    if (m_hasPalette && m_colorCount > 0) {
      // The colour data holds 256 reds, then 256 greens, then 256 blues.
      KvConvertPlanes8(&m_palette[0], &m_palette[256], &m_palette[512], nullptr, m_colours.data(),
                       m_colours.size());
      m_rule.palette = m_colours.data();
    }
    const bool read = compression == 0 ? ReadRaw(picture, pixels, planeBytes)
                                       : ReadPackBits(picture, pixels, planeBytes);
    return read;
  }

  // Planes one after the other, each width x height samples. Only the planes the mode reads
  // are read, block by block, but all of them must be in the file. RGB reads red, green and
  // blue, and alpha from a fourth channel, as packed data does; further channels are not read.
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
        planes = m_h.channels;
        used = std::min(m_h.channels, short{4});
        break;
      case KV_PSD_LAB:
        planes = used = 3;
        break;
      case KV_PSD_CMYK:
        planes = used = 4;
        break;
      default:
        return KvFailf("raw PSD data in colour mode %d is not supported", m_h.mode);
    }
    if (m_h.channels != planes)
      return KvFailf("raw PSD data in colour mode %d with %d channels is not supported", m_h.mode,
                     m_h.channels);
    ULONGLONG total = 0;
    if (!CheckedMul(planeBytes, static_cast<ULONGLONG>(planes), total) || total > m_in->remaining())
      return m_in->fail(total) || Truncated();
    // Pixels without a formula stay transparent black; otherwise every one is written.
    picture = PictureBuffer::Allocate(m_h.width, m_h.height, used == 0);
    if (!picture || used == 0) return static_cast<bool>(picture);

    const int bytesPerSample = m_h.depth / 8;
    m_rule.depth = m_h.depth;
    const ULONGLONG start = m_in->position();
    const std::size_t blockBytes =
        static_cast<std::size_t>(std::min<ULONGLONG>(kPlaneBlockBytes, planeBytes));
    std::vector<BYTE> scratch(blockBytes * static_cast<std::size_t>(used));
    const std::size_t blockPixels = blockBytes / static_cast<std::size_t>(bytesPerSample);
    const bool rgb8 = m_h.mode == KV_PSD_RGB && bytesPerSample == 1;
    for (ULONGLONG first = 0; first < pixels;) {
      const auto n = static_cast<std::size_t>(std::min<ULONGLONG>(blockPixels, pixels - first));
      const BYTE* plane[4] = {};
      for (int c = 0; c < used; ++c) {
        BYTE* block = scratch.data() + c * blockBytes;
        if (!m_in->seek(start + c * planeBytes + first * bytesPerSample) ||
            !m_in->read(block, n * bytesPerSample))
          return Truncated();
        plane[c] = block;
      }
      DWORD* out = picture.data() + first;
      if (rgb8)
        KvConvertPlanes8(plane[0], plane[1], plane[2], plane[3], out, n);
      else if (bytesPerSample == 1)
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
    const ULONGLONG remaining = m_in->remaining();
    if (!CheckedMul(channels, (planeBytes + 127) / 128 * 2, packed) || packed > remaining ||
        rowCounts > remaining - packed)
      return m_in->fail(rowCounts + packed) || Truncated();

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
    if (!picture) return false;
    if (!m_in->skip(rowCounts)) return Truncated();
    auto* bytes = reinterpret_cast<BYTE*>(picture.data());
    for (ULONGLONG c = 0; c < channels; ++c) {
      BYTE* out = c < 4 && slot[c] >= 0 ? bytes + slot[c] : nullptr;
      const bool ok =
          m_h.depth == 8 ? DecodePlane<1>(out, planeBytes) : DecodePlane<2>(out, planeBytes);
      if (!ok)
        return KvFailf("PSD data ends in channel %llu of %llu",
                       static_cast<unsigned long long>(c + 1),
                       static_cast<unsigned long long>(channels));
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
      // As much as the buffer holds: packets are decoded from it until one does not fit.
      const std::span<const BYTE> in = m_in->peek(FileReader::kDefaultBufferBytes);
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
      m_in->consume(used);
    }
    return true;
  }

  CFile& m_file;
  PsdHeader& m_h;
  FileReader* m_in = nullptr;
  std::array<BYTE, kPaletteBytes> m_palette{};
  std::array<DWORD, 256> m_colours{};
  bool m_hasPalette = false;
  short m_colorCount = -1;  // image resource 1046
  PixelRule m_rule;
};

}  // namespace

bool PsdHeader::Read(FileReader& in, PsdHeader& header) {
  if (in.remaining() < kSize) in.fail(kSize);  // a short header is told whole
  BYTE signature[4] = {}, reserved[6] = {};
  in.read(signature, 4);
  const WORD version = in.u16be();
  in.read(reserved, 6);
  PsdHeader h;
  h.channels = in.i16be();
  h.height = in.i32be();
  h.width = in.i32be();
  h.depth = in.i16be();
  h.mode = in.i16be();
  if (!in.ok()) return KvFail(in.Reason());
  if (std::memcmp(signature, "8BPS", 4) != 0) return KvFail("not a PSD file (signature)");
  if (version != 1) return KvFailf("PSD version %u is not supported", version);
  if (std::any_of(std::begin(reserved), std::end(reserved), [](BYTE b) { return b != 0; }))
    return KvFail("PSD reserved bytes are not zero");
  header = h;
  return true;
}

namespace {
// The header of the PSD at `path`, read once for information and facts alike.
bool ReadHeader(const CString& path, PsdHeader& header) {
  return KvGuarded([&] {
    CFile file;
    if (!KvOpenForReading(path, file)) return false;
    FileReader in(file, PsdHeader::kSize);
    return PsdHeader::Read(in, header);
  });
}
}  // namespace

int KvPsdPictureInfo(const CString& path, RECT* rect, int* bits) {
  PsdHeader header;
  if (!ReadHeader(path, header)) return 0;
  if (rect) *rect = RECT{0, 0, header.width, header.height};
  if (bits) *bits = header.depth;
  return 1;
}

int KvPsdPictureFacts(const CString& path, SKvPicFacts& facts) {
  PsdHeader header;
  if (!ReadHeader(path, header)) return 0;
  if (header.width <= 0 || header.height <= 0)
    return KvRefusePictureSize(header.width, header.height);
  facts.width = header.width;
  facts.height = header.height;
  facts.storedBits = header.depth * header.channels;
  facts.channels = header.channels;
  // Only RGB keeps a fourth channel as alpha; the other modes convert to opaque colours.
  facts.alpha = header.mode == KV_PSD_RGB && header.channels >= 4;
  return 1;
}

DWORD* KvDecodePsd(CFile& file, CRect& rect) {
  PsdHeader header;
  DWORD* picture = KvGuarded([&] { return PsdReader(file, header).Read(); });
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
  KvClearFailure();
  CFile file;
  return KvOpenForReading(path, file) ? KvDecodePsd(file, rect) : nullptr;
}
