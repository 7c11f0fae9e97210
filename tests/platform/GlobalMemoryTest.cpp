#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/GlobalMemory.h"

TEST(GlobalMemory, FixedBlocksAreTheirOwnAddressMovableOnesGoThroughLock) {
  HGLOBAL h = GlobalAlloc(GPTR, 1000);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalLock(h), h);
  EXPECT_EQ(GlobalSize(h), 1000u);
  const auto* fixed = static_cast<const BYTE*>(h);
  EXPECT_EQ(std::count(fixed, fixed + 1000, 0), 1000);  // zero-filled
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GlobalFree(h), nullptr);
  h = GlobalAlloc(GHND, 64);
  ASSERT_NE(h, nullptr);
  void* p = GlobalLock(h);
  ASSERT_NE(p, nullptr);
  EXPECT_NE(p, h);
  std::memset(p, 0xAB, 64);
  EXPECT_EQ(GlobalLock(h), p);  // nested locks return the same address
  EXPECT_EQ(GlobalFlags(h), 2u);
  EXPECT_TRUE(GlobalUnlock(h));
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_FALSE(GlobalUnlock(h));  // unlocking an unlocked block stays at 0
  EXPECT_EQ(GlobalSize(h), 64u);
  EXPECT_EQ(static_cast<BYTE*>(GlobalLock(h))[63], 0xAB);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr);
  // Null handles do nothing.
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(GlobalSize(nullptr), 0u);
  // Sizes no machine has fail instead of throwing or aborting.
  EXPECT_EQ(GlobalAlloc(GPTR, SIZE_MAX - 8), nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX / 2), nullptr);
  // Empty blocks exist and can be freed.
  HGLOBAL empty = GlobalAlloc(GHND, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(GlobalSize(empty), 0u);
  EXPECT_EQ(GlobalFree(empty), nullptr);
  // A large zero-filled block is cheap and really zero, and too large to be kept for reuse.
  KvGlobalPtr big(GlobalAlloc(GPTR, size_t{256} << 20));
  ASSERT_TRUE(big);
  EXPECT_EQ(static_cast<BYTE*>(big.get())[(size_t{256} << 20) - 1], 0);
}

// Large blocks may be kept and handed out again: a zero-filled one must still be all zero.
TEST(GlobalMemory, ReusedLargeBlocksAreClearedWhenAsked) {
  constexpr size_t kBytes = size_t{3} << 20;
  for (int round = 0; round < 3; ++round) {
    HGLOBAL dirty = GlobalAlloc(GMEM_FIXED, kBytes);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xAB, kBytes);
    EXPECT_EQ(GlobalFree(dirty), nullptr);
    KvGlobalPtr clean(GlobalAlloc(GPTR, kBytes));
    ASSERT_TRUE(clean);
    EXPECT_EQ(GlobalSize(clean.get()), kBytes);
    const auto* p = static_cast<const BYTE*>(clean.get());
    for (size_t i = 0; i < kBytes; i += 4093) ASSERT_EQ(p[i], 0) << i;
    EXPECT_EQ(p[kBytes - 1], 0);
  }
}
