// Message-box constants and the platform's own message box, which the host's user-interface
// services take over when they are loaded.
#pragma once

#include "platform/String.h"

enum : UINT {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_ABORTRETRYIGNORE = 0x2,
  MB_YESNOCANCEL = 0x3,
  MB_YESNO = 0x4,
  MB_RETRYCANCEL = 0x5,
  MB_TYPEMASK = 0xF,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON1 = 0x000,
  MB_DEFBUTTON2 = 0x100,
  MB_DEFBUTTON3 = 0x200,
  MB_DEFMASK = 0xF00,
};

enum : int {
  IDOK = 1,
  IDCANCEL = 2,
  IDABORT = 3,
  IDRETRY = 4,
  IDIGNORE = 5,
  IDYES = 6,
  IDNO = 7,
};

// The button a box of this type answers with when nobody can press one: its default button.
KV_PLATFORM_API int KvDefaultButton(UINT type);

using KvMessageBoxHook = int (*)(const CString& text, const CString& caption, UINT type);
// Routes AfxMessageBox; null restores the built-in one, which writes to standard error and
// answers with the default button.
KV_PLATFORM_API void KvSetMessageBoxHook(KvMessageBoxHook hook);

KV_PLATFORM_API int AfxMessageBox(const CString& text, UINT type = MB_OK);
