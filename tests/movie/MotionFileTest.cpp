#include <gtest/gtest.h>

#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/MotionWriter.h"
#include "host/Failure.h"
#include "movie/MotionFile.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
using kvtest::Cut;
using kvtest::RawMotionFile;

// The bytes of a chunk block from GetFileFC (freed here) or GetMemFC (owned by the reader).
Bytes BlockBytes(void* block, std::size_t size, bool free) {
  Bytes out;
  if (const auto* p = static_cast<const BYTE*>(GlobalLock(block))) {
    if (GlobalSize(block) >= size) out.assign(p, p + size);
    GlobalUnlock(block);
  }
  if (free) GlobalFree(block);
  return out;
}

void Sign(RawMotionFile& m, int at, char c) {
  m.signature = kvtest::MotionSignatureBytes();
  (*m.signature)[at] = static_cast<BYTE>(c);
}

}  // namespace

// A movie of one frame holding one 16 x 2 patch is laid out to the byte as the raw writer,
// which the reader tests read, lays out the same description (reserved zeros included).
TEST(MotionFileWrite, OnePatchMovieByteForByte) {
  const std::vector<DWORD> pixels = kvtest::Gradient(16, 2);
  kvtest::TempDir dir;
  CKvMotionFileWrite writer;
  ASSERT_TRUE(writer.CreateFileW(dir.File("one.sve"), 12, 1, 4, 3, -4, 16, 2));
  kvtest::MotionPatches patches;
  ASSERT_TRUE(patches.Add(0, 0, 16, 2, pixels.data(), 16));
  ASSERT_TRUE(writer.AppendFrame(1, patches.blocks.data(), patches.sizes.data()));
  ASSERT_TRUE(writer.CloseFile());
  const Bytes f = kvtest::ReadFileBytes(dir.path() + "/one.sve");
  RawMotionFile raw;
  raw.keyInterval = 12;
  raw.left = 3, raw.top = -4, raw.width = 16, raw.height = 2;
  raw.chunks.push_back({.patches = {{0, 0, 16, 2, pixels}}});
  EXPECT_EQ(kvtest::LayOutMotionFile(raw).bytes, f);
}

// The key interval is clamped to 10 through 30. A writer planned for 10 frames and closed
// after 7 bare ones (chunk headers only) keeps the planned index, its last entries zero.
TEST(MotionFileWrite, KeyIntervalIsClampedAndClosingEarlyKeepsThePlannedIndex) {
  kvtest::TempDir dir;
  CKvMotionFileWrite writer;
  ASSERT_TRUE(writer.CreateFileW(dir.File("e.sve"), 5, 10, 4, 0, 0, 8, 8));
  for (int f = 0; f < 7; ++f) ASSERT_TRUE(writer.AppendFrame(0, nullptr, nullptr));
  ASSERT_TRUE(writer.CloseFile());
  const Bytes f = kvtest::ReadFileBytes(dir.path() + "/e.sve");
  const std::size_t index = 90 + 7 * 20;
  ASSERT_EQ(f.size(), index + 120 + 80);
  EXPECT_EQ(kvtest::U16(f, 66), 10);
  EXPECT_EQ(Bytes(f.begin() + index + 84, f.begin() + index + 120), Bytes(36, 0));
  EXPECT_EQ(kvtest::U16(f, index + 120 + 10), 7);
  CKvMotionFileRead reader;
  ASSERT_TRUE(reader.OpenFile(dir.File("e.sve")));
  EXPECT_EQ(reader.GetInfo().chunkBytes, 7 * 20);
  EXPECT_EQ(BlockBytes(reader.GetFileFC(6), 20, true).size(), 20u);
  EXPECT_EQ(reader.GetFileFC(7), nullptr);
  EXPECT_EQ(reader.GetFileFC(-1), nullptr);
  ASSERT_TRUE(reader.LoadAllFCToMem());
  EXPECT_EQ(BlockBytes(reader.GetMemFC(6), 20, false).size(), 20u);
  EXPECT_EQ(reader.GetMemFC(7), nullptr);
  EXPECT_EQ(reader.GetMemFC(-1), nullptr);
  reader.FreeAllMemFC();
  EXPECT_EQ(reader.GetMemFC(0), nullptr);
}

