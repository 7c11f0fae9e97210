// Motion movies: the file written and read, and played by the motion player.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <tuple>

#include "KvMediaFile/KvMovie.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/MotionWriter.h"
#include "host/Failure.h"
#include "host/FileReader.h"
#include "host/PixelOps.h"
#include "movie/MotionFile.h"
#include "platform/GlobalMemory.h"

namespace {

using kvtest::BlockPixels;
using kvtest::Bytes;
using kvtest::Cut;
using kvtest::Px;
using kvtest::RawMotionFile;
using kvtest::SolidMotionPatch;

DWORD Mix(DWORD top, DWORD bottom) {
  return KvPublicMixColor(tagCOLOR32::FromValue(top), tagCOLOR32::FromValue(bottom)).Value();
}

void FillBlock(CKvMemBlock& block, int w, int h, const std::function<DWORD(int, int)>& colour) {
  ASSERT_TRUE(block.InitBlock(CSize(w, h)));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) block.SetPixel(x, y, tagCOLOR32::FromValue(colour(x, y)));
}

// A background pixel, transparent where the background does not reach.
DWORD BackAt(const CKvMemBlock& back, int x, int y) {
  return back.GetRect().PtInRect(CPoint(x, y)) ? back.GetPixel(x, y).Value() : 0;
}

std::unique_ptr<CKvPlayMovieMotion> Player(const CString& path, int mem, int mix = -1,
                                           CKvMemBlock* back = nullptr, CPoint paste = {}) {
  auto player = std::make_unique<CKvPlayMovieMotion>();
  if (!player->Open(path, mem)) return nullptr;
  player->m_nMixMode = mix;
  player->m_ptPaste = paste;
  return player->Prepare(back) ? std::move(player) : nullptr;
}

CString Save(const kvtest::TempDir& dir, const RawMotionFile& m) {
  return dir.Write("m.sve", kvtest::LayOutMotionFile(m).bytes);
}

// A one-row movie whose frame f paints only column f, in the colour of generation `gen`, so
// that the block tells which frames were applied since the last reset, and in which call.
// The frame's second patch covers its first, so that a misread patch table shows.
RawMotionFile MarkerMovie(int n, int gen, int layout = 2) {
  RawMotionFile m{.layout = layout, .width = n, .height = 1};
  for (int f = 0; f < n; ++f)
    m.chunks.push_back({.patches = {SolidMotionPatch(f, 0, 1, 1, Px(f, gen, 100)),
                                    SolidMotionPatch(f, 0, 1, 1, Px(f, gen, 200))}});
  return m;
}

// The generation of the marker in each column (0 where there is none).
std::vector<int> Generations(const CKvMemBlock& block) {
  std::vector<int> gens;
  for (int x = 0; x < block.GetSize().cx; ++x) {
    const tagCOLOR32 p = block.GetPixel(x, 0);
    gens.push_back(p.b == x && p.r == 200 && p.a == 255 ? p.g : 0);
  }
  return gens;
}

// Columns first..last at generation gen.
std::vector<int> Runs(int n, std::initializer_list<std::array<int, 3>> runs) {
  std::vector<int> gens(n, 0);
  for (auto [first, last, gen] : runs)
    std::fill(gens.begin() + first, gens.begin() + last + 1, gen);
  return gens;
}

const DWORD kA = Px(200, 10, 10, 160), kB = Px(10, 200, 10, 90), kC = Px(10, 10, 200),
            kF = Px(90, 90, 9, 200), kBad = Px(1, 2, 3);

