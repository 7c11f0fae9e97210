// Archive loading of arbitrary bytes: a nested record type and an owning list, as the
// folder catalogues store them. Every outcome must be a clean object or an archive error.
#include <cstdint>
#include <vector>

#include "host/Objects.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
  return 0;
}
