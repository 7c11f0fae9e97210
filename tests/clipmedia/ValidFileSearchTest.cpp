// The folder search and its catalogue: what is listed, in which order, what is taken from the
// catalogue and what is read again, and folders where the catalogue cannot be kept.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ClipSupport.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "clipmedia/ValidFileSearch.h"

namespace {

constexpr const char* kTypes = "tga,bmp";

class Search : public ::testing::Test {
 protected:
  void SetUp() override { KvMediaFileOpen(); }
  void TearDown() override { KvMediaFileClose(); }

  std::string Path(const std::string& name) const { return m_dir.path() + "/" + name; }
  CString Folder() const { return CString::FromUtf8(m_dir.path()); }
  CString Catalogue() const { return m_dir.File("PicMedia.pmf"); }
  bool HasCatalogue() const { return kvtest::FileMode(Path("PicMedia.pmf")) >= 0; }
  void Picture(const std::string& name, int w = 24, int h = 16, long long time = 1000000) {
    kvtest::WritePicture(Path(name), w, h, static_cast<int>(name.size()) + w);
    kvtest::SetWriteTime(Path(name), time);
  }

  // Runs the search; returns "name:state" per record in list order (unreadable ones too).
  std::vector<std::string> Run(const char* types = kTypes, CString catalogue = CString()) {
    list.DeleteAll();
    std::map<const CKvClipMedia*, std::string> states;
    std::vector<std::string> unreadable;
    SKvFetchOptions options;
    options.onRecord = [&](const CKvClipMedia& r, EKvClipState state, const CString&) {
      static const char* const kNames[] = {"taken", "again", "new", "unreadable"};
      const std::string text = r.GetPureFileName().ToUtf8() + ":" + kNames[int(state)];
      if (state == EKvClipState::kUnreadable)
        unreadable.push_back(text);
      else
        states[&r] = text;
    };
    result = KvMediaFetchValidFileEx(&list, Folder(), catalogue.IsEmpty() ? Catalogue() : catalogue,
                                     CString::FromUtf8(types), options, &report);
    std::vector<std::string> out;
    for (const CKvClipMedia* r : kvtest::Records(list)) out.push_back(states[r]);
    out.insert(out.end(), unreadable.begin(), unreadable.end());
    return out;
  }

