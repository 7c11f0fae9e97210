#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/GifWriter.h"
#include "host/Failure.h"
#include "picture/GifDecoder.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
using kvtest::Cut;
using kvtest::GifClear;
using kvtest::GifFile;
using kvtest::Insert;
using kvtest::Rgb;

// A decoded picture with what the decoder noted on the way.
struct Picture {
  CRect rect;
  std::vector<DWORD> pixels;
  GifDecodeNotes notes;
};

// Decodes through a memory file.
std::optional<Picture> Decode(Bytes file) {
  GifDecodeNotes notes;
  CRect rect;
  const auto p = kvtest::DecodeInMemory(
      [&](CFile& f, CRect& r) { return KvDecodeGif(f, r, &notes); }, file, &rect);
  return p ? std::optional(Picture{p->rect, p->pixels, notes}) : std::nullopt;
}

std::vector<DWORD> Pixels(const GifFile& file) {
  auto p = Decode(kvtest::WriteGif(file));
  return p ? p->pixels : std::vector<DWORD>{};
}

// The colour of each index through an RGB table, as our pictures hold it.
std::vector<DWORD> Expected(const Bytes& indices, const Bytes& table) {
  std::vector<DWORD> out;
  for (unsigned char i : indices)
    out.push_back(Rgb(table[3 * i], table[3 * i + 1], table[3 * i + 2]));
  return out;
}

// Noise over `colours` indices, with runs so that strings grow long.
Bytes Noise(int count, int colours) { return kvtest::NoiseWithRuns(count, 1, colours, 7); }

GifFile RawImage(int width, int height, int minCodeSize, Bytes data) {
  GifFile file = kvtest::OneImageGif(width, height, {}, kvtest::DistinctColours(256));
  file.images[0].minCodeSize = minCodeSize;
  file.images[0].rawData = std::move(data);
  return file;
}

// A one-row GIF of `width` pixels whose data are these three-bit codes (minimum code size 2).
Bytes Coded(int width, const std::vector<int>& codes) {
  kvtest::GifCodePacker packer;
  for (int code : codes) packer.Put(code, 3);
  return kvtest::WriteGif(RawImage(width, 1, 2, packer.Bytes()));
}

}  // namespace

TEST(GifLoad, AgreesWithStb) {
  const auto add = [](const char* what, int w, int h, int colours, auto change) {
    SCOPED_TRACE(what);
    GifFile f = kvtest::OneImageGif(w, h, Noise(w * h, colours), kvtest::DistinctColours(colours));
    change(f);
    const Bytes bytes = kvtest::WriteGif(f);
    const auto ours = Decode(bytes);
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours->rect, CRect(0, 0, w, h));
    EXPECT_TRUE(ours->notes.allRows);
    EXPECT_EQ(ours->notes.badCodes, 0);
    EXPECT_TRUE(ours->notes.endCode && !ours->notes.dataEnded && ours->notes.trailer);
    EXPECT_EQ(kvtest::StbPixels(bytes), ours->pixels);
  };
  const auto none = [](GifFile&) {};
  for (int colours : {2, 16, 256}) add("global table", 47, 33, colours, none);
  add("1 x 1", 1, 1, 2, none);
  add("87a", 5, 3, 4, [](GifFile& f) { f.signature = "GIF87a"; });
  add("other extensions, local table over a global one", 47, 33, 16, [](GifFile& f) {
    f.otherExtensions = true;
    f.images[0].localTable = kvtest::DistinctColours(16, 90);
  });
  add("local table only", 47, 33, 64, [](GifFile& f) {
    f.images[0].localTable = f.globalTable;
    f.globalTable.clear();
  });
  // Interlaced, also at heights that end inside each pass, and ones whose later passes are
  // empty; at 4 and 12 the second pass holds one row fewer than a whole eighth of the picture.
  const auto interlace = [](GifFile& f) { f.images[0].interlaced = true; };
  add("interlaced", 47, 33, 16, interlace);
  for (int h : {1, 2, 3, 4, 5, 9, 12, 17}) add("interlaced, 3 wide", 3, h, 16, interlace);
  add("one-byte sub-blocks", 47, 33, 16, [](GifFile& f) { f.images[0].subBlockBytes = 1; });
  add("wider codes than the indices need", 47, 33, 4,
      [](GifFile& f) { f.images[0].minCodeSize = 8; });
  add("several full tables", 400, 300, 256, none);
  // Once the table is full the encoder goes on without a clear code (kept short of the 4096
  // extra entries after which stb gives up).
  add("deferred clear", 320, 240, 64, [](GifFile& f) { f.images[0].clear = GifClear::kDeferred; });
}

