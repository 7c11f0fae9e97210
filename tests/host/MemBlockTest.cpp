#include <gtest/gtest.h>

#include <vector>

#include "host/MemBlock.h"
#include "host/PixelOps.h"
#include "host/VideoStd.h"

namespace {

constexpr tagCOLOR32 Px(BYTE b, BYTE g, BYTE r, BYTE a) { return {b, g, r, a}; }

// A block whose pixel at (x, y) encodes its own position, so misplaced copies show.
void FillNumbered(CKvMemBlock& block, BYTE alpha = 255) {
  const CSize s = block.GetSize();
  for (int y = 0; y < s.cy; ++y)
    for (int x = 0; x < s.cx; ++x)
      block.SetPixel(x, y, Px(static_cast<BYTE>(x), static_cast<BYTE>(y), 7, alpha));
}

}  // namespace

TEST(MemBlock, InitSizesTheRasterSizeAndACallersBuffer) {
  CKvMemBlock block;
  // Empty, negative other than the raster's (-1, -1), above the picture limit.
  for (CSize bad : {CSize(0, 5), CSize(-3, 5), CSize(-2, -2), CSize(1 << 20, 1 << 20)})
    EXPECT_FALSE(block.InitBlock(bad));
  EXPECT_FALSE(block.IsValid());
  // Each way of choosing the standard, in a sequence that leaves HD chosen; SetHD(TRUE)
  // after UHD means HD, and a value that is no standard changes nothing.
  const auto uhd = [] { CKvVideoStd::SetStandard(KV_STD_UHD); };
  struct Row {
    void (*choose)();
    EKvVideoStandard standard;
    BOOL hd, isUhd;
    CSize raster;
  } rows[] = {
      // clang-format off
      {[] { CKvVideoStd::SetHD(FALSE); }, KV_STD_SD, FALSE, FALSE, {720, 576}},
      {uhd, KV_STD_UHD, TRUE, TRUE, {3840, 2160}},
      {[] { CKvVideoStd::SetStandard(static_cast<EKvVideoStandard>(3)); }, KV_STD_UHD, TRUE, TRUE, {3840, 2160}},
      {[] { CKvVideoStd::SetHD(TRUE); }, KV_STD_HD, TRUE, FALSE, {1920, 1080}},
      {uhd, KV_STD_UHD, TRUE, TRUE, {3840, 2160}},
      {[] { CKvVideoStd::SetHD(FALSE); }, KV_STD_SD, FALSE, FALSE, {720, 576}},
      {[] { CKvVideoStd::SetStandard(KV_STD_HD); }, KV_STD_HD, TRUE, FALSE, {1920, 1080}},
      // clang-format on
  };
  for (const Row& r : rows) {
    r.choose();
    EXPECT_EQ(CKvVideoStd::GetStandard(), r.standard);
    EXPECT_EQ(CKvVideoStd::IsHD(), r.hd) << r.standard;
    EXPECT_EQ(CKvVideoStd::IsUHD(), r.isUhd) << r.standard;
    EXPECT_EQ(CKvVideoStd::GetResRect(), CRect(CPoint(0, 0), r.raster)) << r.standard;
    EXPECT_EQ(CSize(CKvVideoStd::GetResWidth(), CKvVideoStd::GetResHeight()), r.raster);
    if (r.standard != KV_STD_UHD || &r == rows + 1) {  // one UHD block is enough (33 MB)
      ASSERT_TRUE(block.InitBlock(CSize(-1, -1)));
      EXPECT_EQ(block.GetSize(), r.raster);
    }
  }
  EXPECT_EQ(block.GetSize(), CSize(1920, 1080));
  EXPECT_EQ(block.GetAddress()[1920 * 1080 - 1], Px(0, 0, 0, 0));  // zero-filled
  EXPECT_EQ(block.GetLineOffset(3), 3 * 1920);
  EXPECT_EQ(block.GetPixelAddress(CPoint(1920, 0)), nullptr);
  EXPECT_EQ(block.GetPixelAddress(CPoint(0, -1)), nullptr);
  block.SetPixel(-1, 0, Px(1, 2, 3, 4));  // outside: ignored
  // A caller's buffer is used in place, and outlives the block's use of it.
  std::vector<tagCOLOR32> pixels(6, Px(9, 9, 9, 9));
  ASSERT_TRUE(block.InitBlock(CSize(3, 2), pixels.data()));
  EXPECT_EQ(block.GetAddress(), pixels.data());
  block.SetPixel(2, 1, Px(1, 2, 3, 4));
  block.Close();
  EXPECT_EQ(pixels[5], Px(1, 2, 3, 4));
  EXPECT_EQ(pixels[0], Px(9, 9, 9, 9));
}

