// Run-length packets of 32-bit words. Every packet starts with a header word: the top two bits
// give the kind, the low 30 bits the number of words the packet expands to (never 0).
//   00 literal   the words follow as they are
//   01 run       one value word follows, repeated
//   10 zero run  nothing follows: titles are mostly fully transparent pixels, so the commonest
//                run costs a single word
//   11           never written; the decoders stop on it, as on a count of 0
//
// Why count + 1 is the worst case (for fewer than 2^30 words): a run packet of r words costs at
// most r - 1 words (2 for r >= 3, 1 for a zero run of r >= 2), a literal of l words costs l + 1,
// and literals are maximal, so there is at most one more literal than there are runs. Each
// literal header beyond the first is paid for by the word its run saved. Only lines of 2^30
// words and more need extra headers for split packets, far inside KvRLEWorstCaseWords.
#include "host/LineCodec.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kLiteral = 0;
constexpr DWORD kRun = 1;
constexpr DWORD kZeroRun = 2;
constexpr DWORD kBad = 3;
constexpr DWORD kMaxCount = (DWORD{1} << 30) - 1;

// Shortest runs worth a packet. Inside a literal, a run also costs the header of the literal
// after it, so these lengths break even there and win at either end of a literal.
constexpr std::size_t kMinRun = 3;
constexpr std::size_t kMinZeroRun = 2;

constexpr DWORD Header(DWORD kind, std::size_t count) {
  return kind << 30 | static_cast<DWORD>(count);
}

DWORD* PutLiteral(const DWORD* src, std::size_t n, DWORD* out) {
  while (n > 0) {
    const std::size_t k = std::min<std::size_t>(n, kMaxCount);
    *out++ = Header(kLiteral, k);
    std::memcpy(out, src, k * sizeof(DWORD));
    out += k;
    src += k;
    n -= k;
  }
  return out;
}

DWORD* PutRun(DWORD value, std::size_t n, DWORD* out) {
  while (n > 0) {
    const std::size_t k = std::min<std::size_t>(n, kMaxCount);
    if (value == 0) {
      *out++ = Header(kZeroRun, k);
    } else {
      *out++ = Header(kRun, k);
      *out++ = value;
    }
    n -= k;
  }
  return out;
}

}  // namespace

DWORD KvRLECompress(DWORD* src, DWORD count, DWORD* dst, int /*reserved*/) {
  const DWORD* const end = src + count;
  const DWORD* literal = src;  // start of the words not yet written
  const DWORD* p = src;
  DWORD* out = dst;
  // One pass: every word is compared once with the one before it; literals are copied when
  // the run that ends them (or the end of the line) is found.
  while (p < end) {
    const DWORD v = *p;
    const DWORD* q = p + 1;
    while (q < end && *q == v) ++q;
    const std::size_t n = static_cast<std::size_t>(q - p);
    if (n >= (v == 0 ? kMinZeroRun : kMinRun)) {
      out = PutLiteral(literal, static_cast<std::size_t>(p - literal), out);
      out = PutRun(v, n, out);
      literal = q;
    }
    p = q;
  }
  out = PutLiteral(literal, static_cast<std::size_t>(end - literal), out);
  return static_cast<DWORD>(out - dst);
}

DWORD KvRLEDecompress(DWORD* src, DWORD* dst, DWORD count) {
  const DWORD* in = src;
  DWORD written = 0;
  while (written < count) {
    const DWORD header = *in++;
    const DWORD kind = header >> 30;
    // A packet that promises more than the room left is cut; nothing after it is read.
    const DWORD n = std::min(header & kMaxCount, count - written);
    if (n == 0 || kind == kBad) break;
    DWORD* out = dst + written;
    if (kind == kZeroRun) {
      std::fill_n(out, n, DWORD{0});
    } else if (kind == kRun) {
      std::fill_n(out, n, *in++);
    } else {
      std::memcpy(out, in, n * sizeof(DWORD));
      in += n;
    }
    written += n;
  }
  return written;
}

KvRLEDecodeResult KvRLEDecompress(std::span<const DWORD> src, std::span<DWORD> dst) {
  const std::size_t srcSize = src.size();
  const std::size_t dstSize = dst.size();
  std::size_t r = 0;
  std::size_t w = 0;
  while (w < dstSize) {
    if (r == srcSize) return {KvRLEStatus::SourceEnded, w, r};
    const DWORD header = src[r];
    const DWORD kind = header >> 30;
    const std::size_t n = header & kMaxCount;
    if (n == 0 || kind == kBad) return {KvRLEStatus::BadPacket, w, r};
    ++r;
    const std::size_t take = std::min(n, dstSize - w);
    DWORD* out = dst.data() + w;
    if (kind == kZeroRun) {
      std::fill_n(out, take, DWORD{0});
    } else if (kind == kRun) {
      if (r == srcSize) return {KvRLEStatus::SourceEnded, w, r};
      std::fill_n(out, take, src[r++]);
    } else {
      const std::size_t avail = srcSize - r;
      if (avail < take) {
        // Keep what survived of a cut literal: a damaged line then shows as far as it goes.
        std::memcpy(out, src.data() + r, avail * sizeof(DWORD));
        return {KvRLEStatus::SourceEnded, w + avail, srcSize};
      }
      std::memcpy(out, src.data() + r, take * sizeof(DWORD));
      r += take;
    }
    w += take;
    if (n > take) return {KvRLEStatus::DestinationFull, w, r};
  }
  return {KvRLEStatus::Ok, w, r};
}
