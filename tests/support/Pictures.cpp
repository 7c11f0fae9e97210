#include "Pictures.h"

#include <strings.h>

#include <vector>

#include "KvMediaFile/KvPicture.h"

namespace kvtest {

void WritePicture(const std::string& path, int w, int h, int seed) {
  std::vector<DWORD> pixels(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = 0xFF000000u | static_cast<DWORD>(i * 2654435761u + seed * 97u);
  const bool bmp = path.size() > 3 && strcasecmp(path.c_str() + path.size() - 4, ".bmp") == 0;
  (bmp ? KvMediaSaveBMPFile : KvMediaSaveTGAFile)(CString::FromUtf8(path), pixels.data(),
                                                  CSize(w, h), CRect(0, 0, w, h));
}

}  // namespace kvtest