TEST(MemBlock, CopyClipsBothSides) {
  CKvMemBlock src, dst;
  ASSERT_TRUE(src.InitBlock(CSize(8, 6)));
  ASSERT_TRUE(dst.InitBlock(CSize(5, 4)));
  FillNumbered(src);
  dst.ClearBlock(nullptr, Px(0xEE, 0xEE, 0xEE, 0xEE));
  // Source area partly outside the source, destination partly outside the block: source
  // (0..3, 1..4) lands at (1..4, 2..3).
  EXPECT_TRUE(dst.Copy(-1, 2, &src, CRect(-2, 1, 4, 9), KV_MIX_COPY));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(dst.GetPixel(x, y), y >= 2 && x >= 1 ? Px(BYTE(x - 1), BYTE(y - 1), 7, 255)
                                                     : Px(0xEE, 0xEE, 0xEE, 0xEE))
          << x << "," << y;
  // Wholly outside: success, nothing written.
  EXPECT_TRUE(dst.Copy(100, 100, &src, src.GetRect(), KV_MIX_COPY));
  EXPECT_TRUE(dst.Copy(0, 0, &src, CRect(50, 50, 60, 60), KV_MIX_COPY));
  EXPECT_FALSE(dst.Copy(0, 0, nullptr, src.GetRect(), KV_MIX_COPY));
  EXPECT_FALSE(dst.Copy(CPoint(0, 0), nullptr, CSize(8, 6), src.GetRect(), KV_MIX_COPY));
  CKvMemBlock closed;
  EXPECT_FALSE(closed.Copy(0, 0, &src, src.GetRect(), KV_MIX_COPY));
  // Within one block the copy reads the original.
  CKvMemBlock& block = src;
  const CKvMemBlock before = block;
  block.Copy(1, 1, &block, CRect(0, 0, 3, 3), KV_MIX_COPY);
  for (int y = 1; y < 4; ++y)
    for (int x = 1; x < 4; ++x) EXPECT_EQ(block.GetPixel(x, y), before.GetPixel(x - 1, y - 1));
}

TEST(MemBlock, MixModesFollowTheMixColour) {
  tagCOLOR32 b[4] = {Px(10, 20, 30, 255), Px(200, 100, 50, 255), Px(1, 2, 3, 0),
                     Px(90, 90, 90, 128)};
  tagCOLOR32 t[4] = {Px(255, 255, 255, 0), Px(0, 0, 255, 255), Px(40, 50, 60, 128),
                     Px(200, 10, 10, 64)};
  CKvMemBlock back, title;
  ASSERT_TRUE(back.InitBlock(CSize(4, 1), b) && title.InitBlock(CSize(4, 1), t));
  CKvMemBlock over = back, under = back;
  over.Copy(0, 0, &title, title.GetRect(), KV_MIX_OVER);
  under.Copy(0, 0, &title, title.GetRect(), KV_MIX_UNDER);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(over.GetPixel(i, 0), KvPublicMixColor(t[i], b[i])) << i;
    EXPECT_EQ(under.GetPixel(i, 0), KvPublicMixColor(b[i], t[i])) << i;
  }
}

