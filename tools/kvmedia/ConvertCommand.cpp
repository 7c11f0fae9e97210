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

// Why --time does not go with IN; "" when it does. The players hold times to what they can
// play (a scroll to 0..1, a movie to its start and to a last pass): one outside is refused
// rather than changed.
std::string TimeRefusal(double time, bool movie, bool scroll) {
  if (!movie && !scroll) return "--time goes with movie and scroll files";
  if (scroll && !(time >= 0 && time <= 1)) return "--time takes a scroll position from 0 to 1";
  if (movie && !(time >= 0 && time <= kMaxPasses))
    return "--time takes a movie time from 0 to " + std::to_string(kMaxPasses) + " plays";
  return "";
}

// The picture of IN, or its frame at `time`, with a progress line for a big picture.
KvGlobalPtr LoadFrame(const std::string& in, bool movie, bool scroll, float time, CRect& rect) {
  const CString path = PathArg(in);
  SKvPicFacts facts;
  const bool big = !movie && !scroll && KvMediaGetPicFacts(path, &facts) &&
                   facts.width * facts.height > kBigPicture;
  std::optional<Progress> loading;
  if (big) loading.emplace("loading " + in, 0, "");
  return KvGlobalPtr(movie    ? KvMovieGetFrame(path, rect, time)
                     : scroll ? KvScrollGetFrame(path, rect, time, 0)
                              : KvMediaLoadPicFile(path, rect));
}

int Run(const Parsed& args) {
  if (IsBatchConvert(args)) return RunBatchConvert(args);
  // -j is the batch's alone.
  if (args.Has("-j")) return Usage(kConvertCommand, "unknown option -j");
  const std::vector<std::string>& files = args.words;
  const std::optional<CRect> region = args.Region("--region");
  const std::optional<double> time = args.Number("--time");
  if (files.size() != 2) return Usage(kConvertCommand, "expected IN and OUT");
  const std::string& in = files[0];
  const std::string& out = files[1];
  if (!IsPictureOutput(out)) return Usage(kConvertCommand, kPictureOutputRule);

  KvMediaFileOpen();
  const CString inPath = PathArg(in);
  if (const std::string refusal = FileRefusal(inPath); !refusal.empty())
    return Fail(in + ": " + refusal);
  const bool movie = CKvPlayMovieBase::MovieCategory(inPath) != MOVIE_UNKNOWN;
  const bool scroll = CKvPlayScrollBase::GetScrollCategory(inPath) != SCROLL_UNKNOWN;
  if (time) {
    if (const std::string refusal = TimeRefusal(*time, movie, scroll); !refusal.empty())
      return Usage(kConvertCommand, refusal);
  }
  if (const std::string refusal = OutputIsInput(out, {in}); !refusal.empty()) return Fail(refusal);
  CRect rect;
  const KvGlobalPtr picture =
      LoadFrame(in, movie, scroll, static_cast<float>(time.value_or(0)), rect);
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

const Options kConvertOptions = {
    {.name = "--region",
     .kind = Kind::kRegion,
     .refusal = "takes X,Y,W,H with W and H above 0",
     .arg = "X,Y,W,H",
     .help = "save only that part of the picture (what lies outside it is cut\n"
             "off, and the tool says so; a region wholly outside is refused)"},
    {.name = "--time",
     .kind = Kind::kNumber,
     .arg = "T",
     .help = "for a movie, the frame at time T, counted in plays of the whole\n"
             "movie from 0 to 10000 (0 the first frame, 0.5 the middle one); for\n"
             "a scroll file (.ksc), the frame at position T from 0 (start) to 1\n"
             "(end)"},
    // "png", ".png" or "PNG": read by the batch.
    {.name = "--to",
     .kind = Kind::kText,
     .values = "tga bmp pcx jpg jpeg png",
     .arg = "TYPE",
     .help = "the type of every output",
     .block = 2},
    {.name = "--outdir",
     .kind = Kind::kText,
     .refusal = "needs a folder",
     .arg = "DIR",
     .help = "the folder of the outputs",
     .block = 2},
    {.name = "-j",
     .kind = Kind::kInteger,
     .least = 1,
     .most = kMostJobs,
     .arg = "N",
     .help = "pictures converted at once",
     .block = 2}};

const Command kConvertCommand = {
    "convert",
    "convert a picture (or a movie or scroll frame) to TGA, BMP, PCX, JPEG or PNG",
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
    "OUT may not be IN.\n" KV_OPTION_BLOCK1
    "\n"
    "With --to and --outdir, each picture IN is written into DIR (made when missing) under\n"
    "its own name with TYPE's extension (tga, bmp, pcx, jpg, jpeg or png), N at a time\n"
    "(-j, 1 to 32; the number of cores unless given). One progress line shows the batch; a\n"
    "picture that cannot be read or written is refused with a line and the others go on.\n"
    "An output that is one of the inputs is refused, never overwritten; of two inputs with\n"
    "the same name (a/x.tga, b/x.bmp) the first is written and the second refused. Exits 1\n"
    "when any picture was refused. Ctrl-C lets the pictures in hand finish and starts no\n"
    "more (exit 130).\n" KV_OPTION_BLOCK2,
    Run,
    kConvertOptions,
    {},
    20};
const Registrar kConvertRegistrar(kConvertCommand);

}  // namespace kvtool
