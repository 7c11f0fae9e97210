#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <tuple>
#include <vector>

#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/PngWriter.h"
#include "fixtures/TgaWriter.h"
#include "host/Failure.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Px;
using kvtest::Rgb;

// A patch's place, size and bytes: x, y, width, height, bytes.
using Patch = std::array<int, 5>;

// Runs MakeFrame and gives the patches' headers (their pixels are checked by playing movies
// back).
std::vector<Patch> Encode(CKvMemBlock& cur, CKvMemBlock* prev, CRect rc, int* result = nullptr) {
  std::vector<void*> handles(6912);
  std::vector<WORD> sizes(6912);
  int count = -1;
  const int made =
      CKvMakeMovieMotion::MakeFrame(0, &cur, prev, &count, handles.data(), sizes.data(), &rc);
  if (result) *result = made;
  std::vector<Patch> out;
  for (int i = 0; i < count; ++i) {
    const KvGlobalPtr owner(handles[i]);  // freed after the lock below ends
    KvGlobalLock lock(handles[i]);
    const auto* b = static_cast<const BYTE*>(lock.get());
    const auto word = [b](int at) { return b[at] | b[at + 1] << 8; };
    out.push_back({word(0), word(2), word(4), word(6), sizes[i]});
  }
  return out;
}

class MovieMaker : public testing::Test {
 protected:
  void SetUp() override { CKvVideoStd::SetHD(FALSE); }  // a 720 x 576 raster
  void TearDown() override { CKvVideoStd::SetHD(TRUE); }

  // Writes picture `number` of the sequence "pic" as a TGA of `depth` bits with its origin.
  void WritePicture(int number, int w, int h, int x, int y, int depth,
                    const std::vector<DWORD>& pixels) {
    kvtest::TgaImage im{.pixelDepth = depth, .xOrigin = x, .yOrigin = y, .width = w, .height = h};
    for (DWORD p : pixels)
      for (int b = 0; b < depth / 8; ++b) im.pixels.push_back(static_cast<BYTE>(p >> 8 * b));
    dir.Write("pic" + std::to_string(1000 + number).substr(1) + ".tga", kvtest::WriteTga(im));
  }

  // Makes `movie` (by default out.sve) of the pictures first to last of the sequence `pictures`.
  int Make(int first, int last, CRect rect, WORD key = 25, bool colorKey = false,
           CKvColor32 keyColor = {}, CKvColor32 tolerance = {}, int deflicker = 0,
           const char* pictures = "pic.tga", const CString& movie = {}) {
    CKvMakeMovieMotion maker;
    return maker.Sink(dir.File(pictures), first, last, 3, colorKey, keyColor, tolerance, deflicker,
                      &rect, movie.IsEmpty() ? dir.File("out.sve") : movie, key, nullptr);
  }

  // Every frame of the movie, through the movie API.
  std::vector<std::vector<DWORD>> Play(int frames) {
    std::vector<CKvMemBlock> blocks(frames);
    EXPECT_EQ(KvMovieGetFrames(dir.File("out.sve"), frames, blocks.data()), 1);
    std::vector<std::vector<DWORD>> out;
    for (const CKvMemBlock& block : blocks) out.push_back(kvtest::BlockPixels(block));
    return out;
  }

  kvtest::TempDir dir;
};

}  // namespace

