// Resource strings, bitmaps and message boxes by resource id, and the suite's module settings.
#pragma once

#include "platform/Module.h"
#include "platform/String.h"
#include "platform/Window.h"

class KV_HOST_API CKvModuleRC {
 public:
  // FALSE (and an empty string) when the module has no such string.
  static BOOL LoadStringW(HINSTANCE module, UINT id, CString& text);
  static BOOL LoadBitmapW(HINSTANCE module, UINT id, CBitmap& bitmap);
  // Shows the string of `id` with the box type and returns the button pressed.
  static int MessageBoxW(HINSTANCE module, UINT id, UINT type);
};

class KV_HOST_API CKvModuleSetting {
 public:
  // Non-zero when the suite runs in its 2D environment; the host sets it (off by default).
  static BOOL Is2DEnvion();
  static void Set2DEnvironment(BOOL on);
};
