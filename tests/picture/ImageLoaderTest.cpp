#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ByteOut.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "PngWriter.h"
#include "TestSupport.h"
#include "picture/ImageLoader.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
using kvtest::Rgb;

std::vector<DWORD> Load(const CString& path, CRect& rect) {
  return kvtest::PixelsOf(kvtest::TakePicture(KvMediaLoadPNGFile(path, rect), rect, rect));
}

// A PNG chunk with its CRC left zero (the walk does not look at it); `length` overrides the
// stored length.
Bytes Chunk(const char* type, const Bytes& data, long long length = -1) {
  Bytes out;
  kvtest::PutBE(out, length < 0 ? data.size() : length, 4);
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  out.resize(out.size() + 4);
  return out;
}

Bytes Ihdr(DWORD w, DWORD h) {  // 8-bit grey
  Bytes data;
  kvtest::PutBE(data, w, 4);
  kvtest::PutBE(data, h, 4);
  data.insert(data.end(), {8, 0, 0, 0, 0});
  return Chunk("IHDR", data);
}

Bytes Png(std::initializer_list<Bytes> chunks) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

}  // namespace

TEST(PngChunkWalk, RefusesWhatDoesNotHoldTogether) {
  const auto ihdr = Ihdr(1, 1);
  const auto idat = Chunk("IDAT", {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01});
  const auto iend = Chunk("IEND", {});
  const Bytes minimal = Png({ihdr, idat, iend});
  struct Case {
    const char* what;
    Bytes bytes;
    const char* reason;
  } const cases[] = {
      // clang-format off
      {"minimal, CRCs zero", Png({ihdr, idat, Chunk("tEXt", {'a'}), iend}), nullptr},
      {"bytes after IEND", Png({ihdr, idat, iend, {1, 2, 3}}), nullptr},
      {"empty", {}, "no PNG signature"},
      {"bad signature", kvtest::Changed(minimal, 1, 'Q'), "no PNG signature"},
      {"IHDR not first", Png({idat, ihdr, idat, iend}), "IHDR is not the first chunk"},
      {"IHDR of 12 bytes", Png({Chunk("IHDR", Bytes(12)), idat, iend}), "IHDR is not 13 bytes long"},
      {"length past the end", Png({ihdr, Chunk("IDAT", {1, 2}, 200), iend}), "a chunk runs past the end of the file"},
      {"CRC past the end", kvtest::Cut(minimal, minimal.size() - 1), "a chunk runs past the end of the file"},
      {"length 2^31", Png({ihdr, Chunk("tEXt", {}, 0x80000000), iend}), "a chunk length of 2^31 or more"},
      {"no IEND", Png({ihdr, idat}), "the file ends before IEND"},
      {"colour type 5", Png({Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 5, 0, 0, 0}), idat, iend}), "an unknown colour type"},
      {"over 4 GiB decoded", Png({Ihdr(70000, 70000), idat, iend}), "the picture is too large"},
      {"more pixels than the data can give", Png({Ihdr(2000, 2000), idat, iend}), "too little image data for the picture"},
      // 10 bytes of data inflate to at most 10,320.
      {"as many pixels as the data can give", Png({Ihdr(10320, 1), idat, iend}), nullptr},
      {"one pixel more", Png({Ihdr(10321, 1), idat, iend}), "too little image data for the picture"},
      // clang-format on
  };
  for (const Case& c : cases) EXPECT_STREQ(KvPngRefusal(c.bytes), c.reason) << c.what;
}

// Each colour type and depth against stb_image, on an odd width: the picture keeps its own
// width, 16-bit samples come out as their high bytes, a palette as its colours.
TEST(PngLoad, AgreesWithAnIndependentDecoder) {
  kvtest::TempDir dir;
  const kvtest::OpenLibrary library;
  const std::string path = dir.path() + "/p.png";
  const int channels[] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
  for (auto [type, depth] :
       {std::pair{0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}}) {
    SCOPED_TRACE(testing::Message() << "colour type " << type << ", depth " << depth);
    const std::size_t samples = 5 * 3 * channels[type] * depth / 8;
    kvtest::PngImage im{.width = 5, .height = 3, .colorType = type, .bitDepth = depth};
    im.samples = kvtest::NoiseWithRuns(samples, 1, type == 3 ? 7 : 256, depth + type);
    if (type == 3) im.palette = kvtest::NoiseWithRuns(3 * 7);
    ASSERT_TRUE(kvtest::WritePng(path, im));
    CRect rect;
    EXPECT_EQ(Load(dir.File("p.png"), rect), kvtest::StbPixels(kvtest::ReadFileBytes(path)));
    EXPECT_EQ(rect, CRect(0, 0, 5, 3));
  }
}

// Many threads load pictures and read picture information at once: the loader's lock keeps
// each operation whole, so every result is the right picture's. The library is closed, not
// opened again: the threads race to make the one loader on first use.
TEST(PngLoadThreads, LoadsAndInformationAtOnce) {
  kvtest::TempDir dir;
  KvMediaFileClose();
  constexpr int kFiles = 6;
  std::vector<CString> paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back(dir.File("t" + std::to_string(i) + ".png"));
    const int w = 3 + i, h = 2 + i;
    std::vector<unsigned char> samples(static_cast<std::size_t>(w) * h * 4);
    for (std::size_t k = 0; k < samples.size(); ++k)
      samples[k] = static_cast<unsigned char>(i * 40 + k % 4);
    ASSERT_TRUE(
        kvtest::WritePng(paths.back().ToUtf8(), {.width = w, .height = h, .samples = samples}));
  }
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 40; ++round) {
        const int i = (t + round) % kFiles;
        CRect rect;
        const std::vector<DWORD> px = Load(paths[i], rect);
        if (rect.Width() != 3 + i || rect.Height() != 2 + i || px.empty() ||
            px[0] != Rgb(i * 40, i * 40 + 1, i * 40 + 2, i * 40 + 3))
          ++wrong;
        RECT info{};
        int bits = 0;
        const int j = (i + 1) % kFiles;
        if (!KvMediaGetPicInfo(paths[j], &info, &bits) || info.right != 3 + j || bits != 4) ++wrong;
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(KvMediaFileClose(), 1);
  EXPECT_EQ(KvMediaFileOpen(), 1);
}
