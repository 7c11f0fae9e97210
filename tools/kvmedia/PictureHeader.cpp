#include "PictureHeader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "ToolSupport.h"
#include "host/ByteReader.h"

namespace kvtool {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Up to n bytes at offset (fewer at the end of the file).
std::vector<BYTE> ReadAt(std::FILE* f, long long offset, std::size_t n) {
  std::vector<BYTE> bytes(n);
  if (offset < 0 || std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) return {};
  bytes.resize(std::fread(bytes.data(), 1, n, f));
  return bytes;
}

std::optional<PictureFacts> Refuse(std::string* reason, const char* why) {
  if (reason) *reason = why;
  return std::nullopt;
}

std::optional<PictureFacts> Tga(std::FILE* f, std::string* reason) {
  const auto head = ReadAt(f, 0, 18);
  ByteReader r(head);
  r.skip(1);  // identification length
  const BYTE mapType = r.u8(), imageType = r.u8();
  r.skip(5);  // colour map: first entry, length, entry size
  PictureFacts facts{"TGA"};
  facts.x = r.u16le();
  facts.y = r.u16le();
  facts.width = r.u16le();
  facts.height = r.u16le();
  facts.bitsPerPixel = r.u8();
  if (!r.ok()) return Refuse(reason, "the TGA header is cut short");
  const bool mapped = imageType == 1 || imageType == 9;
  const bool grey = imageType == 3 || imageType == 11;
  if (!mapped && !grey && imageType != 2 && imageType != 10)
    return Refuse(reason, "not a TGA image type this build reads");
  if (mapType > 1 || (mapped && mapType != 1)) return Refuse(reason, "a bad TGA colour map");
  if (facts.width == 0 || facts.height == 0) return Refuse(reason, "a TGA picture of no pixels");
  // Only true-colour pixels of 32 bits keep their alpha; mapped pictures load opaque.
  facts.alpha = !mapped && !grey && facts.bitsPerPixel == 32;
  facts.channels = grey ? 1 : facts.alpha ? 4 : 3;
  return facts;
}

std::optional<PictureFacts> Bmp(std::FILE* f, std::string* reason) {
  const auto head = ReadAt(f, 0, 30);
  ByteReader r(head);
  r.skip(18);
  const LONG width = r.i32le(), height = r.i32le();
  r.skip(2);
  PictureFacts facts{"BMP"};
  facts.bitsPerPixel = r.u16le();
  if (!r.ok()) return Refuse(reason, "the BMP header is cut short");
  if (width <= 0 || height == 0 || height == INT32_MIN)
    return Refuse(reason, "a BMP size of no pixels");
  facts.width = width;
  facts.height = height < 0 ? -static_cast<long long>(height) : height;
  facts.channels = 3;  // loading keeps no alpha, even of 32-bit files
  return facts;
}

std::optional<PictureFacts> Gif(std::FILE* f, std::string* reason) {
  const auto head = ReadAt(f, 0, 13);
  ByteReader r(head);
  r.skip(6);
  PictureFacts facts{"GIF"};
  facts.width = r.u16le();
  facts.height = r.u16le();
  facts.bitsPerPixel = (r.u8() & 7) + 1;  // the colour-table size, as the library counts
  if (!r.ok()) return Refuse(reason, "the GIF header is cut short");
  if (facts.width == 0 || facts.height == 0) return Refuse(reason, "a GIF screen of no pixels");
  facts.channels = 3;  // every pixel loads opaque
  return facts;
}

std::optional<PictureFacts> Pcx(std::FILE* f, std::string* reason) {
  const auto head = ReadAt(f, 0, 128);
  ByteReader r(head);
  r.skip(3);
  const BYTE bits = r.u8();
  const int xmin = r.i16le(), ymin = r.i16le(), xmax = r.i16le(), ymax = r.i16le();
  r.seek(65);
  const BYTE planes = r.u8();
  if (!r.ok() || head.size() < 128) return Refuse(reason, "the PCX header is cut short");
  if (xmax < xmin || ymax < ymin) return Refuse(reason, "a PCX size of no pixels");
  PictureFacts facts{"PCX", xmax - xmin + 1, ymax - ymin + 1, xmin, ymin};
  facts.bitsPerPixel = bits * planes;
  facts.channels = 3;
  return facts;
}

std::optional<PictureFacts> Psd(std::FILE* f, std::string* reason) {
  const auto head = ReadAt(f, 0, 26);
  ByteReader r(head);
  r.skip(4);
  const WORD version = r.u16be();
  const auto reserved = r.bytes(6);
  const WORD channels = r.u16be();
  PictureFacts facts{"PSD"};
  facts.height = r.u32be();
  facts.width = r.u32be();
  const WORD depth = r.u16be(), mode = r.u16be();
  if (!r.ok()) return Refuse(reason, "the PSD header is cut short");
  if (version != 1 || std::any_of(reserved.begin(), reserved.end(), [](BYTE b) { return b; }))
    return Refuse(reason, "not a PSD version this build reads");
  if (facts.width == 0 || facts.height == 0) return Refuse(reason, "a PSD picture of no pixels");
  facts.bitsPerPixel = depth * channels;
  facts.channels = channels;
  facts.alpha = mode == 3 && channels >= 4;  // RGB with a fourth channel
  return facts;
}

// The frame header (SOFn) after whatever segments come first.
std::optional<PictureFacts> Jpeg(std::FILE* f, std::string* reason) {
  long long at = 2;
  for (int segments = 0; segments < 10000; ++segments) {
    const auto marker = ReadAt(f, at, 4);
    if (marker.size() < 2 || marker[0] != 0xFF) break;
    const BYTE code = marker[1];
    if (code == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    if (marker.size() < 4 || code == 0xD9 || code == 0xDA) break;
    const unsigned length = marker[2] << 8 | marker[3];
    if (length < 2) break;
    if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
      const auto sof = ReadAt(f, at + 4, 6);
      ByteReader r(sof);
      PictureFacts facts{"JPEG"};
      const BYTE precision = r.u8();
      facts.height = r.u16be();
      facts.width = r.u16be();
      facts.channels = r.u8();
      if (!r.ok()) break;
      if (facts.width == 0 || facts.height == 0) return Refuse(reason, "a JPEG frame of no pixels");
      facts.bitsPerPixel = precision * facts.channels;
      return facts;
    }
    at += 2 + length;
  }
  return Refuse(reason, "no JPEG frame header");
}

// IHDR, then the chunks before the pixel data for a transparency chunk (tRNS).
std::optional<PictureFacts> Png(std::FILE* f, std::string* reason) {
  const auto head = ReadAt(f, 8, 25);
  ByteReader r(head);
  const DWORD length = r.u32be();
  const auto tag = r.bytes(4);
  PictureFacts facts{"PNG"};
  facts.width = r.u32be();
  facts.height = r.u32be();
  const BYTE depth = r.u8(), colour = r.u8();
  if (!r.ok() || length != 13 || std::memcmp(tag.data(), "IHDR", 4) != 0)
    return Refuse(reason, "no PNG header (IHDR) where it belongs");
  static const int kSamples[7] = {1, 0, 3, 1, 2, 0, 4};
  if (colour > 6 || kSamples[colour] == 0) return Refuse(reason, "an unknown PNG colour type");
  if (facts.width == 0 || facts.height == 0 || facts.width > 0x7FFFFFFF ||
      facts.height > 0x7FFFFFFF)
    return Refuse(reason, "a PNG size out of range");
  facts.bitsPerPixel = depth * kSamples[colour];
  facts.channels = colour == 3 ? 3 : kSamples[colour];
  facts.alpha = colour == 4 || colour == 6;
  long long at = 8 + 12 + 13;
  for (int chunks = 0; chunks < 10000 && !facts.alpha; ++chunks) {
    const auto chunk = ReadAt(f, at, 8);
    if (chunk.size() < 8 || std::memcmp(&chunk[4], "IDAT", 4) == 0) break;
    if (std::memcmp(&chunk[4], "tRNS", 4) == 0) {
      facts.alpha = true;
      ++facts.channels;
    }
    at += 12LL + (static_cast<DWORD>(chunk[0]) << 24 | chunk[1] << 16 | chunk[2] << 8 | chunk[3]);
  }
  return facts;
}

}  // namespace