// Frame 0 holds good patches, two of them partly outside the movie, among patches the
// chunk cannot hold; frames 1 to 5 are broken whole; frame 6 is good, and see-through over
// frame 0's first patch, partly beyond the background.
RawMotionFile HostileMovie(bool badIndex) {
  // clang-format off
  kvtest::RawMotionChunk c{.patches = {
      SolidMotionPatch(2, 2, 4, 4, kA), SolidMotionPatch(-2, -2, 4, 4, kB), SolidMotionPatch(14, 14, 4, 4, kC),
      SolidMotionPatch(100, -100, 2, 2, kBad), {8, 8, -3, 2}, {8, 8, 32767, 32767, {kBad, kBad}}, {8, 8, -32768, -32768}}};
  for (long long offset : {1LL << 20, -5LL, 0x7FFFFFFFFFFFFFF0LL})
    c.patches.push_back({8, 8, 2, 2, {kBad, kBad, kBad, kBad}, offset});
  c.patches.push_back({8, 8, 4, 4, {kBad, kBad, kBad}});  // runs past the chunk
  RawMotionFile m{.width = 16, .height = 16, .chunks = {c,
      {.patches = {SolidMotionPatch(6, 10, 2, 2, kBad)}, .patchCount = 32767}, {.patchCount = -1}, {}, {}, {},
      {.patches = {SolidMotionPatch(3, 3, 3, 3, kF)}}}};
  // clang-format on
  if (badIndex) {
    m.chunks[3].indexSize = 19;
    m.chunks[4].indexPosition = 1 << 20;
    m.chunks[5].indexSize = 0x7FFFFFFF;
  }
  return m;
}

// What the good patches of the hostile movie paint.
std::optional<DWORD> HostilePatch(int x, int y) {
  if (x >= 3 && x < 6 && y >= 3 && y < 6) return kF;
  if (x >= 2 && x < 6 && y >= 2 && y < 6) return kA;
  if (x < 2 && y < 2) return kB;
  if (x >= 14 && y >= 14) return kC;
  return std::nullopt;
}

// Whether every page of bytes [pos, pos + size) of the file is in memory.
bool Resident(const std::string& path, long long pos, long long size) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  const long page = ::sysconf(_SC_PAGESIZE);
  const long long first = pos / page * page, length = pos + size - first;
  void* map = ::mmap(nullptr, std::size_t(length), PROT_READ, MAP_SHARED, fd, first);
  ::close(fd);
  if (map == MAP_FAILED) return false;
  std::vector<unsigned char> pages(std::size_t((length + page - 1) / page));
  const bool ok = ::mincore(map, std::size_t(length), pages.data()) == 0 &&
                  std::all_of(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
  ::munmap(map, std::size_t(length));
  return ok;
}

// Frame f of a movie of n frames whose every pixel changes, some of them see-through.
RawMotionFile ChangingMovie(int n, int w, int h) {
  RawMotionFile m{.width = w, .height = h};
  for (int f = 0; f < n; ++f) {
    kvtest::RawMotionPatch p{0, 0, w, h};
    for (int i = 0; i < w * h; ++i)
      p.pixels.push_back((DWORD(i + 7 * f) * 2654435761u) | (i % 3 ? 0xFF000000u : 0x40000000u));
    m.chunks.push_back({.patches = {std::move(p)}});
  }
  return m;
}

}  // namespace