// 6,553 patches fill the 16-bit table exactly; one more, or a frame beyond the plan, is
// refused without writing.
TEST(MotionFileWrite, RefusesTooManyPatchesAndUnplannedFrames) {
  kvtest::TempDir dir;
  CKvMotionFileWrite writer;
  ASSERT_TRUE(writer.CreateFileW(dir.File("p.sve"), 10, 1, 4, 0, 0, 8, 8));
  kvtest::MotionPatches patches;
  for (int i = 0; i < 6554; ++i) {
    const DWORD px = 0xFF000000u + i;
    ASSERT_TRUE(patches.Add(0, 0, 1, 1, &px, 1));
  }
  const ULONGLONG before = writer.GetLength();
  EXPECT_EQ(writer.AppendFrame(6554, patches.blocks.data(), patches.sizes.data()), 0);
  EXPECT_EQ(writer.GetLength(), before);
  ASSERT_TRUE(writer.AppendFrame(6553, patches.blocks.data(), patches.sizes.data()));
  const ULONGLONG after = writer.GetLength();
  EXPECT_EQ(writer.AppendFrame(0, nullptr, nullptr), 0);
  EXPECT_EQ(writer.GetLength(), after);
  ASSERT_TRUE(writer.CloseFile());
}

// The information reads the header, locator and info block, not the index: it refuses the
// first rows and accepts the rest.
TEST(MotionFileRead, EachRefusalNamesItsReason) {
  kvtest::TempDir dir;
  auto movie = [](auto change) {
    kvtest::RawMotionFile f{.width = 16, .height = 8};
    f.chunks = {{.patches = {kvtest::SolidMotionPatch(0, 0, 16, 8, 0xFF102030)}}, {.patches = {}}};
    change(f);
    return kvtest::LayOutMotionFile(f).bytes;
  };
  const Bytes valid = movie([](auto&) {});
  const auto resigned = [&](int at, char c) { return movie([&](auto& f) { Sign(f, at, c); }); };
  const std::vector<kvtest::Refusal> rows{
      {"signature letter", resigned(0, 's'), "not a motion movie (signature)"},
      {"signature not ended by zero", resigned(42, '!'), "not a motion movie (signature)"},
      {"version", movie([](auto& f) { f.version = 3; }), "motion movie version 3 is not supported"},
      {"empty", Cut(valid, 0), "truncated: 0 of 66 bytes"},
      {"short header", Cut(valid, 30), "truncated: 30 of 66 bytes"},
      {"short locator", Cut(valid, 80), "truncated: 80 of 90 bytes"},
      {"info beyond the end", movie([](auto& f) { f.infoPosition = 1000000; }),
       "motion movie info block at 1000000 lies outside the file"},
      {"info before the start", movie([](auto& f) { f.infoPosition = -80; }),
       "motion movie info block at -80 lies outside the file"},
      {"info cut short", Cut(valid, valid.size() - 1),
       "motion movie info block at " + std::to_string(valid.size() - 80) +
           " lies outside the file"},
      {"index", movie([](auto& f) { f.indexPosition = 5000000; }),
       "motion movie index at 5000000 lies outside the file"},
      {"short index", movie([](auto& f) { f.indexSize = 23; }),
       "motion movie index of 23 bytes is too short for 2 frames"},
      {"short version 0 index", movie([](auto& f) { f.layout = 0, f.indexSize = 2 * 8 - 1; }),
       "motion movie index of 15 bytes is too short for 2 frames"},
      {"32767 frames in a tiny file", movie([](auto& f) { f.frameCount = 32767; }),
       "motion movie index of 24 bytes is too short for 32767 frames"},
      {"frame count", movie([](auto& f) { f.frameCount = -1; }), "frame count -1"},
  };
  kvtest::ExpectReasons(rows, [&](Bytes f) {
    CKvMotionFileRead reader;
    return reader.OpenFile(dir.Write("m.kvx", f)) == 0 && !reader.FileInUse();
  });
  const auto info = [&](const Bytes& f) {
    CRect rect;
    WORD key = 0;
    int frames = 0;
    return CKvMotionFileRead::GetFileInfo(dir.Write("m.kvx", f), rect, key, frames);
  };
  kvtest::ExpectReasons({rows.begin(), rows.begin() + 9}, [&](Bytes f) { return info(f) == 0; });
  for (auto row = rows.begin() + 9; row != rows.end(); ++row) EXPECT_EQ(info(row->file), 1);
  EXPECT_EQ(info(resigned(43, 'x')), 1);  // only the first 43 signature bytes count
  CKvMotionFileRead reader;
  EXPECT_EQ(reader.OpenFile(dir.File("none.sve")), 0);
  EXPECT_EQ(KvLastFailure(), "cannot open the file");
}