TEST(GifLoad, CodesAtAndBeyondTheNextFreeSlotAndColoursFromTheTable) {
  // Minimum code size 2: clear 4, end 5, first free slot 6, three-bit codes at first.
  const struct {
    std::vector<int> codes;
    Bytes indices;
    int badCodes;
  } cases[] = {
      {{4, 1, 6, 5}, {1, 1, 1}, 0},  // the slot being defined: the last string and its first index
      {{4, 1, 7, 5}, {1, 1, 1}, 1},  // beyond it: decoded the same way, and counted
      {{4, 7, 2, 5}, {0, 2}, 0},     // the first code after a clear is taken as index 0
  };
  for (const auto& c : cases) {
    const auto p = Decode(Coded(int(c.indices.size()), c.codes));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->pixels, Expected(c.indices, kvtest::DistinctColours(256)));
    EXPECT_EQ(p->notes.badCodes, c.badCodes);
  }
  // With a minimum code size of 9 a root code gives its low byte.
  EXPECT_EQ(Pixels(RawImage(2, 1, 9,
                            kvtest::GifCodePacker().Put(512, 10).Put(300, 10).Put(7, 10).Bytes())),
            Expected({300 & 0xFF, 7}, kvtest::DistinctColours(256)));
  // A bad code can tie a table entry to itself; the decode stops instead of looping.
  kvtest::GifCodePacker loop;
  loop.Put(4, 3).Put(0, 3).Put(7, 3).Put(7, 3).Put(7, 4).Put(1, 4).Put(5, 4);
  std::optional<Picture> looped;
  kvtest::ExpectQuick(std::chrono::seconds(1),
                      [&] { looped = Decode(kvtest::WriteGif(RawImage(64, 1, 2, loop.Bytes()))); });
  ASSERT_TRUE(looped);
  EXPECT_FALSE(looped->notes.allRows);
  EXPECT_EQ(looped->pixels, std::vector<DWORD>(64, 0));  // the one row was never completed
  // Colours come from the table read last and are opaque.
  const Bytes indices{0, 1, 2, 3, 4, 5};
  // Without any table the indices are grey levels.
  const Bytes grey{0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5};
  EXPECT_EQ(Pixels(kvtest::OneImageGif(6, 1, indices, {})), Expected(indices, grey));
  // Indices beyond a four-entry table are opaque black.
  const Bytes table = kvtest::DistinctColours(4);
  auto want = Expected({0, 1, 2, 3}, table);
  want.insert(want.end(), 2, Rgb(0, 0, 0));
  EXPECT_EQ(Pixels(kvtest::OneImageGif(6, 1, indices, table)), want);
  // A transparent colour is shown as its colour (where stb leaves it transparent).
  GifFile transparent = kvtest::OneImageGif(4, 1, {0, 1, 2, 1}, table);
  transparent.images[0].control = true;
  transparent.images[0].transparentIndex = 1;
  // The first image is the picture, whatever the screen, its place and the images after it.
  std::tie(transparent.screenWidth, transparent.screenHeight, transparent.images[0].left) =
      std::tuple(40, 30, 5);
  transparent.images.push_back(kvtest::OneImageGif(4, 1, Bytes(4, 3), table).images[0]);
  const auto first = Decode(kvtest::WriteGif(transparent));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->rect, CRect(0, 0, 4, 1));
  EXPECT_EQ(first->pixels, Expected({0, 1, 2, 1}, table));
}

TEST(GifLoad, DataThatStopsEarlyKeepsTheRowsDecoded) {
  const int w = 40, h = 30;
  const GifFile file = kvtest::OneImageGif(w, h, Noise(w * h, 16), kvtest::DistinctColours(16));
  const Bytes bytes = kvtest::WriteGif(file);
  const auto full = Decode(bytes);
  ASSERT_TRUE(full);
  const std::size_t dataStart = 13 + 48 + 10 + 1;  // header, table, descriptor, code size
  int partial = 0;
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    const auto p = Decode(Cut(bytes, n));
    ASSERT_EQ(p.has_value(), n >= dataStart) << n;
    if (!p) continue;
    // Whole rows from the top (no pixel of the picture is 0), then transparent black; never a
    // part of a row.
    const auto rows =
        (std::mismatch(p->pixels.begin(), p->pixels.end(), full->pixels.begin()).first -
         p->pixels.begin()) /
        w;
    EXPECT_TRUE(std::all_of(p->pixels.begin() + rows * w, p->pixels.end(), [](DWORD px) {
      return px == 0;
    })) << n;
    partial += rows > 0 && rows < h;
  }
  EXPECT_GT(partial, 10);
  // Without its end code the data still gives every row.
  GifFile noEnd = file;
  noEnd.images[0].endCode = false;
  noEnd.trailer = false;
  const auto p = Decode(kvtest::WriteGif(noEnd));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->pixels, full->pixels);
}