// A movie of one frame holding one 16 x 2 patch is laid out to the byte as the raw writer,
// which the reader tests read, lays out the same description (reserved zeros included).
TEST(MotionFileWrite, OnePatchMovieByteForByte) {
  const std::vector<DWORD> pixels = kvtest::Gradient(16, 2);
  kvtest::TempDir dir;
  ASSERT_TRUE(kvtest::WriteMotionMovie(dir.File("one.sve"), {pixels}, 3, -4, 16, 2, 12));
  RawMotionFile raw{.keyInterval = 12, .chunks = {{.patches = {{0, 0, 16, 2, pixels}}}}};
  raw.left = 3, raw.top = -4, raw.width = 16, raw.height = 2;
  EXPECT_EQ(kvtest::LayOutMotionFile(raw).bytes, kvtest::ReadFileBytes(dir.path() + "/one.sve"));
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
  auto info = [rect = CRect(), key = WORD(0), frames = 0](const CString& path) mutable {
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
  row("header larger than its pixels", [](auto& c) { c.patches[0].pixels.resize(40 * 7); }, "patch 0 (40 x 8 at 0, 0) takes 1,296 bytes, its table entry says 1,136");
  row("last patch past the chunk", [](auto& c) { c.patches[1].pixels.pop_back(); }, "patch 1 (40 x 22 at 0, 8) runs past @");
  row("offset beyond the chunk", [](auto& c) { c.patches[1].offset = 100000; }, "patch 1 at byte 100000 lies outside the patch data of @");
  row("offset in the table", [](auto& c) { c.patches[0].offset = 30; }, "patch 0 at byte 30 lies outside the patch data of @");
  row("count beyond the table", [](auto& c) { c.patchCount = 5000; }, "the table of 5000 patches runs past @");
  row("negative count", [](auto& c) { c.patchCount = -2; }, "patch count -2");
  row("chunk beyond the file", [](auto& c) { c.indexSize = 1000000; }, "a chunk of 1000000 bytes at " + at4 + " does not fit the file");
  row("chunk shorter than its header", [](auto& c) { c.indexSize = 19; }, "a chunk of 19 bytes at " + at4 + " does not fit the file");
  row("table one byte past the chunk", [](auto& c) { c.patches.clear(), c.patchCount = 1, c.indexSize = 29; }, "the table of 1 patches runs past the chunk's 29 bytes");
  row("chunk at the file's end", [end](auto& c) { c.indexPosition = end; }, "a chunk of " + std::to_string(sound.chunkSizes[4]) + " bytes at " + std::to_string(end) + " does not fit the file");
  // clang-format on
  kvtest::ExpectReasons(rows, [&](Bytes f) {
    CKvMotionFileRead reader;
    return reader.OpenFile(dir.Write("m.sve", f)) && reader.CheckFC(0) && reader.CheckFC(1) &&
           reader.CheckFC(2) && reader.CheckFC(3) && !reader.CheckFC(4);
  });

  for (int layout : {0, 1, 2}) {
    const kvtest::RawMotionFile f{
        .layout = layout,
        .width = 40,
        .height = 30,
        .chunks = {{.patches = {SolidMotionPatch(0, 0, 40, 30, 1)}}, {}, {}}};
    CKvMotionFileRead reader;
    ASSERT_TRUE(reader.OpenFile(dir.Write("m.sve", kvtest::LayOutMotionFile(f).bytes)));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(reader.CheckFC(i), 1) << layout << " " << i;
  }
}

// The movie is rewritten with a new generation before each call. Only the frames a call
// applies take it, since in file mode chunks are read when they are applied. Older versions,
// whose patch tables are laid out differently, play the same.
TEST(MotionPlayer, AppliesFramesFromTheNearestKeyFrame) {
  const std::initializer_list<std::array<int, 3>> early = {{0, 3, 3}, {20, 21, 5}, {22, 25, 6}};
  const std::pair<float, std::vector<int>> steps[] = {
      // the time, the generations shown
      {-0.5f, Runs(100, {{0, 0, 1}})},  // negative times play as 0
      {0.25f, Runs(100, {{0, 0, 1}, {20, 25, 2}})},
      {0.03f, Runs(100, {{0, 3, 3}, {20, 25, 2}})},
      {0.25f, Runs(100, {{0, 3, 3}, {20, 25, 4}})},
      {0.21f, Runs(100, {{0, 3, 3}, {20, 21, 5}, {22, 25, 4}})},
      {0.25f, Runs(100, early)},
      {0.25f, Runs(100, early)},  // the same time again applies nothing
      {0.99f, Runs(100, {{0, 3, 3}, {20, 21, 5}, {22, 25, 6}, {90, 99, 8}})},
      {1.0f, Runs(100, {{0, 0, 9}})},  // a new pass starts from a cleared block
      {1.5f, Runs(100, {{0, 0, 9}, {50, 50, 10}})},
      {1.03f, Runs(100, {{0, 3, 11}, {50, 50, 10}})},
      // A new pass inside the held key-frame group starts again from its key frame.
      {2.05f, Runs(100, {{0, 5, 12}})},
      {2.12f, Runs(100, {{0, 5, 12}, {10, 12, 13}})}};  // 100 x 2.12f falls a hair below 212
  for (int layout : {0, 1, 2}) {
    SCOPED_TRACE(layout);
    kvtest::TempDir dir;
    auto player = Player(Save(dir, MarkerMovie(100, 1, layout)), 0);
    ASSERT_TRUE(player);
    int gen = 0;
    for (const auto& [t, gens] : steps) {
      Save(dir, MarkerMovie(100, ++gen, layout));
      EXPECT_EQ(player->GetOneFrame(t), 1);
      EXPECT_EQ(Generations(player->m_blockWork), gens) << "t " << t;
    }
    // A second Prepare resets the block: the same time is built again from its key frame.
    ASSERT_TRUE(player->Prepare(nullptr));
    Save(dir, MarkerMovie(100, 13, layout));
    player->GetOneFrame(2.05f);
    EXPECT_EQ(Generations(player->m_blockWork), Runs(100, {{0, 5, 13}}));
  }
}

// An empty rectangle, no key interval or no frames cannot be played.
TEST(MotionPlayer, OpenRefusesUnplayableMovies) {
  kvtest::TempDir dir;
  for (auto [w, h, key, frames] :
       {std::array{3, 1, 10, 3}, {0, 1, 10, 3}, {3, 0, 10, 3}, {3, 1, 0, 3}, {3, 1, 10, 0}}) {
    RawMotionFile m = MarkerMovie(frames, 1);
    m.width = w, m.height = h, m.keyInterval = key;
    CKvPlayMovieMotion player;
    EXPECT_EQ(player.Open(Save(dir, m), 0), w && h && key && frames) << w << h << key << frames;
  }
}

// Patches the chunk cannot hold are skipped and the rest clipped to the block and to the
// background (pasted at (4, 4)), in every mix mode and from file or memory. Mix modes 0 and 1
// reset the block from the background (transparent where it does not reach), others to zero,
// and only once a pass. With mix 0 a patch lies over the background, and beyond it over
// transparency, never over the frame before.
TEST(MotionPlayerHostile, SkipsWhatTheChunkCannotHoldAndClipsTheRest) {
  CKvMemBlock back;
  FillBlock(back, 8, 8, [](int x, int y) { return Px(x * 30, y * 30, 77, 128); });
  for (auto [mode, badIndex, mem] :
       {std::tuple{-1, true, 0}, {-1, false, 1}, {0, true, 0}, {1, false, 1}, {0, false, 1}}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode << " bad index " << badIndex);
    kvtest::TempDir dir;
    auto player = Player(Save(dir, HostileMovie(badIndex)), mem, mode, &back, CPoint(4, 4));
    ASSERT_TRUE(player);
    for (int f = 0; f < 7; ++f) EXPECT_EQ(player->GetOneFrame(f / 7.0f), 1);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const DWORD got = player->m_blockWork.GetPixel(x, y).Value();
        if (x >= 6 && x < 8 && y >= 10 && y < 12 && got == kBad) continue;  // frame 1's patch
        const DWORD b = mode >= 0 ? BackAt(back, x + 4, y + 4) : 0;
        const auto p = HostilePatch(x, y);
        const DWORD want = !p ? b : mode == 0 ? Mix(*p, b) : mode == 1 ? Mix(b, *p) : *p;
        EXPECT_EQ(got, want) << x << ", " << y;
      }
    if (mode >= 0) {               // a new pass resets the block from the background as it is then
      const int blue = 50 + mode;  // a structured binding is not captured by every compiler
      FillBlock(back, 8, 8, [blue](int x, int y) { return Px(y, x, blue, 200); });
      player->GetOneFrame(1.0f);
      EXPECT_EQ(player->m_blockWork.GetPixel(3, 0).Value(), BackAt(back, 7, 4));
    }
  }
  // In memory, a chunk that the index cannot give fails the preparation.
  kvtest::TempDir dir;
  EXPECT_FALSE(Player(Save(dir, HostileMovie(true)), 1));
}