TEST(MovieMakerFrame, CellsRunsAndKeyFrames) {
  CKvMemBlock cur, prev;
  ASSERT_TRUE(cur.InitBlock(CSize(720, 576)) && prev.InitBlock(CSize(720, 576)));
  // A key frame: a band-wide patch per band.
  const auto key = Encode(cur, nullptr, CRect(0, 0, 720, 576));
  ASSERT_EQ(key.size(), 72u);
  EXPECT_EQ(key[71], (Patch{0, 568, 720, 8, 23056}));
  EXPECT_TRUE(Encode(cur, &prev, CRect(0, 0, 720, 576)).empty());  // nothing changed

  // Columns changed on the rectangle's last line, the rectangle, the patches: one run of two
  // cells, two runs, the last columns, a narrow last cell, a narrow rectangle, the last band.
  const std::tuple<std::vector<int>, CRect, std::vector<Patch>> rows[] = {
      {{10, 20}, CRect(0, 0, 64, 8), {{8, 0, 16, 8, 16 + 16 * 32}}},
      {{10, 40}, CRect(0, 0, 64, 8), {{8, 0, 8, 8, 272}, {40, 0, 8, 8, 272}}},
      {{63}, CRect(0, 0, 64, 8), {{56, 0, 8, 8, 272}}},
      {{66}, CRect(0, 0, 67, 12), {{64, 8, 3, 4, 16 + 3 * 16}}},
      {{101}, CRect(100, 4, 105, 9), {{0, 0, 5, 5, 16 + 100}}},
      {{30}, CRect(0, 0, 64, 10), {{24, 8, 8, 2, 16 + 64}}}};
  for (const auto& [changedX, rect, patches] : rows) {
    prev.ClearBlock(nullptr, CKvColor32());
    cur.ClearBlock(nullptr, CKvColor32());
    for (int x : changedX) cur.SetPixel(x, rect.bottom - 1, CKvColor32(1, 2, 3, 4));
    EXPECT_EQ(Encode(cur, &prev, rect), patches) << changedX[0];
  }

  // A key frame stores every cell, those of nothing but bytes of 123 too.
  cur.ClearBlock(nullptr, CKvColor32(123, 123, 123, 123));
  EXPECT_EQ(Encode(cur, nullptr, CRect(0, 0, 64, 8)), (std::vector<Patch>{{0, 0, 64, 8, 2064}}));

  // Each call says why it refused, or that it did not, whatever an earlier call left.
  CKvMemBlock none;
  for (auto [frame, right, made, reason] :
       {std::tuple{&none, 8, 0, "no frame"},
        {&cur, 800, 0, "the movie rectangle lies outside the frame"},
        {&cur, 8, 1, ""}}) {
    KvFail("an earlier call's reason");
    int result = -1;
    Encode(*frame, nullptr, CRect(0, 0, right, 8), &result);
    EXPECT_EQ(result, made);
    EXPECT_EQ(KvMediaGetLastFailure().ToUtf8(), reason);
  }
}

// A band wider than a patch's 16-bit size holds is stored as patches side by side, of whole
// cells; in key frames and in difference frames alike.
TEST(MovieMakerFrame, WideBandsSplitIntoPatchesUpTo32767Pixels) {
  CKvMemBlock cur, prev;
  ASSERT_TRUE(cur.InitBlock(CSize(4100, 10)) && prev.InitBlock(CSize(4100, 10)));
  const std::vector<Patch> wide = {{0, 0, 2040, 8, 16 + 2040 * 32},
                                   {2040, 0, 2040, 8, 16 + 2040 * 32},
                                   {4080, 0, 20, 8, 16 + 20 * 32},
                                   {0, 8, 4100, 2, 16 + 4100 * 8}};
  EXPECT_EQ(Encode(cur, nullptr, CRect(0, 0, 4100, 10)), wide);
  cur.ClearBlock(nullptr, CKvColor32(1, 2, 3, 4));
  EXPECT_EQ(Encode(cur, &prev, CRect(0, 0, 4100, 10)), wide);
  // Patch places and sizes are signed 16-bit values: a rectangle 32,768 pixels wide is refused.
  CKvMemBlock widest;
  ASSERT_TRUE(widest.InitBlock(CSize(32768, 1)));
  int result = -1;
  Encode(widest, nullptr, CRect(0, 0, 32768, 1), &result);
  EXPECT_EQ(result, 0);
  Encode(widest, nullptr, CRect(1, 0, 32768, 1), &result);
  EXPECT_EQ(result, 1);
}

// A frame whose changed runs need more patches than a frame chunk holds is stored as one
// patch per changed band, from its first changed cell to its last.
TEST(MovieMakerFrame, BusyFramesStoredBandByBand) {
  CKvMemBlock cur, prev;
  ASSERT_TRUE(cur.InitBlock(CSize(1920, 448)) && prev.InitBlock(CSize(1920, 448)));
  for (int y = 0; y < 448; y += 8)
    for (int x = 0; x < 1920; x += 16) cur.SetPixel(x, y, CKvColor32(1, 1, 1, 1));
  // 54 bands of 120 runs fit; 55 bands, 6,600 runs, do not.
  EXPECT_EQ(Encode(cur, &prev, CRect(0, 0, 1920, 432)).size(), 54u * 120);
  int result = -1;
  const auto bands = Encode(cur, &prev, CRect(0, 0, 1920, 440), &result);
  EXPECT_EQ(result, 1);
  ASSERT_EQ(bands.size(), 55u);
  for (int i = 0; i < 55; ++i) EXPECT_EQ(bands[i], (Patch{0, 8 * i, 1912, 8, 16 + 1912 * 32}));
}

