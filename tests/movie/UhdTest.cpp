// The maker takes its raster from the video standard: at UHD (3840 x 2160) a movie of the
// raster's bottom-right corner is made, of a picture that the corner cuts off.
#include <gtest/gtest.h>

#include <vector>

#include "KvMediaFile/KvMovie.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/TgaWriter.h"
#include "host/Failure.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"

TEST(Uhd, MovieOfTheRastersCornerPlaysThePictureCutOff) {
  CKvVideoStd::SetStandard(KV_STD_UHD);
  kvtest::TempDir dir;
  const std::vector<DWORD> px = kvtest::Gradient(20, 20);
  kvtest::TgaImage tga = kvtest::Tga32(20, 20, px);
  tga.xOrigin = 3830, tga.yOrigin = 2150;
  dir.Write("pic0.tga", kvtest::WriteTga(tga));
  const CRect corner(3830, 2150, 3840, 2160);
  CKvMakeMovieMotion maker;
  const int made = maker.Sink(dir.File("pic.tga"), 0, 0, 1, FALSE, {}, {}, FALSE, &corner,
                              dir.File("uhd.sve"), 10, nullptr);
  CKvVideoStd::SetHD(TRUE);
  ASSERT_EQ(made, 1) << KvLastFailure();
  CRect rect;
  const KvGlobalPtr frame(KvMovieGetFrame(dir.File("uhd.sve"), rect, 0));
  ASSERT_TRUE(frame);
  ASSERT_EQ(rect, corner);
  const auto* got = static_cast<const DWORD*>(frame.get());
  for (int y = 0; y < 10; ++y)
    EXPECT_EQ(std::vector<DWORD>(got + y * 10, got + y * 10 + 10),
              std::vector<DWORD>(px.begin() + y * 20, px.begin() + y * 20 + 10))
        << "row " << y;
}
