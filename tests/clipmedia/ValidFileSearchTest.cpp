// The folder search and its catalogue: what is listed, in which order, what is taken from the
// catalogue and what is read again, and folders where the catalogue cannot be kept.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ClipSupport.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "TestSupport.h"
#include "clipmedia/ClipMedia.h"
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
    kvtest::WritePicture(Path(name), w, h, static_cast<int>(name.size()) + w + name[0]);
    kvtest::SetWriteTime(Path(name), time);
  }

  // Empties the folder, catalogue and all.
  void Clear() const {
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
      std::filesystem::remove_all(entry.path());
  }

  // Runs the search; returns "name:state" per record in list order, unreadable ones last (their
  // reasons in `reasons`), space-separated.
  std::string Run(const char* types = kTypes, CString catalogue = CString(),
                  CString folder = CString()) {
    list.DeleteAll();
    reasons.clear();
    std::map<const CKvClipMedia*, std::string> states;
    std::string out, unreadable;
    SKvFetchOptions options;
    options.onRecord = [&](const CKvClipMedia& r, EKvClipState state, const CString& reason) {
      static const char* const kNames[] = {"taken", "again", "new", "unreadable"};
      const std::string name = r.GetPureFileName().ToUtf8();
      (state == EKvClipState::kUnreadable ? unreadable : states[&r]) +=
          " " + name + ":" + kNames[int(state)];
      if (state == EKvClipState::kUnreadable) reasons[name] = reason.ToUtf8();
    };
    result = KvMediaFetchValidFileEx(&list, folder.IsEmpty() ? Folder() : folder,
                                     catalogue.IsEmpty() ? Catalogue() : catalogue,
                                     CString::FromUtf8(types), options, &report);
    for (const CKvClipMedia* r : kvtest::Records(list)) out += states[r];
    out += unreadable;
    return out.empty() ? out : out.substr(1);
  }

  // Stores the catalogue again with the record of `name` as the file is now, but without a
  // thumbnail (as another program's catalogue may hold it).
  void StoreWithoutIcon(const char* name) {
    CKvClipMediaFileCollection stored;
    ASSERT_TRUE(KvLoadArchiveFile(stored, Catalogue()));
    for (CKvClipMedia* record : kvtest::Records(stored.GetList())) {
      if (record->GetPureFileName().ToUtf8() != name) continue;
      WIN32_FIND_DATAW entry;
      FindClose(FindFirstFileW(record->GetFileFullPath(), &entry));
      CKvClipMedia bare;
      bare.SetBasicInfo(record->GetFileFullPath(), &entry);
      *record = bare;
    }
    ASSERT_EQ(KvStoreArchiveFile(stored, Catalogue()), KvStoreResult::kStored);
  }

  // The records listed last are those that a search without the catalogue gives.
  void ExpectWhatARebuildGives() {
    CKvObList reused;
    reused.CopyFrom(list);
    std::remove(Path("PicMedia.pmf").c_str());
    Run();
    const auto rebuilt = kvtest::Records(list), fromReuse = kvtest::Records(reused);
    ASSERT_EQ(rebuilt.size(), fromReuse.size());
    for (std::size_t i = 0; i < rebuilt.size(); ++i)
      EXPECT_TRUE(kvtest::SameRecord(*rebuilt[i], *fromReuse[i])) << i;
  }

  kvtest::TempDir m_dir;
  CKvObList list;
  SKvFetchReport report;
  std::map<std::string, std::string> reasons;
  int result = -1;
};

