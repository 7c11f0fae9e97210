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

// Loads a catalogue file as the search does (whole, nothing after it).
bool LoadsAsCatalogue(const Bytes& bytes, CKvClipMediaFileCollection* into = nullptr) {
  static const kvtest::TempDir dir;
  kvtest::WriteFileBytes(dir.path() + "/PicMedia.pmf", bytes);
  CKvClipMediaFileCollection local;
  return KvLoadArchiveFile(into ? *into : local, dir.File("PicMedia.pmf"));
}

TEST(ClipMedia, ArchiveFormIsFieldByFieldAndAnyVersionLoads) {
  for (const unsigned version : {0u, 1u, 0xBEEFu}) {
    CKvClipMediaFileCollection catalogue;
    ASSERT_TRUE(LoadsAsCatalogue(
        Catalogue(1, NewClass("CKvClipMedia") + RecordBody(version), version), &catalogue));
    ASSERT_EQ(catalogue.GetList().GetCount(), 1);
    const auto& r = *static_cast<CKvClipMedia*>(catalogue.GetList().GetHead());
    EXPECT_EQ(r.GetFileFullPath(), L"/pics/A.tga");
    EXPECT_EQ(r.GetName(), L"A.tga");
    EXPECT_EQ(r.GetPicSize(), CSize(640, 480));
    EXPECT_EQ(r.GetBits(), 24);
    EXPECT_EQ(r.GetFileSize(), 0x100000002ull);
    // High half first in the archive, low half first in memory.
    EXPECT_EQ(r.GetLastWriteTime().dwHighDateTime, 0x22222222u);
    EXPECT_EQ(r.GetLastWriteTime().dwLowDateTime, 0x11111111u);
    EXPECT_EQ(r.GetIcon().GetIconSize(), CSize(2, 2));
    // Stored again: the same bytes, version 0.
    EXPECT_EQ(kvtest::StoreArchive([&](CArchive& ar) { catalogue.Serialize(ar); }), kOneRecord);
  }
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
  kvtest::WriteFileBytes(dir.path() + "/cut.pmf", Le16(0) + Le16(1));
  CKvClipMediaFileCollection cut;
  EXPECT_EQ(LoadObjectFromFile(&cut, dir.File("cut.pmf")), 0);
  EXPECT_EQ(KvLastFailure(), "truncated");
  ASSERT_EQ(loaded.GetList().GetCount(), 1);
  auto* back = static_cast<CKvClipMedia*>(loaded.GetList().GetHead());
  EXPECT_TRUE(kvtest::SameRecord(*back, *record));

  const struct {
    const wchar_t* path;
    DWORD* field;
    int equal;
  } rows[] = {
      {L"/CLIPS/bühne 1.TGA", nullptr, 1},
      {L"/clips/Bühne 2.tga", nullptr, 0},
      {L"/clips/Bühne 1.tga", &find.nFileSizeHigh, 0},
      {L"/clips/Bühne 1.tga", &find.nFileSizeLow, 0},
      {L"/clips/Bühne 1.tga", &find.ftLastWriteTime.dwLowDateTime, 0},
      {L"/clips/Bühne 1.tga", &find.ftLastWriteTime.dwHighDateTime, 0},
  };
  for (const auto& row : rows) {
    const WIN32_FIND_DATAW saved = find;
    if (row.field) ++*row.field;
    CKvClipMedia other;
    other.SetBasicInfo(row.path, &find);
    EXPECT_EQ(back->CompareMedia(&other), row.equal) << CString(row.path).ToUtf8();
    find = saved;
  }
}

