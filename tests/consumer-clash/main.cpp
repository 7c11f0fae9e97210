// Includes the library's headers beside a consumer's own host/, platform/ and ui/ folders,
// whose headers stop the build if the library's headers pick them up.
#include <KvMediaFile/KvMediaFile.h>

#include "host/Settings.h"
#ifdef KV_WITH_UI
#include <KvMediaFile/KvMediaUi.h>
#endif

int main() {
  KvMediaFileOpen();
  CKvMemBlock block;
  block.InitBlock(CSize(kClashWidth, 2));
  const bool ok = block.GetSize().cx == kClashWidth;
  KvMediaFileClose();
#ifdef KV_WITH_UI
  // Linked, not called: the dialog needs a display.
  auto* volatile select = &KvMediaSelectPicFile;
  return ok && select ? 0 : 1;
#else
  return ok ? 0 : 1;
#endif
}
