#include <gtest/gtest.h>

#include "ArchiveBytes.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/PsdWriter.h"
#include "picture/PsdReader.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Pixels = std::vector<DWORD>;
using kvtest::PsdImage;
using kvtest::PsdResource;
using kvtest::operator+;

using kvtest::Rgb;
constexpr DWORD Grey(int v) { return Rgb(v, v, v); }

// The pixels decoded from memory, none when refused.
Pixels Decode(Bytes file) {
  CRect r;
  return kvtest::PixelsOf(kvtest::DecodeInMemory(KvDecodePsd, file, &r));
}
Pixels Load(const PsdImage& image) { return Decode(kvtest::WritePsd(image)); }

PsdImage Image(int mode, int channels, int w, int h, Bytes planes, int compression = 0,
               int depth = 8) {
  PsdImage im{.channels = channels, .height = h, .width = w, .depth = depth, .mode = mode};
  im.compression = compression, im.planes = std::move(planes);
  return im;
}

// 16-bit samples of these high bytes, with low bytes that must not matter.
Bytes Wide(const Bytes& high) {
  Bytes out;
  for (unsigned char b : high) out = out + Bytes{b, static_cast<unsigned char>(b ^ 0x5A)};
  return out;
}

// A 4 x 1 indexed picture whose palette maps k to (k, 255 - k, k / 2).
PsdImage Indexed(Bytes resources, int compression = 0) {
  PsdImage im = Image(KV_PSD_INDEXED, 1, 4, 1, {0, 1, 128, 255}, compression);
  for (int k = 0; k < 768; ++k)
    im.colorData.push_back(k < 256 ? k : k < 512 ? 511 - k : k / 2 - 256);
  im.resources = std::move(resources);
  return im;
}
const Pixels kIndexedPixels{Rgb(0, 255, 0), Rgb(1, 254, 0), Rgb(128, 127, 64), Rgb(255, 0, 127)};
const Bytes kColourCount = PsdResource(1046, {0, 1});

using kvtest::Cut;
using kvtest::ExpectReasons;

}  // namespace

// A refused header sets the rect to (0, 0, -1, -1); an accepted one sets it, also when the
// picture (here compressed with ZIP) is refused; a missing file leaves it alone.
TEST(PsdHeader, TheRectSaysHowFarALoadGot) {
  kvtest::TempDir dir;
  const Bytes zip = kvtest::WritePsd(Image(KV_PSD_RGB, 3, 2, 1, {1, 2, 3, 4, 5, 6}, 2, 16));
  const std::pair<Bytes, CRect> cases[] = {{kvtest::Changed(zip, 3, 'X'), CRect(0, 0, -1, -1)},
                                           {kvtest::Cut(zip, 25), CRect(0, 0, -1, -1)},
                                           {zip, CRect(0, 0, 2, 1)}};
  for (const auto& [file, rect] : cases) {
    CRect loaded(5, 5, 5, 5);
    EXPECT_EQ(KvMediaLoadPSDFile(dir.Write("a.psd", file), loaded), nullptr);
    EXPECT_EQ(loaded, rect);
  }
  CRect rect(5, 5, 5, 5);
  EXPECT_EQ(KvMediaLoadPSDFile(dir.File("missing.psd"), rect), nullptr);
  EXPECT_EQ(rect, CRect(5, 5, 5, 5));
}