  kvtest::TempDir m_dir;
  CKvObList list;
  SKvFetchReport report;
  int result = -1;
};

using Names = std::vector<std::string>;

TEST_F(Search, ListsByExtensionTokensInOrderAndLeavesOutWhatIsNoPicture) {
  Picture("b.tga");
  Picture("A.TGA");
  Picture("c.bmp");
  Picture("d.Bmp");
  kvtest::WriteFileBytes(Path("broken.tga"), {1, 2, 3});
  ::mkdir(Path("folder.tga").c_str(), 0755);
  ::mkfifo(Path("pipe.tga").c_str(), 0644);  // must not be opened, or the search would hang
  kvtest::WriteFileBytes(Path("notes.txt"), {1});
  const struct {
    const char* types;
    Names listed;
  } rows[] = {
      {"tga", {"A.TGA:new", "b.tga:new", "broken.tga:unreadable", "pipe.tga:unreadable"}},
      {"BMP", {"c.bmp:new", "d.Bmp:new"}},
      {"bmp,BMP", {"c.bmp:new", "d.Bmp:new", "c.bmp:new", "d.Bmp:new"}},  // matched twice
      {"", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.types);
    std::remove(Path("PicMedia.pmf").c_str());
    EXPECT_EQ(Run(row.types), row.listed);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(HasCatalogue(), !row.listed.empty() && row.listed[0].ends_with(":new"));
  }
}

TEST_F(Search, MissingFolderGivesZeroAndEmptiesTheList) {
  list.AddTail(new CKvClipMedia);
  EXPECT_EQ(KvMediaFetchValidFile(&list, m_dir.File("missing"), Catalogue(), L"tga"), 0);
  EXPECT_TRUE(list.IsEmpty());
}

TEST_F(Search, UnchangedFolderIsListedFromTheCatalogueWithoutOpeningAPicture) {
  Picture("a.tga");
  Picture("b.bmp", 40, 30);
  kvtest::WriteFileBytes(Path("broken.tga"), {1, 2, 3});
  EXPECT_EQ(Run(), (Names{"a.tga:new", "b.bmp:new", "broken.tga:unreadable"}));
  // Pictures that no longer load, with their sizes and times kept: only a search that opens
  // them would notice.
  kvtest::SpoilKeepingState(Path("a.tga"));
  kvtest::SpoilKeepingState(Path("b.bmp"));
  const int before = kvtest::FileMode(Path("PicMedia.pmf"));
  EXPECT_EQ(Run(), (Names{"a.tga:taken", "b.bmp:taken", "broken.tga:unreadable"}));
  EXPECT_TRUE(report.catalogCurrent);  // a file that never loads does not make it stale
  EXPECT_FALSE(report.catalogStored);
  EXPECT_EQ(kvtest::FileMode(Path("PicMedia.pmf")), before);
  EXPECT_EQ(kvtest::Records(list).back()->GetPicSize(), CSize(40, 30));  // the catalogue's
}

TEST_F(Search, ChangesAreReadAgainAndTheResultIsWhatARebuildGives) {
  for (const char* name : {"a.tga", "b.tga", "c.tga", "d.tga"}) Picture(name);
  Run();
  Picture("b.tga", 30, 10, 1000001);                          // touched: another time and size
  kvtest::SetWriteTime(Path("c.tga"), 7);                     // touched only
  std::rename(Path("d.tga").c_str(), Path("0.tga").c_str());  // renamed: moves to the front
  Picture("e.tga");
  EXPECT_EQ(Run(), (Names{"0.tga:new", "a.tga:taken", "b.tga:again", "c.tga:again", "e.tga:new"}));
  EXPECT_EQ(std::tuple(report.catalogStored, report.fromCatalog, report.readAgain, report.added),
            std::tuple(true, 1, 2, 2));
  CKvObList reused;
  reused.CopyFrom(list);
  std::remove(Path("PicMedia.pmf").c_str());
  Run();
  const auto rebuilt = kvtest::Records(list), fromReuse = kvtest::Records(reused);
  ASSERT_EQ(rebuilt.size(), fromReuse.size());
  for (std::size_t i = 0; i < rebuilt.size(); ++i)
    EXPECT_TRUE(kvtest::SameRecord(*rebuilt[i], *fromReuse[i])) << i;
  // What was written describes the folder: the next search takes everything.
  EXPECT_EQ(Run(),
            (Names{"0.tga:taken", "a.tga:taken", "b.tga:taken", "c.tga:taken", "e.tga:taken"}));
}

// Another order or a vanished picture: nothing is read, but the catalogue is rewritten.
TEST_F(Search, NewOrdersAndVanishedPicturesRewriteTheCatalogue) {
  Picture("a.tga");
  Picture("b.bmp");
  Run("tga,bmp");
  EXPECT_EQ(Run("bmp,tga"), (Names{"b.bmp:taken", "a.tga:taken"}));
  EXPECT_TRUE(report.catalogStored);
  std::remove(Path("a.tga").c_str());
  EXPECT_EQ(Run("bmp,tga"), (Names{"b.bmp:taken"}));
  EXPECT_TRUE(report.catalogStored);
  std::remove(Path("b.bmp").c_str());
  EXPECT_EQ(Run(), Names{});
  EXPECT_FALSE(HasCatalogue());  // nothing left to describe
}

TEST_F(Search, ARefusedCatalogueIsRebuiltWithItsReason) {
  Picture("a.tga");
  Run();
  const auto good = kvtest::ReadFileBytes(Path("PicMedia.pmf"));
  const struct {
    const char* what;
    kvtest::Bytes bytes;
    const char* reason;
  } rows[] = {
      {"truncated", kvtest::Bytes(good.begin(), good.end() - 100), "truncated"},
      {"foreign", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "damaged"},
      {"grown", kvtest::Bytes(good.size() + 1, 0), "has bytes past its end"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    kvtest::WriteFileBytes(Path("PicMedia.pmf"), row.bytes);
    EXPECT_EQ(Run(), (Names{"a.tga:new"}));
    EXPECT_EQ(report.catalogRefused.ToUtf8(), row.reason);
    EXPECT_EQ(kvtest::ReadFileBytes(Path("PicMedia.pmf")), good);
  }
}

TEST_F(Search, AFolderWhoseCatalogueCannotBeWrittenIsListedAllTheSame) {
  Picture("a.tga");
  EXPECT_EQ(Run(kTypes, m_dir.File("missing/PicMedia.pmf")), (Names{"a.tga:new"}));
  EXPECT_FALSE(report.catalogStored);
  EXPECT_EQ(report.notStoredReason.ToUtf8(), "No such file or directory");
  // A stale catalogue that may not be replaced stays as it is.
  Run();
  Picture("b.tga");
  ::chmod(Path("PicMedia.pmf").c_str(), 0444);
  const auto before = kvtest::ReadFileBytes(Path("PicMedia.pmf"));
  EXPECT_EQ(Run(), (Names{"a.tga:taken", "b.tga:new"}));
  EXPECT_FALSE(report.notStoredReason.IsEmpty());
  EXPECT_EQ(kvtest::ReadFileBytes(Path("PicMedia.pmf")), before);
}

TEST_F(Search, CancellingAddsNothingAndLeavesTheCatalogue) {
  Picture("a.tga");
  Run();
  Picture("b.tga");
  Picture("c.tga");
  const auto before = kvtest::ReadFileBytes(Path("PicMedia.pmf"));
  std::vector<std::pair<int, int>> steps;
  SKvFetchOptions options;
  options.onProgress = [&](int done, int total) {
    steps.emplace_back(done, total);
    return done < 1;
  };
  list.AddTail(new CKvClipMedia);
  EXPECT_EQ(KvMediaFetchValidFileEx(&list, Folder(), Catalogue(), L"tga", options, &report), 0);
  EXPECT_TRUE(report.cancelled);
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(steps, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}}));
  EXPECT_EQ(kvtest::ReadFileBytes(Path("PicMedia.pmf")), before);
}

TEST(FindFile, PatternsMatchWithoutRegardToCase) {
  const struct {
    const wchar_t* pattern;
    const wchar_t* name;
    bool match;
  } rows[] = {
      {L"*.tga", L"a.TGA", true},   {L"*.tga", L".tga", true},    {L"*.tga", L"a.tga.bak", false},
      {L"*.tga", L"atga", false},   {L"*.t?a", L"x.TxA", true},   {L"*", L"", true},
      {L"a*b*c", L"aXbYbZc", true}, {L"a*b*c", L"aXbYc!", false}, {L"*.", L"x.", true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(KvWildcardMatch(row.pattern, row.name), row.match)
        << CString(row.pattern).ToUtf8() << " " << CString(row.name).ToUtf8();
  const std::vector<CString> tokens = KvSplitExtensions(L",tga,,bmp");
  EXPECT_EQ(tokens, (std::vector<CString>{L"", L"tga", L"", L"bmp"}));
}

}  // namespace