// The loader keeps what it can of a damaged file; a check names the first damage. Through the
// picture check too, also under a name that does not say GIF.
TEST(GifFiles, CheckNamesWhatTheLoaderPassesOver) {
  const int w = 40, h = 30;
  const GifFile file = kvtest::OneImageGif(w, h, Noise(w * h, 16), kvtest::DistinctColours(16));
  const Bytes valid = kvtest::WriteGif(file);
  const Bytes bare = Cut(valid, valid.size() - 1);  // without its trailer
  GifFile noEnd = file;
  noEnd.images[0].endCode = false;
  kvtest::TempDir dir;
  const std::vector<kvtest::Refusal> rows = {
      {"cut to a third", Cut(valid, valid.size() / 3), "the data ends before the end code"},
      {"no end code", kvtest::WriteGif(noEnd), "the data ends before the end code"},
      {"end code before the last row", Coded(2, {4, 1, 5}),
       "the end code comes before the last row"},
      // What follows the end code is not decoded: the row stays short.
      {"codes after the end code", Coded(2, {4, 1, 5, 2}),
       "the end code comes before the last row"},
      {"code beyond the table", Coded(3, {4, 1, 7, 5}),
       "1 code refers to an entry beyond the table"},
      {"no trailer", bare, "the file ends before its trailer"},
      {"no terminator", Cut(valid, valid.size() - 2), "the file ends before its trailer"},
      {"unknown block after the image", Insert(bare, bare.size(), {0x99}),
       "GIF block 0x99 after the image is not known"},
  };
  for (const char* name : {"p.gif", "p.dat"})
    kvtest::ExpectReasons(rows, [&](Bytes f) {
      const CString path = dir.Write(name, f);
      CRect rect;
      const KvGlobalPtr loaded(KvMediaLoadPicFile(path, rect));
      return loaded && !KvMediaCheckPicFile(path);
    });
  // Blocks after the image are walked to the trailer.
  GifFile two = file;
  two.images.push_back(two.images[0]);
  for (const Bytes& sound :
       {valid, kvtest::WriteGif(two), Insert(valid, valid.size() - 1, {0x21, 0xFE, 1, 'x', 0})}) {
    EXPECT_EQ(KvMediaCheckPicFile(dir.Write("s.gif", sound)), 1);
    EXPECT_EQ(KvLastFailure(), "");
  }
}

// Each refusal says why, so that a file refused by the wrong check fails here. The rect is
// left alone until an image descriptor is read, and holds the image's size from then on.
TEST(GifLoad, EachRefusalNamesItsReason) {
  const Bytes valid = kvtest::WriteGif(kvtest::OneImageGif(2, 2, {0, 1, 1, 0}, {1, 2, 3, 4, 5, 6}));
  const std::size_t scan = 13 + 6;  // where the blocks start, after the global table
  const auto raw = [](int w, int h, int minCodeSize) {
    return kvtest::WriteGif(RawImage(w, h, minCodeSize, Bytes(8, 0)));
  };
  ASSERT_TRUE(Decode(Insert(valid, scan, {0x21, 0xF9, 2, 7, 7, 0})));  // a short control block
  kvtest::ExpectDecodeReasons(
      {
          // clang-format off
      {"signature", kvtest::Changed(valid, 0, 'J'), "not a GIF file (signature)"},
      {"short header", Cut(valid, 8), "truncated: 8 of 13 bytes"},
      {"short table", Cut(valid, 15), "truncated: 15 of 19 bytes"},
      {"no image", Insert(Cut(valid, scan), scan, {0x3B}), "GIF holds no image"},
      {"no image, no trailer", Cut(valid, scan), "truncated: 19 of 20 bytes"},
      {"graphic control", Insert(valid, scan, {0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0}), "GIF graphic control block of 5 bytes"},
      {"unknown block", Insert(valid, scan, {0x99}), "GIF block 0x99 is not known"},
      {"short descriptor", Cut(valid, scan + 6), "truncated: 25 of 29 bytes"},
      {"width", raw(0, 2, 2), "width 0", {0, 0, 0, 2}},
      {"code size 1", raw(2, 2, 1), "GIF minimum code size 1 (2 to 9)", {0, 0, 2, 2}},
      {"code size 10", raw(2, 2, 10), "GIF minimum code size 10 (2 to 9)", {0, 0, 2, 2}},
      // Files far too short for the image they announce are refused at once.
      {"too short", raw(4000, 4000, 2), "GIF data of 12 bytes cannot hold 4000 x 4000 pixels", {0, 0, 4000, 4000}},
      {"far too short", raw(65535, 65535, 2), "GIF data of 12 bytes cannot hold 65535 x 65535 pixels", {0, 0, 65535, 65535}},
          // clang-format on
      },
      [](CFile& f, CRect& r) { return KvDecodeGif(f, r); });
}
