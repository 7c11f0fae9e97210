#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <tuple>
#include <utility>

#include "AllocationFaults.h"
#include "KvMediaFile/KvScroll.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "fixtures/ScrollWriter.h"
#include "host/Failure.h"
#include "host/FileReader.h"
#include "host/ModuleResources.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"
#include "scroll/ScrollFile.h"

namespace {

using Bytes = std::vector<BYTE>;
using Lines = std::vector<std::vector<DWORD>>;
using kvtest::ScrollStrip;

int Mod(long long v, int m) { return static_cast<int>((v % m + m) % m); }

// Lines lo..hi-1 one after the other, as GetSpecialFrame returns them.
std::vector<DWORD> Join(const Lines& lines, std::size_t lo, std::size_t hi) {
  std::vector<DWORD> out;
  for (std::size_t i = lo; i < hi; ++i) out.insert(out.end(), lines[i].begin(), lines[i].end());
  return out;
}

// Takes ownership of a GetSpecialFrame result.
bool Holds(BYTE* got, const std::vector<DWORD>& want) {
  std::unique_ptr<BYTE[]> owned(got);
  return got && std::memcmp(got, want.data(), want.size() * 4) == 0;
}

// Runs `act` with the n-th allocation failing, for n = 1, 2, ... until `act` makes no more
// allocations; `setup` runs before each try, outside the failures. Nothing may be thrown, and
// `act` says whether the results were right.
void ForEachFailingAllocation(
    const std::function<bool()>& act, const std::function<void()>& setup = [] {}) {
  for (std::size_t nth = 1;; ++nth) {
    setup();
    bool threw = false, right = false;
    std::size_t failures = 0;
    {
      const auto faults = kvtest::FailingAllocations::Nth(nth);
      try {
        right = act();
      } catch (...) {
        threw = true;
      }
      failures = faults.Failures();
    }
    EXPECT_FALSE(threw) << "allocation " << nth << " failed: an exception left the library";
    EXPECT_TRUE(threw || right) << (failures ? "a failed allocation" : "no failure")
                                << " gave a wrong result";
    if (failures == 0 || threw || !right) return;
  }
}

// A scroll file of a test strip, width x height as shown, in a folder of its own.
struct Scroll {
  kvtest::TempDir dir;
  CString path = dir.File("s.ksc");
  ScrollStrip strip;
  Scroll(int width, int height, DWORD direction) : strip(kvtest::MakeScrollStrip(width, height)) {
    const Lines lines = kvtest::ScrollLines(strip, direction);
    dir.Write("s.ksc", kvtest::LayOutScrollFile(direction, DWORD(lines[0].size()), lines));
  }
};

TEST(ScrollFile, RoundTripsTheLinesOfEveryDirection) {
  for (DWORD dir = 0; dir < 4; ++dir) {
    SCOPED_TRACE(dir);
    Scroll s(13, 9, dir);
    const Lines lines = kvtest::ScrollLines(s.strip, dir);
    const DWORD n = DWORD(lines.size()), width = DWORD(lines[0].size());
    {  // a line beyond the count the writer was opened with is refused
      CKvScrollFileWrite writer;
      ASSERT_TRUE(writer.OpenFile(s.path, dir, 0, n, width));
      for (auto line : lines) ASSERT_TRUE(writer.AppendDataLine(line.data()));
      EXPECT_EQ(writer.AppendDataLine(s.strip.pixels.data()), 0);
    }
    EXPECT_EQ(kvtest::ReadFileBytes(s.dir.path() + "/s.ksc"),
              kvtest::LayOutScrollFile(dir, width, lines));
    CKvScrollFileRead reader;
    ASSERT_TRUE(reader.OpenFile(s.path));
    EXPECT_EQ(std::tuple(reader.GetDirection(), reader.GetDataLines(), reader.GetDataWidth()),
              std::tuple(dir, n, width));
    // Ranges in either order, cut to the lines; empty ones give nothing.
    EXPECT_TRUE(Holds(reader.GetSpecialFrame(0, n + 10), Join(lines, 0, n)));
    EXPECT_TRUE(Holds(reader.GetSpecialFrame(7, 4), Join(lines, 4, 7)));
    EXPECT_EQ(reader.GetSpecialFrame(5, 5), nullptr);
    EXPECT_EQ(reader.GetSpecialFrame(n, n + 8), nullptr);
  }
}

// The compressed words of a line damaged in way `kind`. Kinds 0 to 5 cannot expand to exactly
// the line's width; kind 6 is sound, though as long as a line can be: one packet a pixel.
constexpr int kDamages = 6;
std::vector<DWORD> DamagedStream(int kind, std::vector<DWORD> line) {
  if (kind == 0) return {};                                          // missing
  if (kind == 1) line.insert(line.end(), {0xFF000001, 0xFF000002});  // too long
  if (kind == 2) line.pop_back();                                    // too short
  std::vector<DWORD> stream = kvtest::CompressScrollLine(line);
  if (kind == 3) stream[0] = 0xC0000001;  // a packet header that no compressor writes
  if (kind >= 5) {                        // literals of one pixel
    stream.clear();
    for (DWORD pixel : line) stream.insert(stream.end(), {1, pixel});
  }
  if (kind == 4 || kind == 5) stream.push_back(0x80000001);  // a word left over
  return stream;
}

TEST(ScrollFile, FailedAllocationsGiveZeroOrNull) {
  Scroll s(6, 40, 2);
  Lines lines = kvtest::ScrollLines(s.strip, 2);
  const std::vector<DWORD> all = Join(lines, 0, lines.size());
  const CString copy = s.dir.File("copy.ksc");
  ForEachFailingAllocation([&] {
    CKvScrollFileWrite writer;
    if (writer.OpenFile(copy.GetString(), 2, 0, 40, 6))
      for (auto& line : lines) writer.AppendDataLine(line.data());
    return true;
  });
  ForEachFailingAllocation([&] {
    CKvScrollFileRead reader;
    if (!reader.OpenFile(s.path.GetString())) return true;
    BYTE* got = reader.GetSpecialFrame(0, 40);
    return !got || Holds(got, all);
  });
}

TEST(ScrollFile, EachRefusalNamesItsReason) {
  kvtest::TempDir dir;
  const Bytes valid = kvtest::LayOutScrollFile(0, 4, {{1, 2, 3, 4}, {5, 5, 5, 5}});
  auto with = [&valid](std::size_t at, DWORD value) {
    Bytes b = valid;
    kvtest::PutScrollWord(b, at, value);
    return b;
  };
  Bytes longer = valid;
  longer.insert(longer.end(), 4, 0);
  const std::string size = std::to_string(valid.size());
  // clang-format off
  kvtest::ExpectReasons({
      {"magic", with(0, 0x43535654), "not a scroll file (magic)"},
      {"version", with(4, 2), "scroll file version 2 is not supported"},
      {"direction", with(8, 4), "scroll direction 4 (0 to 3)"},
      {"depth", with(12, 24), "scroll pixel depth 24 is not supported"},
      {"constant", with(24, 0), "scroll header is damaged"},
      {"reserved", with(28, 1), "scroll header is damaged"},
      {"no lines", with(16, 0), "line count 0"},
      {"no width", with(20, 0), "line width 0"},
      {"2^30 lines", with(16, 1u << 30), "scroll of 1,073,741,824 lines of 4 pixels is too large"},
      {"short header", kvtest::Cut(valid, 20), "truncated: 20 of 32 bytes"},
      {"table one entry too long", with(16, DWORD(valid.size() - 32) / 4 + 1),
       "truncated: " + size + " of " + std::to_string(valid.size() + 4) + " bytes"},
      {"odd size", with(32, 6), "line 0 has 6 bytes, not whole words"},
      {"longer file", longer, "line sizes add up to " + size + " bytes, the file holds " + std::to_string(longer.size())},
  }, [&](Bytes f) { CKvScrollFileRead reader; return reader.OpenFile(dir.Write("s.ksc", f)) == 0; });
  // clang-format on
}

// A check expands every line strictly and names the first that is not whole, where the players
// show it transparent.
TEST(ScrollFile, CheckNamesTheFirstLineThatIsNotWhole) {
  kvtest::TempDir dir;
  // What a check of the file says: 1, 0, or -1 when the file does not even open.
  const auto check = [&](const Bytes& file) {
    CKvScrollFileRead reader;
    return reader.OpenFile(dir.Write("s.ksc", file)) ? reader.CheckLines() : -1;
  };
  const Lines lines = kvtest::ScrollLines(kvtest::MakeScrollStrip(12, 5), KV_SCROLL_UP);
  // clang-format off
  const std::string reasons[kDamages] = {
      "line 2 is missing", "line 2 expands to more than 12 pixels", "line 2 expands to 11 of 12 pixels",
      "line 2 holds a packet that no compressor writes, after 0 of 12 pixels",
      "line 2 expands to 12 pixels with 1 word left over", "line 2 has 100 bytes, more than a line of 12 pixels can"};
  // clang-format on
  std::vector<kvtest::Refusal> rows;
  for (int kind = 0; kind < kDamages; ++kind) {
    auto streams = kvtest::CompressScrollLines(lines);
    streams[2] = DamagedStream(kind, lines[2]);
    streams[4] = {};  // a second, later damage is not the one told
    rows.push_back({reasons[kind].c_str(), kvtest::LayOutScrollStreams(KV_SCROLL_UP, 12, streams),
                    reasons[kind]});
  }
  kvtest::ExpectReasons(rows, [&](Bytes f) { return check(f) == 0; });
  // Sound lines, one-pixel literals among them, pass; lines beyond a batch are read too.
  for (const auto& [width, height] : {std::pair{12, 5}, std::pair{2000, 600}}) {
    const Lines sound = kvtest::ScrollLines(kvtest::MakeScrollStrip(width, height), KV_SCROLL_UP);
    auto streams = kvtest::CompressScrollLines(sound);
    if (width == 12)
      for (int i = 0; i < height; ++i) streams[i] = DamagedStream(kDamages, sound[i]);
    EXPECT_EQ(check(kvtest::LayOutScrollStreams(KV_SCROLL_UP, DWORD(width), streams)), 1) << width;
    streams.back().push_back(0x80000001);
    EXPECT_EQ(check(kvtest::LayOutScrollStreams(KV_SCROLL_UP, DWORD(width), streams)), 0) << width;
    // The last line is the one told (one-pixel literals and a word over: too long to hold).
    EXPECT_TRUE(KvLastFailure().starts_with("line " + KvGroupDigits(ULONGLONG(height - 1)) + " "))
        << KvLastFailure();
  }
}

// ---------------------------------------------------------------------------------------
// Players, on the SD raster (720 x 576) unless a test says otherwise.

class ScrollPlayer : public testing::Test {
 protected:
  void SetUp() override { CKvVideoStd::SetHD(FALSE); }
  void TearDown() override {
    CKvVideoStd::SetHD(TRUE);
    CKvModuleSetting::Set2DEnvironment(FALSE);
  }
};

bool IsRoll(DWORD dir) { return dir <= 1; }

CRect Window(DWORD dir, long long n, long long lines, int fw, int fh) {
  const int i = int(n), l = int(lines);
  const CRect windows[] = {{0, i - fh, fw, i},
                           {0, l - i, fw, l - i + fh},
                           {i - fw, 0, i, fh},
                           {l - i, 0, l - i + fw, fh}};
  return windows[dir];
}

// The window `w` cut from the strip, rows top to bottom.
std::vector<DWORD> Cut(const ScrollStrip& strip, const CRect& w) {
  std::vector<DWORD> out;
  for (int y = w.top; y < w.bottom; ++y)
    for (int x = w.left; x < w.right; ++x) out.push_back(strip.At(x, y));
  return out;
}

// A player of a strip of `count` lines of `width` pixels, with its frame buffer. Show checks
// each frame against the strip, and a streamed one's update rectangle.
struct Stream {
  DWORD dir;
  int lines;
  int inMemory;
  Scroll scroll;
  CKvPlayScrollFile player;
  int fw = 0, fh = 0;
  std::vector<DWORD> frame;
  SKvScrollBuffer buffer;
  long long shown = -1;  // n of the last frame; -1: the next one starts afresh
  // In the suite's 2D environment the caller scribbles over its buffer between frames that
  // move, and the frame copy must undo that.
  bool scribble = CKvModuleSetting::Is2DEnvion();