TEST(PsdLoad, RgbGreyDuotoneAndIndexedPictures) {
  const Pixels grey{Grey(0), Grey(1), Grey(200), Grey(255)};
  for (int compression : {0, 1}) {
    for (int mode : {KV_PSD_GRAYSCALE, KV_PSD_DUOTONE}) {
      EXPECT_EQ(Load(Image(mode, 1, 2, 2, {0, 1, 200, 255}, compression)), grey);
      EXPECT_EQ(Load(Image(mode, 1, 2, 2, Wide({0, 1, 200, 255}), compression, 16)), grey);
    }
    PsdImage indexed = Indexed(kColourCount, compression);
    EXPECT_EQ(Load(indexed), kIndexedPixels);
    indexed.depth = 16;
    indexed.planes = Wide(indexed.planes);
    EXPECT_EQ(Load(indexed), kIndexedPixels);
  }
  // Without a colour count above 0, or a palette of exactly 768 bytes: transparent black.
  PsdImage shortPalette = Indexed(kColourCount);
  shortPalette.colorData.pop_back();
  for (const PsdImage& im : {Indexed({}), Indexed(PsdResource(1046, {0, 0})), shortPalette})
    EXPECT_EQ(Load(im), Pixels(4, 0));
  // RGB takes alpha from a fourth channel, raw as packed; one colour per corner catches plane
  // order, channel order and alpha at once (three channels are left to the cross-check).
  const Bytes rgba{10, 40, 70, 100, 20, 50, 80, 110, 30, 60, 90, 120, 0, 128, 200, 255};
  const Pixels alpha{Rgb(10, 20, 30, 0), Rgb(40, 50, 60, 128), Rgb(70, 80, 90, 200),
                     Rgb(100, 110, 120, 255)};
  for (int compression : {0, 1}) {
    EXPECT_EQ(Load(Image(KV_PSD_RGB, 4, 2, 2, rgba, compression)), alpha);
    EXPECT_EQ(Load(Image(KV_PSD_RGB, 4, 2, 2, Wide(rgba), compression, 16)), alpha);
  }
}

TEST(PsdLoad, CmykMultichannelAndLab) {
  // Per channel: 255 x ink x black, with max 256 (8 bits) or 65536 (16 bits), truncated.
  const Bytes cmyk{255, 128, 255, 0,     // C plane
                   255, 64,  255, 0,     // M
                   255, 0,   255, 0,     // Y
                   255, 255, 0,   200};  // K
  const Pixels expected{Rgb(253, 253, 253), Rgb(127, 63, 0), Rgb(0, 0, 0), Rgb(0, 0, 0)};
  EXPECT_EQ(Load(Image(KV_PSD_CMYK, 4, 4, 1, cmyk)), expected);
  EXPECT_EQ(Load(Image(KV_PSD_CMYK, 5, 4, 1, cmyk + Bytes(4, 7), 1)), expected);
  EXPECT_TRUE(Load(Image(KV_PSD_CMYK, 3, 4, 1, Bytes(cmyk.begin(), cmyk.end() - 4), 1)).empty());
  // Raw 16-bit samples keep every bit; run-length ones their high byte.
  const Bytes wide{0xFF, 0xFF, 0x80, 0x00,   // C
                   0xFF, 0xFF, 0xFF, 0xFF,   // M
                   0x00, 0x00, 0x80, 0x00,   // Y
                   0xFF, 0xFF, 0x80, 0x00};  // K
  EXPECT_EQ(Load(Image(KV_PSD_CMYK, 4, 2, 1, wide, 0, 16)),
            (Pixels{Rgb(254, 254, 0), Rgb(63, 127, 63)}));
  EXPECT_EQ(Load(Image(KV_PSD_CMYK, 4, 4, 1, Wide(cmyk), 1, 16)), expected);
  // Multichannel: black only from exactly four channels; fewer than three give nothing.
  EXPECT_EQ(Load(Image(7, 3, 1, 1, {255, 128, 0}, 1)), Pixels{Rgb(254, 127, 0)});
  EXPECT_EQ(Load(Image(7, 4, 1, 1, {255, 128, 0, 128}, 1)), Pixels{Rgb(127, 63, 0)});
  EXPECT_EQ(Load(Image(7, 5, 1, 1, {255, 128, 0, 128, 0}, 1)), Pixels{Rgb(254, 127, 0)});
  EXPECT_EQ(Load(Image(7, 2, 1, 1, {255, 128}, 1)), Pixels{0});
  EXPECT_TRUE(Load(Image(7, 3, 1, 1, {255, 128, 0})).empty()) << "raw";
  EXPECT_EQ(KvPsdLabPixel(0, 0, 0), Rgb(0, 0, 0));
  EXPECT_EQ(KvPsdLabPixel(100, 0, 0), Rgb(255, 255, 255));
  EXPECT_EQ(KvPsdLabPixel(50, 0, 0), Grey(119));
  const DWORD red = KvPsdLabPixel(0, 127, 0);  // green goes negative and stops at 0
  EXPECT_EQ(red & 0xFF00FF00u, 0xFF000000u);
  EXPECT_GT(red >> 16 & 0xFF, 100u);
  // L = s / (max / 100), a and b = s / (max / 256) - 128, truncated towards zero: the 16-bit a
  // of 0x7F80 is -0.5, which gives 0.
  const Pixels blackAndGrey{Rgb(0, 0, 0), Grey(119)};
  EXPECT_EQ(Load(Image(KV_PSD_LAB, 3, 2, 1, {0, 129, 128, 128, 128, 128})), blackAndGrey);
  const Bytes lab16{0x81, 0x00, 0x81, 0x00, 0x80, 0x00, 0x7F, 0x80, 0x80, 0x00, 0x80, 0x00};
  EXPECT_EQ(Load(Image(KV_PSD_LAB, 3, 2, 1, lab16, 0, 16)), (Pixels{Grey(119), Grey(119)}));
}

