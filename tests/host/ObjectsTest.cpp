#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ArchiveBytes.h"
#include "host/Objects.h"
#include "platform/GlobalMemory.h"

namespace {

// A record with a name, a thumbnail and children, as catalogues nest them.
class CTestNode : public CKvObject {
  DECLARE_SERIAL(CTestNode)
 public:
  CString name;
  CKvIconObj icon;
  CKvObList children;
  static int alive;
  CTestNode() { ++alive; }
  ~CTestNode() override { --alive; }
  CKvObject& operator=(const CKvObject& other) override {
    if (const auto* n = dynamic_cast<const CTestNode*>(&other)) {
      name = n->name;
      icon = n->icon;
      children.CopyFrom(n->children);
    }
    return *this;
  }
  void Serialize(CArchive& ar) override {
    CKvObject::Serialize(ar);
    if (ar.IsStoring())
      ar << name;
    else
      ar >> name;
    icon.Serialize(ar);
    children.Serialize(ar);
  }
};
IMPLEMENT_SERIAL(CTestNode, CKvObject, 0)
int CTestNode::alive = 0;

std::vector<BYTE> Store(CObject& object) {
  return kvtest::StoreArchive([&](CArchive& ar) { ar.WriteObject(&object); });
}

std::unique_ptr<CObject> Load(std::vector<BYTE> bytes) {
  std::unique_ptr<CObject> object;
  kvtest::LoadArchive(std::move(bytes),
                      [&](CArchive& ar) { object.reset(ar.ReadObject(RUNTIME_CLASS(CKvObject))); });
  return object;
}

BYTE* MakeIconBytes(int w, int h, BYTE seed) {
  const size_t n = CKvIconObj::RowBytes(w, 24) * h;
  auto* p = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, n));
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<BYTE>(seed + i);
  return p;
}

}  // namespace

TEST(KvObjects, NestedRecordsRoundTripCopyDeeplyAndFailWhole) {
  {
    CTestNode root;
    root.name = L"根";
    root.icon.SetIcon(MakeIconBytes(80, 60, 3), CSize(80, 60));
    for (int i = 0; i < 3; ++i) {
      auto* child = new CTestNode;
      child->name.Format(L"child %d", i);
      root.children.AddTail(child);
    }
    const auto bytes = Store(root);
    for (size_t n = 0; n < bytes.size(); ++n)  // cut anywhere: refused, and nothing leaks
      EXPECT_THROW(Load(std::vector<BYTE>(bytes.begin(), bytes.begin() + n)), CArchiveException);
    auto loaded = Load(bytes);
    auto* back = dynamic_cast<CTestNode*>(loaded.get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->name, L"根");
    EXPECT_EQ(back->icon.Compare(&root.icon), 1);
    ASSERT_EQ(back->children.GetCount(), 3);
    EXPECT_EQ(static_cast<CTestNode*>(back->children.GetTail())->name, L"child 2");
    std::unique_ptr<CKvObject> copy(root.MakeCopy());
    auto* c = dynamic_cast<CTestNode*>(copy.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->children.GetCount(), 3);
    EXPECT_NE(c->children.GetHead(), root.children.GetHead());  // a deep copy
  }
  EXPECT_EQ(CTestNode::alive, 0);  // the owning lists deleted every child
}

TEST(KvObjects, OwningListsDeleteWhatTheyOwnAndRefuseBackReferences) {
  // A list whose second entry refers back to the first would own one object twice.
  CTestNode a;
  const auto bytes = kvtest::StoreArchive([&](CArchive& ar) {
    ar.WriteCount(2);
    ar.WriteObject(&a);
    ar.WriteObject(&a);
  });
  CKvObList list;
  kvtest::LoadArchive(bytes,
                      [&](CArchive& ar) { EXPECT_THROW(list.Serialize(ar), CArchiveException); });
  EXPECT_EQ(list.GetCount(), 1);  // the first, new object is kept and owned
  CKvObList owner;
  for (int i = 0; i < 3; ++i) owner.AddTail(new CTestNode);
  const int alive = CTestNode::alive;
  owner.DeleteAt(owner.FindIndex(1));
  EXPECT_EQ(CTestNode::alive, alive - 1);
  CObject* kept = owner.GetHead();
  owner.RemoveAt(owner.GetHeadPosition());  // dropped, not deleted
  EXPECT_EQ(CTestNode::alive, alive - 1);
  delete kept;
  owner.DeleteAll();
  EXPECT_EQ(CTestNode::alive, alive - 3);
}

TEST(KvObjects, IconArchiveFormRejectsImpossibleSizes) {
  CKvIconObj icon;
  icon.SetIcon(MakeIconBytes(5, 2, 1), CSize(5, 2));
  EXPECT_EQ(icon.GetIconBytes(), 16u * 2);  // 15 bytes of pixels padded to 16
  const auto bytes = kvtest::StoreArchive([&](CArchive& ar) { icon.Serialize(ar); });
  ASSERT_EQ(bytes.size(), 4u + 4 + 2 + 4 + 32);
  auto loadIcon = [](std::vector<BYTE> b) {
    CKvIconObj out;
    kvtest::LoadArchive(std::move(b), [&](CArchive& ar) { out.Serialize(ar); });
    return out;
  };
  EXPECT_EQ(loadIcon(bytes).Compare(&icon), 1);
  // Sides, depths and byte counts that no thumbnail has (5 x 2 at 24 bits is 32 bytes).
  const auto header = [](LONG cx, LONG cy, WORD bits, DWORD count) {
    return kvtest::StoreArchive([&](CArchive& ar) { ar << cx << cy << bits << count; });
  };
  for (const auto& bad : {header(0, 0, 24, 4), header(0, 2, 24, 0), header(5, 0, 24, 0),
                          header(-5, 2, 24, 32), header(0x7F0005, 2, 24, 32),
                          header(5, 0x7F0005, 24, 32), header(5, 2, 16, 20), header(5, 2, 24, 31)})
    EXPECT_THROW(loadIcon(bad), CArchiveException);
  // A null block with a size is no icon, and stores as one.
  CKvIconObj none;
  none.SetIcon(nullptr, CSize(5, 2));
  EXPECT_EQ(none.GetIconSize(), CSize());
  EXPECT_EQ(
      loadIcon(kvtest::StoreArchive([&](CArchive& ar) { none.Serialize(ar); })).Compare(&none), 1);
}
