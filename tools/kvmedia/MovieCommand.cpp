// kvmedia movie frames MOVIE OUTDIR [...]: plays a movie frame by frame into PNG files.
// kvmedia movie make PATTERN OUT.sve [...]: makes a motion movie from numbered pictures.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "Progress.h"
#include "TerminalUi.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"
#include "platform/Paths.h"

namespace kvtool {

extern const Command kMovieCommand;

namespace {

constexpr long kMinKey = 10, kMaxKey = 30;
// The frame count is a 16-bit signed field of the file.
constexpr long kMaxFrames = 32767;

std::unique_ptr<CKvPlayMovieBase> MakePlayer(const CString& path) {
  switch (CKvPlayMovieBase::MovieCategory(path)) {
    case MOVIE_SVE:
    case MOVIE_KVX:
      return std::make_unique<CKvPlayMovieMotion>();
    case MOVIE_FLIC:
      return std::make_unique<CKvPlayMovieFlick>();
    default:
      return nullptr;
  }
}

// The background with the work block laid on it at `at` (the block already holds the frame
// mixed with the background there).
void PlaceOnBackground(const CKvMemBlock& work, const CKvMemBlock& back, CPoint at,
                       std::vector<DWORD>& out) {
  const CSize bs = back.GetSize(), ws = work.GetSize();
  const auto* bp = reinterpret_cast<const DWORD*>(back.GetAddress());
  const auto* wp = reinterpret_cast<const DWORD*>(work.GetAddress());
  out.assign(bp, bp + static_cast<std::size_t>(bs.cx) * bs.cy);
  const long long x0 = std::max(0, at.x), x1 = std::min<long long>(bs.cx, 0LL + at.x + ws.cx);
  const long long y0 = std::max(0, at.y), y1 = std::min<long long>(bs.cy, 0LL + at.y + ws.cy);
  for (long long y = y0; x0 < x1 && y < y1; ++y)
    std::memcpy(&out[static_cast<std::size_t>(y * bs.cx + x0)],
                wp + static_cast<std::size_t>((y - at.y) * ws.cx + (x0 - at.x)),
                static_cast<std::size_t>(x1 - x0) * 4);
}

int Frames(const Args& args) {
  std::vector<std::string> files;
  bool memory = false, force = false;
  std::string background;
  int mix = -1;
  std::optional<CPoint> paste;
  long every = 1;
  for (ArgWalker arg(args); arg.Next();) {
    const std::string& a = arg.Current();
    if (!arg.IsOption()) {
      files.push_back(a);
    } else if (a == "--memory") {
      memory = true;
    } else if (a == "--force") {
      force = true;
    } else if (a == "--background" || a == "--mix" || a == "--paste" || a == "--every") {
      const auto v = arg.Value();
      if (!v) return Usage(kMovieCommand, a + " takes a value");
      if (a == "--background") {
        background = *v;
      } else if (a == "--mix") {
        if (*v != "0" && *v != "1") return Usage(kMovieCommand, "--mix takes 0 or 1");
        mix = *v == "0" ? 0 : 1;
      } else if (a == "--paste") {
        const auto r = ParseRegion(*v + ",1,1");
        if (!r) return Usage(kMovieCommand, "--paste takes X,Y");
        paste = r->TopLeft();
      } else {
        const auto n = ParseNumber(*v);
        if (!n || *n < 1 || *n > 1e9 || *n != static_cast<long>(*n))
          return Usage(kMovieCommand, "--every takes a whole number from 1 to 1000000000");
        every = static_cast<long>(*n);
      }
    } else {
      return Usage(kMovieCommand, "unknown option " + a);
    }
  }
  if (files.size() != 2) return Usage(kMovieCommand, "expected MOVIE and OUTDIR");
  if (background.empty() != (mix < 0))
    return Usage(kMovieCommand, "--background and --mix go together");
  if (paste && background.empty()) return Usage(kMovieCommand, "--paste goes with --background");

  const CString path = PathArg(files[0]);
  if (const std::string refusal = FileRefusal(path); !refusal.empty())
    return Fail(files[0] + ": " + refusal);
  std::unique_ptr<CKvPlayMovieBase> player = MakePlayer(path);
  CRect movieRect;
  if (!player) return Fail(files[0] + ": not a movie this library plays");
  if (!KvMovieGetFileInfo(path, &movieRect, nullptr, nullptr))
    return Fail(files[0] + ": " + LibraryReason("not a readable movie"));
  if (!player->Open(path, memory ? 1 : 0))
    return Fail(files[0] + ": " + LibraryReason("not a readable movie"));
  // The FLIC player clears the flag in Open: it is the caller's to set before Prepare.
  player->m_bLoadToMem = memory ? 1 : 0;

  KvMediaFileOpen();
  CKvMemBlock back;
  if (!background.empty()) {
    CRect rect;
    KvGlobalPtr picture(KvMediaLoadPicFile(PathArg(background), rect));
    if (!picture)
      return Fail(background + ": " + LibraryReason("not a picture this library reads"));
    if (!back.InitBlock(rect.Size())) return Fail("out of memory");
    std::memcpy(back.GetAddress(), picture.get(),
                static_cast<std::size_t>(rect.Width()) * rect.Height() * 4);
    player->m_nMixMode = mix;
    // Where the movie was made to stand, unless told otherwise.
    player->m_ptPaste = paste.value_or(movieRect.TopLeft());
  }
  // A FLIC frame of unknown type throws out of Prepare and GetOneFrame.
  try {
    if (!player->Prepare(background.empty() ? nullptr : &back))
      return Fail(files[0] + ": " + LibraryReason("the movie's frames cannot be read"));
  } catch (const CFileException&) {
    return Fail(files[0] + ": " + LibraryReason("a frame cannot be read"));
  }

  const std::string& dir = files[1];
  std::vector<std::string> inputs{files[0]};
  if (!background.empty()) inputs.push_back(background);
  if (const std::string refusal = PrepareFrameFolder(dir, force, inputs); !refusal.empty())
    return Fail(refusal);
  const int n = player->m_nFrames;
  const CSize size = background.empty() ? player->m_blockWork.GetSize() : back.GetSize();
  std::vector<DWORD> placed;
  int written = 0;
  Progress progress("playing " + files[0], (n + every - 1) / every, "frames");
  for (long i = 0; i < n; i += every) {
    try {
      player->GetOneFrame(static_cast<float>(i) / static_cast<float>(n));
    } catch (const CFileException&) {
      return Fail(files[0] + ": " + LibraryReason("a frame cannot be read"));
    }
    const auto* pixels = reinterpret_cast<const DWORD*>(player->m_blockWork.GetAddress());
    if (!background.empty()) {
      PlaceOnBackground(player->m_blockWork, back, player->m_ptPaste, placed);
      pixels = placed.data();
    }
    std::string error;
    if (!WritePng(FramePath(dir, i), pixels, size.cx, size.cy, &error)) return Fail(error);
    progress.Set(++written);
  }
  std::printf("%s: %d of %d frames (%d x %d) written to %s\n", files[0].c_str(), written, n,
              size.cx, size.cy, dir.c_str());
  return 0;
}

// "R,G,B" of values 0 to 255.
std::optional<CKvColor32> ParseColour(const std::string& text) {
  int c[3] = {};
  char end = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d%c", &c[0], &c[1], &c[2], &end) != 3) return std::nullopt;
  for (int v : c)
    if (v < 0 || v > 255) return std::nullopt;
  return CKvColor32(static_cast<BYTE>(c[0]), static_cast<BYTE>(c[1]), static_cast<BYTE>(c[2]), 0);
}

int Make(const Args& args) {
  std::vector<std::string> files;
  std::optional<long> first, last, digits, key;
  std::optional<CRect> rect;
  std::optional<CKvColor32> colorKey, tolerance;
  bool deflicker = false;
  for (ArgWalker arg(args); arg.Next();) {
    const std::string& a = arg.Current();
    if (!arg.IsOption()) {
      files.push_back(a);
      continue;
    }
    if (a == "--deflicker") {
      deflicker = true;
      continue;
    }
    const bool number = a == "--first" || a == "--last" || a == "--digits" || a == "--key";
    if (!number && a != "--rect" && a != "--color-key" && a != "--tolerance")
      return Usage(kMovieCommand, "unknown option " + a);
    const auto v = arg.Value();
    if (!v) return Usage(kMovieCommand, a + " takes a value");
    if (number) {
      const auto n = ParseNumber(*v);
      // The maker keeps a key interval within 10 to 30: another is refused, not changed.
      const double least = a == "--key" ? kMinKey : 0;
      const double most = a == "--digits" ? 32 : a == "--key" ? kMaxKey : 1e9;
      if (!n || *n < least || *n > most || *n != static_cast<long>(*n))
        return Usage(kMovieCommand, a + " takes a whole number from " +
                                        std::to_string(static_cast<long>(least)) + " to " +
                                        std::to_string(static_cast<long>(most)));
      (a == "--first"    ? first
       : a == "--last"   ? last
       : a == "--digits" ? digits
                         : key) = static_cast<long>(*n);
    } else if (a == "--rect") {
      if (!(rect = ParseRegion(*v))) return Usage(kMovieCommand, "--rect takes X,Y,W,H");
    } else if (!((a == "--color-key" ? colorKey : tolerance) = ParseColour(*v))) {
      return Usage(kMovieCommand, a + " takes R,G,B, each 0 to 255");
    }
  }
  if (files.size() != 2 || !first || !last || !digits || !rect)
    return Usage(kMovieCommand,
                 "expected PATTERN OUT.sve --first N --last M --digits D --rect X,Y,W,H");
  if (tolerance && !colorKey) return Usage(kMovieCommand, "--tolerance goes with --color-key");
  if (*last < *first) return Usage(kMovieCommand, "--last comes before --first");
  if (*last - *first >= kMaxFrames)
    return Usage(kMovieCommand, "a movie holds at most " + std::to_string(kMaxFrames) +
                                    " frames: --last may be at most --first + " +
                                    std::to_string(kMaxFrames - 1));
  // Written only under a movie's name, so that it never lands on a picture by mistake and
  // reads back as the movie it is.
  if (LowerExtension(files[1]) != ".sve") return Usage(kMovieCommand, "OUT must end in .sve");
  // The movie is the part of the rectangle inside the raster; the user hears what it became.
  const CRect raster = CKvVideoStd::GetResRect();
  CRect clipped;
  if (!clipped.IntersectRect(&*rect, &raster))
    return Usage(kMovieCommand, "--rect " + RegionText(*rect) + " lies outside the " +
                                    std::to_string(raster.Width()) + " x " +
                                    std::to_string(raster.Height()) + " video raster");
  if (!(clipped == *rect))
    std::fprintf(
        stderr, "kvmedia: --rect %s reaches outside the %d x %d video raster: the movie is %s\n",
        RegionText(*rect).c_str(), raster.Width(), raster.Height(), RegionText(clipped).c_str());
  // Every picture of the sequence is an input: the movie may be none of them.
  std::vector<std::string> pictures;
  for (long n = *first; n <= *last; ++n) {
    wchar_t name[_MAX_PATH];
    CKvMakeMovieMotion::MakeFileName(PathArg(files[0]), static_cast<int>(n),
                                     static_cast<int>(*digits), name);
    pictures.push_back(CString(name).ToUtf8());
  }
  if (const std::string refusal = OutputIsInput(files[1], pictures); !refusal.empty())
    return Fail(refusal);

  KvMediaFileOpen();
  const RECT r = clipped;
  int made = 0;
  {
    // The maker's progress dialog is the progress line; Ctrl-C cancels through it, and the
    // maker removes what it wrote.
    const CancelOnInterrupt cancel;
    const LibraryProgressWords words("making " + files[1], *last - *first + 1, "frames");
    CKvMakeMovieMotion maker;
    made = maker.Sink(PathArg(files[0]), static_cast<int>(*first), static_cast<int>(*last),
                      static_cast<int>(*digits), colorKey.has_value(),
                      colorKey.value_or(CKvColor32()), tolerance.value_or(CKvColor32()), deflicker,
                      &r, PathArg(files[1]), static_cast<WORD>(key.value_or(25)), nullptr);
    if (!made && CancelRequested()) {
      std::fprintf(stderr, "kvmedia: interrupted\n");
      return 130;
    }
  }
  if (!made) return Fail(files[1] + ": " + LibraryReason("the movie could not be made"));
  // The maker reads the movie back before it takes its name; what is there now is checked
  // all the same, since a report of the wrong movie is worse than none.
  CRect movie;
  WORD interval = 0;
  int frames = 0;
  if (!KvMovieGetFileInfo(PathArg(files[1]), &movie, &interval, &frames) || frames < 1)
    return Fail(files[1] + ": " + LibraryReason("the movie made does not read back"));
  std::printf("%s -> %s: %d frames of %d x %d at %d,%d, a key frame every %d\n", files[0].c_str(),
              files[1].c_str(), frames, movie.Width(), movie.Height(), movie.left, movie.top,
              interval);
  return 0;
}

int Run(const Args& args) {
  if (args.empty()) return Usage(kMovieCommand, "expected a subcommand");
  if (args[0] == "frames") return Frames(Args(args.begin() + 1, args.end()));
  if (args[0] == "make") return Make(Args(args.begin() + 1, args.end()));
  return Usage(kMovieCommand, "unknown subcommand " + args[0]);
}

}  // namespace

// Checked by main before Run sees them.
const std::vector<Subcommand> kMovieSubcommands = {{"make",
                                                    {{"--first", true},
                                                     {"--last", true},
                                                     {"--digits", true},
                                                     {"--rect", true},
                                                     {"--key", true},
                                                     {"--color-key", true},
                                                     {"--tolerance", true},
                                                     {"--deflicker"}}},
                                                   {"frames",
                                                    {{"--memory"},
                                                     {"--force"},
                                                     {"--every", true},
                                                     {"--background", true},
                                                     {"--mix", true, "0 1"},
                                                     {"--paste", true}}}};

const Command kMovieCommand = {
    "movie",
    "make a motion movie (.sve) from pictures, or play a movie (.sve, .fli, .flc) into PNG frames",
    "usage: kvmedia movie make PATTERN OUT.sve --first N --last M --digits D --rect X,Y,W,H\n"
    "                          [--key K] [--color-key R,G,B [--tolerance R,G,B]] [--deflicker]\n"
    "       kvmedia movie frames MOVIE OUTDIR [--memory] [--every N] [--force]\n"
    "                            [--background PICTURE --mix 0|1 [--paste X,Y]]\n"
    "\n"
    "make: pictures N to M of PATTERN (the number, zero-padded to D digits, goes between the\n"
    "name and the extension: title.tga with D 4 reads title0000.tga, title0001.tga ...) become\n"
    "the frames of OUT.sve. Each picture stands in the HD raster (1920 x 1080) where it was\n"
    "made for (a TGA keeps its origin) over what the previous one left; the movie is the\n"
    "rectangle X,Y,W,H of it (what lies outside the raster is cut off, and the tool says\n"
    "so). A missing picture stops it before anything is written. OUT must end in .sve and\n"
    "may be none of the pictures; an existing OUT.sve is replaced only by a whole new movie\n"
    "that reads back.\n"
    "  --key K          a key frame every K frames, 10 to 30 (25 unless given)\n"
    "  --color-key R,G,B  pixels of this colour become transparent, within\n"
    "  --tolerance R,G,B  this much in each channel (0,0,0 unless given)\n"
    "  --deflicker      soften interlace flicker with a vertical 1-2-1 filter\n"
    "Pictures without alpha come out opaque; 32-bit pictures keep theirs.\n"
    "\n"
    "frames: "
    "plays MOVIE frame by frame and writes each frame as OUTDIR/frame-NNNNN.png, named by\n"
    "its index in the movie (with --every 2: frame-00000, frame-00002 ...). OUTDIR and its\n"
    "missing parents are created; a folder that already holds frame-*.png files is refused\n"
    "unless --force, which removes them first (never one that is MOVIE or P).\n"
    "  --memory         load the whole movie into memory first (as on air)\n"
    "  --every N        write every Nth frame only\n"
    "  --background P   frames the size of picture P, with the movie laid over it (--mix 0)\n"
    "  --mix 0|1        or P laid over the movie (--mix 1), at the place the movie was made\n"
    "  --paste X,Y      for; --paste puts the movie's top-left corner at X,Y instead\n"
    "Without --background the frames are the movie's own size.\n",
    Run,
    {},
    kMovieSubcommands};
const Registrar kMovieRegistrar(kMovieCommand);

}  // namespace kvtool