TEST(PsdResources, BlocksAreCountedAsTheyAreRead) {
  const Bytes known = PsdResource(1000, Bytes(10, 1)) + PsdResource(1005, Bytes(16, 2)) +
                      PsdResource(1007, Bytes(14, 3)) + PsdResource(1033, Bytes(40, 4)) +
                      PsdResource(1036, Bytes(28, 4)) + PsdResource(1034, {1}) +
                      PsdResource(1037, Bytes(4, 5)) + PsdResource(1047, {0, 3});
  const std::pair<const char*, Bytes> accepted[] = {
      {"empty name, one pad byte", kColourCount},
      {"odd name, no pad", PsdResource(1046, {0, 1}, "a")},
      {"odd size rounded up", PsdResource(4000, {1, 2, 3}) + kColourCount},
      {"every kept resource", known + kColourCount},
      {"a foreign signature is four bytes", Bytes{'X', 'Y', 'Z', 'W'} + kColourCount},
  };
  for (const auto& [what, section] : accepted)
    EXPECT_EQ(Load(Indexed(section)), kIndexedPixels) << what;
}

TEST(PsdPackBits, HeadersRunsAndPlaneEnds) {
  // 128 is a no-op: it consumes no byte after itself.
  PsdImage grey = Image(KV_PSD_GRAYSCALE, 1, 3, 1, {}, 1);
  grey.packets = Bytes{0x80, 0x02, 1, 2, 3};
  EXPECT_EQ(Load(grey), (Pixels{Grey(1), Grey(2), Grey(3)}));
  // Runs and literals past a plane's end are cut there; the next plane starts after them.
  PsdImage rgb = Image(KV_PSD_RGB, 3, 2, 1, {}, 1);
  rgb.packets = Bytes{0xFD, 9, /**/ 0x01, 5, 6, /**/ 0x02, 7, 8, 10};
  EXPECT_EQ(Load(rgb), (Pixels{Rgb(9, 5, 7), Rgb(9, 6, 8)}));
  rgb.packets->pop_back();
  EXPECT_TRUE(Load(rgb).empty()) << "the data ends before the last plane is full";
  // 16-bit planes hold two bytes a sample, of which the high one counts: 0x0707 0x0708 0x090A.
  PsdImage wide = Image(KV_PSD_GRAYSCALE, 1, 3, 1, {}, 1, 16);
  wide.packets = Bytes{0xFE, 7, 0x00, 8, 0x01, 9, 10};
  EXPECT_EQ(Load(wide), (Pixels{Grey(7), Grey(7), Grey(9)}));
}