TEST(MoviePlayerFactory, PicksThePlayerByExtension) {
  const std::pair<const wchar_t*, ENUMMOVIETYPE> categories[] = {
      {L"clip.flc", MOVIE_FLIC}, {L"CLIP.FLI", MOVIE_FLIC}, {L"a.Sve", MOVIE_SVE},
      {L"b.kvx", MOVIE_KVX},     {L"c.kvi", MOVIE_UNKNOWN}, {L"d.avi", MOVIE_UNKNOWN},
      {L"noext", MOVIE_UNKNOWN}};
  for (auto [path, type] : categories)
    EXPECT_EQ(CKvPlayMovieBase::MovieCategory(path), type) << path;
  kvtest::TempDir dir;
  const kvtest::Bytes movie = kvtest::LayOutMotionFile(MarkerMovie(3, 1)).bytes;
  for (const char* name : {"m.sve", "M.KVX", "m.kvi"}) dir.Write(name, movie);
  for (const char* name : {"m.sve", "M.KVX"})
    for (int mem : {0, 1}) {
      std::unique_ptr<CKvPlayMovieBase> player(
          CKvPlayMovieBase::CreatePlayMovieObj(dir.File(name), mem));
      ASSERT_TRUE(dynamic_cast<CKvPlayMovieMotion*>(player.get())) << name;
      EXPECT_EQ(player->GetOneFrame(1.0f / 3), 1);
      EXPECT_EQ(Generations(player->m_blockWork), Runs(3, {{0, 1, 1}})) << name;
    }
  EXPECT_EQ(CKvPlayMovieBase::CreatePlayMovieObj(dir.File("m.kvi"), 0), nullptr);
  EXPECT_EQ(CKvPlayMovieBase::CreatePlayMovieObj(dir.File("none.sve"), 0), nullptr);
}

