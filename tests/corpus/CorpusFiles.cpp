// Writes the fixture part of the corpus that ./kv corpus reads: a few sound files of every
// type from the fixture writers, and from each a cut copy, a copy cut inside its header and a
// copy with one byte changed, so that both the decoders and their refusals are compared.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BmpWriter.h"
#include "FlicWriter.h"
#include "GifWriter.h"
#include "MotionWriter.h"
#include "PcxWriter.h"
#include "PngWriter.h"
#include "PsdWriter.h"
#include "ScrollWriter.h"
#include "TgaWriter.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

// Indices 0 .. colours-1 in a pattern that shows a misplaced row or column.
Bytes Indices(int width, int height, int colours) {
  Bytes out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      out.push_back(static_cast<unsigned char>((x * 3 + y * 5) % colours));
  return out;
}

Bytes Samples(int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) out.push_back(static_cast<unsigned char>(i * 37 + 11));
  return out;
}

Bytes ReadBack(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// The file and its damaged copies.
void WriteWithDamage(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  Write(dir / ("good-" + name), bytes);
  Write(dir / ("cut-" + name), Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2));
  Write(dir / ("head-" + name),
        Bytes(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 20)));
  Bytes flipped = bytes;
  if (!flipped.empty()) flipped[flipped.size() * 2 / 3] ^= 0x5A;
  Write(dir / ("flip-" + name), flipped);
}

void WritePictures(const fs::path& dir) {
  for (const auto& [type, depth] :
       {std::pair{2, 24}, {2, 32}, {10, 32}, {1, 8}, {3, 8}, {11, 16}}) {
    kvtest::TgaImage tga;
    tga.imageType = type;
    tga.pixelDepth = depth;
    tga.width = 7;
    tga.height = 5;
    tga.xOrigin = 3;
    tga.yOrigin = 2;
    tga.descriptor = depth == 32 ? 0x28 : 0x20;
    tga.pixels = Samples(35 * ((depth + 7) / 8));
    if (type == 1) {
      tga.colorMapType = 1;
      tga.colorMapLength = 256;
      tga.colorMapEntryBits = 24;
      tga.colorMap = Samples(768);
    }
    tga.extensionAndFooter = type == 2;
    WriteWithDamage(dir, "tga" + std::to_string(type) + "-" + std::to_string(depth) + ".tga",
                    kvtest::WriteTga(tga));
  }
  for (const int bits : {1, 4, 8, 24, 32}) {
    kvtest::BmpImage bmp;
    bmp.width = 9;
    bmp.height = bits == 8 ? -6 : 6;
    bmp.bitCount = bits;
    const int colours = bits <= 8 ? 1 << bits : 0;
    for (int i = 0; i < colours * 4; ++i) bmp.palette.push_back(static_cast<unsigned char>(i * 7));
    bmp.pixels = bits <= 8 ? kvtest::PackBmpRows(Indices(9, 6, colours), 9, bits)
                           : Samples(((9 * bits / 8 + 3) & ~3) * 6);
    WriteWithDamage(dir, "bmp" + std::to_string(bits) + ".bmp", kvtest::WriteBmp(bmp));
  }
  for (const int bits : {4, 8}) {
    kvtest::BmpImage rle;
    rle.width = 10;
    rle.height = 4;
    rle.bitCount = bits;
    rle.compression = bits == 8 ? 1 : 2;
    for (int i = 0; i < (1 << bits) * 4; ++i)
      rle.palette.push_back(static_cast<unsigned char>(i * 3));
    rle.pixels = kvtest::EncodeBmpRle(Indices(10, 4, 1 << bits), 10, bits);
    WriteWithDamage(dir, "bmprle" + std::to_string(bits) + ".bmp", kvtest::WriteBmp(rle));
  }
  for (const auto& [bits, planes] : {std::pair{8, 1}, {8, 3}, {1, 1}, {4, 1}}) {
    kvtest::PcxImage pcx;
    pcx.bitsPerPixel = bits;
    pcx.planes = planes;
    pcx.xmin = 2;
    pcx.ymin = 1;
    pcx.xmax = 12;
    pcx.ymax = 6;
    pcx.bytesPerLine = ((11 * bits + 7) / 8 + 1) & ~1;
    pcx.lines = Samples(pcx.bytesPerLine * planes * 6);
    if (bits == 8 && planes == 1) pcx.palette256 = Samples(768);
    if (bits < 8) pcx.palette16 = Samples(48);
    WriteWithDamage(dir, "pcx" + std::to_string(bits) + "x" + std::to_string(planes) + ".pcx",
                    kvtest::WritePcx(pcx));
  }
  for (const bool interlaced : {false, true}) {
    kvtest::GifFile gif =
        kvtest::OneImageGif(11, 9, Indices(11, 9, 16), kvtest::DistinctColours(16));
    gif.images[0].interlaced = interlaced;
    gif.images[0].control = true;
    gif.images[0].transparentIndex = 3;
    gif.otherExtensions = interlaced;
    WriteWithDamage(dir, std::string("gif") + (interlaced ? "-interlaced" : "") + ".gif",
                    kvtest::WriteGif(gif));
  }
  for (const auto& [colorType, depth] : {std::pair{6, 8}, {2, 8}, {0, 16}, {3, 4}, {4, 8}}) {
    kvtest::PngImage png;
    png.width = 13;
    png.height = 7;
    png.colorType = colorType;
    png.bitDepth = depth;
    const int channels = colorType == 6 ? 4 : colorType == 2 ? 3 : colorType == 4 ? 2 : 1;
    png.samples = colorType == 3 ? Indices(13, 7, 16) : Samples(13 * 7 * channels * depth / 8);
    if (colorType == 3) {
      png.palette = kvtest::DistinctColours(16);
      png.alphas = {0, 128, 255};
    }
    const fs::path tmp = dir / ".png";
    kvtest::WritePng(tmp.string(), png);
    WriteWithDamage(dir, "png" + std::to_string(colorType) + "-" + std::to_string(depth) + ".png",
                    ReadBack(tmp));
    fs::remove(tmp);
  }
  for (const auto& [compression, alpha] : {std::pair{0, false}, {1, true}}) {
    kvtest::PsdImage psd;
    psd.width = 8;
    psd.height = 5;
    psd.channels = alpha ? 4 : 3;
    psd.compression = compression;
    std::vector<std::uint32_t> bgra;
    for (int i = 0; i < 40; ++i)
      bgra.push_back(0x80000000u + static_cast<std::uint32_t>(i * 0x030507));
    psd.planes = kvtest::PsdRgbPlanes(bgra, alpha);
    psd.resources = kvtest::PsdResource(1005, Samples(16));
    WriteWithDamage(dir, "psd" + std::to_string(compression) + ".psd", kvtest::WritePsd(psd));
  }
}