TEST_F(Search, ListsByExtensionTokensInOrderAndLeavesOutWhatIsNoPicture) {
  Picture("b.tga");
  Picture("A.TGA");
  Picture("c.bmp");
  Picture("d.Bmp");
  Picture(" b.tga", 8, 8);  // a name of its own, not "b.tga"
  kvtest::WriteFileBytes(Path("broken.tga"), {1, 2, 3});
  ::mkdir(Path("folder.tga").c_str(), 0755);
  ::mkfifo(Path("pipe.tga").c_str(), 0644);  // must not be opened, or the search would hang
  kvtest::WriteFileBytes(Path("notes.txt"), {1});
  for (auto [types, listed] :
       {std::pair<const char*, std::string>{"", ""},
        {"BMP", "c.bmp:new d.Bmp:new"},
        {"bmp,BMP", "c.bmp:new d.Bmp:new c.bmp:new d.Bmp:new"},  // matched twice
        {"tga", " b.tga:new A.TGA:new b.tga:new broken.tga:unreadable pipe.tga:unreadable"}}) {
    SCOPED_TRACE(types);
    std::remove(Path("PicMedia.pmf").c_str());
    EXPECT_EQ(Run(types), listed);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(HasCatalogue(), !listed.empty());
  }
  EXPECT_EQ(reasons["pipe.tga"], "not a regular file");
  EXPECT_EQ(kvtest::Records(list)[0]->GetPicSize(), CSize(8, 8));  // " b.tga" was read
  EXPECT_EQ(KvMediaFetchValidFile(&list, m_dir.File("missing"), Catalogue(), L"tga"), 0);
  EXPECT_TRUE(list.IsEmpty());
}

// a.tga, spoiled with its size and time kept, is taken unopened; what changed is read again.
TEST_F(Search, ChangesAreReadAgainAndTheCatalogueWrittenThenIsCurrent) {
  for (const char* name : {"a.tga", "b.tga", "c.tga", "d.tga", "e.tga"}) Picture(name);
  kvtest::WriteFileBytes(Path("broken.tga"), {1, 2, 3});
  Run();
  kvtest::SpoilKeepingState(Path("a.tga"));
  Picture("b.tga", 30, 10, 1000001);                          // touched: another time and size
  kvtest::SetWriteTime(Path("c.tga"), 7);                     // touched only
  std::rename(Path("d.tga").c_str(), Path("0.tga").c_str());  // renamed: moves to the front
  EXPECT_EQ(Run(),
            "0.tga:new a.tga:taken b.tga:again c.tga:again e.tga:taken broken.tga:unreadable");
  EXPECT_EQ(std::tuple(report.catalogStored, report.fromCatalog, report.readAgain, report.added),
            std::tuple(true, 2, 2, 1));
  EXPECT_EQ(kvtest::Records(list)[1]->GetPicSize(), CSize(24, 16));  // the catalogue's
  // What was written describes the folder: the next search takes everything, and a file that
  // never loads does not make it stale.
  EXPECT_EQ(Run(),
            "0.tga:taken a.tga:taken b.tga:taken c.tga:taken e.tga:taken broken.tga:unreadable");
  EXPECT_TRUE(report.catalogCurrent);
  EXPECT_FALSE(report.catalogStored);
}

// A cancel adds nothing to the list, but what was read is stored: a.tga was listed before,
// b.tga and c.tga are new. Each pass cancels at another progress call.
TEST_F(Search, ACancelListsNothingButStoresWhatWasRead) {
  for (const int cancelAt : {0, 1, 2}) {
    SCOPED_TRACE(cancelAt);
    Clear();
    Picture("a.tga");
    Run();
    Picture("b.tga");
    Picture("c.tga");
    std::string steps;
    SKvFetchOptions options;
    options.onProgress = [&](int done, int total) {
      steps += std::to_string(done) + "/" + std::to_string(total) + " ";
      return done < cancelAt;
    };
    list.AddTail(new CKvClipMedia);
    EXPECT_EQ(KvMediaFetchValidFileEx(&list, Folder(), Catalogue(), L"tga", options, &report), 0);
    EXPECT_TRUE(report.cancelled);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(steps, std::string("0/2 1/2 2/2 ").substr(0, 4 * (cancelAt + 1)));
    EXPECT_EQ(report.catalogStored, cancelAt > 0);  // nothing read: nothing written
    // What was read before the cancel is taken next time.
    EXPECT_EQ(Run("tga"), std::string("a.tga:taken b.tga:") + (cancelAt > 0 ? "taken" : "new") +
                              " c.tga:" + (cancelAt > 1 ? "taken" : "new"));
  }
}

// The catalogue's records by file name, in stored order.
std::string StoredNames(const CString& catalogue) {
  CKvClipMediaFileCollection stored;
  if (!KvLoadArchiveFile(stored, catalogue)) return "(none)";
  std::string names;
  for (const CKvClipMedia* r : kvtest::Records(stored.GetList()))
    names += (names.empty() ? "" : " ") + r->GetPureFileName().ToUtf8();
  return names;
}

