#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <filesystem>
#include <tuple>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/GifWriter.h"
#include "host/Failure.h"
#include "host/MemBlock.h"
#include "picture/JpegCodec.h"

namespace {

using kvtest::Bytes;
namespace fs = std::filesystem;

using kvtest::Picture;
using kvtest::Px;
int Channel(DWORD px, int i) { return int(px >> (8 * i) & 0xFF); }

// Gradients with a little texture; alpha varies, which a JPEG drops.
std::vector<DWORD> Smooth(int w, int h) {
  auto ramp = [](int t) { return t % 510 < 256 ? t % 510 : 509 - t % 510; };
  std::vector<DWORD> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px.push_back(
          Px(ramp(x * 3), ramp(y * 5), 128 + ((x / 8 + y / 8) % 2) * 24, (x * 7 + y) & 0xFF));
  return px;
}

// A failed load leaves the rect (0, 0, 0, 0).
std::optional<Picture> DecodeBytes(const Bytes& jpeg) {
  CRect rect = kvtest::kUntouched;
  return kvtest::TakePicture(KvDecodeJpeg(jpeg, rect), rect, CRect());
}

Bytes TjCompress(const void* pixels, int w, int h, int pixelFormat, int subsamp, int flags,
                 int quality = 90) {
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj, static_cast<const unsigned char*>(pixels), w, 0, h, pixelFormat,
                             &out, &size, subsamp, quality, flags);
  Bytes jpeg = rc == 0 ? Bytes(out, out + size) : Bytes{};
  tjFree(out);
  tjDestroy(tj);
  return jpeg;
}

// libjpeg-turbo's own decode straight to BGRA, with the same (default) settings as ours.
std::vector<DWORD> TjDecompress(const Bytes& jpeg, int& w, int& h, int* subsamp = nullptr,
                                int* colourspace = nullptr) {
  tjhandle tj = tjInitDecompress();
  int sampling = 0, space = 0;
  std::vector<DWORD> out;
  if (tjDecompressHeader3(tj, jpeg.data(), jpeg.size(), &w, &h, &sampling, &space) == 0) {
    out.resize(std::size_t(w) * h);
    if (tjDecompress2(tj, jpeg.data(), jpeg.size(), reinterpret_cast<unsigned char*>(out.data()), w,
                      0, h, TJPF_BGRA, 0) != 0)
      out.clear();
  }
  tjDestroy(tj);
  if (subsamp) *subsamp = sampling;
  if (colourspace) *colourspace = space;
  return out;
}

// The offset of the first marker `code` (after its 0xFF), or 0.
std::size_t FindMarker(const Bytes& jpeg, unsigned char code) {
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == code) return i + 1;
  return 0;
}

// Sets the picture size in a baseline frame header.
Bytes WithSize(Bytes jpeg, int w, int h) {
  const std::size_t sof = FindMarker(jpeg, 0xC0);
  for (int i = 0; i < 4; ++i)
    jpeg[sof + 4 + i] = static_cast<unsigned char>((i < 2 ? h : w) >> (i % 2 ? 0 : 8));
  return jpeg;
}

}  // namespace

