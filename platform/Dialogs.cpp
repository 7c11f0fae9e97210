#include "platform/Dialogs.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<KvMessageBoxHook> g_hook{nullptr};
}

int KvDefaultButton(UINT type) {
  const int index = static_cast<int>((type & MB_DEFMASK) >> 8);
  static const int kButtons[][3] = {
      {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
      {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
  };
  const UINT kind = type & MB_TYPEMASK;
  if (kind > MB_RETRYCANCEL || index > 2) return IDOK;
  return kButtons[kind][index];
}

void KvSetMessageBoxHook(KvMessageBoxHook hook) { g_hook.store(hook); }

int AfxMessageBox(const CString& text, UINT type) {
  if (const KvMessageBoxHook hook = g_hook.load()) return hook(text, CString(), type);
  std::fprintf(stderr, "%s\n", text.ToUtf8().c_str());
  return KvDefaultButton(type);
}
