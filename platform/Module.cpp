#include "platform/Module.h"

const wchar_t* KvFindModuleString(HINSTANCE module, UINT id) {
  if (!module || !module->strings) return nullptr;
  for (std::size_t i = 0; i < module->stringCount; ++i)
    if (module->strings[i].id == id) return module->strings[i].text;
  return nullptr;
}

const KvBitmapResource* KvFindModuleBitmap(HINSTANCE module, UINT id) {
  if (!module || !module->bitmaps) return nullptr;
  for (std::size_t i = 0; i < module->bitmapCount; ++i)
    if (module->bitmaps[i].id == id) return &module->bitmaps[i];
  return nullptr;
}

const wchar_t* KvFindDialogText(HINSTANCE module, UINT templateId, UINT controlId) {
  if (!module || !module->dialogTexts) return nullptr;
  for (std::size_t i = 0; i < module->dialogTextCount; ++i) {
    const KvDialogText& t = module->dialogTexts[i];
    if (t.templateId == templateId && t.controlId == controlId) return t.text;
  }
  return nullptr;
}
