#include "host/ModuleResources.h"

#include <atomic>

#include "host/UiServices.h"

namespace {
std::atomic<bool> g_2d{false};
}

BOOL CKvModuleRC::LoadStringW(HINSTANCE module, UINT id, CString& text) {
  const wchar_t* s = KvFindModuleString(module, id);
  text = s ? s : L"";
  return s ? TRUE : FALSE;
}

BOOL CKvModuleRC::LoadBitmapW(HINSTANCE module, UINT id, CBitmap& bitmap) {
  const KvBitmapResource* b = KvFindModuleBitmap(module, id);
  bitmap.DeleteObject();
  return b && bitmap.Attach(b->data, b->size) ? TRUE : FALSE;
}

int CKvModuleRC::MessageBoxW(HINSTANCE module, UINT id, UINT type) {
  CString text;
  if (!LoadStringW(module, id, text)) text.Format(L"#%u", id);
  return KvGetUiServices().MessageBox(text, CString(), type, nullptr);
}

BOOL CKvModuleSetting::Is2DEnvion() { return g_2d.load() ? TRUE : FALSE; }
void CKvModuleSetting::Set2DEnvironment(BOOL on) { g_2d.store(on != FALSE); }
