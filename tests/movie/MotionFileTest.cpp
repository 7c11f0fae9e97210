#include <gtest/gtest.h>

#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/MotionWriter.h"
#include "host/Failure.h"
#include "host/FileReader.h"
#include "movie/MotionFile.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::Bytes;
using kvtest::Cut;
using kvtest::RawMotionFile;

}  // namespace

// A movie of one frame holding one 16 x 2 patch is laid out to the byte as the raw writer,
// which the reader tests read, lays out the same description (reserved zeros included).
TEST(MotionFileWrite, OnePatchMovieByteForByte) {
  const std::vector<DWORD> pixels = kvtest::Gradient(16, 2);
  kvtest::TempDir dir;
  ASSERT_TRUE(kvtest::WriteMotionMovie(dir.File("one.sve"), {pixels}, 3, -4, 16, 2, 12));
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
  EXPECT_EQ(GlobalSize(KvGlobalPtr(reader.GetFileFC(6)).get()), 20u);
  EXPECT_EQ(reader.GetFileFC(7), nullptr);
  EXPECT_EQ(reader.GetFileFC(-1), nullptr);
  ASSERT_TRUE(reader.LoadAllFCToMem());
  EXPECT_EQ(GlobalSize(reader.GetMemFC(6)), 20u);
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
  const KvGlobalPtr patch(GlobalAlloc(GHND, 20));  // a 0 x 0 patch of 4 bytes, laid 6,554 times
  std::vector<void*> blocks(6554, patch.get());
  std::vector<WORD> sizes(6554, 20);
  const ULONGLONG before = writer.GetLength();
  EXPECT_EQ(writer.AppendFrame(6554, blocks.data(), sizes.data()), 0);
  EXPECT_EQ(writer.GetLength(), before);
  ASSERT_TRUE(writer.AppendFrame(6553, blocks.data(), sizes.data()));
  const ULONGLONG after = writer.GetLength();
  EXPECT_EQ(writer.AppendFrame(0, nullptr, nullptr), 0);
  EXPECT_EQ(writer.GetLength(), after);
  ASSERT_TRUE(writer.CloseFile());
}

// The information reads the header, locator and info block, not the index: it refuses the
// first rows and accepts the rest.
TEST(MotionFileRead, EachRefusalNamesItsReason) {
  kvtest::TempDir dir;
  const auto write = [&](const Bytes& f) { return dir.Write("m.kvx", f); };
  auto movie = [](auto change) {
    kvtest::RawMotionFile f{.width = 16, .height = 8};
    f.chunks = {{.patches = {kvtest::SolidMotionPatch(0, 0, 16, 8, 0xFF102030)}}, {.patches = {}}};
    change(f);
    return kvtest::LayOutMotionFile(f).bytes;
  };
  const Bytes valid = movie([](auto&) {});
  const auto resigned = [&](int at, char c) {
    return movie([&](auto& f) { (*(f.signature = kvtest::MotionSignatureBytes()))[at] = BYTE(c); });
  };
  // clang-format off
  const std::vector<kvtest::Refusal> rows{
      {"signature letter", resigned(0, 's'), "not a motion movie (signature)"},
      {"signature not ended by zero", resigned(42, '!'), "not a motion movie (signature)"},
      {"version", movie([](auto& f) { f.version = 3; }), "motion movie version 3 is not supported"},
      {"empty", Cut(valid, 0), "truncated: 0 of 66 bytes"},
      {"short header", Cut(valid, 30), "truncated: 30 of 66 bytes"},
      {"short locator", Cut(valid, 80), "truncated: 80 of 90 bytes"},
      {"info beyond the end", movie([](auto& f) { f.infoPosition = 1000000; }), "motion movie info block at 1000000 lies outside the file"},
      {"info before the start", movie([](auto& f) { f.infoPosition = -80; }), "motion movie info block at -80 lies outside the file"},
      {"info cut short", Cut(valid, valid.size() - 1), "motion movie info block at " + std::to_string(valid.size() - 80) + " lies outside the file"},
      {"index", movie([](auto& f) { f.indexPosition = 5000000; }), "motion movie index at 5000000 lies outside the file"},
      {"short index", movie([](auto& f) { f.indexSize = 23; }), "motion movie index of 23 bytes is too short for 2 frames"},
      {"short version 0 index", movie([](auto& f) { f.layout = 0, f.indexSize = 2 * 8 - 1; }), "motion movie index of 15 bytes is too short for 2 frames"},
      {"32767 frames in a tiny file", movie([](auto& f) { f.frameCount = 32767; }), "motion movie index of 24 bytes is too short for 32767 frames"},
      {"frame count", movie([](auto& f) { f.frameCount = -1; }), "frame count -1"}};
  // clang-format on
  kvtest::ExpectReasons(rows, [&](Bytes f) {
    CKvMotionFileRead reader;
    return reader.OpenFile(write(f)) == 0 && !reader.FileInUse();
  });
  const auto info = [](const CString& path) {
    CRect rect;
    WORD key = 0;
    int frames = 0;
    return CKvMotionFileRead::GetFileInfo(path, rect, key, frames);
  };
  kvtest::ExpectReasons({rows.begin(), rows.begin() + 9}, [&](Bytes f) { return !info(write(f)); });
  for (auto row = rows.begin() + 9; row != rows.end(); ++row) EXPECT_EQ(info(write(row->file)), 1);
  // A movie of no frames: its empty index may lie at the file's very end.
  kvtest::RawMotionFile none{.width = 16, .height = 8, .indexSize = 0};
  none.indexPosition = static_cast<long long>(kvtest::LayOutMotionFile(none).bytes.size());
  CKvMotionFileRead empty;
  EXPECT_EQ(empty.OpenFile(write(kvtest::LayOutMotionFile(none).bytes)), 1) << KvLastFailure();
  EXPECT_EQ(info(write(resigned(43, 'x'))), 1);  // only the first 43 signature bytes count
  // Opened as every reader opens a file: the same reasons for what is not one.
  for (const auto& [path, why] : {std::pair{dir.File("none.sve"), "no such file"},
                                  std::pair{CString::FromUtf8(dir.path()), "is a folder"}}) {
    CKvMotionFileRead reader;
    EXPECT_EQ(reader.OpenFile(path), 0);
    EXPECT_EQ(KvLastFailure(), why);
    EXPECT_EQ(info(path), 0);
    EXPECT_EQ(KvLastFailure(), why);
  }
}