TEST(JpegLoad, MatchesLibjpegTurboExactlyAndCmykFilesComeOutAsTheirColours) {
  const std::pair<int, const char*> samplings[] = {
      {TJSAMP_444, "4:4:4"}, {TJSAMP_420, "4:2:0"}, {TJSAMP_411, "4:1:1"}, {TJSAMP_GRAY, "grey"}};
  for (auto [w, h] : {std::pair{47, 33}, {1, 1}})
    for (const auto& [subsamp, name] : samplings)
      for (int flags : {0, TJFLAG_PROGRESSIVE}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << " " << name << " flags " << flags);
        const auto source = Smooth(w, h);
        const Bytes jpeg = TjCompress(source.data(), w, h, TJPF_BGRA, subsamp, flags);
        ASSERT_FALSE(jpeg.empty());
        int tw = 0, th = 0;
        const auto theirs = TjDecompress(jpeg, tw, th);
        ASSERT_FALSE(theirs.empty());
        EXPECT_EQ(DecodeBytes(jpeg), (Picture{{0, 0, tw, th}, theirs}));
      }
  // CMYK files come out as their colours.
  // Four quadrants stored as Adobe writers do, inverted (255: no ink): full cyan, magenta,
  // yellow, and half black.
  const unsigned char inks[4][4] = {
      {0, 255, 255, 255}, {255, 0, 255, 255}, {255, 255, 0, 255}, {255, 255, 255, 127}};
  const DWORD colours[4] = {Px(255, 255, 0), Px(255, 0, 255), Px(0, 255, 255), Px(127, 127, 127)};
  const int size = 32;
  Bytes cmyk;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const auto* ink = inks[(y >= size / 2) * 2 + (x >= size / 2)];
      cmyk.insert(cmyk.end(), ink, ink + 4);
    }
  const Bytes jpeg = TjCompress(cmyk.data(), size, size, TJPF_CMYK, TJSAMP_444, 0, 95);
  ASSERT_FALSE(jpeg.empty());
  const auto p = DecodeBytes(jpeg);
  ASSERT_TRUE(p);
  for (int q = 0; q < 4; ++q) {
    const DWORD got =
        p->pixels[(size / 4 + (q / 2) * size / 2) * size + size / 4 + (q % 2) * size / 2];
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(Channel(got, c), Channel(colours[q], c), 4) << q;
    EXPECT_EQ(Channel(got, 3), 255);
  }
}