  Stream(DWORD d, int width, int count, int mem = FALSE)
      : dir(d),
        lines(count),
        inMemory(mem),
        scroll(IsRoll(d) ? width : count, IsRoll(d) ? count : width, d) {
    EXPECT_TRUE(player.Open(scroll.path, inMemory));
    CRect primal;
    player.GetPrimalRect(primal);
    fw = primal.Width(), fh = primal.Height();
    frame.assign(std::size_t(fw) * fh, 0xA5A5A5A5);
    buffer.pFrame = frame.data();
  }
  // Opens the player again on the file as it now is, the strip's lines lo..hi-1 transparent.
  void Reopen(int lo, int hi) {
    for (int line = lo; line < hi; ++line)
      for (int j = 0; j < Length(); ++j)
        scroll.strip.pixels[IsRoll(dir) ? std::size_t(line) * fw + j
                                        : std::size_t(j) * scroll.strip.width + line] = 0;
    ASSERT_TRUE(player.Open(scroll.path, inMemory));
    shown = -1;
  }
  int Extent() const { return IsRoll(dir) ? fh : fw; }
  int Length() const { return IsRoll(dir) ? fw : fh; }
  // The ring read from its first slot on against the window cut from the strip (without
  // allocating, for the failed-allocation tests).
  testing::AssertionResult RingHoldsWindow(const CRect& w) const {
    const CPoint ring = player.GetRingPoint();
    const int first = Mod((IsRoll(dir) ? ring.y : ring.x) + int(dir % 2), Extent());
    for (int i = 0; i < Extent(); ++i)
      for (int j = 0; j < Length(); ++j) {
        const DWORD want =
            IsRoll(dir) ? scroll.strip.At(j, w.top + i) : scroll.strip.At(w.left + i, j);
        const std::size_t slot = std::size_t(Mod(first + i, Extent()));  // buffer row or column
        if (frame[IsRoll(dir) ? slot * fw + j : std::size_t(j) * fw + slot] != want)
          return testing::AssertionFailure()
                 << "window line " << i << " pixel " << j << " is wrong";
      }
    return testing::AssertionSuccess();
  }
  // Plays `position`, which should show n lines.
  void Show(float position, long long n) {
    SCOPED_TRACE("position " + std::to_string(position) + ", n " + std::to_string(n));
    if (scribble && n != shown) std::fill(frame.begin(), frame.end(), 0xDEADBEEF);
    ASSERT_TRUE(player.GetOneFrame(position, &buffer));
    const CRect w = Window(dir, n, lines, fw, fh), u = buffer.rcUpdate;
    EXPECT_EQ(buffer.rcSource, w);
    if (inMemory) {
      EXPECT_EQ(frame, Cut(scroll.strip, w));
      return;
    }
    // The whole ring is checked, scribbles and all, so the update need only be the band.
    ASSERT_TRUE(RingHoldsWindow(w));
    const long long k = shown < 0 ? Extent() : std::llabs(n - shown);
    shown = n;
    if (k >= Extent()) {  // built afresh, in plain order
      EXPECT_EQ(u, CRect(0, 0, fw, fh));
      EXPECT_EQ(frame, Cut(scroll.strip, w));
      return;
    }
    // Exactly k whole rows (columns).
    const CRect band =
        IsRoll(dir) ? CRect(0, u.top, fw, u.top + int(k)) : CRect(u.left, 0, u.left + int(k), fh);
    EXPECT_TRUE(k ? u == band : u.IsRectEmpty())
        << "a step of " << k << " updated " << testing::PrintToString(u);
  }
  // Shows the frames of n lines for each n in turn.
  void ShowEach(const std::vector<long long>& ns) {
    for (long long n : ns) {
      Show(float(n) / float(lines), n);
      if (testing::Test::HasFatalFailure()) return;
    }
  }
};

// Each frame row against its strip row mixed with the neighbour (below for direction 0,
// above for 1) by f, both transparent off the strip; channels within 1.
testing::AssertionResult MixedRows(const Stream& st, const CRect& w, double f) {
  for (int y = 0, r = w.top; y < st.fh; ++y, ++r)
    for (int x = 0; x < st.fw; ++x) {
      const DWORD a = st.scroll.strip.At(x, r), b = st.scroll.strip.At(x, st.dir ? r - 1 : r + 1);
      const DWORD got = st.frame[std::size_t(y) * st.fw + x];
      for (int c = 0; c < 32; c += 8) {
        const double want = ((a >> c) & 255) * (1 - f) + ((b >> c) & 255) * f;
        if (std::abs(double((got >> c) & 255) - want) > 1)
          return testing::AssertionFailure() << "row " << y << " (strip row " << r << "), x " << x
                                             << ": " << ((got >> c) & 255) << ", expected " << want;
      }
    }
  return testing::AssertionSuccess();
}

// While the strip enters (n up to 10), the row beyond its leading row shows that row by the
// fraction.
TEST_F(ScrollPlayer, MemoryRollsInterpolateBetweenRowsAndFadeTheEnteringRowIn) {
  for (DWORD dir = 0; dir < 2; ++dir) {
    Stream st(dir, 37, 700, TRUE);  // rows of 148 bytes: only some are 16-byte aligned
    for (long long n : {0, 1, 10, 576, 577, 578, 579, 640, 698, 699})
      for (double f : {0.25, 0.5, 0.75}) {
        ASSERT_TRUE(st.player.GetOneFrame(float((n + f) / 700), &st.buffer));
        EXPECT_TRUE(MixedRows(st, Window(dir, n, 700, st.fw, st.fh), f))
            << "direction " << dir << " at " << n + f;
      }
  }
}

// First frames, each built afresh: nothing yet, the end, the render position (the first full
// window), clamped, whole lines, and for crawls (which move by whole pixels) a fraction short
// of the next line. Then steps just short of a frame and of exactly a frame, and damaged
// lines, and the lines a writer closed early never wrote, entering and leaving the window:
// they show transparent, every other line as it is. Odd directions play in the 2D
// environment.
TEST_F(ScrollPlayer, FramesAtChosenPositionsAndDamagedAndMissingLinesPlayTransparent) {
  for (int mem = 0; mem < 2; ++mem)
    for (DWORD dir = 0; dir < 4; ++dir) {
      SCOPED_TRACE(std::to_string(dir) + (mem ? " in memory" : " streaming"));
      CKvModuleSetting::Set2DEnvironment(dir % 2);
      Stream st(dir, 12, 1500, mem);
      std::vector<std::pair<float, long long>> cases = {
          {0.0f, 0}, {1.0f, 1500}, {-1.0f, st.Extent()}, {1.5f, 1500}};
      for (long long n : {1, 575, 576, 577, 719, 720, 721, 1499})
        cases.push_back({float((n + (IsRoll(dir) ? 0 : 0.3)) / 1500), n});
      for (auto [position, n] : cases) {
        std::fill(st.frame.begin(), st.frame.end(), 0xA5A5A5A5);
        st.player.SetAsyncPosPoint(position);  // starts afresh too
        st.shown = -1;
        st.Show(position, n);
      }
      // Past the end is the end: the same motion from the same anchor.
      st.player.SetAsyncPosPoint(0.5f);
      ASSERT_TRUE(st.player.GetOneFrame(1.0f, &st.buffer));
      const float atEnd = st.buffer.fMotion;
      ASSERT_TRUE(st.player.GetOneFrame(1.5f, &st.buffer));
      EXPECT_EQ(st.buffer.fMotion, atEnd);
      st.shown = -1;
      const long long e = st.Extent();
      st.ShowEach({700, 700 + e - 1, 699, 699 + e, 699, 699});
      const Lines lines = kvtest::ScrollLines(st.scroll.strip, dir);
      auto streams = kvtest::CompressScrollLines(lines);
      for (int kind = 0; kind <= kDamages; ++kind)
        streams[700 + kind] = DamagedStream(kind, lines[700 + kind]);
      st.scroll.dir.Write("s.ksc", kvtest::LayOutScrollStreams(dir, 12, streams));
      st.Reopen(700, 700 + kDamages);
      Lines shown = kvtest::ScrollLines(st.scroll.strip, dir);
      {  // the reader gives them transparent too, in a run and one at a time
        CKvScrollFileRead reader;
        ASSERT_TRUE(reader.OpenFile(st.scroll.path));  // the table itself adds up
        EXPECT_TRUE(Holds(reader.GetSpecialFrame(698, 709), Join(shown, 698, 709)));
        for (DWORD i = 699; i < 708; ++i)
          EXPECT_TRUE(Holds(reader.GetSpecialFrame(i, i + 1), shown[i])) << i;
      }
      st.ShowEach({650, 697, 699, 702, 703, 707, 712, 1100, 1096, 1095, 1500, 1300, 1298, 705});
      // The same strip (those lines now written transparent) with the writer closed after
      // 1000 lines.
      {
        CKvScrollFileWrite writer;
        ASSERT_TRUE(writer.OpenFile(st.scroll.path, dir, 0, 1500, 12));
        for (int i = 0; i < 1000; ++i) ASSERT_TRUE(writer.AppendDataLine(shown[i].data()));
      }
      st.Reopen(1000, 1500);
      st.ShowEach({900, 998, 1001, 1005, 1500, 1400, 999, 995, 300, 1003});
    }
  // A strip shorter than the raster gives a frame as long as the strip.
  for (DWORD dir : {0u, 3u}) {
    Stream st(dir, 30, 100);
    EXPECT_EQ(CRect(0, 0, st.fw, st.fh), dir ? CRect(0, 0, 100, 30) : CRect(0, 0, 30, 100));
    st.Show(1.0f, 100);
  }
}

// A crawl of one long line (a run: a 44-byte file) is decoded in buffers of that line's size,
// not in batches of sixteen lines; a buffer that cannot be had gives 0, not an exception.
TEST_F(ScrollPlayer, OneLongLineNeedsBuffersOfItsOwnSize) {
  const DWORD colour = 0xFF336699;
  kvtest::TempDir dir;
  // Allocations of 64 MiB and more fail: room for the 2^20-pixel line, not the 2^28-pixel one,
  // which the picture limit allows.
  for (int bits : {20, 28})
    for (int mem = 0; mem < 2; ++mem) {
      SCOPED_TRACE(std::to_string(bits) + (mem ? " in memory" : " streaming"));
      const DWORD length = DWORD{1} << bits;
      const CString path = dir.Write(
          "long.ksc",
          kvtest::LayOutScrollStreams(KV_SCROLL_LEFT, length, {{0x40000000u | length, colour}}));
      // Mapped, the 1 GiB frame costs nothing until it is written (calloc may clear it).
      const std::size_t frameBytes = std::size_t{4} * length;
      auto* frame = static_cast<DWORD*>(::mmap(nullptr, frameBytes, PROT_READ | PROT_WRITE,
                                               MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
      ASSERT_NE(frame, MAP_FAILED);
      SKvScrollBuffer buffer;
      buffer.pFrame = frame;
      CKvPlayScrollFile player;
      int opened = 0, played = 0;
      {
        const auto faults = kvtest::FailingAllocations::AtLeast(std::size_t{1} << 26);
        opened = player.Open(path, mem);
        if (opened) played = player.GetOneFrame(1.0f, &buffer);
      }
      EXPECT_EQ(std::pair(opened, played),
                bits == 20 ? std::pair(1, 1) : std::pair(mem ? 0 : 1, 0));
      EXPECT_TRUE(!played || std::count(frame, frame + length, colour) == std::ptrdiff_t(length));
      ::munmap(frame, frameBytes);
    }
}

// Opening, streaming (a whole frame, steps both ways, a jump), playing from memory between
// lines and at the strip's start, field frames, and the one-shot frame, with each allocation
// failing in turn: every call either fails with 0 (or null) or gives the right frame.
TEST_F(ScrollPlayer, EveryFailedAllocationGivesZero) {
  const std::vector<float> positions = {0.9f, 0.903f, 0.5f, 0.497f, 0.6331f, 0.0047f, 0.0f, 1.0f};
  for (int mem = 0; mem < 2; ++mem)
    for (DWORD dir = 0; dir < 4; ++dir) {
      SCOPED_TRACE(std::to_string(dir) + (mem ? " in memory" : " streaming"));
      Stream st(dir, 8, 700, mem);
      // Frames at each position, then fields; those from memory and the fields are compared
      // with those of a player that had all it asked for.
      const std::size_t count = positions.size();
      const auto play = [&](std::size_t i) {
        return i < count
                   ? st.player.GetOneFrame(positions[i], &st.buffer)
                   : st.player.GetFieldFrame(positions[i - count], 0.01f, dir % 2, &st.buffer);
      };
      std::vector<std::vector<DWORD>> reference;
      for (std::size_t i = 0; i < 2 * count; ++i) {
        ASSERT_TRUE(play(i));
        reference.push_back(st.frame);
      }
      // The path is copied before each try, outside the failures.
      CString path;
      const auto copyPath = [&] { path = st.scroll.path; };
      ForEachFailingAllocation(
          [&] {
            if (!st.player.Open(std::move(path), mem)) return true;
            for (std::size_t i = 0; i < 2 * count; ++i)
              if (play(i) && (mem || i >= count ? st.frame != reference[i]
                                                : !st.RingHoldsWindow(st.buffer.rcSource)))
                return false;
            return true;
          },
          copyPath);
      CRect rect;
      const std::vector<DWORD> half = Cut(st.scroll.strip, Window(dir, 350, 700, st.fw, st.fh));
      ForEachFailingAllocation(
          [&] {
            KvGlobalPtr frame(KvScrollGetFrame(std::move(path), rect, 0.5f, mem));
            return !frame ||
                   (rect == CRect(0, 0, st.fw, st.fh) &&
                    std::equal(half.begin(), half.end(), static_cast<DWORD*>(frame.get())));
          },
          copyPath);
    }
}

TEST_F(ScrollPlayer, FileHelpersAndCategories) {
  for (auto [name, category] :
       {std::pair{L"/x/a.KSC", SCROLL_FILE}, {L"a.KSU", SCROLL_PAINTER}, {L"a.ks", SCROLL_UNKNOWN}})
    EXPECT_EQ(CKvPlayScrollBase::GetScrollCategory(name), category);
  // A painter scroll opens whatever its content, and gives no frame here.
  kvtest::TempDir dir;
  CRect rect(1, 1, 2, 2);
  EXPECT_EQ(KvScrollGetFrame(dir.Write("p.KSU", Bytes{1}), rect, 0.5f, FALSE), nullptr);
  EXPECT_TRUE(rect.IsRectEmpty());
}

// ---------------------------------------------------------------------------------------
// Field frames for interlaced play-out.

// Rows of `frame` (w wide) of one parity.
std::vector<DWORD> FieldRows(const std::vector<DWORD>& frame, int w, int parity) {
  std::vector<DWORD> rows;
  for (std::size_t y = std::size_t(parity); y * w < frame.size(); y += 2)
    rows.insert(rows.end(), frame.begin() + y * w, frame.begin() + (y + 1) * w);
  return rows;
}

// Each field equals the same rows of a whole frame at its own position, in a run of steps
// both ways, at sub-line positions, off the strip's ends, with fields more than a frame apart
// and at the render position. Streamed, the frame is in plain order and the whole of it
// counts as updated; a whole frame between field frames starts afresh.
TEST_F(ScrollPlayer, EachFieldIsTheSameRowsOfAWholeFrameAtItsPosition) {
  const std::vector<std::pair<float, float>> steps = {
      {0.3f, 0.004f}, {0.304f, 0.004f}, {0.3073f, 0.0031f}, {0.3033f, -0.004f}, {0.05f, 1.9f},
      {0.2f, 0.004f}, {0.0f, 0.01f},    {1.0f, 0.01f},      {0.99f, 0.02f},     {-1.0f, 0.004f}};
  for (DWORD dir : {0u, 3u})
    for (int bff = 0; bff < 2; ++bff)
      for (int mem = 0; mem < 2; ++mem) {
        SCOPED_TRACE(std::to_string(dir) + (bff ? " bff" : " tff") + (mem ? " memory" : " file"));
        Stream st(dir, 12, 1500, mem), whole(dir, 12, 1500, mem);
        const auto frameAt = [&](float position) {
          whole.player.InitExtData();  // afresh: plain order
          EXPECT_TRUE(whole.player.GetOneFrame(position, &whole.buffer));
          return whole.frame;
        };
        ASSERT_TRUE(st.player.GetOneFrame(0.3f, &st.buffer));  // a ring that fields replace
        for (auto [position, step] : steps) {
          SCOPED_TRACE(testing::PrintToString(std::pair(position, step)));
          ASSERT_TRUE(st.player.GetFieldFrame(position, step, bff, &st.buffer));
          const float at =
              position < 0 ? float(st.Extent()) / 1500 : std::clamp(position, 0.f, 1.f);
          const std::vector<DWORD> first = frameAt(position);
          EXPECT_EQ(st.buffer.rcSource, whole.buffer.rcSource);
          EXPECT_EQ(FieldRows(st.frame, st.fw, bff), FieldRows(first, st.fw, bff));
          EXPECT_EQ(FieldRows(st.frame, st.fw, 1 - bff),
                    FieldRows(frameAt(at + step / 2), st.fw, 1 - bff));
          if (!mem) {
            EXPECT_EQ(st.buffer.rcUpdate, CRect(0, 0, st.fw, st.fh));
            EXPECT_EQ(st.player.GetRingPoint(), whole.player.GetRingPoint());
          }
        }
        ASSERT_TRUE(st.player.GetOneFrame(0.3f, &st.buffer));
        EXPECT_EQ(st.frame, frameAt(0.3f));
      }
}

}  // namespace