TEST(PsdLoad, SkipsLayersAndLeavesModesWithoutAConversionBlank) {
  const PsdImage rgb = Image(KV_PSD_RGB, 3, 2, 1, {1, 2, 3, 4, 5, 6});
  PsdImage layered = rgb;
  layered.layers = Bytes(33, 0xEE);
  EXPECT_EQ(Load(layered), (Pixels{Rgb(1, 3, 5), Rgb(2, 4, 6)}));
  // From run-length data; raw data in such modes is refused.
  for (int mode : {0, 5, 6, 10})
    EXPECT_EQ(Load(Image(mode, 3, 2, 1, {1, 2, 3, 4, 5, 6}, 1)), Pixels(2, 0));
}

// Where both must agree. The other decoder reads RGB files only, so grey pictures are compared
// with the RGB file of the same plane thrice. It also lightens colours under partial alpha (we
// keep them as stored); there only alpha is compared.
TEST(PsdLoad, AgreesWithAnIndependentDecoder) {
  unsigned seed = 99;
  auto noise = [&](std::size_t n) { return kvtest::NoiseWithRuns(n, 1, 256, seed++); };
  for (int channels : {1, 3, 4})
    for (int compression : {0, 1})
      for (auto [w, h] : {std::pair{47, 33}, {1, 1}}) {
        SCOPED_TRACE(testing::Message() << channels << " channels, compression " << compression
                                        << ", " << w << "x" << h);
        const std::size_t pixels = std::size_t(w) * h;
        Bytes planes = noise(pixels * channels);
        for (std::size_t i = 3 * pixels; i < planes.size(); ++i)  // alpha mostly 0 or 255
          planes[i] = planes[i] < 100 ? 255 : planes[i] < 150 ? 0 : planes[i];
        const Pixels ours = Load(Image(channels == 1 ? KV_PSD_GRAYSCALE : KV_PSD_RGB, channels, w,
                                       h, planes, compression));
        ASSERT_EQ(ours.size(), pixels);
        if (channels == 1) planes = planes + planes + planes;
        const auto theirs = kvtest::StbPixels(
            kvtest::WritePsd(Image(KV_PSD_RGB, std::max(channels, 3), w, h, planes, compression)));
        ASSERT_EQ(theirs.size(), pixels);
        for (std::size_t i = 0; i < pixels; ++i) {
          const DWORD alpha = theirs[i] >> 24;
          EXPECT_EQ(alpha == 0 || alpha == 255 ? ours[i] : ours[i] >> 24,
                    alpha == 0 || alpha == 255 ? theirs[i] : alpha)
              << i;
        }
      }
}