TEST(MovieApi, ReadsInformationAndFramesAndReportsAMissingFile) {
  kvtest::TempDir dir;
  RawMotionFile m = MarkerMovie(5, 1);
  m.left = 100, m.top = 50;
  const CString path = Save(dir, m);
  CRect rect;
  WORD key = 0;
  int frames = 0;
  EXPECT_EQ(KvMovieGetFileInfo(path, &rect, &key, &frames), 1);
  EXPECT_EQ(std::tuple(rect, key, frames), std::tuple(CRect(100, 50, 105, 51), WORD(10), 5));
  EXPECT_EQ(KvMovieGetFileInfo(path, nullptr, nullptr, nullptr), 1);
  CKvMemBlock blocks[3];
  EXPECT_EQ(KvMovieGetFrames(path, 3, blocks), 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Generations(blocks[i]), Runs(5, {{0, i, 1}})) << i;
  // A missing file is reported once, by the call that reads frames.
  kvtest::RecordingUi ui;
  const CString none = dir.File("none.sve");
  EXPECT_EQ(KvMovieGetFrames(none, 2, blocks), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, L"找不到当前动画文件，无法处理！");
  EXPECT_EQ(KvMovieGetFrame(none, rect, 0), nullptr);
  EXPECT_EQ(KvMovieGetFileInfo(none, nullptr, nullptr, nullptr), 0);
}

