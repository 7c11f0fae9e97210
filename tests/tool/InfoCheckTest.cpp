// kvmedia info --check on damaged files: every frame, chunk and patch of a movie, every scroll
// line and every picture is decoded strictly, and the first damage is told, where playback and
// loading pass over it.
#include <gtest/gtest.h>

#include "FlicWriter.h"
#include "GifWriter.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvScroll.h"
#include "MotionWriter.h"
#include "PsdWriter.h"
#include "ScrollWriter.h"
#include "TgaWriter.h"
#include "ToolRun.h"
#include "host/FileReader.h"

namespace {

using kvtest::Bytes;

struct Damaged {
  const char* file;
  std::string said;  // on standard error, after "kvmedia: FILE: "
};

class InfoCheck : public ::testing::Test, protected kvtest::ToolFolder {
 protected:
  using kvtest::ToolFolder::Run;
  // Each file is refused by --check with its words and exit 1, and passes without it.
  void ExpectDamage(const std::vector<Damaged>& rows) {
    for (const Damaged& row : rows) {
      SCOPED_TRACE(row.file);
      EXPECT_EQ(Run({"info", row.file}).status, 0);
      const kvtest::ProgramResult r = Run({"info", "--check", row.file});
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err.find("kvmedia: " + std::string(row.file) + ": " + row.said), 0u) << r.err;
      EXPECT_EQ(r.out, "");
    }
  }
  CString File(const std::string& name) const { return CString::FromUtf8(Path(name)); }
};

}  // namespace

TEST_F(InfoCheck, ScrollLinesThatDoNotFillTheStrip) {
  const auto strip = kvtest::MakeScrollStrip(480, 100);
  const auto lines = kvtest::ScrollLines(strip, KV_SCROLL_UP);
  std::vector<std::vector<DWORD>> streams;
  for (const auto& line : lines) streams.push_back(kvtest::CompressScrollLine(line));
  Write("sound.ksc", kvtest::LayOutScrollStreams(KV_SCROLL_UP, 480, streams));
  streams[50] = kvtest::CompressScrollLine({lines[50].begin(), lines[50].begin() + 312});
  Write("short.ksc", kvtest::LayOutScrollStreams(KV_SCROLL_UP, 480, streams));
  // 100 bytes damaged from the start of line 50: its rows play transparent.
  Bytes bytes = Read("sound.ksc");
  std::size_t at = 32 + 4 * 100;
  for (int i = 0; i < 50; ++i) at += kvtest::U32(bytes, 32 + 4 * i);
  for (std::size_t i = at; i < at + 100; ++i) bytes[i] ^= 0xA5;
  Write("hit.ksc", bytes);
  ExpectDamage({{"short.ksc", "damaged: line 50 expands to 312 of 480 pixels\n"},
                {"hit.ksc", "damaged: line 50 "}});
  EXPECT_TRUE(Run({"info", "--check", "sound.ksc"}).out.ends_with(" check=ok\n"));
}

TEST_F(InfoCheck, MovieFramesThatPlaybackPassesOver) {
  // Six frames of 40 x 30, each of another colour; frame 4's patch table overwritten.
  std::vector<kvtest::MotionPixels> frames;
  for (DWORD f = 0; f < 6; ++f) frames.emplace_back(40 * 30, 0xFF203040u + f);
  ASSERT_TRUE(kvtest::WriteMotionMovie(File("sound.sve"), frames, 5, 7, 40, 30, 3));
  CKvMotionFileRead reader;
  ASSERT_TRUE(reader.OpenFile(File("sound.sve")));
  LONGLONG chunk = 0;
  LONG size = 0;
  ASSERT_TRUE(reader.GetIndexEntry(4, chunk, size));
  reader.CloseFile();
  Bytes movie = Read("sound.sve");
  std::fill_n(movie.begin() + chunk + 20, 100, 0xFF);
  Write("hit.sve", movie);

  // A FLIC whose header counts frames it does not hold.
  kvtest::FlicFile flic{.width = 8, .height = 2};
  for (int f = 0; f < 2; ++f) flic.frames.push_back({.chunks = {{16, Bytes(16, BYTE(f))}}});
  Bytes counted = kvtest::WriteFlic(flic);
  counted[6] = counted[7] = 0xFF;
  Write("counted.flc", counted);
  ExpectDamage({{"hit.sve",
                 "damaged: frame 4: patch 0 at byte -1 lies outside the patch data of the "
                 "chunk's " +
                     KvGroupDigits(ULONGLONG(size)) + " bytes\n"},
                {"counted.flc", "damaged: the header counts 65,535 frames, the file holds 2\n"}});
  EXPECT_TRUE(Run({"info", "--check", "sound.sve"}).out.ends_with(" check=ok\n"));
  // Plain info tells the frames that play beside the count.
  EXPECT_NE(Run({"info", "counted.flc"}).out.find(" frames=65535 frames_found=2 "),
            std::string::npos);
}

// A GIF cut short loads with the rows it holds, a JPEG with corrupt data as libjpeg fills it
// in; a check says so. A picture cut to a third is refused with the loader's words: by its
// decoder (each decoder's words are the picture suite's), or already by its header's facts
// (PNG). The PSD is known by its signature.
TEST_F(InfoCheck, PicturesCutShort) {
  const int w = 64, h = 48;
  const auto noise = kvtest::NoiseWithRuns(std::size_t(w) * h, 4);
  kvtest::TgaImage tga{.imageType = 10, .pixelDepth = 32, .width = w, .height = h};
  tga.pixels.assign(noise.begin(), noise.end());
  Write("p.tga", kvtest::WriteTga(tga));
  for (const char* out : {"p.jpg", "p.png"})
    ASSERT_EQ(Run({"convert", "p.tga", out}).status, 0) << out;
  kvtest::PsdImage psd{.height = h, .width = w, .compression = 1};
  psd.planes =
      kvtest::PsdRgbPlanes(std::vector<std::uint32_t>(noise.size() / 4, 0xFF804020u), false);
  Write("p.psd", kvtest::WritePsd(psd));
  Write("p.gif",
        kvtest::WriteGif(kvtest::OneImageGif(w, h, kvtest::NoiseWithRuns(std::size_t(w) * h, 1, 16),
                                             kvtest::DistinctColours(16))));
  for (const char* name : {"p.tga", "p.jpg", "p.png", "p.psd", "p.gif"}) {
    SCOPED_TRACE(name);
    const Bytes whole = Read(name);
    Write(std::string("cut-") + name, kvtest::Cut(whole, whole.size() / 3));
    EXPECT_TRUE(Run({"info", "--check", name}).out.ends_with(" check=ok\n"));
    const kvtest::ProgramResult r = Run({"info", "--check", std::string("cut-") + name});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("kvmedia: cut-" + std::string(name) + ": ")) << r.err;
  }
  // Corrupt JPEG data loads as libjpeg fills it in.
  Bytes jpeg = Read("p.jpg");
  for (std::size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 100; ++i) jpeg[i] ^= 0x5A;
  Write("hit.jpg", jpeg);
  ExpectDamage({{"cut-p.gif", "damaged: the data ends before the end code\n"},
                {"hit.jpg", "damaged: the JPEG data is corrupt: Corrupt JPEG data"}});
}
