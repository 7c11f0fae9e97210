// Archive loading of arbitrary bytes: a nested record type and an owning list, as the
// folder catalogues store them. Every outcome must be a clean object or an archive error.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzFile.h"
#include "host/Objects.h"
#include "platform/GlobalMemory.h"

namespace {

class CFuzzNode : public CKvObject {
  DECLARE_SERIAL(CFuzzNode)
 public:
  CString name;
  CKvIconObj icon;
  CKvObList children;
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
IMPLEMENT_SERIAL(CFuzzNode, CKvObject, 0)

// A catalogue-like archive: a node with a thumbnail and two children, as a starting corpus.
void WriteSeed(const char* dir) {
  CFuzzNode root;
  root.name = L"folder";
  BYTE* icon = static_cast<BYTE*>(GlobalAlloc(GPTR, CKvIconObj::RowBytes(2, 24) * 2));
  root.icon.SetIcon(icon, CSize(2, 2));
  for (int i = 0; i < 2; ++i) {
    auto* child = new CFuzzNode;
    child->name.Format(L"child %d", i);
    root.children.AddTail(child);
  }
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    ar.WriteObject(&root);
    ar.Close();
  }
  std::vector<BYTE> bytes(static_cast<size_t>(file.GetLength()));
  file.SeekToBegin();
  file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
  kvtest::WriteBytes(std::string(dir) + "/seed-catalogue", bytes);
}

}  // namespace

KV_FUZZ_TARGET(0, KvFuzzNoSetUp, WriteSeed, [](const uint8_t* data, size_t size) {
  std::vector<BYTE> bytes(data, data + size);
  for (int form = 0; form < 2; ++form) {
    CMemFile file(bytes.data(), static_cast<UINT>(bytes.size()));
    CArchive ar(&file, CArchive::load);
    try {
      if (form == 0) {
        delete ar.ReadObject(RUNTIME_CLASS(CKvObject));
      } else {
        CKvObList list;
        list.Serialize(ar);
      }
    } catch (const CArchiveException&) {
    } catch (const CMemoryException&) {
    }
  }
})
