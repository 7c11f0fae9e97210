// The UHD raster (3840 x 2160) through the paths that take their size from it: a movie made
// of pictures placed in it, played from the file and from memory, and a roll's frame. A few
// frames only: each is 33 MB.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvScroll.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/ScrollWriter.h"
#include "fixtures/TgaWriter.h"
#include "host/Failure.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Px;

class Uhd : public testing::Test {
 protected:
  void SetUp() override { CKvVideoStd::SetStandard(KV_STD_UHD); }
  void TearDown() override { CKvVideoStd::SetHD(TRUE); }
  kvtest::TempDir dir;
};

}  // namespace

// A whole-raster key frame, a 3,000-pixel band (two patches) changed below the HD raster, and
// a picture cut off by the raster's bottom-right corner, each over what the one before left:
// every frame plays back as placed, from the file and from memory.
TEST_F(Uhd, MovieOfPicturesPlaysBackAsPlaced) {
  const int W = 3840, H = 2160;
  const struct {
    int x, y, w, h;
  } pictures[] = {{0, 0, W, H}, {600, 2140, 3000, 16}, {3830, 2150, 20, 20}};
  CKvMemBlock raster;
  ASSERT_TRUE(raster.InitBlock(CSize(-1, -1)));
  std::vector<std::vector<DWORD>> want;
  for (int n = 0; n < 3; ++n) {
    const auto& p = pictures[n];
    std::vector<DWORD> px(std::size_t(p.w) * p.h);
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x)
        px[std::size_t(y) * p.w + x] = Px(x + n * 50, y, (x >> 8) * 16 + (y >> 8), 200 + n);
    kvtest::TgaImage tga = kvtest::Tga32(p.w, p.h, px);
    tga.xOrigin = p.x, tga.yOrigin = p.y;
    dir.Write("pic" + std::to_string(n) + ".tga", kvtest::WriteTga(tga));
    raster.Copy(CPoint(p.x, p.y), px.data(), CSize(p.w, p.h), CRect(0, 0, p.w, p.h), KV_MIX_COPY);
    want.push_back(kvtest::BlockPixels(raster));
  }
  const CRect whole(0, 0, W, H);
  CKvMakeMovieMotion maker;
  ASSERT_EQ(maker.Sink(dir.File("pic.tga"), 0, 2, 1, FALSE, {}, {}, FALSE, &whole,
                       dir.File("uhd.sve"), 10, nullptr),
            1)
      << KvLastFailure();
  CRect rect;
  WORD interval = 0;
  int count = 0;
  ASSERT_TRUE(KvMovieGetFileInfo(dir.File("uhd.sve"), &rect, &interval, &count));
  EXPECT_EQ(rect, whole);
  EXPECT_EQ(count, 3);
  CRect last;
  const KvGlobalPtr frame(KvMovieGetFrame(dir.File("uhd.sve"), last, 2 / 3.0f));
  ASSERT_TRUE(frame) << KvLastFailure();
  ASSERT_EQ(last, whole);
  const auto* px = static_cast<const DWORD*>(frame.get());
  EXPECT_TRUE(std::equal(want[2].begin(), want[2].end(), px)) << "through the movie API";
  for (int inMemory : {0, 1}) {
    std::unique_ptr<CKvPlayMovieBase> player(
        CKvPlayMovieBase::CreatePlayMovieObj(dir.File("uhd.sve"), inMemory));
    ASSERT_TRUE(player);
    for (int n = 0; n < 3; ++n) {
      ASSERT_TRUE(player->GetOneFrame(n / 3.0f));
      EXPECT_TRUE(kvtest::BlockPixels(player->m_blockWork) == want[n])
          << "frame " << n << (inMemory ? " from memory" : " from the file");
    }
  }
}

// A roll as wide as the raster is played 2,160 rows high, from the file and from memory.
TEST_F(Uhd, RollFrameIsTheRastersSize) {
  const int W = 3840, lines = 2400, n = 2300;
  const kvtest::ScrollStrip strip = kvtest::MakeScrollStrip(W, lines);
  const auto rows = kvtest::ScrollLines(strip, KV_SCROLL_UP);
  const CString path = dir.Write("roll.ksc", kvtest::LayOutScrollFile(KV_SCROLL_UP, W, rows));
  // The window of the first n rows' last 2,160.
  const std::vector<DWORD> want(strip.pixels.begin() + std::ptrdiff_t(n - 2160) * W,
                                strip.pixels.begin() + std::ptrdiff_t(n) * W);
  for (int inMemory : {0, 1}) {
    CKvPlayScrollFile player;
    ASSERT_TRUE(player.Open(path, inMemory));
    CRect primal;
    player.GetPrimalRect(primal);
    ASSERT_EQ(primal, CRect(0, 0, W, 2160));
    std::vector<DWORD> frame(std::size_t(W) * 2160);
    SKvScrollBuffer buffer;
    buffer.pFrame = frame.data();
    ASSERT_TRUE(player.GetOneFrame(float(n) / lines, &buffer));
    EXPECT_EQ(buffer.rcSource, CRect(0, n - 2160, W, n));
    EXPECT_TRUE(frame == want) << (inMemory ? "from memory" : "from the file");
  }
}
