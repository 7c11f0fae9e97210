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

using Bytes = std::vector<BYTE>;
using namespace kvtest;  // the archive byte builders

CString ReadString(Bytes bytes) {
  CString s;
  LoadArchive(std::move(bytes), [&](CArchive& ar) { ar >> s; });
  return s;
}

}  // namespace

TEST(ArchiveStrings, WrittenAsUtf16AnsiReadAndDamagedLengthsFailCleanly) {
  EXPECT_EQ(StoreArchive([](CArchive& ar) { ar << CString(L"A标"); }), ArchiveString(u"A标"));
  // 300 units: 0xFF then a 16-bit length.
  const CString longText(std::wstring(300, L'x'));
  const Bytes longBytes = StoreArchive([&](CArchive& ar) { ar << longText; });
  EXPECT_EQ(Bytes(longBytes.begin(), longBytes.begin() + 6),
            Bytes({0xFF, 0xFE, 0xFF, 0xFF}) + Le16(300));
  EXPECT_EQ(ReadString(longBytes), longText);
  EXPECT_EQ(ReadString({0x03, 'a', 'b', 'c'}), L"abc");  // ANSI forms are read too
  EXPECT_EQ(ReadString(Bytes{0xFF} + Le16(256) + Bytes(256, 'q')),
            CString(std::wstring(256, L'q')));
  // UTF-8 bytes come back as their characters; other bytes one character each.
  EXPECT_EQ(ReadString({0x03, 0xE6, 0xA0, 0x87}), L"标");
  EXPECT_EQ(ReadString({0x02, 0xE9, 0x41}), L"\u00E9A");
  // 0xFFFFFFF0 UTF-16 characters with two bytes behind, and five ANSI ones with one.
  EXPECT_THROW(ReadString(Bytes{0xFF, 0xFE, 0xFF} + Le16(0xFFFF) + Le32(0xFFFFFFF0) + Le16('a')),
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
  // a with its new class; b with the class tag 0x8001 (class index 1); a again as object
  // index 2; the null tag.
  EXPECT_EQ(bytes, NewClassTag("CTestPoint", 3) + Le32(1) + Le32(2) + Le16(0x8001) +
                       Le32(unsigned(-3)) + Le32(4) + Le16(2) + Le16(0));
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
  EXPECT_EQ(big, Le16(0xFFFF) + Le32(70000));
  LoadArchive(big, [](CArchive& ar) { EXPECT_EQ(ar.ReadCount(), 70000u); });
}

TEST(ArchiveObjects, DamagedArchivesAreRefused) {
  const Bytes point = Le32(1) + Le32(2);
  const auto causeOf = [](Bytes bytes, const CRuntimeClass* required) {
    try {
      LoadArchive(std::move(bytes), [&](CArchive& ar) { delete ar.ReadObject(required); });
    } catch (const CArchiveException& e) {
      return e.m_cause;
    }
    return -1;
  };
  const struct {
    Bytes bytes;
    const CRuntimeClass* required;
    int cause;
  } rows[] = {
      {NewClassTag("CTestPoint", 3) + point, RUNTIME_CLASS(CTestPoint), -1},
      {NewClassTag("XTestPoint", 3) + point, nullptr, CArchiveException::badClass},
      {NewClassTag("CTestPoint", 4) + point, nullptr, CArchiveException::badSchema},
      {Le16(0x8005), nullptr, CArchiveException::badIndex},  // class 5 never seen
      {Le16(7), nullptr, CArchiveException::badIndex},       // object 7 never seen
      {Le16(0xFFFF) + Le16(0) + Le16(80), nullptr, CArchiveException::badClass},  // no name
      // A class that is not the one asked for.
      {NewClassTag("CTestPoint", 3) + point, RUNTIME_CLASS(CObList), CArchiveException::badClass},
  };
  for (const auto& row : rows) EXPECT_EQ(causeOf(row.bytes, row.required), row.cause);
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