TEST(JpegSave, RoundTripsWithTheDefaultSettingsAndRefusesWhatItCannotWrite) {
  for (auto [w, h] : {std::pair{47, 33}, {1, 1}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    auto source = Smooth(w, h);
    // The rect is not used: the whole buffer is saved.
    const Bytes file =
        kvtest::SavedBytes(KvMediaSaveJPGFile, "out.jpg", source, CSize(w, h), CRect(1, 1, 2, 2));
    // Read back by libjpeg-turbo, which our decoder matches: quality 75 (the standard
    // luminance table's first entry, 16, halved), 4:2:0 chroma.
    int fw = 0, fh = 0, subsamp = -1, colourspace = -1;
    const auto back = TjDecompress(file, fw, fh, &subsamp, &colourspace);
    ASSERT_EQ(back.size(), source.size());
    EXPECT_EQ(std::tuple(fw, fh, subsamp, colourspace),
              std::tuple(w, h, int(TJSAMP_420), int(TJCS_YCbCr)));
    EXPECT_EQ(file[FindMarker(file, 0xDB) + 4], 8);
    // The pixels are within a rounding of libjpeg-turbo's own encoder at the same settings (it
    // downsamples the chroma slightly differently).
    const auto theirs =
        TjDecompress(TjCompress(source.data(), w, h, TJPF_BGRX, TJSAMP_420, 0, 75), fw, fh);
    ASSERT_EQ(theirs.size(), back.size());
    int worst = 0;
    for (std::size_t i = 0; i < back.size(); ++i)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(Channel(back[i], c) - Channel(theirs[i], c)));
    EXPECT_LE(worst, 6);
    // Alpha is dropped: an opaque copy of the picture gives the same file.
    for (DWORD& px : source) px |= 0xFF000000u;
    EXPECT_EQ(kvtest::SavedBytes(KvMediaSaveJPGFile, "out.jpg", source, CSize(w, h), CRect()),
              file);
  }
  kvtest::TempDir dir;
  auto source = Smooth(128, 128);
  auto save = [&](DWORD* pixels, CSize size) {
    return KvMediaSaveJPGFile(dir.File("a.jpg"), pixels, size, CRect(0, 0, size.cx, size.cy));
  };
  EXPECT_EQ(save(source.data(), CSize(0, 128)), 0);
  // libjpeg's own limit is 65500 pixels a side.
  std::vector<DWORD> wide(70000, Px(1, 2, 3));
  EXPECT_EQ(save(wide.data(), CSize(70000, 1)), 0);
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// The three-argument load sets its value first, whatever then happens; a failed load leaves
// the rect empty.
TEST(JpegLoad, NotJpegGivesNothing) {
  kvtest::TempDir dir;
  auto px = Smooth(5, 4);
  ASSERT_EQ(KvMediaSaveJPGFile(dir.File("good.jpg"), px.data(), CSize(5, 4), CRect()), 1);
  dir.Write("gif.jpg", kvtest::WriteGif(kvtest::OneImageGif(2, 1, {0, 1}, {1, 2, 3, 4, 5, 6})));
  for (const std::string name : {"gif.jpg", "missing.jpg", "good.jpg"}) {
    int value = 0;
    CRect loaded = kvtest::kUntouched;
    const auto p =
        kvtest::TakePicture(KvMediaLoadJPGFile(dir.File(name), loaded, value), loaded, CRect());
    EXPECT_EQ(value, 4) << name;
    EXPECT_EQ(p.has_value(), name == "good.jpg") << name;
  }
}

TEST(JpegLoad, ShortAndDamagedFilesStayQuietAndBounded) {
  const int w = 64, h = 256;
  const auto source = Smooth(w, h);
  const Bytes jpeg = TjCompress(source.data(), w, h, TJPF_BGRA, TJSAMP_420, 0);
  const auto full = DecodeBytes(jpeg);
  ASSERT_TRUE(full);
  const std::size_t sos = FindMarker(jpeg, 0xDA),
                    data = sos + 1 + (jpeg[sos + 1] << 8 | jpeg[sos + 2]);
  ASSERT_GT(sos, 0u);  // the entropy-coded data of the first scan starts at `data`
  testing::internal::CaptureStderr();
  // Cut inside the headers: nothing.
  for (std::size_t n = 0; n < data; ++n)
    EXPECT_FALSE(DecodeBytes(Bytes(jpeg.begin(), jpeg.begin() + n))) << n;
  // 384 blocks need at least 48 bytes of data.
  EXPECT_FALSE(DecodeBytes(Bytes(jpeg.begin(), jpeg.begin() + data + 47)));
  // Cut inside the data: refused, rather than finished with grey by libjpeg.
  const std::size_t tail = jpeg.size() - data;
  for (std::size_t keep = 48; keep + 2 < tail; keep += 61)
    EXPECT_FALSE(DecodeBytes(Bytes(jpeg.begin(), jpeg.begin() + data + keep))) << keep;
  // Damaged data decodes to something of the right size.
  Bytes damaged = jpeg;
  for (std::size_t i = data + 40; i < damaged.size() - 2; i += 97) damaged[i] ^= 0x5A;
  const auto p = DecodeBytes(damaged);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->rect, full->rect);
  // A check names the damage in libjpeg's words; the sound file passes.
  kvtest::TempDir dir;
  EXPECT_EQ(KvMediaCheckPicFile(dir.Write("sound.jpg", jpeg)), 1);
  EXPECT_EQ(KvMediaCheckPicFile(dir.Write("damaged.jpg", damaged)), 0);
  EXPECT_TRUE(KvLastFailure().starts_with("the JPEG data is corrupt: Corrupt JPEG data"))
      << KvLastFailure();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // A tiny file announcing a huge picture is refused before anything is allocated.
  const auto small = Smooth(8, 8);
  const Bytes tiny = TjCompress(small.data(), 8, 8, TJPF_BGRA, TJSAMP_420, 0);
  kvtest::ExpectQuick(std::chrono::seconds(1), [&] {
    for (auto [hw, hh] : {std::pair{65000, 65000}, {16384, 16384}, {4000, 3000}})
      EXPECT_FALSE(DecodeBytes(WithSize(tiny, hw, hh))) << hw;
  });
  // Progressive files keep every coefficient while they load: 6 bytes a pixel at 4:4:4, more
  // than the picture's 4, and within the picture limit.
  const Bytes progressive =
      TjCompress(source.data(), w, h, TJPF_BGRA, TJSAMP_444, TJFLAG_PROGRESSIVE);
  const Bytes baseline = TjCompress(source.data(), w, h, TJPF_BGRA, TJSAMP_444, 0);
  const std::size_t limit = KvGetMaxPictureBytes();
  KvSetMaxPictureBytes(std::size_t(w) * h * 4);
  const bool progressiveLoaded = DecodeBytes(progressive).has_value();
  const bool baselineLoaded = DecodeBytes(baseline).has_value();
  KvSetMaxPictureBytes(limit);
  EXPECT_FALSE(progressiveLoaded);
  EXPECT_TRUE(baselineLoaded);
  EXPECT_TRUE(DecodeBytes(progressive));
}
