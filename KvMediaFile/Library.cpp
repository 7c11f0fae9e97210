// Start and end of the library (the module's own entry points beside its exported headers):
// the sampler's two tables and the one image loader.
#include "KvMediaFile/Library.h"

#include <array>

#include "KvMediaFile/KvPicture.h"
#include "host/Failure.h"
#include "picture/ImageLoader.h"

// The tables are built on first use (a function-local static is built once, and safely when
// threads race to it), so a caller that never calls KvMediaFileOpen still gets the sampler's
// true results instead of products and levels of zero.
const WORD* KvProductTable() {
  static const auto table = [] {
    std::array<WORD, 256 * 256> t{};
    for (int a = 0; a < 256; ++a)
      for (int b = 0; b < 256; ++b) t[a * 256 + b] = static_cast<WORD>(a * b);
    return t;
  }();
  return table.data();
}

const BYTE* KvLevelTable() {
  static const auto table = [] {
    std::array<BYTE, 256> t{};
    for (int v = 0; v < 256; ++v) {
      const int level = static_cast<int>(v * 1.0079 + 0.5);
      t[v] = static_cast<BYTE>(level > 255 ? 255 : level);
    }
    return t;
  }();
  return table.data();
}

int KvMediaFileOpen() {
  KvProductTable();
  KvLevelTable();
  KvImageLoader();  // made here when it can be; the loaders make it on first use otherwise
  return 1;
}

int KvMediaFileClose() {
  KvDestroyImageLoader();
  return 1;
}

CString KvMediaGetLastFailure() { return CString::FromUtf8(KvLastFailure()); }
