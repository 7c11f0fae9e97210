// Module handles and resources. A module's handle points at its resource table: the string
// table and the named bitmaps. There is no registration of modules at run time; a library
// owns a static table and hands out its address.
#pragma once

#include <cstddef>

#include "platform/Types.h"

struct KvStringResource {
  UINT id;
  const wchar_t* text;
};

// A bitmap resource as the original platform stores it: an information header, a colour
// table and the rows, without a file header.
struct KvBitmapResource {
  UINT id;
  const BYTE* data;
  std::size_t size;
};

// A text of a dialog template: the caption (control 0) or a control's label.
struct KvDialogText {
  UINT templateId;
  UINT controlId;
  const wchar_t* text;
};

struct KvModule {
  const char* name;
  const KvStringResource* strings;
  std::size_t stringCount;
  const KvBitmapResource* bitmaps;
  std::size_t bitmapCount;
  const KvDialogText* dialogTexts;
  std::size_t dialogTextCount;
};

// The text of a string id, or null.
KV_PLATFORM_API const wchar_t* KvFindModuleString(HINSTANCE module, UINT id);
// The text of a dialog control, or null.
KV_PLATFORM_API const wchar_t* KvFindDialogText(HINSTANCE module, UINT templateId, UINT controlId);
// The bitmap of an id, or null.
KV_PLATFORM_API const KvBitmapResource* KvFindModuleBitmap(HINSTANCE module, UINT id);