std::string SniffFileType(const std::string& path) {
  const File f(std::fopen(path.c_str(), "rb"));
  if (!f) return "";
  const auto head = ReadAt(f.get(), 0, 8);
  const auto starts = [&](const char* magic, std::size_t len) {
    return head.size() >= len && std::memcmp(head.data(), magic, len) == 0;
  };
  if (starts("BM", 2)) return "BMP";
  if (starts("GIF8", 4)) return "GIF";
  if (starts("\xFF\xD8\xFF", 3)) return "JPEG";
  if (starts("\x89PNG\r\n\x1A\n", 8)) return "PNG";
  if (starts("8BPS", 4)) return "PSD";
  if (starts("SVSC", 4)) return "scroll";
  if (head.size() >= 4 && head[0] == 10 && head[2] <= 1) return "PCX";
  // TGA has no signature; its version-2 footer is taken as one.
  char footer[18] = {};
  if (std::fseek(f.get(), -18, SEEK_END) == 0 && std::fread(footer, 1, 18, f.get()) == 18 &&
      std::memcmp(footer, "TRUEVISION-XFILE.", 18) == 0)
    return "TGA";
  return "";
}

std::optional<PictureFacts> ReadPictureHeader(const std::string& path, std::string* reason) {
  std::string type = SniffFileType(path);
  if (type.empty() && LowerExtension(path) == ".tga") type = "TGA";
  const File f(std::fopen(path.c_str(), "rb"));
  if (!f) return Refuse(reason, "cannot be opened");
  if (type == "TGA") return Tga(f.get(), reason);
  if (type == "BMP") return Bmp(f.get(), reason);
  if (type == "GIF") return Gif(f.get(), reason);
  if (type == "PCX") return Pcx(f.get(), reason);
  if (type == "JPEG") return Jpeg(f.get(), reason);
  if (type == "PNG") return Png(f.get(), reason);
  if (type == "PSD") return Psd(f.get(), reason);
  return Refuse(reason, "no picture header this build knows");
}

}  // namespace kvtool
