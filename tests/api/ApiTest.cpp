// The installed library as its users meet it: this suite sees only the installed headers and
// links only the installed libraries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "KvMediaFile/KvMediaFile.h"

namespace {

namespace fs = std::filesystem;

class Api : public testing::Test {
 protected:
  Api() {
    char path[] = "/tmp/kv-api-XXXXXX";
    m_dir = mkdtemp(path) ? path : "";
  }
  ~Api() override { fs::remove_all(m_dir); }
  void SetUp() override {
    ASSERT_FALSE(m_dir.empty());
    KvMediaFileOpen();
  }
  void TearDown() override { KvMediaFileClose(); }

  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  CString File(const std::string& name) const { return CString::FromUtf8(Path(name)); }
  static std::string Text(const CString& s) { return s.ToUtf8(); }

  std::string m_dir;
};

// Every pixel of the odd-sized picture different, alpha varying.
std::vector<DWORD> Pattern(int w, int h) {
  std::vector<DWORD> px;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px.push_back(DWORD(64 + x) << 24 | DWORD(200 - 3 * y) << 16 | DWORD(40 + 2 * y) << 8 |
                   DWORD(5 * x));
  return px;
}

// Takes a loaded picture's pixels and frees it.
std::vector<DWORD> Take(DWORD* p, const CRect& rect) {
  std::vector<DWORD> out(p, p + (p ? rect.Width() * rect.Height() : 0));
  GlobalFree(p);
  return out;
}

// A picture saved and loaded back, a movie made from saved pictures, a scroll written and
// read back, a folder catalogued and a refusal's reason: each part of the API reached once
// through the installed library (what they do is the in-tree suites' work).
TEST_F(Api, PicturesMoviesScrollsCataloguesAndReasons) {
  std::vector<DWORD> picture = Pattern(24, 16);
  const CSize size(24, 16);
  for (const char* name : {"seq00.tga", "seq01.tga", "c.tga"})
    ASSERT_EQ(KvMediaSaveTGAFile(File(name), picture.data(), size, CRect(0, 0, 24, 16)), 1);
  CRect rect;
  EXPECT_EQ(Take(KvMediaLoadPicFile(File("c.tga"), rect), rect), picture)
      << Text(KvMediaGetLastFailure());
  EXPECT_EQ(rect, CRect(0, 0, 24, 16));
  const RECT place{0, 0, 24, 16};
  CKvMakeMovieMotion maker;
  ASSERT_EQ(
      maker.Sink(File("seq.tga"), 0, 1, 2, 0, {}, {}, 0, &place, File("seq.sve"), 25, nullptr), 1)
      << Text(KvMediaGetLastFailure());
  EXPECT_EQ(Take(KvMovieGetFrame(File("seq.sve"), rect, 0.75f), rect), picture);

  {
    CKvScrollFileWrite out;
    ASSERT_EQ(out.OpenFile(File("roll.ksc"), KV_SCROLL_UP, 0, 16, 24), 1);
    for (int i = 0; i < 16; ++i) ASSERT_EQ(out.AppendDataLine(&picture[24 * i]), 1);
  }
  CKvScrollFileRead in;
  ASSERT_EQ(in.OpenFile(File("roll.ksc")), 1);
  BYTE* lines = in.GetSpecialFrame(3, 9);
  ASSERT_NE(lines, nullptr);
  EXPECT_TRUE(std::equal(picture.begin() + 3 * 24, picture.begin() + 9 * 24,
                         reinterpret_cast<const DWORD*>(lines)));
  delete[] lines;

  CKvObList list;
  SKvFetchReport report;
  ASSERT_EQ(KvMediaFetchValidFileEx(&list, CString::FromUtf8(m_dir), File("PicMedia.pmf"), L"tga",
                                    {}, &report),
            1);
  EXPECT_EQ(std::tuple(list.GetCount(), report.added, report.catalogStored),
            std::tuple(3, 3, true));

  fs::resize_file(Path("c.tga"), 100);
  EXPECT_EQ(KvMediaLoadPicFile(File("c.tga"), rect), nullptr);
  EXPECT_EQ(Text(KvMediaGetLastFailure()).rfind("truncated", 0), 0u)
      << Text(KvMediaGetLastFailure());
}

// Each library's dynamic symbols are its API and what the other libraries and the tools call,
// nothing more: compared with the list kept beside its headers, which says why each group is
// there.
TEST(Exports, DynamicSymbolsAreTheListedOnes) {
  const struct {
    const char* library;
    const char* list;
  } libraries[] = {
      {KV_MEDIA_LIBRARY, KV_EXPORTED_SYMBOLS},
      {KV_HOST_LIBRARY, KV_HOST_EXPORTED_SYMBOLS},
      {KV_PLATFORM_LIBRARY, KV_PLATFORM_EXPORTED_SYMBOLS},
#ifdef KV_UI_LIBRARY
      {KV_UI_LIBRARY, KV_UI_EXPORTED_SYMBOLS},
#endif
  };
  for (const auto& l : libraries) {
    // nm gives "ADDRESS TYPE NAME"; the linker's own section markers are no part of any
    // interface. diff shows what is exported but not listed (+) and listed but not exported
    // (-).
    const std::string command =
        "bash -o pipefail -c \"diff -u <(grep -v -e '^#' -e '^$' '" + std::string(l.list) +
        "' | sort) <(nm -D --defined-only -C '" + l.library +
        "' | cut -d' ' -f2- | grep -vx -e 'B __bss_start' -e 'B _end' -e 'D _edata' | sort)\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << l.library << " against " << l.list;
  }
}

// The platform stand-in is plain C++ over the C library: libjpeg and the other codecs'
// libraries are the core library's needs, never those of a program that links the platform.
TEST(Exports, PlatformLibraryNeedsOnlyTheRuntimes) {
  // readelf gives each as "[libc.so.6]": some are listed, and none but the runtimes.
  const std::string command = "readelf -d '" + std::string(KV_PLATFORM_LIBRARY) +
                              "' | sed -n 's/.*(NEEDED).*\\[\\(.*\\)\\]/\\1/p' | awk "
                              "'!/^(libc|libm|libstdc\\+\\+|libgcc_s)\\.so|^ld-linux/ "
                              "{ bad = 1 } END { exit bad || NR == 0 }'";
  EXPECT_EQ(std::system(command.c_str()), 0)
      << KV_PLATFORM_LIBRARY << " needs more than the runtimes";
}

}  // namespace