TEST(ClipMedia, MakeExtInfoTakesPictureExtensionsInAnyCase) {
  KvMediaFileOpen();
  kvtest::TempDir dir;
  std::vector<DWORD> pixels(16 * 8, 0xFF336699u);
  for (const char* name : {"a.jpg", "b.jpeg"})
    KvMediaSaveJPGFile(dir.File(name), pixels.data(), CSize(16, 8), CRect(0, 0, 16, 8));
  kvtest::WritePicture(dir.path() + "/c.Tga", 30, 20, 1);
  kvtest::WritePicture(dir.path() + "/d.tga.txt", 30, 20, 1);
  kvtest::PngImage png{.width = 5, .height = 3, .colorType = 2};
  png.samples.assign(5 * 3 * 3, 0x80);
  kvtest::WritePng(dir.path() + "/e.png", png);
  const struct {
    const char* file;
    int made;
    int bits;
  } rows[] = {
      {"a.jpg", 1, 32}, {"b.jpeg", 0, 0},  // four letters are not in the list
      {"c.Tga", 1, 32}, {"d.tga.txt", 0, 0},
      {"e.png", 1, 3},  // the information call's figure for PNG: bytes per pixel
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file);
    CKvClipMedia record;
    record.SetBasicInfo(dir.File(row.file), nullptr);
    EXPECT_EQ(record.MakeExtInfo(), row.made);
    RECT info{};
    if (row.made) KvMediaGetPicInfo(dir.File(row.file), &info, nullptr);
    EXPECT_EQ(record.GetPicSize(), CSize(info.right - info.left, info.bottom - info.top));
    EXPECT_EQ(record.GetBits(), row.bits);
    EXPECT_EQ(record.GetName(), row.made ? CString::FromUtf8(row.file) : CString());
    EXPECT_EQ(record.GetIcon().GetIconSize(), row.made ? CSize(80, 60) : CSize());
  }
  KvMediaFileClose();
}

TEST(ClipMedia, LyingCataloguesAreRefusedWithTheirReason) {
  const Bytes record = NewClass("CKvClipMedia") + RecordBody();
  const Bytes longString =
      NewClass("CKvClipMedia") + Le16(0) + Bytes{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::string unknown = "holds an object of an unknown or unexpected class";
  Bytes nested;  // collections inside collections, deeper than any catalogue is
  for (int i = 0; i < 300; ++i)
    nested = nested + NewClass("CKvClipMediaFileCollection") + Le16(0) + Le16(1);
  // clang-format off
  kvtest::ExpectReasons(
      {
          {"count larger than the records", Catalogue(1000, record), "truncated"},
          {"string longer than the file", Catalogue(1, longString + Le32(0x00080000)), "truncated"},
          {"string longer than any path", Catalogue(1, longString + Le32(0x7FFFFFFF)), "damaged"},
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

// A copy of a collection, made or assigned, holds copies of every record, icon included, in
// order, and stays whole when the original goes. Every cut of the catalogue is refused.
TEST(ClipMedia, ACopyOfACollectionIsWholeAndItsOwn) {
  const Bytes two = Catalogue(2, NewClass("CKvClipMedia") + RecordBody() + Le16(0x8001) +
                                     RecordBody(0, Icon(2, 2, 24, 16, Bytes(16, 0x33))));
  kvtest::ExpectEveryPrefixFails(two, [](const Bytes& b) { return LoadsAsCatalogue(b); });
  auto original = std::make_unique<CKvClipMediaFileCollection>();
  ASSERT_TRUE(LoadsAsCatalogue(two, original.get()));
  const std::unique_ptr<CKvObject> made(original->MakeCopy());
  CKvClipMediaFileCollection assigned;
  assigned.CopyFrom(*original);
  for (auto* copy : {dynamic_cast<CKvClipMediaFileCollection*>(made.get()), &assigned}) {
    ASSERT_NE(copy, nullptr);
    const auto mine = kvtest::Records(copy->GetList()),
               theirs = kvtest::Records(original->GetList());
    ASSERT_EQ(mine.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_NE(mine[i], theirs[i]);
      EXPECT_TRUE(kvtest::SameRecord(*mine[i], *theirs[i])) << i;
    }
  }
  original.reset();
  for (auto* copy : {static_cast<CKvClipMediaFileCollection*>(made.get()), &assigned})
    EXPECT_EQ(kvtest::StoreArchive([&](CArchive& ar) { copy->Serialize(ar); }), two);
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
  const Bytes rows[] = {
      Catalogue(1, NewClass("CKvClipMedia") + Le16(0) + Bytes{0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF} +
                       Le32(0x00080000)),
      Catalogue(1, NewClass("CKvClipMedia") + RecordBody(0, Icon(1024, 1024, 32, 4u << 20))),
  };
  for (Bytes bytes : rows) {
    RecordingFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    CKvClipMediaFileCollection catalogue;
    CArchive ar(&file, CArchive::load);
    EXPECT_THROW(catalogue.Serialize(ar), CArchiveException);
    // Reads beyond the archive's own buffer go straight into the room made for the data.
    EXPECT_LE(file.largest, std::max<std::size_t>(4096, bytes.size()));
  }
}

}  // namespace
