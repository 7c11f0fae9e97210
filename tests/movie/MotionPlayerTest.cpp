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
#include "host/PixelOps.h"

namespace {

using kvtest::BlockPixels;
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
  RawMotionFile m{.width = 16, .height = 16};
  kvtest::RawMotionChunk c;
  c.patches = {SolidMotionPatch(2, 2, 4, 4, kA),
               SolidMotionPatch(-2, -2, 4, 4, kB),
               SolidMotionPatch(14, 14, 4, 4, kC),
               SolidMotionPatch(100, -100, 2, 2, kBad),
               {8, 8, -3, 2},
               {8, 8, 32767, 32767, {kBad, kBad}},
               {8, 8, -32768, -32768}};
  for (long long offset : {1LL << 20, -5LL, 0x7FFFFFFFFFFFFFF0LL}) {
    c.patches.push_back(SolidMotionPatch(8, 8, 2, 2, kBad));
    c.patches.back().offset = offset;
  }
  c.patches.push_back({8, 8, 4, 4, {kBad, kBad, kBad}});  // runs past the chunk
  m.chunks = {c,
              {.patches = {SolidMotionPatch(6, 10, 2, 2, kBad)}, .patchCount = 32767},
              {.patchCount = -1},
              {},
              {},
              {},
              {.patches = {SolidMotionPatch(3, 3, 3, 3, kF)}}};
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

// The movie is rewritten with a new generation before each call. Only the frames a call
// applies take it, since in file mode chunks are read when they are applied. Older versions,
// whose patch tables are laid out differently, play the same.
TEST(MotionPlayer, AppliesFramesFromTheNearestKeyFrame) {
  const std::initializer_list<std::array<int, 3>> early = {{0, 3, 3}, {20, 21, 5}, {22, 25, 6}};
  const struct {
    float t;
    std::vector<int> gens;
  } steps[] = {
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
      {2.12f, Runs(100, {{0, 5, 12}, {10, 12, 13}})},  // 100 x 2.12f falls a hair below 212
  };
  for (int layout : {0, 1, 2}) {
    SCOPED_TRACE(layout);
    kvtest::TempDir dir;
    auto player = Player(Save(dir, MarkerMovie(100, 1, layout)), 0);
    ASSERT_TRUE(player);
    for (int i = 0; i < int(std::size(steps)); ++i) {
      Save(dir, MarkerMovie(100, i + 1, layout));
      EXPECT_EQ(player->GetOneFrame(steps[i].t), 1);
      EXPECT_EQ(Generations(player->m_blockWork), steps[i].gens) << "t " << steps[i].t;
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
        EXPECT_EQ(got, !p          ? b
                       : mode == 0 ? Mix(*p, b)
                       : mode == 1 ? Mix(b, *p)
                                   : *p)
            << x << ", " << y;
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
