// Every refusal of the PSD and GIF decoders and of the motion and scroll file readers names
// its reason: each row is a file refused by exactly one check, so a file refused by the wrong
// check fails its row.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "fixtures/GifWriter.h"
#include "fixtures/MotionWriter.h"
#include "fixtures/PsdWriter.h"
#include "fixtures/ScrollWriter.h"
#include "host/Failure.h"
#include "movie/MotionFile.h"
#include "picture/GifDecoder.h"
#include "picture/PsdReader.h"
#include "platform/GlobalMemory.h"
#include "scroll/ScrollFile.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Refusal {
  const char* name;
  Bytes file;
  std::string reason;
};

// Runs `refuses` on each file (true when it was refused) and compares the reason it left.
void ExpectReasons(const std::vector<Refusal>& rows, const std::function<bool(Bytes)>& refuses) {
  for (const Refusal& row : rows) {
    SCOPED_TRACE(row.name);
    KvClearFailure();
    EXPECT_TRUE(refuses(row.file));
    EXPECT_EQ(KvLastFailure(), row.reason);
  }
}

Bytes Cut(Bytes b, std::size_t n) {
  b.resize(n);
  return b;
}
Bytes Insert(Bytes b, std::size_t at, const Bytes& more) {
  b.insert(b.begin() + static_cast<long>(at), more.begin(), more.end());
  return b;
}

template <class Decode>
bool RefusedInMemory(Bytes file, Decode decode) {
  CMemFile mem(file.data(), static_cast<UINT>(file.size()));
  CRect rect;
  DWORD* picture = decode(mem, rect);
  GlobalFree(picture);
  return picture == nullptr;
}

kvtest::PsdImage Psd(auto change) {
  kvtest::PsdImage im{.channels = 3, .height = 1, .width = 2, .planes = Bytes(6, 9)};
  change(im);
  return im;
}
Bytes PsdFile(auto change) { return kvtest::WritePsd(Psd(change)); }

}  // namespace

TEST(ReaderReasons, Psd) {
  const Bytes valid = PsdFile([](auto&) {});
  ExpectReasons(
      {
          {"signature", PsdFile([](auto& im) { im.signature = "8BPX"; }),
           "not a PSD file (signature)"},
          {"version", PsdFile([](auto& im) { im.version = 2; }), "PSD version 2 is not supported"},
          {"reserved", PsdFile([](auto& im) { im.reserved[2] = 1; }),
           "PSD reserved bytes are not zero"},
          {"short header", Cut(valid, 10), "truncated: 10 of 26 bytes"},
          // A block signature that is not "8BIM" steps four bytes, past the section's end.
          {"resources", PsdFile([](auto& im) { im.resources = {'8', 'B', 'I', 'X', 0, 0}; }),
           "PSD image resources take 8 bytes, not the 6 of their section"},
          {"compression", PsdFile([](auto& im) { im.compression = 2; }),
           "PSD compression 2 is not supported"},
          {"depth", PsdFile([](auto& im) { im.depth = 32; }), "PSD depth 32 is not supported"},
          {"channels", PsdFile([](auto& im) { im.channels = 2; }),
           "PSD colour mode 3 needs 3 channels, not 2"},
          {"width", PsdFile([](auto& im) { im.width = 0; }), "width 0"},
          {"size", PsdFile([](auto& im) { im.width = im.height = 70000; }),
           "picture of 70,000 x 70,000 exceeds the 1 GiB limit"},
          {"raw mode", PsdFile([](auto& im) { im.mode = KV_PSD_MULTICHANNEL; }),
           "raw PSD data in colour mode 7 is not supported"},
          {"raw channels", PsdFile([](auto& im) {
             im.mode = KV_PSD_CMYK;
             im.channels = 5;
           }),
           "raw PSD data in colour mode 4 with 5 channels is not supported"},
          {"raw data", Cut(valid, valid.size() - 1), "truncated: 45 of 46 bytes"},
          // Channel 1 is one run; channel 2 starts a literal of six bytes that are not there.
          {"packed data", PsdFile([](auto& im) {
             im.compression = 1;
             im.packets = Bytes{0xFF, 7, 0x05, 1, 2, 3, 4};
           }),
           "PSD data ends in channel 2 of 3"},
      },
      [](Bytes f) { return RefusedInMemory(f, KvDecodePsd); });
}

