#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "TestSupport.h"
#include "picture/ImageLoader.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr DWORD Px(DWORD r, DWORD g, DWORD b, DWORD a = 255) {
  return b | g << 8 | r << 16 | a << 24;
}

// The library open for the length of a test.
struct OpenLibrary {
  OpenLibrary() { KvMediaFileOpen(); }
  ~OpenLibrary() { KvMediaFileClose(); }
};

std::vector<DWORD> Load(const CString& path, CRect& rect) {
  KvGlobalPtr p(KvMediaLoadPNGFile(path, rect));
  if (!p) return {};
  const auto* px = static_cast<const DWORD*>(p.get());
  return std::vector<DWORD>(px, px + static_cast<std::size_t>(rect.Width()) * rect.Height());
}

kvtest::PngImage Image(int w, int h, int colorType, int depth, std::vector<unsigned char> samples) {
  kvtest::PngImage img;
  img.width = w;
  img.height = h;
  img.colorType = colorType;
  img.bitDepth = depth;
  img.samples = std::move(samples);
  return img;
}

// A PNG chunk with its CRC left zero (the walk does not look at it); `length` overrides the
// stored length.
std::vector<BYTE> Chunk(const char* type, const std::vector<BYTE>& data, long long length = -1) {
  const DWORD n = length < 0 ? static_cast<DWORD>(data.size()) : static_cast<DWORD>(length);
  std::vector<BYTE> out(12 + data.size());  // length, type, data, CRC
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<BYTE>(n >> (24 - 8 * i));
    out[4 + i] = static_cast<BYTE>(type[i]);
  }
  std::copy(data.begin(), data.end(), out.begin() + 8);
  return out;
}

std::vector<BYTE> Ihdr(DWORD w, DWORD h) {
  return Chunk("IHDR",
               {static_cast<BYTE>(w >> 24), static_cast<BYTE>(w >> 16), static_cast<BYTE>(w >> 8),
                static_cast<BYTE>(w), static_cast<BYTE>(h >> 24), static_cast<BYTE>(h >> 16),
                static_cast<BYTE>(h >> 8), static_cast<BYTE>(h), 8, 0, 0, 0, 0});
}

std::vector<BYTE> Png(std::initializer_list<std::vector<BYTE>> chunks) {
  std::vector<BYTE> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
  return out;
}

}  // namespace

TEST(PngChunkWalk, RefusesWhatDoesNotHoldTogether) {
  const auto ihdr = Ihdr(1, 1);  // 8-bit grey
  const auto idat = Chunk("IDAT", {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01});
  const auto iend = Chunk("IEND", {});
  std::vector<BYTE> badSignature = Png({ihdr, idat, iend});
  badSignature[1] = 'Q';
  std::vector<BYTE> iendWithoutCrc = Png({ihdr, idat, iend});
  iendWithoutCrc.resize(iendWithoutCrc.size() - 1);
  struct Case {
    const char* what;
    std::vector<BYTE> bytes;
    const char* reason;
  } const cases[] = {
      {"minimal, CRCs zero", Png({ihdr, idat, Chunk("tEXt", {'a'}), iend}), nullptr},
      {"bytes after IEND", Png({ihdr, idat, iend, {1, 2, 3}}), nullptr},
      {"empty", {}, "no PNG signature"},
      {"bad signature", badSignature, "no PNG signature"},
      {"IHDR not first", Png({idat, ihdr, idat, iend}), "IHDR is not the first chunk"},
      {"IHDR of 12 bytes", Png({Chunk("IHDR", std::vector<BYTE>(12)), idat, iend}),
       "IHDR is not 13 bytes long"},
      {"length past the end", Png({ihdr, Chunk("IDAT", {1, 2}, 200), iend}),
       "a chunk runs past the end of the file"},
      {"CRC past the end", iendWithoutCrc, "a chunk runs past the end of the file"},
      {"length 2^31", Png({ihdr, Chunk("tEXt", {}, 0x80000000), iend}),
       "a chunk length of 2^31 or more"},
      {"no IEND", Png({ihdr, idat}), "the file ends before IEND"},
      {"colour type 5", Png({Chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 8, 5, 0, 0, 0}), idat, iend}),
       "an unknown colour type"},
      {"over 4 GiB decoded", Png({Ihdr(70000, 70000), idat, iend}), "the picture is too large"},
      {"more pixels than the data can give", Png({Ihdr(2000, 2000), idat, iend}),
       "too little image data for the picture"},
  };
  for (const Case& c : cases) EXPECT_STREQ(KvPngRefusal(c.bytes), c.reason) << c.what;
}

