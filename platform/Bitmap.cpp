#include "platform/Bitmap.h"

#include <cwchar>

namespace {

bool IdOf(const wchar_t* name, UINT& id) {
  if (!name) return false;
  if (IS_INTRESOURCE(name)) {
    id = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(name));
    return true;
  }
  if (*name == L'#') ++name;
  wchar_t* end = nullptr;
  const unsigned long v = std::wcstoul(name, &end, 10);
  if (end == name || *end != L'\0' || v > 0xFFFF) return false;
  id = static_cast<UINT>(v);
  return true;
}

}  // namespace

HRSRC FindResourceW(HINSTANCE module, const wchar_t* name, const wchar_t* type) {
  UINT id = 0;
  if (type != RT_BITMAP || !IdOf(name, id)) return nullptr;
  return KvFindModuleBitmap(module, id);
}

// Resources are static data: loading gives their address, and nothing needs freeing.
HGLOBAL LoadResource(HINSTANCE, HRSRC resource) {
  return resource ? const_cast<BYTE*>(resource->data) : nullptr;
}

void* LockResource(HGLOBAL loaded) { return loaded; }

DWORD SizeofResource(HINSTANCE, HRSRC resource) {
  return resource ? static_cast<DWORD>(resource->size) : 0;
}

BOOL FreeResource(HGLOBAL) { return TRUE; }