TEST(MovieApi, SelectFileAsksTheDialog) {
  kvtest::RecordingUi ui;
  CString path;
  EXPECT_EQ(KvMovieSelectFile(1, 7, path, nullptr), 0);  // no such kind: no dialog
  ui.chosenPath = L"/films/a.sve";
  EXPECT_EQ(KvMovieSelectFile(1, 2, path, nullptr), 1);
  EXPECT_EQ(path, L"/films/a.sve");
  ui.chosenPath = L"";
  EXPECT_EQ(KvMovieSelectFile(0, 2, path, nullptr), 0);
  EXPECT_TRUE(path.IsEmpty());
  ASSERT_EQ(ui.fileRequests.size(), 2u);
  for (int i : {0, 1}) {
    const auto& request = ui.fileRequests[i];
    EXPECT_EQ(request.open, i == 0);
    EXPECT_EQ(request.title, i == 0 ? L"打开动画文件" : L"保存动画文件");
    EXPECT_EQ(request.filter + L" " + request.defaultExt, L"SVE文件(*.sve)|*.sve|| sve");
  }
}

// Played from the file, the frames are those played from memory, over passes and steps back:
// also where a chunk is longer than one read and its table names its patches out of order.
TEST(MotionPlayerFile, PlaysAsFromMemory) {
  kvtest::TempDir dir;
  RawMotionFile movie = ChangingMovie(23, 24, 16);
  movie.width = 36;
  for (int f = 0; f < 23; ++f) {
    // Beside each frame's patch, one whose shown rows (the rest lie above the movie) end its
    // 672 KB of pixels, beyond two reads; the table names it first, though it is laid second.
    kvtest::RawMotionPatch tall{24, -544, 300, 560};
    for (int i = 0; i < 300 * 560; ++i) tall.pixels.push_back(Px(f, i % 251, 77, 100 + i % 150));
    auto& patches = movie.chunks[std::size_t(f)].patches;
    patches.push_back(std::move(tall));
    patches[0].offset = 20 + 2 * 10 + 16 + 24 * 16 * 4;
    patches[1].offset = 20 + 2 * 10;
  }
  const CString path = Save(dir, movie);
  CKvMemBlock back;
  FillBlock(back, 30, 20, [](int x, int y) { return Px(x * 8, y * 12, 60); });
  for (int mix : {-1, 0, 1}) {
    auto file = Player(path, 0, mix, &back, CPoint(3, 2));
    auto memory = Player(path, 1, mix, &back, CPoint(3, 2));
    ASSERT_TRUE(file && memory);
    for (float t : {0.0f, 0.3f, 0.31f, 0.9f, 0.2f, 1.0f, 1.45f, 2.99f, 0.5f}) {
      file->GetOneFrame(t), memory->GetOneFrame(t);
      EXPECT_EQ(BlockPixels(file->m_blockWork), BlockPixels(memory->m_blockWork))
          << "mix " << mix << " t " << t;
    }
  }
}

// A movie not in memory is read a key-frame group ahead of its frames, not at their turn on
// air: Prepare asks for the first two groups, and each frame for the one a group after it.
// Chunks of 1 MB lie beyond the system's own read-ahead of the frames read.
TEST(MotionPlayerFile, AsksTheDiskForTheNextKeyFrameGroup) {
  kvtest::TempDir dir;
  const kvtest::RawMotionLayout movie = kvtest::LayOutMotionFile(ChangingMovie(60, 512, 512));
  const CString path = dir.Write("m.sve", movie.bytes);
  const std::string native = path.ToUtf8();
  const int fd = ::open(native.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ::fsync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
  const auto resident = [&](int f) {
    return Resident(native, movie.chunkPositions[f], movie.chunkSizes[f]);
  };
  if (resident(19)) GTEST_SKIP() << "this file system keeps the file in memory";
  auto player = Player(path, 0);  // key frames every 10
  ASSERT_TRUE(player);
  player->GetOneFrame(31.0f / 60);  // frames 30 and 31
  const auto residentSoon = [&](int f) {
    for (int i = 0; i < 200 && !resident(f); ++i) ::usleep(10000);
    return resident(f);
  };
  for (int f : {19, 40, 41}) EXPECT_TRUE(residentSoon(f)) << "frame " << f;
  EXPECT_FALSE(resident(55));
}
