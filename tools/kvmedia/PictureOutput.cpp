#include "PictureOutput.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "Progress.h"
#include "ToolSupport.h"

namespace kvtool {

namespace {

std::vector<DWORD> Crop(const DWORD* pixels, CSize size, const CRect& area) {
  std::vector<DWORD> crop(static_cast<std::size_t>(area.Width()) * area.Height());
  for (int y = 0; y < area.Height(); ++y)
    std::copy_n(pixels + static_cast<std::size_t>(area.top + y) * size.cx + area.left, area.Width(),
                crop.begin() + static_cast<std::ptrdiff_t>(y) * area.Width());
  return crop;
}

}  // namespace

bool IsPictureOutput(const std::string& out) {
  const std::string ext = LowerExtension(out);
  return ext == ".tga" || ext == ".bmp" || ext == ".pcx" || ext == ".png" || ext == ".jpg" ||
         ext == ".jpeg";
}

std::string WritePicture(const std::string& out, DWORD* pixels, CSize size, const CRect& area) {
  const std::string ext = LowerExtension(out);
  const bool jpeg = ext == ".jpg" || ext == ".jpeg";
  const CRect whole(0, 0, size.cx, size.cy);
  // PNG and JPEG are written whole from what they are given: the region alone.
  std::vector<DWORD> crop;
  DWORD* source = pixels;
  if ((ext == ".png" || jpeg) && !(area == whole)) {
    crop = Crop(pixels, size, area);
    source = crop.data();
  }
  const bool big = 1LL * area.Width() * area.Height() > kBigPicture;
  if (ext == ".png") {
    std::optional<Progress> writing;
    if (big) writing.emplace("writing " + out, area.Height(), "rows");
    std::string error;
    if (!WritePng(out, source, area.Width(), area.Height(), &error, writing ? &*writing : nullptr))
      return error;
    return "";
  }
  std::optional<Progress> writing;
  if (big) writing.emplace("writing " + out, 0, "");
  const CString outPath = PathArg(out);
  int ok = 0;
  if (ext == ".tga") {
    ok = KvMediaSaveTGAFile(outPath, pixels, size, area);
  } else if (ext == ".bmp") {
    ok = KvMediaSaveBMPFile(outPath, pixels, size, area);
  } else if (ext == ".pcx") {
    ok = KvMediaSavePCXFile(outPath, pixels, size, area);
  } else if (jpeg) {
    ok = KvMediaSaveJPGFile(outPath, source, area.Size(), CRect(0, 0, area.Width(), area.Height()));
  }
  if (ok) return "";
  return "cannot write " + out + ": " + LibraryReason("the picture does not fit the format");
}

}  // namespace kvtool