// Pictures placed by their origin over what the previous one left (cut off by the raster),
// 24-bit ones made opaque, a 32-bit one keeping its alpha, de-flickered or not: each movie
// plays back frame for frame as it was made. (Keying is KeyColourAndAlpha's.)
TEST_F(MovieMaker, EveryFramePlaysBackAsMade) {
  const int frames = 14;
  // The rectangle, the key interval asked (the file keeps it within 10 to 30), de-flickered;
  // the third only 5 pixels wide: only narrow cells.
  const std::tuple<CRect, WORD, bool> movies[] = {{CRect(40, 30, 110, 50), 5, false},
                                                  {CRect(0, 0, 720, 576), 40, false},
                                                  {CRect(63, 20, 68, 61), 10, true},
                                                  {CRect(30, 25, 130, 60), 10, true}};
  for (const auto& [rc, key, deflicker] : movies) {
    SCOPED_TRACE(rc.Width());
    CKvMemBlock expected, filtered;
    ASSERT_TRUE(expected.InitBlock(CSize(720, 576)) && filtered.InitBlock(CSize(720, 576)));
    std::vector<std::vector<DWORD>> want;
    for (int n = 0; n < frames; ++n) {
      // Whole-raster pictures now and then; small ones moving about in between.
      const bool whole = n % 6 == 0, alpha = n == 7;
      const int w = whole ? 720 : 9 + n, h = whole ? 576 : 5 + n % 4;
      // The last one is cut off by the raster's bottom-right corner.
      const int x = whole ? 0 : n == 13 ? 710 : 35 + 5 * n, y = whole ? 0 : n == 13 ? 572 : 28 + n;
      std::vector<DWORD> px = kvtest::Gradient(w, h);
      for (DWORD& p : px) p = (p + static_cast<DWORD>(n) * 0x010203) & (alpha ? ~0u : 0xFFFFFFu);
      for (std::size_t i = 0; i < px.size(); ++i)
        if (i / w % 3 == 0) px[i] ^= 0xF0F0F0;  // sharp edges between rows
      WritePicture(n, w, h, x, y, alpha ? 32 : 24, px);
      expected.Copy(CPoint(x, y), px.data(), CSize(w, h), CRect(0, 0, w, h), KV_MIX_COPY);
      // A picture without alpha makes the movie rectangle opaque, what earlier ones left
      // there included.
      for (int j = rc.top; j < rc.bottom && !alpha; ++j)
        for (int i = rc.left; i < rc.right; ++i) expected.GetAddress()[j * 720 + i].a = 255;
      // De-flickered on a copy: what later pictures leave uncovered is filtered once.
      filtered.Copy(rc.left, rc.top, &expected, rc, KV_MIX_COPY);
      if (deflicker) filtered.Deflicker(rc, 0);
      std::vector<DWORD> frame;
      for (int j = rc.top; j < rc.bottom; ++j)
        for (int i = rc.left; i < rc.right; ++i) frame.push_back(filtered.GetPixel(i, j).Value());
      want.push_back(frame);
    }
    ASSERT_EQ(Make(0, frames - 1, rc, key, false, {}, {}, deflicker), 1) << KvLastFailure();
    CRect rect;
    WORD interval = 0;
    int count = 0;
    ASSERT_TRUE(KvMovieGetFileInfo(dir.File("out.sve"), &rect, &interval, &count));
    EXPECT_EQ(std::tuple(rect, interval, count),
              std::tuple(rc, std::clamp<WORD>(key, 10, 30), frames));
    const auto played = Play(frames);
    for (int n = 0; n < frames; ++n) EXPECT_EQ(played[n], want[n]) << "frame " << n;
  }
}

