// Run-length coding of lines of 32-bit pixels, as stored in scroll files.
//
// The stream is a sequence of self-delimiting packets, so lines compressed one by one and
// laid back to back decompress in one call into the lines one after the other.
#pragma once

#include <cstddef>
#include <span>

#include "platform/Types.h"

// Words of output room that KvRLECompress may need for `count` words of input: 6 words for
// every started group of 4 pixels.
constexpr std::size_t KvRLEWorstCaseWords(std::size_t count) { return 6 * ((count + 3) / 4); }

// Compresses `count` words from `src` into `dst`, which must hold
// KvRLEWorstCaseWords(count) words. Returns the number of words written. The last argument
// is reserved; callers pass 0.
KV_HOST_API DWORD KvRLECompress(DWORD* src, DWORD count, DWORD* dst, int reserved);

// Expands the stream at `src` into exactly `count` words at `dst` and returns the number of
// words written. It never writes past `count` words, but trusts the stream to hold them:
// use the bounded form below for data whose length is known.
KV_HOST_API DWORD KvRLEDecompress(DWORD* src, DWORD* dst, DWORD count);

enum class KvRLEStatus {
  Ok,               // dst filled exactly, the last packet ending at its end
  SourceEnded,      // src ran out before dst was filled
  DestinationFull,  // a packet promised more words than dst had room for (dst is filled)
  BadPacket,        // a packet header that no compressor writes
};

struct KvRLEDecodeResult {
  KvRLEStatus status;
  std::size_t written;  // words written to dst
  std::size_t read;     // words consumed from src
};

// Bounded expansion: reads only inside `src`, writes only inside `dst`, and says how far it
// got. Callers that need whole lines check status == Ok and read == src.size().
// `read` counts the words used. SourceEnded always has read == src.size(); the words of a
// literal cut short by the end of `src` are still written, a run header without its value
// writes nothing. DestinationFull counts the header and value of a cut run, or the header and
// the words copied of a cut literal. BadPacket leaves `read` at the bad header. An empty `dst`
// is Ok with nothing read.
KV_HOST_API KvRLEDecodeResult KvRLEDecompress(std::span<const DWORD> src, std::span<DWORD> dst);