TEST(PngLoad, EveryColourTypeAtItsOwnWidth) {
  kvtest::TempDir dir;
  OpenLibrary library;
  const CString path = dir.File("p.png");
  CRect rect;

  // RGB 5 pixels wide: the picture keeps its own width (no black stripe at the right).
  ASSERT_TRUE(kvtest::WritePng(
      path.ToUtf8(), Image(5, 1, 2, 8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15})));
  EXPECT_EQ(Load(path, rect), (std::vector<DWORD>{Px(1, 2, 3), Px(4, 5, 6), Px(7, 8, 9),
                                                  Px(10, 11, 12), Px(13, 14, 15)}));
  EXPECT_EQ(rect, CRect(0, 0, 5, 1));

  // RGBA keeps its alpha.
  ASSERT_TRUE(kvtest::WritePng(path.ToUtf8(), Image(2, 1, 6, 8, {1, 2, 3, 0, 4, 5, 6, 200})));
  EXPECT_EQ(Load(path, rect), (std::vector<DWORD>{Px(1, 2, 3, 0), Px(4, 5, 6, 200)}));

  // Grey and grey with alpha come out grey.
  ASSERT_TRUE(kvtest::WritePng(path.ToUtf8(), Image(3, 1, 0, 8, {0, 100, 255})));
  EXPECT_EQ(Load(path, rect),
            (std::vector<DWORD>{Px(0, 0, 0), Px(100, 100, 100), Px(255, 255, 255)}));
  ASSERT_TRUE(kvtest::WritePng(path.ToUtf8(), Image(2, 1, 4, 8, {70, 0, 80, 128})));
  EXPECT_EQ(Load(path, rect), (std::vector<DWORD>{Px(70, 70, 70, 0), Px(80, 80, 80, 128)}));

  // A palette picture comes out as its colours, opaque.
  kvtest::PngImage pal = Image(3, 1, 3, 8, {2, 0, 1});
  pal.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  ASSERT_TRUE(kvtest::WritePng(path.ToUtf8(), pal));
  EXPECT_EQ(Load(path, rect), (std::vector<DWORD>{Px(70, 80, 90), Px(10, 20, 30), Px(40, 50, 60)}));

  // 16-bit samples come out as their high bytes.
  ASSERT_TRUE(
      kvtest::WritePng(path.ToUtf8(), Image(1, 1, 2, 16, {0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00})));
  EXPECT_EQ(Load(path, rect), (std::vector<DWORD>{Px(0x12, 0xAB, 0xFF)}));
}

TEST(PngLoad, PictureInformation) {
  kvtest::TempDir dir;
  OpenLibrary library;
  const CString path = dir.File("Info.PNG");
  ASSERT_TRUE(
      kvtest::WritePng(path.ToUtf8(), Image(5, 2, 2, 8, std::vector<unsigned char>(30, 7))));
  RECT rect{};
  int bits = 0;
  ASSERT_TRUE(KvMediaGetPicInfo(path, &rect, &bits));
  EXPECT_EQ(rect.right, 5);  // the picture's own width
  EXPECT_EQ(rect.bottom, 2);
  EXPECT_EQ(bits, 3);  // bytes, not bits, per pixel
  EXPECT_TRUE(KvMediaGetPicInfo(path, nullptr, nullptr));
  EXPECT_FALSE(KvMediaGetPicInfo(dir.File("missing.png"), &rect, &bits));
  kvtest::WriteFileBytes(path.ToUtf8(), {0x89, 'P', 'N', 'G', 1, 2, 3});
  EXPECT_FALSE(KvMediaGetPicInfo(path, &rect, &bits));
}

TEST(PngLoad, NeedsTheOpenLibrary) {
  kvtest::TempDir dir;
  const CString path = dir.File("p.png");
  ASSERT_TRUE(kvtest::WritePng(path.ToUtf8(), Image(1, 1, 2, 8, {1, 2, 3})));
  CRect rect(9, 9, 9, 9);
  EXPECT_EQ(KvMediaLoadPNGFile(path, rect), nullptr);  // before KvMediaFileOpen
  EXPECT_EQ(rect, CRect(9, 9, 9, 9));
  KvMediaFileOpen();
  KvMediaFileOpen();  // a second call keeps the one loader
  EXPECT_FALSE(Load(path, rect).empty());
  KvMediaFileClose();
  EXPECT_EQ(KvMediaLoadPNGFile(path, rect), nullptr);
  EXPECT_EQ(KvMediaFileClose(), 1);  // twice is harmless
  int bits = 0;
  EXPECT_FALSE(KvMediaGetPicInfo(path, nullptr, &bits));
}

TEST(PngLoad, AFileChangedBetweenCallsIsReadAgain) {
  kvtest::TempDir dir;
  OpenLibrary library;
  const CString path = dir.File("p.png");
  ASSERT_TRUE(kvtest::WritePng(path.ToUtf8(), Image(1, 1, 2, 8, {1, 2, 3})));
  CRect rect;
  EXPECT_EQ(Load(path, rect), std::vector<DWORD>{Px(1, 2, 3)});
  ASSERT_TRUE(kvtest::WritePng(path.ToUtf8(), Image(1, 1, 2, 8, {9, 8, 7})));
  EXPECT_EQ(Load(path, rect), std::vector<DWORD>{Px(9, 8, 7)});
  // Through the dispatch, and for a file whose extension says nothing.
  const CString odd = dir.File("picture.dat");
  ASSERT_TRUE(kvtest::WritePng(odd.ToUtf8(), Image(1, 1, 2, 8, {4, 5, 6})));
  KvGlobalPtr viaDispatch(KvMediaLoadPicFile(odd, rect));
  ASSERT_TRUE(viaDispatch);
  EXPECT_EQ(*static_cast<DWORD*>(viaDispatch.get()), Px(4, 5, 6));
}

// Many threads load pictures and read picture information at once: the loader's lock keeps
// each operation whole, so every result is the right picture's.
TEST(PngLoadThreads, LoadsAndInformationAtOnce) {
  kvtest::TempDir dir;
  OpenLibrary library;
  constexpr int kFiles = 6;
  std::vector<CString> paths;
  for (int i = 0; i < kFiles; ++i) {
    paths.push_back(dir.File("t" + std::to_string(i) + ".png"));
    const int w = 3 + i, h = 2 + i;
    std::vector<unsigned char> samples(static_cast<std::size_t>(w) * h * 4);
    for (std::size_t k = 0; k < samples.size(); ++k)
      samples[k] = static_cast<unsigned char>(i * 40 + k % 4);
    ASSERT_TRUE(kvtest::WritePng(paths.back().ToUtf8(), Image(w, h, 6, 8, samples)));
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
            px[0] != Px(i * 40, i * 40 + 1, i * 40 + 2, i * 40 + 3))
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
}