// One catalogue serves every filter: each row changes the folder, lists it with its
// extensions, and tells what the catalogue holds then and whether it was written.
TEST_F(Search, SwitchingFiltersReadsNoUnchangedPictureAgain) {
  for (const char* name : {"a.tga", "b.bmp", "c.tga"}) Picture(name);
  const auto none = [] {};
  // clang-format off
  using Row = std::tuple<const char*, std::function<void()>, const char*, const char*, bool,
                         const char*>;
  for (const auto& [what, change, types, listed, stored, catalogue] : std::vector<Row>{
      {"all", none, "tga,bmp", "a.tga:new c.tga:new b.bmp:new", true, "a.tga c.tga b.bmp"},
      {"tga", none, "tga", "a.tga:taken c.tga:taken", false, "a.tga c.tga b.bmp"},
      {"bmp", none, "bmp", "b.bmp:taken", false, "a.tga c.tga b.bmp"},
      {"gif, of which there are none", none, "gif", "", false, "a.tga c.tga b.bmp"},
      {"another order", none, "bmp,tga", "b.bmp:taken a.tga:taken c.tga:taken", true, "b.bmp a.tga c.tga"},
      {"a hidden file touched, another gone",
       [this] { kvtest::SetWriteTime(Path("a.tga"), 7), std::remove(Path("c.tga").c_str()); },
       "bmp", "b.bmp:taken", true, "b.bmp"},
      {"a hidden file new", [this] { Picture("d.tga"); }, "bmp", "b.bmp:taken", false, "b.bmp"},
      {"back to tga", none, "tga", "a.tga:new d.tga:new", true, "a.tga d.tga b.bmp"},
      {"the last listed file gone", [this] { std::remove(Path("b.bmp").c_str()); }, "bmp", "", true, "a.tga d.tga"},
      // It could not be shown without reading the picture again.
      {"a hidden record without a thumbnail", [this] { StoreWithoutIcon("d.tga"); }, "bmp", "", true, "a.tga"},
  }) {
    // clang-format on
    SCOPED_TRACE(what);
    change();
    EXPECT_EQ(Run(types), listed);
    EXPECT_EQ(report.catalogStored, stored);
    EXPECT_FALSE(report.catalogRemoved);
    EXPECT_EQ(StoredNames(Catalogue()), catalogue);
  }
}

// After a search of a.tga and b.tga, each row changes one thing; the next search tells it.
TEST_F(Search, EachSingleChangeIsSeen) {
  const auto cut = [this] {
    const auto bytes = kvtest::ReadFileBytes(Path("PicMedia.pmf"));
    kvtest::WriteFileBytes(Path("PicMedia.pmf"), kvtest::Cut(bytes, bytes.size() - 100));
  };
  // clang-format off
  using Row = std::tuple<const char*, std::function<void()>, const char*, const char*>;
  for (const auto& [what, change, listed, refused] : std::vector<Row>{
      {"size only", [this] { Picture("a.tga", 30); }, "a.tga:again b.tga:taken", ""},
      {"the time by one second", [this] { kvtest::SetWriteTime(Path("a.tga"), 1000001); }, "a.tga:again b.tga:taken", ""},
      {"a stored record without an icon", [this] { StoreWithoutIcon("a.tga"); }, "a.tga:again b.tga:taken", ""},
      {"a rename in case only", [this] { std::rename(Path("a.tga").c_str(), Path("A.tga").c_str()); }, "A.tga:taken b.tga:taken", ""},
      // Its first record is not taken either.
      {"a catalogue cut short in its second record", cut, "a.tga:new b.tga:new", "truncated"},
      {"another file's bytes", [this] { kvtest::WriteFileBytes(Path("PicMedia.pmf"), {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}); }, "a.tga:new b.tga:new", "damaged"},
  }) {
    // clang-format on
    SCOPED_TRACE(what);
    Clear();
    Picture("a.tga");
    Picture("b.tga");
    Run();
    change();
    EXPECT_EQ(Run(), listed);
    EXPECT_EQ(report.catalogRefused.ToUtf8(), refused);
    EXPECT_TRUE(report.catalogStored);
    ExpectWhatARebuildGives();  // whatever was taken or read
  }
}

