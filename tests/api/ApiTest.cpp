// The installed library as its users meet it: this suite sees only the installed headers and
// links only the installed libraries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "KvMediaFile/KvMediaFile.h"

namespace {

namespace fs = std::filesystem;

class Library : public testing::Environment {
  void SetUp() override { KvMediaFileOpen(); }
  void TearDown() override { KvMediaFileClose(); }
};
[[maybe_unused]] const auto* const kLibrary = testing::AddGlobalTestEnvironment(new Library);

class Api : public testing::Test {
 protected:
  Api() {
    char path[] = "/tmp/kv-api-XXXXXX";
    m_dir = mkdtemp(path) ? path : "";
  }
  ~Api() override { fs::remove_all(m_dir); }
  void SetUp() override { ASSERT_FALSE(m_dir.empty()); }

  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
  CString File(const std::string& name) const { return CString::FromUtf8(Path(name)); }
  static std::string Text(const CString& s) { return s.ToUtf8(); }

  std::string m_dir;
};

// Smooth enough for JPEG, every pixel of the odd-sized picture different, alpha varying.
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

TEST_F(Api, EverySaverRoundTripsThroughTheLoadDispatch) {
  const int w = 47, h = 33;
  auto source = Pattern(w, h);
  const struct {
    const char* name;
    int (*save)(CString, DWORD*, CSize, CRect);
    DWORD kept;     // the channels the file keeps (no alpha: loaded opaque)
    int tolerance;  // per channel
  } savers[] = {{"p.tga", KvMediaSaveTGAFile, 0xFFFFFFFF, 0},
                {"p.bmp", KvMediaSaveBMPFile, 0x00FFFFFF, 0},
                {"p.pcx", KvMediaSavePCXFile, 0x00FFFFFF, 0},
                {"p.jpg", KvMediaSaveJPGFile, 0x00FFFFFF, 24}};
  for (const auto& s : savers) {
    SCOPED_TRACE(s.name);
    ASSERT_EQ(s.save(File(s.name), source.data(), CSize(w, h), CRect(0, 0, w, h)), 1);
    CRect rect;
    const auto back = Take(KvMediaLoadPicFile(File(s.name), rect), rect);
    ASSERT_EQ(back.size(), source.size()) << Text(KvMediaGetLastFailure());
    EXPECT_EQ(rect.Size(), CSize(w, h));
    for (std::size_t i = 0; i < back.size(); ++i)
      for (int shift = 0; shift < 32; shift += 8) {
        const int got = back[i] >> shift & 0xFF, want = source[i] >> shift & 0xFF;
        ASSERT_LE(std::abs(got - ((s.kept >> shift & 0xFF) ? want : 255)), s.tolerance) << i;
      }
  }
}

TEST_F(Api, MovieMadeFromASequencePlaysItsPictures) {
  const int frames = 6, w = 64, h = 40;
  std::vector<std::vector<DWORD>> pictures;
  for (int i = 0; i < frames; ++i) {  // a bar moving right over a dark blue
    pictures.emplace_back(w * h, 0xFF000050u);
    for (int y = 10; y < 30; ++y)
      std::fill_n(pictures.back().begin() + y * w + 8 * i, 12, 0xFFFAC80Au);
    char name[32];
    std::snprintf(name, sizeof name, "seq%02d.tga", i);
    ASSERT_EQ(
        KvMediaSaveTGAFile(File(name), pictures.back().data(), CSize(w, h), CRect(0, 0, w, h)), 1);
  }
  const RECT place{0, 0, w, h};
  CKvMakeMovieMotion maker;
  ASSERT_EQ(maker.Sink(File("seq.tga"), 0, frames - 1, 2, 0, CKvColor32(), CKvColor32(), 0, &place,
                       File("seq.sve"), 25, nullptr),
            1)
      << Text(KvMediaGetLastFailure());
  CRect rect;
  WORD key = 0;
  int count = 0;
  ASSERT_EQ(KvMovieGetFileInfo(File("seq.sve"), &rect, &key, &count), 1);
  EXPECT_EQ(count, frames);
  for (int i = 0; i < frames; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Take(KvMovieGetFrame(File("seq.sve"), rect, (i + 0.5f) / frames), rect), pictures[i]);
  }
}