TEST(ReaderReasons, Gif) {
  const Bytes valid = kvtest::WriteGif(kvtest::OneImageGif(2, 2, {0, 1, 1, 0}, {1, 2, 3, 4, 5, 6}));
  const std::size_t scan = 13 + 6;  // where the blocks start, after the global table
  auto gif = [](auto change) {
    kvtest::GifFile f = kvtest::OneImageGif(2, 2, {0, 1, 1, 0}, {1, 2, 3, 4, 5, 6});
    change(f);
    return kvtest::WriteGif(f);
  };
  ExpectReasons(
      {
          {"signature", gif([](auto& f) { f.signature = "JIF89a"; }), "not a GIF file (signature)"},
          {"short header", Cut(valid, 8), "truncated: 8 of 13 bytes"},
          {"short table", Cut(valid, 15), "truncated: 15 of 19 bytes"},
          {"no image", gif([](auto& f) { f.images.clear(); }), "GIF holds no image"},
          {"no trailer", gif([](auto& f) {
             f.images.clear();
             f.trailer = false;
           }),
           "truncated: 19 of 20 bytes"},
          {"graphic control", Insert(valid, scan, {0x21, 0xF9, 5, 0, 0, 0, 0, 0, 0}),
           "GIF graphic control block of 5 bytes"},
          {"unknown block", Insert(valid, scan, {0x99}), "GIF block 0x99 is not known"},
          {"short descriptor", Cut(valid, scan + 6), "truncated: 25 of 29 bytes"},
          {"width", gif([](auto& f) {
             f.images[0].width = 0;
             f.images[0].indices.clear();
           }),
           "width 0"},
          {"code size", gif([](auto& f) { f.images[0].minCodeSize = 10; }),
           "GIF minimum code size 10 (2 to 9)"},
          {"too short", gif([](auto& f) {
             f.images[0].width = f.images[0].height = 4000;
             f.images[0].useRawData = true;
           }),
           "GIF data of 3 bytes cannot hold 4000 x 4000 pixels"},
      },
      [](Bytes f) {
        return RefusedInMemory(f, [](CFile& file, CRect& rect) { return KvDecodeGif(file, rect); });
      });
}

TEST(ReaderReasons, MotionFile) {
  kvtest::TempDir dir;
  auto movie = [](auto change) {
    kvtest::RawMotionFile f{.width = 16, .height = 8};
    f.chunks = {{.patches = {kvtest::SolidMotionPatch(0, 0, 16, 8, 0xFF102030)}}, {.patches = {}}};
    change(f);
    return kvtest::LayOutMotionFile(f).bytes;
  };
  const Bytes valid = movie([](auto&) {});
  std::vector<BYTE> badSignature = kvtest::MotionSignatureBytes();
  badSignature[42] = '!';
  const std::vector<Refusal> rows{
      {"signature", movie([&](auto& f) { f.signature = badSignature; }),
       "not a motion movie (signature)"},
      {"version", movie([](auto& f) { f.version = 3; }), "motion movie version 3 is not supported"},
      {"short header", Cut(valid, 30), "truncated: 30 of 66 bytes"},
      {"short locator", Cut(valid, 80), "truncated: 80 of 90 bytes"},
      {"info", movie([](auto& f) { f.infoPosition = 1000000; }),
       "motion movie info block at 1000000 lies outside the file"},
      {"index", movie([](auto& f) { f.indexPosition = 5000000; }),
       "motion movie index at 5000000 lies outside the file"},
      {"short index", movie([](auto& f) { f.indexSize = 12; }),
       "motion movie index of 12 bytes is too short for 2 frames"},
      {"frame count", movie([](auto& f) { f.frameCount = -1; }), "frame count -1"},
  };
  ExpectReasons(rows, [&](Bytes f) {
    kvtest::WriteFileBytes(dir.path() + "/m.kvx", f);
    CKvMotionFileRead reader;
    return reader.OpenFile(dir.File("m.kvx")) == 0;
  });
  // The information reads the same header, locator and info block.
  ExpectReasons({rows.begin(), rows.begin() + 5}, [&](Bytes f) {
    kvtest::WriteFileBytes(dir.path() + "/m.kvx", f);
    CRect rect;
    WORD key = 0;
    int frames = 0;
    return CKvMotionFileRead::GetFileInfo(dir.File("m.kvx"), rect, key, frames) == 0;
  });
}

TEST(ReaderReasons, ScrollFile) {
  kvtest::TempDir dir;
  const Bytes valid = kvtest::LayOutScrollFile(0, 4, {{1, 2, 3, 4}, {5, 5, 5, 5}});
  auto with = [&valid](std::size_t at, DWORD value) {
    Bytes b = valid;
    kvtest::PutScrollWord(b, at, value);
    return b;
  };
  Bytes longer = valid;
  longer.insert(longer.end(), 4, 0);
  ExpectReasons(
      {
          {"magic", with(0, 0x43535654), "not a scroll file (magic)"},
          {"version", with(4, 2), "scroll file version 2 is not supported"},
          {"direction", with(8, 4), "scroll direction 4 (0 to 3)"},
          {"depth", with(12, 24), "scroll pixel depth 24 is not supported"},
          {"constant", with(24, 0), "scroll header is damaged"},
          {"reserved", with(28, 1), "scroll header is damaged"},
          {"no lines", with(16, 0), "line count 0"},
          {"no width", with(20, 0), "line width 0"},
          {"short header", Cut(valid, 20), "truncated: 20 of 32 bytes"},
          {"short table", with(16, 1000),
           "truncated: " + std::to_string(valid.size()) + " of 4,032 bytes"},
          {"odd size", with(32, 6), "line 0 has 6 bytes, not whole words"},
          {"longer file", longer,
           "line sizes add up to " + std::to_string(valid.size()) + " bytes, the file holds " +
               std::to_string(longer.size())},
      },
      [&](Bytes f) {
        kvtest::WriteFileBytes(dir.path() + "/s.ksc", f);
        CKvScrollFileRead reader;
        return reader.OpenFile(dir.File("s.ksc")) == 0;
      });
}
