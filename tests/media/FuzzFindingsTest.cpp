// Inputs the fuzzers found, kept so that the faults they showed stay mended. Each must give
// a clean result, quickly.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "picture/TgaCodec.h"
#include "platform/GlobalMemory.h"

namespace {

DWORD* DecodeTgaBytes(std::vector<BYTE> bytes, CRect& rect) {
  CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
  return KvDecodeTga(file, rect);
}

}  // namespace

TEST(FuzzFindings, TgaInputsDecodeCleanly) {
  // Run-length colour-mapped picture whose colour map is declared empty but starts at entry
  // 65280: the map must not be read (or indexed) at all. 252 x 3 pixels, all black.
  const std::vector<BYTE> emptyMapFarAway = {
      0x00, 0x01, 0x09, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x18, 0x08, 0xFF, 0xFC, 0x00,
      0x03, 0x00, 0x08, 0x20, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40,
      0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40, 0x40,
      0x40, 0x40, 0x82, 0x00, 0x82, 0x01, 0x82, 0x02, 0x82, 0x83, 0x83, 0x83, 0x83, 0x83,
      0x83, 0x83, 0x40, 0x40, 0x40, 0x40, 0x82, 0x00, 0x82, 0x01, 0x82, 0x02, 0x82, 0x79,
      0x83, 0x83, 0x83, 0x83, 0x83, 0x83, 0x83, 0x83, 0x04};

  const auto start = std::chrono::steady_clock::now();
  CRect rect(-1, -1, -1, -1);
  KvGlobalPtr picture(DecodeTgaBytes(emptyMapFarAway, rect));
  if (picture) {
    ASSERT_EQ(rect.Size(), CSize(252, 3));
    const auto* px = static_cast<const DWORD*>(picture.get());
    for (int i = 0; i < 252 * 3; ++i) ASSERT_EQ(px[i], 0xFF000000u) << i;
  } else {
    EXPECT_EQ(rect, CRect(-1, -1, -1, -1));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}