TEST_F(Api, ScrollFileReadsBackItsLines) {
  const DWORD lines = 50, width = 33;
  auto line = [](DWORD i) {
    std::vector<DWORD> px(width);
    for (DWORD x = 0; x < width; ++x) px[x] = 0xFF000000u | (x < i ? i * 5 : 0) << 8 | x;
    return px;
  };
  {
    CKvScrollFileWrite out;
    ASSERT_EQ(out.OpenFile(File("roll.ksc"), KV_SCROLL_UP, 0, lines, width), 1);
    for (DWORD i = 0; i < lines; ++i) ASSERT_EQ(out.AppendDataLine(line(i).data()), 1);
    out.CloseFile();
  }
  CKvScrollFileRead in;
  ASSERT_EQ(in.OpenFile(File("roll.ksc")), 1);
  BYTE* part = in.GetSpecialFrame(10, 20);
  ASSERT_NE(part, nullptr);
  const auto* px = reinterpret_cast<const DWORD*>(part);
  for (DWORD i = 10; i < 20; ++i)
    EXPECT_EQ(std::vector<DWORD>(px + (i - 10) * width, px + (i - 9) * width), line(i));
  delete[] part;
  in.CloseFile();
}

TEST_F(Api, ClipMediaSearchUsesItsCatalogue) {
  auto source = Pattern(24, 16);
  ASSERT_EQ(KvMediaSaveTGAFile(File("a.tga"), source.data(), CSize(24, 16), CRect(0, 0, 24, 16)),
            1);
  ASSERT_EQ(KvMediaSaveBMPFile(File("b.bmp"), source.data(), CSize(24, 16), CRect(0, 0, 12, 8)), 1);
  std::ofstream(Path("c.tga")) << "not a picture";
  CKvObList list;
  SKvFetchReport first, second;
  ASSERT_EQ(KvMediaFetchValidFileEx(&list, CString::FromUtf8(m_dir), File("PicMedia.pmf"),
                                    L"tga,bmp", {}, &first),
            1);
  EXPECT_EQ(std::tuple(list.GetCount(), first.added, first.unreadable), std::tuple(2, 2, 1));
  EXPECT_TRUE(first.catalogStored) << Text(first.notStoredReason);
  EXPECT_EQ(static_cast<const CKvClipMedia*>(list.GetTail())->GetPicSize(), CSize(12, 8));
  ASSERT_EQ(KvMediaFetchValidFileEx(&list, CString::FromUtf8(m_dir), File("PicMedia.pmf"),
                                    L"tga,bmp", {}, &second),
            1);
  EXPECT_EQ(std::tuple(list.GetCount(), second.fromCatalog, second.catalogCurrent),
            std::tuple(2, 2, true));
}

TEST_F(Api, RefusalsSayWhy) {
  auto source = Pattern(20, 10);
  ASSERT_EQ(KvMediaSaveTGAFile(File("cut.tga"), source.data(), CSize(20, 10), CRect(0, 0, 20, 10)),
            1);
  fs::resize_file(Path("cut.tga"), 100);
  CRect rect;
  EXPECT_EQ(KvMediaLoadPicFile(File("cut.tga"), rect), nullptr);
  EXPECT_EQ(Text(KvMediaGetLastFailure()).rfind("truncated", 0), 0u)
      << Text(KvMediaGetLastFailure());
}

// The library's dynamic symbols are its API (and the few kvmedia needs), nothing more:
// compared with the list kept beside the headers, which says why each group is there.
TEST(Exports, DynamicSymbolsAreTheListedOnes) {
  // nm gives "ADDRESS TYPE NAME"; the linker's own section markers are no part of any
  // interface. diff shows what is exported but not listed (+) and listed but not exported (-).
  const std::string command =
      "bash -o pipefail -c \"diff -u <(grep -v -e '^#' -e '^$' '" KV_EXPORTED_SYMBOLS
      "' | sort) <(nm -D --defined-only -C '" KV_MEDIA_LIBRARY
      "' | cut -d' ' -f2- | grep -vx -e 'B __bss_start' -e 'B _end' -e 'D _edata' | sort)\"";
  EXPECT_EQ(std::system(command.c_str()), 0)
      << KV_MEDIA_LIBRARY << " against " << KV_EXPORTED_SYMBOLS;
}

}  // namespace