// "logo.tga" keeps its own record when "Logo.tga", of the same size and time, goes; a name
// differing in case only is matched only when the folder has no file of the exact name.
TEST_F(Search, AFileGetsItsOwnRecordBeforeOneOfAnotherCase) {
  Picture("Logo.tga");
  Picture("logo.tga");
  Run();
  std::remove(Path("Logo.tga").c_str());
  EXPECT_EQ(Run(), "logo.tga:taken");
  CKvClipMedia own;
  own.SetBasicInfo(m_dir.File("logo.tga"), nullptr);
  ASSERT_EQ(own.MakeExtInfo(), 1);
  EXPECT_TRUE(kvtest::Records(list)[0]->GetIcon().Compare(&own.GetIcon()));
}

// The catalogue is a cache: a link (even to a file the user may write), a pipe or a folder of
// its name is never read through, written through or removed, and the folder is listed.
TEST_F(Search, ALinkPipeOrFolderNamedLikeTheCatalogueIsLeftAlone) {
  ::alarm(60);  // a pipe opened the blocking way would hang the search: fail instead
  const kvtest::TempDir elsewhere;
  const std::string victim = elsewhere.path() + "/victim", named = elsewhere.path() + "/named";
  const char* const link = "a symbolic link of that name is left alone";
  // clang-format off
  // How each is made (0 when made), its type, and why it is refused.
  using Row = std::tuple<const char*, std::function<int(const char*)>, mode_t, const char*>;
  for (const auto& [what, make, type, reason] : std::vector<Row>{
      {"a link to a file", [&](const char* p) { kvtest::WriteFileBytes(victim, {7, 7, 7}); return ::symlink(victim.c_str(), p); }, S_IFLNK, link},
      {"a dangling link", [&](const char* p) { return ::symlink(named.c_str(), p); }, S_IFLNK, link},
      {"a pipe", [](const char* p) { return ::mkfifo(p, 0666); }, S_IFIFO, "a pipe or device of that name is left alone"},
      {"a folder", [](const char* p) { return ::mkdir(p, 0755); }, S_IFDIR, "a folder of that name is left alone"},
  }) {
    // clang-format on
    SCOPED_TRACE(what);
    Clear();
    Picture("a.tga");
    ASSERT_EQ(make(Path("PicMedia.pmf").c_str()), 0);
    EXPECT_EQ(Run(), "a.tga:new");
    EXPECT_EQ(report.catalogRefused.ToUtf8(), reason);
    EXPECT_EQ(report.notStoredReason.ToUtf8(), reason);
    std::remove(Path("a.tga").c_str());
    EXPECT_EQ(Run(), "");  // nothing left to describe: still not removed
    EXPECT_FALSE(report.catalogRemoved);
    struct stat st {};
    ASSERT_EQ(::lstat(Path("PicMedia.pmf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, type);
    EXPECT_EQ(kvtest::FileNames(m_dir.path(), ".kv"), std::vector<std::string>{});
  }
  EXPECT_EQ(kvtest::ReadFileBytes(victim), (kvtest::Bytes{7, 7, 7}));
  EXPECT_EQ(kvtest::FileMode(named), -1);
  ::alarm(0);
}

// A folder whose catalogue cannot be written is listed all the same, and a stale catalogue that
// may not be replaced stays as it is: a read-only one, or one in a folder that takes no
// temporary file (written in place, a kill or a second writer would leave half a catalogue).
TEST_F(Search, ACatalogueThatCannotBeWrittenLeavesTheListingAndTheOldCatalogue) {
  Picture("a.tga");
  EXPECT_EQ(Run(kTypes, m_dir.File("missing/PicMedia.pmf")), "a.tga:new");
  EXPECT_FALSE(report.catalogStored);
  EXPECT_EQ(report.notStoredReason.ToUtf8(), "No such file or directory");
  Run();
  Picture("b.tga");
  const auto before = kvtest::ReadFileBytes(Path("PicMedia.pmf"));
  ::chmod(Path("PicMedia.pmf").c_str(), 0444);
  EXPECT_EQ(Run(), "a.tga:taken b.tga:new");
  EXPECT_FALSE(report.notStoredReason.IsEmpty());
  EXPECT_EQ(kvtest::ReadFileBytes(Path("PicMedia.pmf")), before);
  ::chmod(Path("PicMedia.pmf").c_str(), 0644);
  const int status = kvtest::InChildAsUser(m_dir.path(), [&] {
    ::chmod(m_dir.path().c_str(), 0555);
    const std::string listed = Run();
    ::chmod(m_dir.path().c_str(), 0755);
    return listed == "a.tga:taken b.tga:new" && !report.catalogStored &&
           report.notStoredReason.ToUtf8().starts_with("the folder takes no temporary file");
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(kvtest::ReadFileBytes(Path("PicMedia.pmf")), before);
}

// What a killed store left behind goes with the next store there; nothing else does.
TEST_F(Search, AStoreRemovesTheTemporaryFilesOfKilledStores) {
  Picture("a.tga");
  // Old ones of the store's names only: a new one may be a store at work, ".kvcache-Old0012"
  // is not a name a store makes, ".kvtmp-" another writer's.
  const auto rows = {std::tuple{".kvcache-Old001", true, false},
                     {".kvcache-New001", false, true},
                     {".kvcache-Old0012", true, true},
                     {".kvtmp-Old001", true, true}};
  for (auto [name, old, stays] : rows) {
    kvtest::WriteFileBytes(Path(name), {1, 2, 3});
    if (old) kvtest::SetWriteTime(Path(name), 1000000);
  }
  Run();
  EXPECT_TRUE(report.catalogStored);
  for (auto [name, old, stays] : rows) EXPECT_EQ(kvtest::FileMode(Path(name)) >= 0, stays) << name;
}

// "./f", "f/", "/abs/f" and "/abs/./f" are one folder with one catalogue; ".tga" is "tga".
TEST_F(Search, EverySpellingOfAFolderSharesOneCatalogue) {
  Picture("a.tga");
  Picture("b.bmp");
  Run();
  const std::filesystem::path canonical = std::filesystem::canonical(m_dir.path());
  const std::string base = canonical.filename().string();
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(canonical.parent_path());
  for (const std::string& spelling :
       {m_dir.path() + "/", m_dir.path() + "//./", m_dir.path() + "/../" + base, "./" + base}) {
    SCOPED_TRACE(spelling);
    EXPECT_EQ(Run(kTypes, CString(), CString::FromUtf8(spelling)), "a.tga:taken b.bmp:taken");
    EXPECT_TRUE(report.catalogCurrent);
    EXPECT_EQ(kvtest::Records(list)[0]->GetFileFullPath().ToUtf8(), (canonical / "a.tga").string());
  }
  std::filesystem::current_path(cwd);
  EXPECT_EQ(Run(".tga,.bmp"), "a.tga:taken b.bmp:taken");
  EXPECT_TRUE(report.catalogCurrent);
  std::remove(Path("a.tga").c_str());
  std::remove(Path("b.bmp").c_str());
  EXPECT_EQ(Run(), "");
  EXPECT_TRUE(report.catalogRemoved);
  EXPECT_FALSE(report.catalogStored);
  EXPECT_FALSE(HasCatalogue());
}

TEST(FindFile, PatternsMatchWithoutRegardToCase) {
  for (auto [pattern, name, match] : {std::tuple{L"*.tga", L"a.TGA", true},
                                      {L"*.tga", L".tga", true},
                                      {L"*.tga", L"a.tga.bak", false},
                                      {L"*.tga", L"atga", false},
                                      {L"*.t?a", L"x.TxA", true},
                                      {L"*", L"", true},
                                      {L"a*b*c", L"aXbYbZc", true},
                                      {L"a*b*c", L"aXbYc!", false},
                                      {L"*.", L"x.", true}})
    EXPECT_EQ(KvWildcardMatch(pattern, name), match)
        << CString(pattern).ToUtf8() << " " << CString(name).ToUtf8();
  const std::vector<CString> tokens = KvSplitExtensions(L",tga,,bmp");
  EXPECT_EQ(tokens, (std::vector<CString>{L"", L"tga", L"", L"bmp"}));
}

}  // namespace