// Each refusal says why, so that a file refused by the wrong check fails here; sizes that the
// file cannot hold are refused before anything is allocated.
TEST(PsdLoad, EachRefusalNamesItsReason) {
  const PsdImage rgb = Image(KV_PSD_RGB, 3, 2, 1, Bytes(6, 9));
  const auto with = [](PsdImage im, int PsdImage::*field, int value) {
    return kvtest::WritePsd(kvtest::With(im, field, value));
  };
  const auto resources = [](Bytes section) { return kvtest::WritePsd(Indexed(section)); };
  PsdImage huge = Image(KV_PSD_RGB, 3, 16000, 16000, Bytes(1000, 0));
  PsdImage packed = kvtest::With(rgb, &PsdImage::compression, 1);
  // Channel 1 is one run; channel 2 starts a literal of six bytes that are not there.
  packed.packets = Bytes{0xFF, 7, 0x05, 1, 2, 3, 4};
  const Bytes valid = kvtest::WritePsd(rgb);
  const std::vector<kvtest::Refusal> rows = {
      // clang-format off
      {"signature", kvtest::Changed(valid, 3, 'X'), "not a PSD file (signature)"},
      {"version", with(rgb, &PsdImage::version, 2), "PSD version 2 is not supported"},
      {"reserved", kvtest::Changed(valid, 11, 1), "PSD reserved bytes are not zero"},
      {"short header", Cut(valid, 10), "truncated: 10 of 26 bytes"},
      {"colour data past the end", kvtest::Changed(valid, 26, 0x7F), "truncated: 46 of 2,130,706,462 bytes"},
      // A block signature that is not "8BIM" steps four bytes, past the section's end.
      {"resources", resources({'8', 'B', 'I', 'X', 0, 0}), "PSD image resources take 8 bytes, not the 6 of their section"},
      {"section longer than its blocks", resources(kColourCount + Bytes{0}), "PSD image resources take 18 bytes, not the 15 of their section"},
      {"section ends inside a block", resources(Cut(kColourCount, kColourCount.size() - 1)), "PSD image resources take 14 bytes, not the 13 of their section"},
      // A known resource reads its own fields only; the rest is taken as the next block.
      {"known resource larger than its fields", resources(PsdResource(1046, {0, 1, 0, 0})), "PSD image resources take 18 bytes, not the 16 of their section"},
      {"resource size beyond the file", resources({'8', 'B', 'I', 'M', 0x0F, 0xA0, 0, 0, 0x7F, 0xFF, 0xFF, 0}), "truncated: 824 of 2,147,484,206 bytes"},
      {"layers past the end", kvtest::Changed(valid, 37, 0x40), "truncated: 46 of 48 bytes"},
      {"compression", with(rgb, &PsdImage::compression, 2), "PSD compression 2 is not supported"},
      {"depth", with(rgb, &PsdImage::depth, 32), "PSD depth 32 is not supported"},
      {"channels", with(rgb, &PsdImage::channels, 2), "PSD colour mode 3 needs 3 channels, not 2"},
      {"width", with(rgb, &PsdImage::width, 0), "width 0"},
      {"height", with(rgb, &PsdImage::height, -1), "height -1"},
      {"size", with(kvtest::With(rgb, &PsdImage::width, 70000), &PsdImage::height, 70000), "picture of 70,000 x 70,000 exceeds the 1 GiB limit"},
      {"raw mode", with(rgb, &PsdImage::mode, KV_PSD_MULTICHANNEL), "raw PSD data in colour mode 7 is not supported"},
      {"raw channels", with(kvtest::With(rgb, &PsdImage::mode, int(KV_PSD_CMYK)), &PsdImage::channels, 5), "raw PSD data in colour mode 4 with 5 channels is not supported"},
      {"raw data", Cut(valid, valid.size() - 1), "truncated: 45 of 46 bytes"},
      {"huge raw data", kvtest::WritePsd(huge), "truncated: 1,040 of 768,000,040 bytes"},
      {"huge packed data", with(huge, &PsdImage::compression, 1), "truncated: 96,056 of 12,096,040 bytes"},
      {"packed data", kvtest::WritePsd(packed), "PSD data ends in channel 2 of 3"},
      // clang-format on
  };
  ExpectReasons(
      rows, [](Bytes f) { return Decode(f).empty(); }, std::chrono::seconds(1));
  // Every prefix of a file is refused, whatever section it cuts.
  PsdImage raw = Image(KV_PSD_RGB, 3, 3, 2, Bytes(18, 7));
  raw.colorData = {1, 2, 3};
  raw.resources = PsdResource(1005, Bytes(16, 1)) + PsdResource(3000, {1, 2, 3});
  raw.layers = {1, 2, 3, 4};
  for (const PsdImage& im : {raw, Indexed(kColourCount, 1)})
    kvtest::ExpectEveryPrefixFails(kvtest::WritePsd(im),
                                   [](const Bytes& f) { return !Decode(f).empty(); });
}
