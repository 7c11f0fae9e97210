// Inputs the fuzzers found, kept so that the faults they showed stay mended. Each must give
// a clean result, quickly.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "PictureChecks.h"
#include "PngWriter.h"
#include "TestSupport.h"
#include "picture/TgaCodec.h"
#include "platform/GlobalMemory.h"

namespace {

// True when `work` returns true in a child process within `limit`. A hang inside the image
// library cannot be stopped from within (and it holds the loader's lock), so the child is
// killed instead.
bool SucceedsWithin(std::chrono::milliseconds limit, const std::function<bool()>& work) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(work() ? 0 : 1);
  if (child < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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

  kvtest::ExpectQuick(std::chrono::seconds(1), [&] {
    const auto p = kvtest::DecodeInMemory([](CFile& f, CRect& r) { return KvDecodeTga(f, r); },
                                          emptyMapFarAway);
    if (p) {
      EXPECT_EQ(p->rect.Size(), CSize(252, 3));
      EXPECT_EQ(p->pixels, std::vector<DWORD>(252 * 3, 0xFF000000u));
    }
  });
}

TEST(FuzzFindings, PngWhoseChunkRunsPastTheEndIsRefusedAndFreesTheLoader) {
  // 1 x 1 palette picture whose tRNS chunk claims 4,259,841 bytes of a 96-byte file: the
  // image library read on past the end without stopping, holding the loader's lock.
  const std::vector<unsigned char> farTransparency = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
      0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x01, 0x03, 0x00, 0x00,
      0x00, 0x25, 0xDB, 0x56, 0xCA, 0x00, 0x00, 0x00, 0x03, 0x50, 0x4C, 0x54, 0x45, 0xFF,
      0x4D, 0x00, 0x5C, 0x35, 0x38, 0x7F, 0x00, 0x41, 0x00, 0x01, 0x74, 0x52, 0x4E, 0x53,
      0x00, 0x40, 0xE6, 0xD8, 0x66, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78,
      0x9C, 0x63, 0x62, 0x00, 0x00, 0x00, 0x06, 0x00, 0x03, 0x36, 0x37, 0x7C, 0xA8, 0x00,
      0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82, 0x0A};
  kvtest::TempDir dir;
  const CString bad = dir.File("bad.png"), good = dir.File("good.png");
  kvtest::WriteFileBytes(bad.ToUtf8(), farTransparency);
  ASSERT_TRUE(kvtest::WritePng(good.ToUtf8(),
                               {.width = 1, .height = 1, .colorType = 2, .samples = {1, 2, 3}}));

  KvMediaFileOpen();
  EXPECT_TRUE(SucceedsWithin(std::chrono::seconds(2), [&] {
    CRect rect(-1, -1, -1, -1);
    RECT info{};
    int bits = -1;
    const bool refused = !KvMediaLoadPNGFile(bad, rect) && !KvMediaLoadPicFile(bad, rect) &&
                         rect == CRect(-1, -1, -1, -1) && !KvMediaGetPicInfo(bad, &info, &bits) &&
                         bits == -1;
    KvGlobalPtr next(KvMediaLoadPNGFile(good, rect));  // the loader is free for the next file
    return refused && next && *static_cast<const DWORD*>(next.get()) == 0xFF010203u;
  }));
  KvMediaFileClose();
}
