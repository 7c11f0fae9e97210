// The bilinear sampler and its two row paths, the scaled loads, the background pictures and
// the window fills (on a device context over a pixel buffer).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <tuple>
#include <vector>

#include "BmpWriter.h"
#include "ByteOut.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/Library.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "TgaWriter.h"
#include "host/Failure.h"
#include "host/PixelOps.h"
#include "host/VideoStd.h"
#include "picture/Compositing.h"

namespace {

using kvtest::Px;

// A window over a pixel buffer, placed at (10, 20) in its parent.
class BufferWindow : public CWnd {
 public:
  BufferWindow(int width, int height, bool child)
      : pixels(static_cast<std::size_t>(width) * height, 0xFF123456u),
        m_width(width),
        m_dc(pixels.data(), width, height),
        m_client(0, 0, width, height),
        m_inParent(10, 20, 10 + width, 20 + height),
        m_child(child) {}
  void GetClientRect(RECT* rect) const override { *rect = m_client; }
  BOOL IsChildWindow() const override { return m_child; }
  CRect GetRectInParent() const override { return m_inParent; }
  void MoveWindow(const RECT& rect, BOOL) override {
    m_inParent = rect;
    m_client = CRect(0, 0, rect.right - rect.left, rect.bottom - rect.top);
  }
  CDC* GetDC() override { return hasDc ? (++leased, &m_dc) : nullptr; }
  int ReleaseDC(CDC*) override { return --leased, 1; }

  DWORD At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * m_width + x]; }
  int Width() const { return m_inParent.Width(); }

  std::vector<DWORD> pixels;
  bool hasDc = true;
  int leased = 0;

 private:
  int m_width;
  CBufferDC m_dc;
  CRect m_client, m_inParent;
  bool m_child;
};

// A 32-bit TGA, top row first, of the given pixels.
kvtest::Bytes Tga32(int w, int h, const std::vector<DWORD>& pixels) {
  return kvtest::WriteTga(kvtest::Tga32(w, h, pixels));
}

// A 32-bit BMP, top row first, whose pixel (x, y) is colour(x, y).
template <class Colour>
kvtest::Bytes Bmp(int w, int h, Colour colour) {
  kvtest::Bytes pixels;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) kvtest::PutLE(pixels, colour(x, y), 4);
  return kvtest::WriteBmp({.width = w, .height = -h, .bitCount = 32, .pixels = pixels});
}

tagCOLOR32 C(DWORD v) { return tagCOLOR32::FromValue(v); }

class Compositing : public ::testing::Test {
 protected:
  void SetUp() override { KvMediaFileOpen(); }
  void TearDown() override {
    KvMediaSetBackFolder(L"");
    CKvVideoStd::SetHD(TRUE);
  }
  kvtest::TempDir dir;
};

TEST_F(Compositing, SamplerValuesAndEdges) {
  // 3 x 2; column 0 carries the values of interest, alpha 77 so that alpha 0 shows.
  std::vector<tagCOLOR32> px = {C(Px(100, 255, 10, 77)), C(Px(0, 128, 129, 200)),
                                C(Px(1, 2, 3, 254)),     C(Px(200, 254, 1, 255)),
                                C(Px(5, 6, 7, 8)),       C(Px(9, 10, 11, 12))};
  std::vector<LONG> offsets = {0, 3};
  const auto at = [&](LONG x, LONG y) {
    return KvGetSubpixel_Bilinear(px.data(), x, y, 3, 2, offsets.data()).Value();
  };
  struct Row {
    LONG x, y;
    DWORD want;
  } rows[] = {
      {0, 0, Px(100, 255, 9, 77)},           // 100 and 255 unchanged, 10 -> 9
      {256, 0, Px(0, 128, 128, 200)},        // 128 unchanged, 129 -> 128
      {0, 256, Px(200, 254, 0, 255)},        // 200, 254, 255 unchanged, 1 -> 0
      {-200, 0, Px(100, 255, 9, 77)},        // integer part -1: the edge repeats, alpha kept
      {-300, 0, Px(100, 255, 9, 0)},         // integer part -2: the edge colour, alpha 0
      {0, -300, Px(100, 255, 9, 0)},         //   likewise above the first row
      {256 * 3, 0, Px(0, 1, 2, 0)},          // x = 256 W: column W - 1 (1, 2, 3), alpha 0
      {256 * 2 + 255, 0, Px(0, 1, 2, 254)},  // the end of the last column is inside
      {0, 256 * 2, Px(200, 254, 0, 0)},      // y = 256 H
      // Halfway down from 100 to 200: (100 * 127 + 200 * 128) * 255 >> 16 = 149 -> 150.
      {0, 128, Px(150, 254, 5, 166)},
  };
  for (const Row& r : rows) EXPECT_EQ(at(r.x, r.y), r.want) << r.x << ", " << r.y;
  EXPECT_EQ(KvGetSubpixel_Bilinear(nullptr, 0, 0, 3, 2, offsets.data()).Value(), 0u);
}