TEST(MemBlock, BufferSourceAndFields) {
  std::vector<DWORD> raw(4 * 4);
  for (int i = 0; i < 16; ++i) raw[i] = 0xFF000000u | static_cast<DWORD>(i);
  CKvMemBlock dst;
  ASSERT_TRUE(dst.InitBlock(CSize(4, 4)));
  EXPECT_TRUE(dst.Copy(CPoint(0, 0), raw.data(), CSize(4, 4), CRect(1, 1, 3, 3), KV_MIX_COPY));
  EXPECT_EQ(dst.GetPixel(0, 0).Value(), raw[5]);
  EXPECT_EQ(dst.GetPixel(1, 1).Value(), raw[10]);
  EXPECT_EQ(dst.GetPixel(2, 0).Value(), 0u);
  // A field is the destination's rows: copied one row down, the lower field (odd rows) takes
  // source rows 0 and 2, then the upper field takes rows 1 and 3.
  CKvMemBlock src, fields;
  ASSERT_TRUE(src.InitBlock(CSize(2, 4)));
  ASSERT_TRUE(fields.InitBlock(CSize(2, 5)));
  FillNumbered(src);
  fields.Copy(CPoint(0, 1), &src, src.GetRect(), KV_MIX_COPY, KV_FIELD_LOWER);
  for (int y = 0; y < 5; ++y)
    EXPECT_EQ(fields.GetPixel(1, y), y % 2 ? src.GetPixel(1, y - 1) : Px(0, 0, 0, 0)) << y;
  fields.Copy(CPoint(0, 1), &src, src.GetRect(), KV_MIX_COPY, KV_FIELD_UPPER);
  for (int y = 1; y < 5; ++y) EXPECT_EQ(fields.GetPixel(1, y), src.GetPixel(1, y - 1)) << y;
  EXPECT_EQ(fields.GetPixel(1, 0), Px(0, 0, 0, 0));
}

TEST(MemBlock, ClearAndAssign) {
  CKvMemBlock block;
  ASSERT_TRUE(block.InitBlock(CSize(3, 3)));
  const RECT area{1, 1, 10, 10};
  block.ClearBlock(&area, Px(1, 1, 1, 1));
  EXPECT_EQ(block.GetPixel(0, 0), Px(0, 0, 0, 0));
  EXPECT_EQ(block.GetPixel(2, 2), Px(1, 1, 1, 1));
  CKvObject& asBase = block;
  CKvMemBlock copy;
  copy = static_cast<const CKvObject&>(asBase);  // the virtual assignment
  EXPECT_EQ(copy.GetSize(), CSize(3, 3));
  EXPECT_NE(copy.GetAddress(), block.GetAddress());
  EXPECT_EQ(copy.GetPixel(2, 2), Px(1, 1, 1, 1));
}

// Worked by hand: (above + 2 x row + below + 2) / 4 from the unfiltered rows, each edge row
// of the area counting itself for the neighbour outside it; rows and columns outside stay.
TEST(MemBlock, DeflickerEdgesByHand) {
  const int column[] = {90, 10, 30, 50, 250};
  const int filtered[] = {90, 15, 30, 95, 200};
  CKvMemBlock block;
  ASSERT_TRUE(block.InitBlock(CSize(2, 5)));
  for (int y = 0; y < 5; ++y) {
    block.SetPixel(0, y, Px(column[y], column[y], 255 - column[y], column[y]));
    block.SetPixel(1, y, Px(77, 77, 77, 77));
  }
  block.Deflicker(CRect(0, 1, 1, 5), 0);
  for (int y = 0; y < 5; ++y) {
    const int v = filtered[y];
    EXPECT_EQ(block.GetPixel(0, y), Px(v, v, 255 - v, v)) << y;
    EXPECT_EQ(block.GetPixel(1, y), Px(77, 77, 77, 77)) << y;
  }
}

// The limit as refusals name it: in GiB or MiB where it is a whole number of them.
TEST(MemBlock, PictureLimitAsReasonsNameIt) {
  const std::size_t limit = KvGetMaxPictureBytes(), mib = std::size_t{1} << 20;
  for (auto [bytes, text] : {std::pair<std::size_t, const char*>{1024 * mib, "1 GiB"},
                             {1536 * mib, "1536 MiB"},
                             {mib, "1 MiB"},
                             {mib + 4, "1,048,580 bytes"},
                             {0, "0 bytes"}}) {
    KvSetMaxPictureBytes(bytes);
    EXPECT_EQ(KvPictureLimitText(), text);
  }
  KvSetMaxPictureBytes(limit);
}
