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

}  // namespace

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
