// The motion-movie file: a header, a locator, frame chunks of pixel patches, a frame index
// and an info block. The writer always writes version 2; the reader reads versions 0 to 2.
//
// Version 2, in order: header (66 bytes) at 0, locator (24) at 66, frame chunks from 90,
// the index (12 bytes a frame), the info block (80) last. The reader finds index and info
// through the locator. All numbers little-endian.
#pragma once

#include <array>
#include <span>

#include "KvMediaFile/KvMovie.h"

// Sizes of the records inside frame chunks.
constexpr std::size_t kKvMotionFrameHeaderSize = 20;
constexpr std::size_t kKvMotionPatchHeaderSize = 16;
// A frame chunk holds at most this many patches (its table size is 16 bits).
constexpr int kKvMotionMaxPatches = 6553;
constexpr std::size_t KvMotionIndexEntrySize(WORD version) { return version == 2 ? 12 : 8; }
constexpr std::size_t KvMotionPatchEntrySize(WORD version) { return version == 2 ? 10 : 6; }

// "Solvane Movie File, Tarquell Solvane, Corp", a zero byte, and 21 zero bytes.
const std::array<BYTE, 64>& KvMotionSignature();
// The key-frame interval as files record it (and the maker keys on it): 10 to 30.
WORD KvClampKeyInterval(WORD interval);

// Patch i of a frame chunk as the chunk's patch table gives it: its offset from the chunk's
// start and its stored size. False when the entry lies beyond the chunk.
bool KvMotionPatchEntry(std::span<const BYTE> chunk, WORD version, int i, LONGLONG& offset,
                        WORD& size);
