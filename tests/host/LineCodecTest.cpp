#include "host/LineCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Words = std::vector<DWORD>;

// Packet headers, written by hand for the hostile streams.
constexpr DWORD LitOf(DWORD n) { return n; }
constexpr DWORD RunOf(DWORD n) { return 1u << 30 | n; }
constexpr DWORD ZeroOf(DWORD n) { return 2u << 30 | n; }
constexpr DWORD BadOf(DWORD n) { return 3u << 30 | n; }

constexpr DWORD kGuard = 0xDEADBEEF;
constexpr std::size_t kGuards = 8;

// Compresses into a worst-case buffer followed by guard words, checking the bound and guards.
Words Compress(Words line) {
  const std::size_t worst = KvRLEWorstCaseWords(line.size());
  Words out(worst + kGuards, kGuard);
  const DWORD n = KvRLECompress(line.data(), static_cast<DWORD>(line.size()), out.data(), 0);
  EXPECT_LE(n, std::min<std::size_t>(line.size() + 1, worst));
  EXPECT_EQ(Words(out.begin() + worst, out.end()), Words(kGuards, kGuard));
  out.resize(n);
  return out;
}

// A destination of `size` words between guard words.
struct Guarded {
  explicit Guarded(std::size_t size) : buf(size + 2 * kGuards, kGuard), size(size) {}
  std::span<DWORD> Span() { return {buf.data() + kGuards, size}; }
  // The destination starts with `want`, and nothing else was written.
  bool Holds(const Words& want) const {
    Words expected(kGuards, kGuard);
    expected.insert(expected.end(), want.begin(), want.end());
    expected.resize(buf.size(), kGuard);
    return buf == expected;
  }
  Words buf;
  std::size_t size;
};

// Both decoder forms expand the compressed line to exactly the line.
void ExpectRoundTrip(const Words& line) {
  SCOPED_TRACE(::testing::Message() << "width " << line.size());
  Words packed = Compress(line);
  Guarded plain(line.size()), bounded(line.size());
  EXPECT_EQ(KvRLEDecompress(packed.data(), plain.Span().data(), DWORD(line.size())), line.size());
  const KvRLEDecodeResult r = KvRLEDecompress(packed, bounded.Span());
  EXPECT_EQ(std::tuple(r.status, r.written, r.read),
            std::tuple(KvRLEStatus::Ok, line.size(), packed.size()));
  EXPECT_TRUE(plain.Holds(line) && bounded.Holds(line));
}

Words Generate(std::size_t n, const std::function<DWORD(std::size_t)>& f) {
  Words w(n);
  for (std::size_t i = 0; i < n; ++i) w[i] = f(i);
  return w;
}

// Runs shrink to one packet. Every line of up to 8 words over {0, 1, 2}: all the ways short
// runs, zeros and literals meet.
TEST(LineCodec, RunsShrinkToOnePacketAndLinesOfEveryKindRoundTrip) {
  EXPECT_EQ(Compress(Words(1920, 0)), (Words{ZeroOf(1920)}));
  EXPECT_EQ(Compress(Words(1920, 5)), (Words{RunOf(1920), 5}));
  EXPECT_EQ(Compress({7, 7, 0, 0, 9}), (Words{LitOf(2), 7, 7, ZeroOf(2), LitOf(1), 9}));
  for (std::size_t n = 1; n <= 8; ++n) {
    std::size_t lines = 1;
    for (std::size_t i = 0; i < n; ++i) lines *= 3;
    for (std::size_t code = 0; code < lines; ++code) {
      Words line(n);
      for (std::size_t i = 0, c = code; i < n; ++i, c /= 3) line[i] = static_cast<DWORD>(c % 3);
      ExpectRoundTrip(line);
      if (::testing::Test::HasFailure()) return;
    }
  }
  // Long lines of the patterns that cost the most, around 4096 words.
  std::mt19937 rng(11);
  const std::vector<std::function<DWORD(std::size_t)>> patterns = {
      [](std::size_t i) { return static_cast<DWORD>(i % 2 + 1); },           // 1 2 1 2
      [](std::size_t i) { return static_cast<DWORD>(i % 2); },               // 0 1 0 1
      [](std::size_t i) { return static_cast<DWORD>(i / 2 % 2 + 1); },       // 1 1 2 2
      [](std::size_t i) { return i % 3 == 2 ? 9u : 0u; },                    // 0 0 x
      [](std::size_t i) { return static_cast<DWORD>(i / 3 % 2 + 1); },       // runs of 3
      [](std::size_t i) { return i % 3 == 0 ? 0u : DWORD(i / 3 % 2 + 1); },  // 0 x x
      [](std::size_t i) { return static_cast<DWORD>(i / 2 % 5); },           // pairs, zero pairs
      [&](std::size_t) { return static_cast<DWORD>(rng() % 2); },
      [&](std::size_t) { return static_cast<DWORD>(rng()); },
  };
  for (std::size_t n : {4095, 4096, 4097})
    for (const auto& f : patterns) ExpectRoundTrip(Generate(n, f));
}

