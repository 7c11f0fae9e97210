#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ArchiveBytes.h"
#include "platform/Archive.h"

namespace {

class CTestPoint : public CObject {
  DECLARE_SERIAL(CTestPoint)
 public:
  LONG x = 0, y = 0;
  void Serialize(CArchive& ar) override {
    if (ar.IsStoring())
      ar << x << y;
    else
      ar >> x >> y;
  }
};
IMPLEMENT_SERIAL(CTestPoint, CObject, 3)

using kvtest::LoadArchive;
using kvtest::StoreArchive;

CString ReadString(std::vector<BYTE> bytes) {
  CString s;
  LoadArchive(std::move(bytes), [&](CArchive& ar) { ar >> s; });
  return s;
}

}  // namespace

TEST(ArchiveStrings, WrittenAsUtf16AnsiReadAndDamagedLengthsFailCleanly) {
  EXPECT_EQ(StoreArchive([](CArchive& ar) { ar << CString(L"A标"); }),
            (std::vector<BYTE>{0xFF, 0xFE, 0xFF, 0x02, 0x41, 0x00, 0x07, 0x68}));
  const CString longText(std::wstring(300, L'x'));
  const auto longBytes = StoreArchive([&](CArchive& ar) { ar << longText; });
  ASSERT_GE(longBytes.size(), 6u);
  EXPECT_EQ(std::vector<BYTE>(longBytes.begin(), longBytes.begin() + 6),
            (std::vector<BYTE>{0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}));
  EXPECT_EQ(ReadString(longBytes), longText);
  // ANSI forms are read too.
  EXPECT_EQ(ReadString({0x03, 'a', 'b', 'c'}), L"abc");
  // A long ANSI string: 0xFF then a 16-bit length.
  std::vector<BYTE> longAnsi = {0xFF, 0x00, 0x01};
  longAnsi.insert(longAnsi.end(), 256, 'q');
  EXPECT_EQ(ReadString(longAnsi), CString(std::wstring(256, L'q')));
  // UTF-8 bytes come back as their characters; other bytes one character each.
  EXPECT_EQ(ReadString({0x03, 0xE6, 0xA0, 0x87}), L"标");
  EXPECT_EQ(ReadString({0x02, 0xE9, 0x41}), L"\u00E9A");
  // 0xFFFFFFF0 UTF-16 characters with two bytes behind, and five ANSI ones with one.
  EXPECT_THROW(ReadString({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 'a', 0}),
               CArchiveException);
  EXPECT_THROW(ReadString({0x05, 'a'}), CArchiveException);
}

TEST(ArchiveObjects, ClassTagsBackReferencesAndCounts) {
  CTestPoint a, b;
  a.x = 1, a.y = 2, b.x = -3, b.y = 4;
  const auto bytes = StoreArchive([&](CArchive& ar) {
    ar << static_cast<CObject*>(&a) << static_cast<CObject*>(&b) << static_cast<CObject*>(&a)
       << static_cast<CObject*>(nullptr);
  });
  // New class: 0xFFFF, schema 3, name length 10, name; then a's data; b with the class tag
  // 0x8001 (class index 1); a again as object index 2; the null tag.
  EXPECT_EQ(bytes,
            (std::vector<BYTE>{0xFF, 0xFF, 3,    0,    10, 0, 'C', 'T', 'e', 's', 't', 'P',  'o',
                               'i',  'n',  't',  1,    0,  0, 0,   2,   0,   0,   0,   0x01, 0x80,
                               0xFD, 0xFF, 0xFF, 0xFF, 4,  0, 0,   0,   2,   0,   0,   0}));
  LoadArchive(bytes, [&](CArchive& ar) {
    std::unique_ptr<CObject> first(ar.ReadObject(RUNTIME_CLASS(CTestPoint)));
    EXPECT_TRUE(ar.LastObjectWasNew());
    std::unique_ptr<CObject> second(ar.ReadObject(nullptr));
    CObject* again = ar.ReadObject(nullptr);
    EXPECT_FALSE(ar.LastObjectWasNew());
    EXPECT_EQ(ar.ReadObject(nullptr), nullptr);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(again, first.get());
    const auto* p = static_cast<CTestPoint*>(second.get());
    EXPECT_EQ(std::pair(p->x, p->y), std::pair(LONG(-3), LONG(4)));
  });
  // Lists keep their order.
  CObList list, back;
  list.AddTail(&a);
  list.AddTail(&b);
  LoadArchive(StoreArchive([&](CArchive& ar) { list.Serialize(ar); }),
              [&](CArchive& ar) { back.Serialize(ar); });
  ASSERT_EQ(back.GetCount(), 2);
  std::unique_ptr<CObject> first(back.GetHead()), second(back.GetTail());
  EXPECT_EQ(static_cast<CTestPoint*>(second.get())->x, -3);
  // Counts of 0xFFFF and above take the long form.
  const auto big = StoreArchive([](CArchive& ar) { ar.WriteCount(70000); });
  EXPECT_EQ(big, (std::vector<BYTE>{0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}));
  LoadArchive(big, [](CArchive& ar) { EXPECT_EQ(ar.ReadCount(), 70000u); });
}

TEST(ArchiveObjects, DamagedArchivesAreRefused) {
  CTestPoint a;
  const auto good = StoreArchive([&](CArchive& ar) { ar << static_cast<CObject*>(&a); });
  auto causeOf = [](std::vector<BYTE> bytes) {
    try {
      LoadArchive(std::move(bytes), [](CArchive& ar) { delete ar.ReadObject(nullptr); });
    } catch (const CArchiveException& e) {
      return e.m_cause;
    }
    return -1;
  };
  auto with = [&](std::size_t at, BYTE value) {
    auto bytes = good;
    bytes[at] = value;
    return bytes;
  };
  EXPECT_EQ(causeOf(with(6, 'X')), CArchiveException::badClass);  // "XTestPoint"
  EXPECT_EQ(causeOf(with(2, 4)), CArchiveException::badSchema);
  EXPECT_EQ(causeOf({0x05, 0x80}), CArchiveException::badIndex);  // class 5 never seen
  EXPECT_EQ(causeOf({0x07, 0x00}), CArchiveException::badIndex);  // object 7 never seen
  EXPECT_EQ(causeOf({0xFF, 0xFF, 0x00, 0x00, 0x50, 0x00}), CArchiveException::badClass);
  // A class that is not the one asked for.
  EXPECT_THROW(
      LoadArchive(good, [](CArchive& ar) { delete ar.ReadObject(RUNTIME_CLASS(CObList)); }),
      CArchiveException);
}

TEST(MemFile, GrowsSeeksAndAttaches) {
  CMemFile file(16);
  const char text[] = "0123456789abcdefghij";
  file.Write(text, 20);
  EXPECT_EQ(file.GetLength(), 20u);
  file.Seek(-5, CFile::end);
  char tail[8] = {};
  EXPECT_EQ(file.Read(tail, 8), 5u);
  EXPECT_STREQ(tail, "fghij");
  EXPECT_THROW(file.Seek(-1, CFile::begin), CFileException);
  file.Seek(30, CFile::begin);
  file.Write("!", 1);  // the gap reads back as zeros
  EXPECT_EQ(file.GetLength(), 31u);
  BYTE fixed[4] = {1, 2, 3, 4};
  CMemFile attached(fixed, 4);
  EXPECT_EQ(attached.GetLength(), 4u);
  attached.Seek(4, CFile::begin);
  EXPECT_THROW(attached.Write("x", 1), CMemoryException);  // no growth asked for
  EXPECT_EQ(attached.Detach(), fixed);
}
