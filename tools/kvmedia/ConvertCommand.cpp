// kvmedia convert IN OUT [--region X,Y,W,H] [--time T]: loads any picture through the load
// dispatch and writes it by OUT's extension.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "BatchConvert.h"
#include "Commands.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "PictureOutput.h"
#include "Progress.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kConvertCommand;

namespace {

// Plays of a movie that a time may ask for: beyond, a long movie's frame number no longer
// fits the players' arithmetic.
constexpr int kMaxPasses = 10000;

int Run(const Args& args) {
  if (IsBatchConvert(args)) return RunBatchConvert(args);
  std::vector<std::string> files;
  std::optional<CRect> region;
  std::optional<double> time;
  for (ArgWalker arg(args); arg.Next();) {
    const std::string& a = arg.Current();
    if (!arg.IsOption()) {
      files.push_back(a);
    } else if (a == "--region") {
      const auto v = arg.Value();
      if (!v || !(region = ParseRegion(*v)))
        return Usage(kConvertCommand, "--region takes X,Y,W,H with W and H above 0");
    } else if (a == "--time") {
      const auto v = arg.Value();
      if (!v || !(time = ParseNumber(*v))) return Usage(kConvertCommand, "--time takes a number");
    } else {
      return Usage(kConvertCommand, "unknown option " + a);
    }
  }
  if (files.size() != 2) return Usage(kConvertCommand, "expected IN and OUT");
  const std::string& in = files[0];
  const std::string& out = files[1];
  if (!IsPictureOutput(out)) return Usage(kConvertCommand, kPictureOutputRule);

  KvMediaFileOpen();
  const CString inPath = PathArg(in);
  if (const std::string refusal = FileRefusal(inPath); !refusal.empty())
    return Fail(in + ": " + refusal);
  CRect rect;
  const bool movie = CKvPlayMovieBase::MovieCategory(inPath) != MOVIE_UNKNOWN;
  const bool scroll = CKvPlayScrollBase::GetScrollCategory(inPath) != SCROLL_UNKNOWN;
  if (time && !movie && !scroll)
    return Usage(kConvertCommand, "--time goes with movie and scroll files");
  // The players hold times to what they can play (a scroll to 0..1, a movie to its start
  // and to a last pass): one outside is refused rather than changed.
  if (time && scroll && !(*time >= 0 && *time <= 1))
    return Usage(kConvertCommand, "--time takes a scroll position from 0 to 1");
  if (time && movie && !(*time >= 0 && *time <= kMaxPasses))
    return Usage(kConvertCommand,
                 "--time takes a movie time from 0 to " + std::to_string(kMaxPasses) + " plays");
  if (const std::string refusal = OutputIsInput(out, {in}); !refusal.empty()) return Fail(refusal);
  const auto t = static_cast<float>(time.value_or(0));
  SKvPicFacts facts;
  const bool big = !movie && !scroll && KvMediaGetPicFacts(inPath, &facts) &&
                   facts.width * facts.height > kBigPicture;
  KvGlobalPtr picture;
  {
    std::optional<Progress> loading;
    if (big) loading.emplace("loading " + in, 0, "");
    picture.reset(movie    ? KvMovieGetFrame(inPath, rect, t)
                  : scroll ? KvScrollGetFrame(inPath, rect, t, 0)
                           : KvMediaLoadPicFile(inPath, rect));
  }
  if (!picture) return Fail(in + ": " + LibraryReason("not a picture this library reads"));
  const CSize size = rect.Size();
  const CRect whole(0, 0, size.cx, size.cy);
  CRect area = region.value_or(whole);
  if (!area.IntersectRect(&area, &whole))
    return Usage(kConvertCommand, "--region " + RegionText(*region) + " lies outside the " +
                                      std::to_string(size.cx) + " x " + std::to_string(size.cy) +
                                      " picture");
  if (region && !(area == *region))
    std::fprintf(stderr, "kvmedia: --region %s reaches outside the %d x %d picture: saved is %s\n",
                 RegionText(*region).c_str(), size.cx, size.cy, RegionText(area).c_str());

  const std::string error = WritePicture(out, static_cast<DWORD*>(picture.get()), size, area);
  if (!error.empty()) return Fail(error);
  std::printf("%s (%d x %d) -> %s (%d x %d)\n", in.c_str(), size.cx, size.cy, out.c_str(),
              area.Width(), area.Height());
  return 0;
}

}  // namespace

// Checked by main before Run sees them.
const Options kConvertOptions = {{"--region", true},
                                 {"--time", true},
                                 {"--to", true, "tga bmp pcx jpg jpeg png"},
                                 {"--outdir", true},
                                 {"-j", true}};

const Command kConvertCommand = {
    "convert", "convert a picture (or a movie or scroll frame) to TGA, BMP, PCX, JPEG or PNG",
    "usage: kvmedia convert IN OUT [--region X,Y,W,H] [--time T]\n"
    "       kvmedia convert IN... --to TYPE --outdir DIR [-j N] [--region X,Y,W,H]\n"
    "\n"
    "Loads IN with the library (any picture type it reads; a file whose extension it does\n"
    "not know is tried with every reader) and writes OUT in the type its extension names:\n"
    "  .tga          32 bits, alpha kept\n"
    "  .bmp          32 bits; the file stores alpha, but loading a BMP keeps no alpha\n"
    "  .pcx          24 bits, no alpha\n"
    "  .jpg, .jpeg   quality 75, no alpha\n"
    "  .png          8 bits a channel, alpha kept, lossless\n"
    "OUT is written under a temporary name and takes its own only when complete, so a\n"
    "failed or interrupted conversion leaves an existing OUT as it was. A read-only OUT is\n"
    "refused; a replaced OUT keeps its permissions; a symbolic link is followed.\n"
    "OUT may not be IN.\n"
    "  --region X,Y,W,H  save only that part of the picture (what lies outside it is cut\n"
    "                    off, and the tool says so; a region wholly outside is refused)\n"
    "  --time T          for a movie, the frame at time T, counted in plays of the whole\n"
    "                    movie from 0 to 10000 (0 the first frame, 0.5 the middle one); for\n"
    "                    a scroll file (.ksc), the frame at position T from 0 (start) to 1\n"
    "                    (end)\n"
    "\n"
    "With --to and --outdir, each picture IN is written into DIR (made when missing) under\n"
    "its own name with TYPE's extension (tga, bmp, pcx, jpg, jpeg or png), N at a time\n"
    "(-j, 1 to 32; the number of cores unless given). One progress line shows the batch; a\n"
    "picture that cannot be read or written is refused with a line and the others go on.\n"
    "An output that is one of the inputs is refused, never overwritten; of two inputs with\n"
    "the same name (a/x.tga, b/x.bmp) the first is written and the second refused. Exits 1\n"
    "when any picture was refused. Ctrl-C lets the pictures in hand finish and starts no\n"
    "more (exit 130).\n"
    "  --to TYPE         the type of every output\n"
    "  --outdir DIR      the folder of the outputs\n"
    "  -j N              pictures converted at once\n",
    Run, kConvertOptions};
const Registrar kConvertRegistrar(kConvertCommand);

}  // namespace kvtool
