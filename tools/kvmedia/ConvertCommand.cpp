// kvmedia convert IN OUT [--region X,Y,W,H]: loads any picture through the load dispatch
// and writes it by OUT's extension.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "PngWriter.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kConvertCommand;

namespace {

std::vector<DWORD> Crop(const DWORD* pixels, CSize size, const CRect& area) {
  std::vector<DWORD> crop(static_cast<std::size_t>(area.Width()) * area.Height());
  for (int y = 0; y < area.Height(); ++y)
    std::copy_n(pixels + static_cast<std::size_t>(area.top + y) * size.cx + area.left, area.Width(),
                crop.begin() + static_cast<std::ptrdiff_t>(y) * area.Width());
  return crop;
}

int Run(const Args& args) {
  std::vector<std::string> files;
  std::optional<CRect> region;
  std::optional<double> time;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--region") {
      if (i + 1 >= args.size() || !(region = ParseRegion(args[i + 1])))
        return Usage(kConvertCommand, "--region takes X,Y,W,H with W and H above 0");
      ++i;
    } else if (args[i] == "--time") {
      if (i + 1 >= args.size() || !(time = ParseNumber(args[i + 1])))
        return Usage(kConvertCommand, "--time takes a number (passes through the movie)");
      ++i;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return Usage(kConvertCommand, "unknown option " + args[i]);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return Usage(kConvertCommand, "expected IN and OUT");
  const std::string& in = files[0];
  const std::string& out = files[1];
  const std::string ext = LowerExtension(out);
  if (ext != ".tga" && ext != ".bmp" && ext != ".pcx" && ext != ".jpg" && ext != ".png")
    return Usage(kConvertCommand, "OUT must end in .tga, .bmp, .pcx, .jpg or .png");

  KvMediaFileOpen();
  const CString inPath = PathArg(in);
  if (!KvDoesFileExist(inPath)) return Fail(in + ": no such file");
  CRect rect;
  const bool movie = CKvPlayMovieBase::MovieCategory(inPath) != MOVIE_UNKNOWN;
  const bool scroll = CKvPlayScrollBase::GetScrollCategory(inPath) != SCROLL_UNKNOWN;
  if (time && !movie && !scroll)
    return Usage(kConvertCommand, "--time goes with movie and scroll files");
  const auto t = static_cast<float>(time.value_or(0));
  KvGlobalPtr picture(movie    ? KvMovieGetFrame(inPath, rect, t)
                      : scroll ? KvScrollGetFrame(inPath, rect, t, 0)
                               : KvMediaLoadPicFile(inPath, rect));
  if (!picture) return Fail(in + ": not a picture this build reads, or damaged");
  const CSize size = rect.Size();
  const CRect whole(0, 0, size.cx, size.cy);
  CRect area = region.value_or(whole);
  if (!area.IntersectRect(&area, &whole)) return Fail("the region lies outside the picture");

  auto* pixels = static_cast<DWORD*>(picture.get());
  int ok = 0;
  if (ext == ".tga") {
    ok = KvMediaSaveTGAFile(PathArg(out), pixels, size, area);
  } else if (ext == ".bmp") {
    ok = KvMediaSaveBMPFile(PathArg(out), pixels, size, area);
  } else if (ext == ".pcx") {
    ok = KvMediaSavePCXFile(PathArg(out), pixels, size, area);
  } else if (ext == ".jpg") {
    // The JPEG saver writes the whole buffer it is given: hand it the region alone.
    std::vector<DWORD> crop = Crop(pixels, size, area);
    ok = KvMediaSaveJPGFile(PathArg(out), crop.data(), area.Size(),
                            CRect(0, 0, area.Width(), area.Height()));
  } else {
    std::vector<DWORD> crop = Crop(pixels, size, area);
    std::string error;
    ok = WritePng(out, crop.data(), area.Width(), area.Height(), &error);
    if (!ok) return Fail(error);
  }
  if (!ok) return Fail("cannot write " + out);
  std::printf("%s (%d x %d) -> %s (%d x %d)\n", in.c_str(), size.cx, size.cy, out.c_str(),
              area.Width(), area.Height());
  return 0;
}

}  // namespace

const Command kConvertCommand = {
    "convert", "convert a picture to TGA, BMP, PCX, JPEG or PNG",
    "usage: kvmedia convert IN OUT [--time T] [--region X,Y,W,H]\n"
    "\n"
    "Loads IN with the library's load dispatch (any picture type it reads; a file whose\n"
    "extension it does not know is tried with every reader) and writes OUT by its\n"
    "extension: .tga and .bmp with the library's savers (32 bits, alpha kept), .pcx (24\n"
    "bits) and .jpg (quality 75) with its savers too, .png as lossless RGBA.\n"
    "--region saves only that part of the picture (clipped to it).\n"
    "For a movie, --time T picks the frame at T passes through it (0 the first frame); for\n"
    "a scroll file (.ksc) the frame at position T from 0 to 1.\n",
    Run};
const Registrar kConvertRegistrar(kConvertCommand);

}  // namespace kvtool
