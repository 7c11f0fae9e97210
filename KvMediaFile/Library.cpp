// Start and end of the library: the sampler's two tables and the one image loader.
#include "KvMediaFile/Library.h"

#include <array>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "picture/ImageLoader.h"

namespace {
std::array<WORD, 256 * 256> g_product{};
std::array<BYTE, 256> g_level{};
}  // namespace

const WORD* KvProductTable() { return g_product.data(); }
const BYTE* KvLevelTable() { return g_level.data(); }

int KvMediaFileOpen() {
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) g_product[a * 256 + b] = static_cast<WORD>(a * b);
  for (int v = 0; v < 256; ++v) {
    const int t = static_cast<int>(v * 1.0079 + 0.5);
    g_level[v] = static_cast<BYTE>(t > 255 ? 255 : t);
  }
  if (!KvImageLoader()) {
    try {
      KvSetImageLoader(new CImageLoader);
    } catch (...) {
      KvSetImageLoader(nullptr);  // the loaders that need it then fail, as without it
    }
  }
  return 1;
}

int KvMediaFileClose() {
  if (CImageLoader* loader = KvImageLoader()) {
    KvSetImageLoader(nullptr);
    delete loader;
  }
  return 1;
}


CString KvMediaGetLastFailure() { return CString::FromUtf8(KvLastFailure()); }