// A check reads every frame's chunk and names the first patch that playback would skip or
// clip; sound movies in every layout pass.
TEST(MotionFileRead, CheckNamesTheFirstDamagedPatch) {
  kvtest::TempDir dir;
  using kvtest::SolidMotionPatch;
  // Six frames of 40 x 30 in two patches each; frame 4 changed. The reason is made from the
  // size of frame 4's chunk.
  auto movie = [](auto change) {
    kvtest::RawMotionFile f{.width = 40, .height = 30};
    for (int i = 0; i < 6; ++i)
      f.chunks.push_back({.patches = {SolidMotionPatch(0, 0, 40, 8, 0xFF000000u + i),
                                      SolidMotionPatch(0, 8, 40, 22, 0xFF102030)}});
    change(f.chunks[4]);
    return kvtest::LayOutMotionFile(f);
  };
  std::vector<kvtest::Refusal> rows;
  auto row = [&](const char* name, auto change, const std::string& why) {
    const kvtest::RawMotionLayout m = movie(change);
    std::string reason = "frame 4: " + why;
    if (const auto at = reason.find('@'); at != std::string::npos)
      reason.replace(at, 1, "the chunk's " + KvGroupDigits(ULONGLONG(m.chunkSizes[4])) + " bytes");
    rows.push_back({name, m.bytes, reason});
  };
  auto patch1 = [](kvtest::RawMotionPatch p) { return [p](auto& c) { c.patches[1] = p; }; };
  const kvtest::RawMotionLayout sound = movie([](auto&) {});
  const std::string at4 = std::to_string(sound.chunkPositions[4]);
  const auto end = static_cast<long long>(sound.bytes.size());
  // clang-format off
  row("right of the frame", patch1(SolidMotionPatch(30, 0, 16, 8, 1)), "patch 1 (16 x 8 at 30, 0) lies outside the 40 x 30 frame");
  row("above the frame", patch1(SolidMotionPatch(0, -1, 40, 8, 1)), "patch 1 (40 x 8 at 0, -1) lies outside the 40 x 30 frame");
  row("empty", patch1(SolidMotionPatch(0, 8, 0, 8, 1)), "patch 1 (0 x 8 at 0, 8) is empty");
  row("header larger than its pixels", [](auto& c) { c.patches[0].pixels.resize(40 * 7); },
      "patch 0 (40 x 8 at 0, 0) takes 1,296 bytes, its table entry says 1,136");
  row("last patch past the chunk", [](auto& c) { c.patches[1].pixels.pop_back(); }, "patch 1 (40 x 22 at 0, 8) runs past @");
  row("offset beyond the chunk", [](auto& c) { c.patches[1].offset = 100000; }, "patch 1 at byte 100000 lies outside the patch data of @");
  row("offset in the table", [](auto& c) { c.patches[0].offset = 30; }, "patch 0 at byte 30 lies outside the patch data of @");
  row("count beyond the table", [](auto& c) { c.patchCount = 5000; }, "the table of 5000 patches runs past @");
  row("negative count", [](auto& c) { c.patchCount = -2; }, "patch count -2");
  row("chunk beyond the file", [](auto& c) { c.indexSize = 1000000; }, "a chunk of 1000000 bytes at " + at4 + " does not fit the file");
  row("chunk shorter than its header", [](auto& c) { c.indexSize = 19; }, "a chunk of 19 bytes at " + at4 + " does not fit the file");
  row("table one byte past the chunk", [](auto& c) { c.patches.clear(), c.patchCount = 1, c.indexSize = 29; }, "the table of 1 patches runs past the chunk's 29 bytes");
  row("chunk at the file's end", [end](auto& c) { c.indexPosition = end; },
      "a chunk of " + std::to_string(sound.chunkSizes[4]) + " bytes at " + std::to_string(end) + " does not fit the file");
  // clang-format on
  kvtest::ExpectReasons(rows, [&](Bytes f) {
    CKvMotionFileRead reader;
    if (!reader.OpenFile(dir.Write("m.sve", f))) return false;
    for (int i = 0; i < 4; ++i)
      if (!reader.CheckFC(i)) return false;
    return !reader.CheckFC(4);
  });

  for (int layout : {0, 1, 2}) {
    kvtest::RawMotionFile f{.layout = layout, .width = 40, .height = 30};
    f.chunks = {{.patches = {SolidMotionPatch(0, 0, 40, 30, 1)}}, {}, {.patches = {}}};
    CKvMotionFileRead reader;
    ASSERT_TRUE(reader.OpenFile(dir.Write("m.sve", kvtest::LayOutMotionFile(f).bytes)));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(reader.CheckFC(i), 1) << layout << " " << i;
  }
}