// Key (40, 60, 200) within 10 on each channel: a pixel is keyed only when all three lie
// within, ends included (the two keyed pixels lie on all six); a 24-bit picture comes out opaque.
// An RGBA PNG keeps its alpha, though its information gives bytes per pixel, never 32.
TEST_F(MovieMaker, KeyColourAndAlpha) {
  const std::vector<DWORD> px = {Rgb(50, 50, 210, 0), Rgb(30, 70, 190, 0),  // keyed
                                 Rgb(29, 60, 200, 0), Rgb(51, 60, 200, 0), Rgb(40, 49, 200, 0),
                                 Rgb(40, 71, 200, 0), Rgb(40, 60, 189, 0), Rgb(40, 60, 211, 0)};
  const CKvColor32 key(40, 60, 200, 0), within(10, 10, 10, 0);
  WritePicture(0, 8, 1, 0, 0, 24, px);
  ASSERT_EQ(Make(0, 0, CRect(0, 0, 8, 1), 25, true, key, within), 1);
  std::vector<DWORD> want = px;
  for (std::size_t i = 2; i < want.size(); ++i) want[i] |= 0xFF000000u;
  EXPECT_EQ(Play(1)[0], want);
  // Keyed too: colours off the key keep their alpha.
  const kvtest::PngImage png{
      .width = 2, .height = 1, .colorType = 6, .samples = {1, 2, 3, 40, 5, 6, 7, 255}};
  ASSERT_TRUE(kvtest::WritePng(dir.path() + "/pic000.png", png));
  KvMediaFileOpen();  // PNG files load through the library's image loader
  EXPECT_EQ(Make(0, 0, CRect(0, 0, 2, 1), 25, true, key, within, 0, "pic.png"), 1);
  KvMediaFileClose();
  EXPECT_EQ(Play(1)[0], (std::vector<DWORD>{Rgb(1, 2, 3, 40), Rgb(5, 6, 7)}));
}

TEST_F(MovieMaker, RefusalsLeaveNoMovieAndKeepAnOldOne) {
  const std::vector<DWORD> px(16, Px(1, 2, 3));
  for (int n : {0, 1, 3}) WritePicture(n, 4, 4, 0, 0, 24, px);
  const kvtest::Bytes old = {'o', 'l', 'd'};
  kvtest::WriteFileBytes(dir.path() + "/out.sve", old);
  kvtest::RecordingUi ui;
  // First and last picture, the rectangle's left, pumps before the cancel, the reason.
  const std::tuple<int, int, int, int, const char*> rows[] = {
      {0, 3, 0, -1, "is missing"},
      {3, 1, 0, -1, "the last picture 1 comes before the first 3"},
      {0, 32767, 0, -1, "more than 32,767 frames"},
      {0, 1, 720, -1, "the movie rectangle lies outside the raster"},
      {0, 1, 0, 1, "cancelled"}};
  for (const auto& [first, last, left, cancelAfter, reason] : rows) {
    ui.cancelAfterPumps = cancelAfter;
    ui.pumps = 0;
    EXPECT_EQ(Make(first, last, CRect(left, 0, left + 4, 4)), 0);
    EXPECT_NE(KvLastFailure().find(reason), std::string::npos) << KvLastFailure();
    EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/out.sve"), old);
    EXPECT_EQ(kvtest::FileNames(dir.path(), "out").size(), 1u);
  }
  EXPECT_EQ(ui.progressTexts.back(), CString(L"正在生成动画文件，请稍候..."));
  EXPECT_TRUE(ui.progressCancellable.back());  // the cancel above needs its button
  ui.cancelAfterPumps = -1;
  const auto sink = [&](const CString& path) {
    return Make(0, 1, CRect(0, 0, 4, 4), 25, false, {}, {}, 0, "pic.tga", path);
  };
  kvtest::ExpectFullDiskKeepsTheOldFile("full.sve", 200, sink);  // a disk that fills
  EXPECT_EQ(Make(0, 1, CRect(0, 0, 4, 4)), 1);
  EXPECT_NE(kvtest::ReadFileBytes(dir.path() + "/out.sve"), old);

  // A movie over one of its own pictures, or one that does not read back (a device of its
  // own, where nodes can be made, takes it and gives nothing back): refused, and the picture
  // and the device stay.
  const kvtest::Bytes picture = kvtest::ReadFileBytes(dir.path() + "/pic001.tga");
  std::filesystem::create_symlink("pic001.tga", dir.path() + "/own.sve");
  const std::string device = dir.path() + "/null.sve";
  const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  for (const auto& [movie, reason] : {std::pair{"own.sve", "is picture"},
                                      {"pic001.tga", "is picture"},
                                      {"null.sve", "the movie written cannot be read back"}}) {
    if (!haveDevice && std::string(movie) == "null.sve") continue;
    EXPECT_EQ(sink(dir.File(movie)), 0) << movie;
    EXPECT_NE(KvLastFailure().find(reason), std::string::npos) << KvLastFailure();
  }
  EXPECT_EQ(kvtest::ReadFileBytes(dir.path() + "/pic001.tga"), picture);
  EXPECT_EQ(std::filesystem::is_character_file(device), haveDevice);
}