TEST_F(Compositing, LevelArithmeticMatchesTheTable) {
  const BYTE* level = KvLevelTable();
  // The vector form is held to the scalar sampler by the row-path comparison below.
  for (int v = 0; v < 256; ++v) EXPECT_EQ(KvLevelOf(v), level[v]) << v;
}

TEST_F(Compositing, StepsAndStarts) {
  struct Row {
    CSize picture, target;
    LONG stepX, startX, stepY, startY;
  } rows[] = {
      {{100, 50}, {100, 50}, 257, 0, 257, 0},
      {{100, 50}, {200, 100}, 129, -64, 129, -64},
      {{3840, 2160}, {1920, 1080}, 513, 128, 513, 128},
  };
  for (const Row& r : rows) {
    const KvZoomSteps s = KvZoomStepsFor(r.picture, r.target);
    EXPECT_EQ(std::tuple(s.stepX, s.startX, s.stepY, s.startY),
              std::tuple(r.stepX, r.startX, r.stepY, r.startY));
  }
}

// The vector row path against the scalar sampler over random pictures, targets, windows,
// positions (inside, on the edges, far outside, past 32 bits) and mix modes.
TEST_F(Compositing, VectorPathGivesTheScalarBytes) {
  std::mt19937 rng(2024);
  const auto pick = [&](long long lo, long long hi) {
    return lo + static_cast<long long>(rng() % static_cast<unsigned>(hi - lo + 1));
  };
  for (int round = 0; round < 400; ++round) {
    const CSize picture(int(pick(1, 37)), int(pick(1, 29)));
    std::vector<tagCOLOR32> pixels(static_cast<std::size_t>(picture.cx) * picture.cy);
    for (auto& p : pixels) p = C(rng());
    const CSize target(int(pick(1, 45)), int(pick(1, 23)));
    KvZoomSteps steps = KvZoomStepsFor(picture, target);
    if (round % 2) {
      steps.startX = LONG(pick(-600, picture.cx * 256 + 600));
      steps.startY = LONG(pick(-600, picture.cy * 256 + 600));
      steps.stepX = LONG(pick(-700, 700));
      steps.stepY = LONG(pick(-700, 700));
    }
    if (round % 37 == 0) steps.startX = INT32_MAX - 300, steps.stepX = 250;
    if (round % 41 == 0) steps.startY = INT32_MIN + 100, steps.stepY = -300;
    const int left = int(pick(0, target.cx - 1)), top = int(pick(0, target.cy - 1));
    const CRect window(left, top, int(pick(left + 1, target.cx)), int(pick(top + 1, target.cy)));
    const EMixMode mode = static_cast<EMixMode>(std::vector{0, 1, 2, 5}[rng() % 4]);
    std::vector<tagCOLOR32> scalar(static_cast<std::size_t>(target.cx) * target.cy);
    for (auto& p : scalar) p = C(rng());
    std::vector<tagCOLOR32> vector = scalar;
    ASSERT_TRUE(KvZoomInto(pixels.data(), picture, scalar.data(), target, window, steps, mode,
                           KvSampler::kScalar));
    ASSERT_TRUE(KvZoomInto(pixels.data(), picture, vector.data(), target, window, steps, mode,
                           KvSampler::kVector));
    ASSERT_EQ(scalar, vector) << "round " << round;
  }
}

TEST_F(Compositing, ScaledLoadMixModes) {
  // One colour, so that every sample is that colour levelled: 100, 255, 10 -> 9, alpha 128.
  const CString path =
      dir.Write("flat.tga", Tga32(5, 4, std::vector<DWORD>(20, Px(100, 255, 10, 128))));
  const tagCOLOR32 sample = C(Px(100, 255, 9, 128)), under = C(Px(40, 50, 60, 255));
  struct Row {
    int mode;
    tagCOLOR32 want;
  } rows[] = {{0, KvPublicMixColor(sample, under)},
              {1, under},  // an opaque target over the picture
              {2, sample},
              {5, sample}};  // any other value copies, alpha included
  for (const Row& r : rows) {
    std::vector<tagCOLOR32> target(12 * 7, under);
    ASSERT_EQ(KvMediaZoomPicFile(path, target.data(), CSize(12, 7), EMixMode(r.mode)), 1);
    for (const tagCOLOR32& p : target) ASSERT_EQ(p, r.want) << "mode " << r.mode;
  }
}