TEST(LineCodec, UnboundedFormCutsAtCountAndStopsOnBadPacket) {
  for (DWORD second : {RunOf(9), BadOf(2), LitOf(0), RunOf(0), ZeroOf(0)}) {
    Words stream = {ZeroOf(2), second, 5, 5};
    const bool good = second == RunOf(9);  // the run is cut at the count
    Guarded d(4);
    EXPECT_EQ(KvRLEDecompress(stream.data(), d.Span().data(), 4), good ? 4u : 2u);
    EXPECT_TRUE(d.Holds(good ? Words{0, 0, 5, 5} : Words{0, 0}));
  }
}

TEST(LineCodecBounded, HostileStreams) {
  using S = KvRLEStatus;
  const struct {
    Words src;
    std::size_t dstSize;
    KvRLEStatus status;
    std::size_t written, read;
    Words expected;  // the first `written` words of dst
  } cases[] = {
      {{}, 0, S::Ok, 0, 0, {}},
      {{ZeroOf(5)}, 0, S::Ok, 0, 0, {}},
      {{}, 3, S::SourceEnded, 0, 0, {}},
      {{ZeroOf(2), RunOf(3)}, 5, S::SourceEnded, 2, 2, {0, 0}},       // run without its value
      {{LitOf(4), 1, 2}, 4, S::SourceEnded, 2, 3, {1, 2}},            // literal cut short
      {{LitOf(4), 1, 2}, 1, S::DestinationFull, 1, 2, {1}},           // ... and too long anyway
      {{LitOf(4), 1, 2, 3, 4}, 2, S::DestinationFull, 2, 3, {1, 2}},  // promises more
      {{RunOf(5), 8}, 3, S::DestinationFull, 3, 2, {8, 8, 8}},
      {{ZeroOf(2), ZeroOf(3)}, 4, S::DestinationFull, 4, 2, {0, 0, 0, 0}},  // one word too many
      {{RunOf(2), 8}, 4, S::SourceEnded, 2, 2, {8, 8}},                     // promises fewer
      {{RunOf(2), 8, LitOf(1), 6, ZeroOf(3)}, 3, S::Ok, 3, 4, {8, 8, 6}},   // stops at a line's end
      {{RunOf(2), 8, BadOf(1), 6}, 3, S::BadPacket, 2, 2, {8, 8}},
      {{LitOf(1), 6, LitOf(0), 6}, 3, S::BadPacket, 1, 2, {6}},
      {{RunOf(0), 6}, 3, S::BadPacket, 0, 0, {}},
      {{ZeroOf(1), ZeroOf(0)}, 3, S::BadPacket, 1, 1, {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "case " << &c - cases);
    Guarded dst(c.dstSize);
    const KvRLEDecodeResult r = KvRLEDecompress(c.src, dst.Span());
    EXPECT_EQ(std::tuple(r.status, r.written, r.read), std::tuple(c.status, c.written, c.read));
    EXPECT_TRUE(dst.Holds(c.expected));
  }
}

}  // namespace
