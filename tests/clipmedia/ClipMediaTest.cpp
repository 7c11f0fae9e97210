// Clip-media records and catalogues: the archive form field by field, the comparisons, the
// picture information, and catalogues that lie.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "ArchiveBytes.h"
#include "ClipSupport.h"
#include "KvMediaFile/KvPicture.h"
#include "MediaChecks.h"
#include "PngWriter.h"
#include "TestSupport.h"
#include "clipmedia/ClipMedia.h"
#include "host/Failure.h"

namespace {

using kvtest::Bytes, kvtest::Le16, kvtest::Le32, kvtest::operator+;
constexpr auto Str = kvtest::ArchiveString;
Bytes NewClass(const std::string& name) { return kvtest::NewClassTag(name); }
// Icon: width, height, bits, byte count, then the bytes given.
Bytes Icon(int w, int h, int bits, unsigned count, const Bytes& bytes = {}) {
  return Le32(w) + Le32(h) + Le16(bits) + Le32(count) + bytes;
}
const Bytes kIcon2x2 = Icon(2, 2, 24, 16, Bytes(16, 0x5A));

// A record's own fields, in archive order, with the version given.
Bytes RecordBody(unsigned version = 0, const Bytes& icon = kIcon2x2) {
  return Le16(version) + Str(u"/pics/A.tga") + Str(u"A.tga") + Le32(640) + Le32(480) + Le16(24) +
         Le32(1) + Le32(2) + Le32(0x22222222) + Le32(0x11111111) + icon;
}
Bytes Catalogue(unsigned count, const Bytes& objects, unsigned version = 0) {
  return Le16(version) + Le16(count) + objects;
}
const Bytes kOneRecord = Catalogue(1, NewClass("CKvClipMedia") + RecordBody());
// Two records, the second by its class index and with an icon of its own, at one version.
Bytes TwoRecords(unsigned version) {
  return Catalogue(2,
                   NewClass("CKvClipMedia") + RecordBody(version) + Le16(0x8001) +
                       RecordBody(version, Icon(2, 2, 24, 16, Bytes(16, 0x33))),
                   version);
}
// A record whose path claims `length` characters and holds none.
Bytes LongPath(unsigned length) {
  return NewClass("CKvClipMedia") + Le16(0) + Bytes{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF} +
         Le32(length);
}

// Loads a catalogue file as the search does (whole, nothing after it).
bool LoadsAsCatalogue(const Bytes& bytes, CKvClipMediaFileCollection* into = nullptr) {
  static const kvtest::TempDir dir;
  kvtest::WriteFileBytes(dir.path() + "/PicMedia.pmf", bytes);
  CKvClipMediaFileCollection local;
  return KvLoadArchiveFile(into ? *into : local, dir.File("PicMedia.pmf"));
}

// Stored and loaded back, a record from a folder entry is the same file; CompareMedia looks at
// the path without regard to case, the size and the time, and at nothing else.
TEST(ClipMedia, RoundTripComparesEqualAndCompareMediaSeesPathSizeAndTime) {
  WIN32_FIND_DATAW find{};
  find.nFileSizeHigh = 3;
  find.nFileSizeLow = 0xFFFFFFF0u;
  find.ftLastWriteTime = {0xDEADBEEFu, 0x01D00000u};
  CKvClipMediaFileCollection stored, loaded;
  auto* record = new CKvClipMedia;
  record->SetBasicInfo(L"/clips/Bühne 1.tga", &find);
  stored.GetList().AddTail(record);
  // Through the catalogue file calls; a missing or damaged file loads nothing.
  const kvtest::TempDir dir;
  const CString file = dir.File("stored.pmf");
  ASSERT_EQ(StoreObjectToFile(&stored, file), 1);
  ASSERT_EQ(LoadObjectFromFile(&loaded, file), 1);
  EXPECT_EQ(LoadObjectFromFile(&loaded, dir.File("none.pmf")), 0);
  CKvClipMediaFileCollection cut;
  EXPECT_EQ(LoadObjectFromFile(&cut, dir.Write("cut.pmf", Le16(0) + Le16(1))), 0);
  EXPECT_EQ(KvLastFailure(), "truncated");
  ASSERT_EQ(loaded.GetList().GetCount(), 1);
  auto* back = static_cast<CKvClipMedia*>(loaded.GetList().GetHead());
  EXPECT_TRUE(kvtest::SameRecord(*back, *record));

  // A path of another case is the same file; another path, or one more in any half of the size
  // or the time, is not.
  const wchar_t* const same = L"/clips/Bühne 1.tga";
  // clang-format off
  for (auto [path, field, equal] : {std::tuple<const wchar_t*, DWORD*, int>{L"/CLIPS/bühne 1.TGA", nullptr, 1},
       {L"/clips/Bühne 2.tga", nullptr, 0}, {same, &find.nFileSizeHigh, 0}, {same, &find.nFileSizeLow, 0},
       {same, &find.ftLastWriteTime.dwLowDateTime, 0}, {same, &find.ftLastWriteTime.dwHighDateTime, 0}}) {
    // clang-format on
    const WIN32_FIND_DATAW saved = find;
    if (field) ++*field;
    CKvClipMedia other;
    other.SetBasicInfo(path, &find);
    EXPECT_EQ(back->CompareMedia(&other), equal) << CString(path).ToUtf8();
    find = saved;
  }
}

TEST(ClipMedia, MakeExtInfoTakesPictureExtensionsInAnyCase) {
  KvMediaFileOpen();
  kvtest::TempDir dir;
  std::vector<DWORD> pixels(16 * 8, 0xFF336699u);
  for (const char* name : {"a.jpg", "b.jpeg"})
    KvMediaSaveJPGFile(dir.File(name), pixels.data(), CSize(16, 8), CRect(0, 0, 16, 8));
  for (const char* name : {"/c.Tga", "/d.tga.txt"})
    kvtest::WritePicture(dir.path() + name, 30, 20, 1);
  kvtest::PngImage png{.width = 5, .height = 3, .colorType = 2};
  png.samples.assign(5 * 3 * 3, 0x80);
  kvtest::WritePng(dir.path() + "/e.png", png);
  // Four letters are not in the list; for PNG the information call's figure is bytes per pixel.
  // clang-format off
  for (auto [file, made, bits] : {std::tuple{"a.jpg", 1, 32}, {"b.jpeg", 0, 0}, {"c.Tga", 1, 32},
                                  {"d.tga.txt", 0, 0}, {"e.png", 1, 3}}) {
    // clang-format on
    SCOPED_TRACE(file);
    CKvClipMedia record;
    record.SetBasicInfo(dir.File(file), nullptr);
    EXPECT_EQ(record.MakeExtInfo(), made);
    RECT info{};
    if (made) KvMediaGetPicInfo(dir.File(file), &info, nullptr);
    EXPECT_EQ(
        std::tuple(record.GetPicSize(), int(record.GetBits()), record.GetName(),
                   record.GetIcon().GetIconSize()),
        std::tuple(CSize(info.right - info.left, info.bottom - info.top), bits,
                   made ? CString::FromUtf8(file) : CString(), made ? CSize(80, 60) : CSize()));
  }
  KvMediaFileClose();
}

TEST(ClipMedia, LyingCataloguesAreRefusedWithTheirReason) {
  const Bytes record = NewClass("CKvClipMedia") + RecordBody();
  const std::string unknown = "holds an object of an unknown or unexpected class";
  Bytes nested;  // collections inside collections, deeper than any catalogue is
  for (int i = 0; i < 300; ++i)
    nested = nested + NewClass("CKvClipMediaFileCollection") + Le16(0) + Le16(1);
  // clang-format off
  kvtest::ExpectReasons(
      {
          {"count larger than the records", Catalogue(1000, record), "truncated"},
          {"string longer than the file", Catalogue(1, LongPath(0x00080000)), "truncated"},
          {"string longer than any path", Catalogue(1, LongPath(0x7FFFFFFF)), "damaged"},
          {"icon larger than its bytes", Catalogue(1, NewClass("CKvClipMedia") + RecordBody(0, Icon(80, 60, 24, 14400, Bytes(9)))), "truncated"},
          {"icon whose count is not its size", Catalogue(1, NewClass("CKvClipMedia") + RecordBody(0, Icon(80, 60, 24, 16, Bytes(16)))), "damaged"},
          {"a collection inside", Catalogue(1, NewClass("CKvClipMediaFileCollection") + Catalogue(0, {})), unknown},
          {"nesting without end", Catalogue(1, nested), "damaged"},
          {"the same record twice", Catalogue(2, record + Le16(2)), "damaged"},
          {"a class where a record goes", Catalogue(2, record + Le16(1)), "damaged"},
          {"an icon where a record goes", Catalogue(1, NewClass("CKvIconObj") + kIcon2x2), unknown},
          {"a list that is no object of the suite", Catalogue(1, NewClass("CObList") + Le16(0)), unknown},
          {"unknown class", Catalogue(1, NewClass("CNoSuchThing") + RecordBody()), unknown},
          {"bytes after the catalogue", kOneRecord + Bytes{0}, "has bytes past its end"},
          {"empty file", {}, "truncated"},
      },
      [](Bytes bytes) { return !LoadsAsCatalogue(bytes); });
  // clang-format on
}

// Any version loads, field by field, and is stored as version 0. A copy of the collection,
// made or assigned, holds copies of every record, icon included, in order, and stays whole when
// the original goes. Every cut of the catalogue is refused.
TEST(ClipMedia, ArchiveFormLoadsAnyVersionAndACopyIsWholeAndItsOwn) {
  kvtest::ExpectEveryPrefixFails(TwoRecords(0), [](const Bytes& b) { return LoadsAsCatalogue(b); });
  auto original = std::make_unique<CKvClipMediaFileCollection>();
  ASSERT_TRUE(LoadsAsCatalogue(TwoRecords(0xBEEF), original.get()));
  const auto theirs = kvtest::Records(original->GetList());
  ASSERT_EQ(theirs.size(), 2u);
  const CKvClipMedia& r = *theirs[0];
  // The time's high half comes first in the archive, its low half first in memory.
  const FILETIME time = r.GetLastWriteTime();
  EXPECT_EQ(std::tuple(r.GetFileFullPath(), r.GetName(), r.GetPicSize(), int(r.GetBits()),
                       r.GetFileSize(), time.dwHighDateTime, time.dwLowDateTime),
            std::tuple(CString(L"/pics/A.tga"), CString(L"A.tga"), CSize(640, 480), 24,
                       0x100000002ull, 0x22222222u, 0x11111111u));
  EXPECT_EQ(r.GetIcon().GetIconSize(), CSize(2, 2));
  const std::unique_ptr<CKvObject> made(original->MakeCopy());
  CKvClipMediaFileCollection assigned;
  assigned.CopyFrom(*original);
  const auto copies = {dynamic_cast<CKvClipMediaFileCollection*>(made.get()), &assigned};
  for (auto* copy : copies) {
    ASSERT_NE(copy, nullptr);
    const auto mine = kvtest::Records(copy->GetList());
    ASSERT_EQ(mine.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_NE(mine[i], theirs[i]);
      EXPECT_TRUE(kvtest::SameRecord(*mine[i], *theirs[i])) << i;
    }
  }
  original.reset();
  for (auto* copy : copies)
    EXPECT_EQ(kvtest::StoreArchive([&](CArchive& ar) { copy->Serialize(ar); }), TwoRecords(0));
}

// Remembers the largest read asked of it: a loader asks for what it has made room for.
class RecordingFile : public CMemFile {
 public:
  using CMemFile::CMemFile;
  UINT Read(void* buffer, UINT count) override {
    largest = std::max(largest, count);
    return CMemFile::Read(buffer, count);
  }
  UINT largest = 0;
};

TEST(ClipMedia, ClaimsLargerThanTheFileAreRefusedBeforeRoomIsMade) {
  for (Bytes bytes :
       {Catalogue(1, LongPath(0x00080000)),
        Catalogue(1, NewClass("CKvClipMedia") + RecordBody(0, Icon(1024, 1024, 32, 4u << 20)))}) {
    RecordingFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    CKvClipMediaFileCollection catalogue;
    CArchive ar(&file, CArchive::load);
    EXPECT_THROW(catalogue.Serialize(ar), CArchiveException);
    // Reads beyond the archive's own buffer go straight into the room made for the data.
    EXPECT_LE(file.largest, std::max<std::size_t>(4096, bytes.size()));
  }
}

}  // namespace