void WriteMovies(const fs::path& dir) {
  std::vector<kvtest::MotionPixels> frames;
  for (int f = 0; f < 4; ++f) {
    kvtest::MotionPixels frame(12 * 8);
    for (int i = 0; i < 96; ++i)
      frame[i] = 0xFF000000u | static_cast<DWORD>((i + f * 5) % 7 * 0x102030);
    frames.push_back(frame);
  }
  const fs::path tmp = dir / ".sve";
  kvtest::WriteMotionMovie(CString::FromUtf8(tmp.string()), frames, 4, 3, 12, 8, 2);
  WriteWithDamage(dir, "motion.sve", ReadBack(tmp));
  fs::remove(tmp);
  for (const int layout : {0, 1}) {
    kvtest::RawMotionFile raw;
    raw.layout = layout;
    raw.width = 10;
    raw.height = 6;
    raw.keyInterval = 1;
    raw.chunks = {{{kvtest::SolidMotionPatch(0, 0, 10, 6, 0xFF112233)}},
                  {{kvtest::SolidMotionPatch(2, 1, 3, 2, 0x80445566)}}};
    WriteWithDamage(dir, "motion-layout" + std::to_string(layout) + ".sve",
                    kvtest::LayOutMotionFile(raw).bytes);
  }
  for (const int magic : {0xAF12, 0xAF11}) {
    const int w = magic == 0xAF11 ? 320 : 16, h = magic == 0xAF11 ? 200 : 10;
    kvtest::FlicFile flic;
    flic.magic = magic;
    flic.width = w;
    flic.height = h;
    const kvtest::FlicBytes first = Indices(w, h, 8), second = Indices(h, w, 8);
    flic.frames.push_back(
        {{kvtest::FlicPaletteChunk({{0, kvtest::DistinctColours(8)}}, magic == 0xAF11),
          kvtest::FlicPictureChunk(15, {}, first, w, h)}});
    flic.frames.push_back(
        {{kvtest::FlicPictureChunk(magic == 0xAF11 ? 12 : 7, first, second, w, h)}});
    WriteWithDamage(dir, std::string("flic") + (magic == 0xAF11 ? ".fli" : ".flc"),
                    kvtest::WriteFlic(flic));
  }
  for (const DWORD direction : {0u, 2u}) {
    const kvtest::ScrollStrip strip = kvtest::MakeScrollStrip(14, 9);
    const auto lines = kvtest::ScrollLines(strip, direction);
    WriteWithDamage(dir, "scroll" + std::to_string(direction) + ".ksc",
                    kvtest::LayOutScrollFile(direction, direction < 2 ? 14 : 9, lines));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path dir = argv[1];
  fs::create_directories(dir);
  WritePictures(dir);
  WriteMovies(dir);
  return 0;
}