// A program that never opens the library gets the same samples as one that does. Run in a
// fresh process of its own, where nothing has opened the library.
TEST(CompositingUnopened, ZoomsAsTheOpenLibraryDoes) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  kvtest::TempDir dir;
  const CString path =
      dir.Write("flat.tga", Tga32(5, 4, std::vector<DWORD>(20, Px(100, 255, 10, 255))));
  EXPECT_EXIT(
      {
        std::vector<tagCOLOR32> target(12 * 7);
        const bool zoomed = KvMediaZoomPicFile(path, target.data(), CSize(12, 7), KV_MIX_COPY);
        const bool right = std::all_of(target.begin(), target.end(),
                                       [](tagCOLOR32 p) { return p == C(Px(100, 255, 9, 255)); });
        std::filesystem::remove_all(dir.path());  // the fresh process made its own folder
        std::exit(zoomed && right ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(Compositing, RefusalsLeaveTheTargetAlone) {
  const CString path = dir.Write("flat.tga", Tga32(2, 2, std::vector<DWORD>(4, Px(1, 2, 3))));
  const std::vector<tagCOLOR32> before(16, C(0xDEADBEEF));
  struct Row {
    CString path;
    CSize size;
    const char* reason;
  } rows[] = {
      {dir.File("none.tga"), {4, 4}, "no such file"},
      {path, {0, 4}, "target of 0 x 4 is empty"},  // no division by a side of 0
      {path, {4, 0}, "target of 4 x 0 is empty"},
  };
  for (const Row& r : rows) {
    std::vector<tagCOLOR32> target = before;
    EXPECT_EQ(KvMediaLoadPicFile(r.path, target.data(), r.size, KV_MIX_COPY), 0);
    EXPECT_EQ(KvLastFailure(), r.reason);
    EXPECT_EQ(KvMediaZoomPicFile(r.path, CRect(0, 0, 4, 4), {}, r.size, target.data(), KV_MIX_COPY),
              0);
    EXPECT_EQ(target, before) << r.reason;
  }
  EXPECT_EQ(KvMediaZoomPicFile(path, nullptr, CSize(4, 4), KV_MIX_COPY), 0);
}

// The picture is scaled to the whole target and its top-left corner lands at the window's:
// the placement given, else the picture's own place (a TGA placed at (5, 3) here), cut by the
// clip.
TEST_F(Compositing, WindowedZoomPlacesThePictureAtTheWindow) {
  std::vector<DWORD> px = kvtest::Gradient(10, 6);
  for (DWORD& p : px) p |= 0xFF000000u;
  kvtest::TgaImage placed = kvtest::Tga32(10, 6, px);
  placed.xOrigin = 5, placed.yOrigin = 3;
  const CString path = dir.Write("placed.tga", kvtest::WriteTga(placed));
  const CString atZero = dir.Write("zero.tga", Tga32(10, 6, px));
  const CSize size(24, 16);
  const tagCOLOR32 blank = C(0x01020304);
  std::vector<tagCOLOR32> whole(24 * 16, blank);
  ASSERT_EQ(KvMediaZoomPicFile(atZero, whole.data(), size, KV_MIX_COPY), 1);
  struct Row {
    CString path;
    CRect clip, place, written;
  } rows[] = {
      // No placement: the picture's own rect, 10 x 6 at (0, 0), clipped by nothing.
      {atZero, {0, 0, 24, 16}, {}, {0, 0, 10, 6}},
      {atZero, {0, 0, 12, 9}, {7, 3, 30, 30}, {7, 3, 12, 9}},
      {atZero, {0, 0, 5, 5}, {7, 3, 30, 30}, {}},  // no overlap: nothing written, still success
      {path, {0, 0, 24, 16}, {}, {5, 3, 15, 9}},
      {path, {0, 0, 8, 5}, {}, {5, 3, 8, 5}},       // cut by the clip
      {path, {-9, -9, 99, 99}, {}, {5, 3, 15, 9}},  // the clip is cut to the target first
      {path, {0, 0, 5, 16}, {}, {}},
  };
  for (const Row& r : rows) {
    std::vector<tagCOLOR32> target(24 * 16, blank);
    ASSERT_EQ(KvMediaZoomPicFile(r.path, r.clip, r.place, size, target.data(), KV_MIX_COPY), 1);
    for (int y = 0; y < size.cy; ++y)
      for (int x = 0; x < size.cx; ++x) {
        const bool in = CRect(r.written).PtInRect(CPoint(x, y));
        const tagCOLOR32 want = in ? whole[(y - r.written.top) * 24 + (x - r.written.left)] : blank;
        ASSERT_EQ(target[y * 24 + x], want) << x << ", " << y;
      }
  }
  // The window fill ignores the place.
  for (const int back : {0, 1}) {
    BufferWindow shown(24, 12, false), reference(24, 12, false);
    ASSERT_EQ(KvMediaFileFillWnd(&shown, path, back, 0, 0), 1);
    ASSERT_EQ(KvMediaFileFillWnd(&reference, atZero, back, 0, 0), 1);
    EXPECT_EQ(shown.pixels, reference.pixels) << back;
  }
}

TEST_F(Compositing, BackgroundPicturesByKindStandardAndFolder) {
  // Each file a different flat colour; the HD grey one a pattern to follow through the tiles.
  const auto pattern = [](int x, int y) { return Px(x & 255, y & 255, (x >> 8) * 16 + (y >> 8)); };
  for (const auto& [name, v] :
       {std::pair{"BackGray", 1}, {"BackWhite", 2}, {"BackWhiteHD", 3}, {"BackWhiteUHD", 4}})
    dir.Write(name + std::string(".bmp"), Bmp(8, 8, [c = v](int, int) { return Px(c, c, c); }));
  dir.Write("BackGrayHD.bmp", Bmp(720, 576, pattern));
  KvMediaSetBackFolder(CString::FromUtf8(dir.path()));
  struct Row {
    EKvVideoStandard standard;
    int grey;
    DWORD want;
  } rows[] = {{KV_STD_SD, 1, Px(1, 1, 1)},
              {KV_STD_SD, 0, Px(2, 2, 2)},
              {KV_STD_HD, 0, Px(3, 3, 3)},
              {KV_STD_UHD, 0, Px(4, 4, 4)}};
  for (const Row& r : rows) {
    CKvVideoStd::SetStandard(r.standard);
    CKvMemBlock block;
    ASSERT_TRUE(block.InitBlock(CSize(20, 10)));
    ASSERT_EQ(KvMediaFillBack(&block, r.grey, 0), 1);
    EXPECT_EQ(block.GetPixel(7, 7).Value(), r.want);
    EXPECT_EQ(block.GetPixel(8, 8).Value(), 0u);  // without tiling, one copy only
  }
  // No grey UHD picture: the HD one 2 x 2 without tiling, and nothing beyond.
  CKvMemBlock block;
  ASSERT_TRUE(block.InitBlock(CSize(1500, 1200)));
  ASSERT_EQ(KvMediaFillBack(&block, 1, 0), 1);
  for (int y : {0, 575, 576, 1151, 1152})
    for (int x : {0, 719, 720, 1439, 1440}) {
      const DWORD want = x < 1440 && y < 1152 ? pattern(x % 720, y % 576) : 0u;
      ASSERT_EQ(block.GetPixel(x, y).Value(), want) << x << ", " << y;
    }
  // 1920 x 1080 tiled with 720 x 576: c from 0 to 2 and r from 0 to 1, the last cut off.
  CKvVideoStd::SetHD(TRUE);
  ASSERT_TRUE(block.InitBlock(CSize(1920, 1080)));
  ASSERT_EQ(KvMediaFillBack(&block, 1, 1), 1);
  for (int y : {0, 575, 576, 1079})
    for (int x : {0, 719, 720, 1439, 1440, 1919})
      ASSERT_EQ(block.GetPixel(x, y).Value(), pattern(x % 720, y % 576)) << x << ", " << y;

  // The folder: set here, else the environment, else the fixed one; a separator is added.
  KvMediaSetBackFolder(L"/srv/backs");
  EXPECT_EQ(KvMediaGetBackFolder(), CString(L"/srv/backs/"));
  KvMediaSetBackFolder(L"");
  ::setenv("KVMEDIA_IMG_DIR", "/env/img/", 1);
  EXPECT_EQ(KvMediaGetBackFolder(), CString(L"/env/img/"));
  ::unsetenv("KVMEDIA_IMG_DIR");
  EXPECT_EQ(KvMediaGetBackFolder(), CString(L"/opt/VelmoraCG64/App/Img/"));
  KvMediaSetBackFolder(CString::FromUtf8(dir.path() + "/none"));
  EXPECT_EQ(KvMediaFillBack(&block, 1, 1), 0);
  EXPECT_EQ(KvMediaFillBack(nullptr, 1, 1), 0);
}

TEST_F(Compositing, ColourFillOfAWindow) {
  const tagCOLOR32 colour = C(Px(10, 20, 30, 255));
  tagCOLOR32 clear = C(Px(10, 20, 30, 0));
  struct Row {
    bool child;
    int fit;
    int widthAfter;
  } rows[] = {{true, 1, 100}, {true, 0, 101}, {false, 1, 101}};
  for (const Row& r : rows) {
    BufferWindow window(101, 30, r.child);
    tagCOLOR32 c = colour;
    ASSERT_EQ(KvMediaColorFillWnd(&window, &c, 0, 0, r.fit), 1);
    const DWORD right = r.widthAfter == 100 ? 0xFF123456u : Px(10, 20, 30);
    EXPECT_EQ(std::tuple(window.Width(), window.At(99, 29), window.At(100, 0), window.leased),
              std::tuple(r.widthAfter, Px(10, 20, 30), right, 0));
  }
  // Composite: an opaque colour hides the bars; a transparent one shows them.
  BufferWindow window(64, 20, false);
  tagCOLOR32 c = colour;
  ASSERT_EQ(KvMediaColorFillWnd(&window, &c, 1, 3, 0), 1);
  EXPECT_EQ(window.At(63, 19), Px(10, 20, 30));
  ASSERT_EQ(KvMediaColorFillWnd(&window, &clear, 1, 3, 0), 1);
  std::vector<tagCOLOR32> bars(64 * 20);
  KvGenColorBars(bars.data(), 64, 20);
  EXPECT_EQ(window.At(0, 0), bars[0].Value());
  EXPECT_EQ(window.At(60, 0), bars[60].Value());

  window.hasDc = false;
  EXPECT_EQ(KvMediaColorFillWnd(&window, &c, 0, 0, 0), 0);
  EXPECT_EQ(KvMediaColorFillWnd(nullptr, &c, 0, 0, 0), 0);
  EXPECT_EQ(KvMediaColorFillWnd(&window, nullptr, 0, 0, 0), 0);
}

TEST_F(Compositing, PictureFileIntoAWindow) {
  const CString path = dir.Write("flat.tga", Tga32(3, 3, std::vector<DWORD>(9, Px(9, 8, 7, 255))));
  const CString clear = dir.Write("clear.tga", Tga32(3, 3, std::vector<DWORD>(9, Px(9, 8, 7, 0))));
  std::vector<tagCOLOR32> bars(48 * 16);
  KvGenColorBars(bars.data(), 48, 16);
  struct Row {
    CString path;
    int back;
    int result;
    DWORD topLeft, bottomRight;
  } rows[] = {
      {path, 0, 1, Px(9, 8, 7), Px(9, 8, 7)},
      {path, 1, 1, Px(9, 8, 7), Px(9, 8, 7)},
      // A transparent picture shows the background.
      {clear, 1, 1, bars[0].Value(), bars[15 * 48 + 47].Value()},
      // A missing one leaves the rect black.
      {dir.File("none.tga"), 1, 0, Px(0, 0, 0), Px(0, 0, 0)},
  };
  for (const Row& r : rows) {
    BufferWindow window(50, 16, true);
    EXPECT_EQ(KvMediaFileFillWnd(&window, r.path, r.back, 0, 1), r.result);
    EXPECT_EQ(std::tuple(window.Width(), window.At(0, 0), window.At(47, 15), window.leased),
              std::tuple(48, r.topLeft, r.bottomRight, 0));
  }
  // Into a device-context rectangle: only that rectangle changes.
  BufferWindow window(20, 10, false);
  ASSERT_EQ(KvMediaFileFillWnd(window.GetDC(), CRect(4, 2, 13, 8), path, 0, 0), 1);
  EXPECT_EQ(window.At(4, 2), Px(9, 8, 7));
  EXPECT_EQ(window.At(11, 7), Px(9, 8, 7));
  EXPECT_EQ(window.At(12, 7), Px(0, 0, 0));  // 9 wide drawn as 8, the rest left black
  EXPECT_EQ(window.At(3, 2), 0xFF123456u);
  EXPECT_EQ(KvMediaFileFillWnd(static_cast<CDC*>(nullptr), CRect(0, 0, 4, 4), path, 0, 0), 0);
}

}  // namespace
