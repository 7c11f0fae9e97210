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

// Opens MOVIE with the player of its type, loaded into memory or not; `where` is the place it
// was made for. The reason of a refusal, or "".
std::string OpenPlayer(const std::string& file, bool memory,
                       std::unique_ptr<CKvPlayMovieBase>& player, CRect& where) {
  const CString path = PathArg(file);
  if (std::string refusal = FileRefusal(path); !refusal.empty()) return refusal;
  player = MakePlayer(path);
  if (!player) return "not a movie this library plays";
  if (!KvMovieGetFileInfo(path, &where, nullptr, nullptr) || !player->Open(path, memory ? 1 : 0))
    return LibraryReason("not a readable movie");
  // The FLIC player clears the flag in Open: it is the caller's to set before Prepare.
  player->m_bLoadToMem = memory ? 1 : 0;
  return "";
}

// The picture BACKGROUND as a work block; the reason of a refusal, or "".
std::string LoadBackground(const std::string& background, CKvMemBlock& back) {
  CRect rect;
  KvGlobalPtr picture(KvMediaLoadPicFile(PathArg(background), rect));
  if (!picture) return background + ": " + LibraryReason("not a picture this library reads");
  if (!back.InitBlock(rect.Size())) return "out of memory";
  std::memcpy(back.GetAddress(), picture.get(),
              static_cast<std::size_t>(rect.Width()) * rect.Height() * 4);
  return "";
}

// Plays every `every`th frame of the prepared player into DIR, over `back` when there is one.
int PlayFrames(CKvPlayMovieBase& player, const CKvMemBlock* back, const std::string& file,
               const std::string& dir, long every) {
  const int n = player.m_nFrames;
  const CSize size = back ? back->GetSize() : player.m_blockWork.GetSize();
  std::vector<DWORD> placed;
  int written = 0;
  Progress progress("playing " + file, (n + every - 1) / every, "frames");
  for (long i = 0; i < n; i += every) {
    // A FLIC frame of unknown type throws out of GetOneFrame.
    try {
      player.GetOneFrame(static_cast<float>(i) / static_cast<float>(n));
    } catch (const CFileException&) {
      return Fail(file + ": " + LibraryReason("a frame cannot be read"));
    }
    const auto* pixels = reinterpret_cast<const DWORD*>(player.m_blockWork.GetAddress());
    if (back) {
      PlaceOnBackground(player.m_blockWork, *back, player.m_ptPaste, placed);
      pixels = placed.data();
    }
    std::string error;
    if (!WritePng(FramePath(dir, i), pixels, size.cx, size.cy, &error)) return Fail(error);
    progress.Set(++written);
  }
  std::printf("%s: %d of %d frames (%d x %d) written to %s\n", file.c_str(), written, n, size.cx,
              size.cy, dir.c_str());
  return 0;
}

int Frames(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const std::string background = args.Text("--background").value_or("");
  const int mix = static_cast<int>(args.Integer("--mix").value_or(-1));
  const std::optional<CPoint> paste = args.Point("--paste");
  if (files.size() != 2) return Usage(kMovieCommand, "expected MOVIE and OUTDIR");
  if (background.empty() != (mix < 0))
    return Usage(kMovieCommand, "--background and --mix go together");
  if (paste && background.empty()) return Usage(kMovieCommand, "--paste goes with --background");

  std::unique_ptr<CKvPlayMovieBase> player;
  CRect movieRect;
  if (const std::string refusal = OpenPlayer(files[0], args.Has("--memory"), player, movieRect);
      !refusal.empty())
    return Fail(files[0] + ": " + refusal);
  KvMediaFileOpen();
  CKvMemBlock back;
  if (!background.empty()) {
    if (const std::string refusal = LoadBackground(background, back); !refusal.empty())
      return Fail(refusal);
    player->m_nMixMode = mix;
    // Where the movie was made to stand, unless told otherwise.
    player->m_ptPaste = paste.value_or(movieRect.TopLeft());
  }
  // A FLIC frame of unknown type throws out of Prepare.
  try {
    if (!player->Prepare(background.empty() ? nullptr : &back))
      return Fail(files[0] + ": " + LibraryReason("the movie's frames cannot be read"));
  } catch (const CFileException&) {
    return Fail(files[0] + ": " + LibraryReason("a frame cannot be read"));
  }
  std::vector<std::string> inputs{files[0]};
  if (!background.empty()) inputs.push_back(background);
  if (const std::string refusal = PrepareFrameFolder(files[1], args.Has("--force"), inputs);
      !refusal.empty())
    return Fail(refusal);
  return PlayFrames(*player, background.empty() ? nullptr : &back, files[0], files[1],
                    args.Integer("--every").value_or(1));
}

// The movie is the part of the rectangle inside the raster; the user hears what it became.
// Nothing when none of it is inside (a usage mistake, said here).
std::optional<CRect> ClipToRaster(const CRect& rect) {
  const CRect raster = CKvVideoStd::GetResRect();
  CRect clipped;
  if (!clipped.IntersectRect(&rect, &raster)) {
    Usage(kMovieCommand, "--rect " + RegionText(rect) + " lies outside the " +
                             std::to_string(raster.Width()) + " x " +
                             std::to_string(raster.Height()) + " video raster");
    return std::nullopt;
  }
  if (!(clipped == rect))
    std::fprintf(
        stderr, "kvmedia: --rect %s reaches outside the %d x %d video raster: the movie is %s\n",
        RegionText(rect).c_str(), raster.Width(), raster.Height(), RegionText(clipped).c_str());
  return clipped;
}

// The pictures of the sequence, each an input that the movie may not be.
std::vector<std::string> SequencePictures(const std::string& pattern, long first, long last,
                                          long digits) {
  std::vector<std::string> pictures;
  for (long n = first; n <= last; ++n) {
    wchar_t name[_MAX_PATH];
    CKvMakeMovieMotion::MakeFileName(PathArg(pattern), static_cast<int>(n),
                                     static_cast<int>(digits), name);
    pictures.push_back(CString(name).ToUtf8());
  }
  return pictures;
}

// The maker reads the movie back before it takes its name; what is there now is checked all
// the same, since a report of the wrong movie is worse than none.
int ReportMade(const std::string& pattern, const std::string& out) {
  CRect movie;
  WORD interval = 0;
  int frames = 0;
  if (!KvMovieGetFileInfo(PathArg(out), &movie, &interval, &frames) || frames < 1)
    return Fail(out + ": " + LibraryReason("the movie made does not read back"));
  std::printf("%s -> %s: %d frames of %d x %d at %d,%d, a key frame every %d\n", pattern.c_str(),
              out.c_str(), frames, movie.Width(), movie.Height(), movie.left, movie.top, interval);
  return 0;
}

int Make(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const std::optional<long> first = args.Integer("--first"), last = args.Integer("--last"),
                            digits = args.Integer("--digits");
  const std::optional<CRect> rect = args.Region("--rect");
  const std::optional<CKvColor32> colorKey = args.Colour("--color-key"),
                                  tolerance = args.Colour("--tolerance");
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
  const std::optional<CRect> clipped = ClipToRaster(*rect);
  if (!clipped) return 2;
  const std::string refusal =
      OutputIsInput(files[1], SequencePictures(files[0], *first, *last, *digits));
  if (!refusal.empty()) return Fail(refusal);

  KvMediaFileOpen();
  const RECT r = *clipped;
  int made = 0;
  {
    // The maker's progress dialog is the progress line; Ctrl-C cancels through it, and the
    // maker removes what it wrote.
    const CancelOnInterrupt cancel;
    const LibraryProgressWords words("making " + files[1], *last - *first + 1, "frames");
    CKvMakeMovieMotion maker;
    made =
        maker.Sink(PathArg(files[0]), static_cast<int>(*first), static_cast<int>(*last),
                   static_cast<int>(*digits), colorKey.has_value(), colorKey.value_or(CKvColor32()),
                   tolerance.value_or(CKvColor32()), args.Has("--deflicker"), &r, PathArg(files[1]),
                   static_cast<WORD>(args.Integer("--key").value_or(25)), nullptr);
    if (!made && CancelRequested()) {
      std::fprintf(stderr, "kvmedia: interrupted\n");
      return 130;
    }
  }
  if (!made) return Fail(files[1] + ": " + LibraryReason("the movie could not be made"));
  return ReportMade(files[0], files[1]);
}

}  // namespace

// The maker keeps a key interval within 10 to 30: another is refused, not changed.
const std::vector<Subcommand> kMovieSubcommands = {
    {"make",
     {{.name = "--first", .kind = Kind::kInteger, .most = 1e9},
      {.name = "--last", .kind = Kind::kInteger, .most = 1e9},
      {.name = "--digits", .kind = Kind::kInteger, .most = 32},
      {.name = "--rect", .kind = Kind::kRegion, .refusal = "takes X,Y,W,H"},
      {.name = "--key",
       .kind = Kind::kInteger,
       .least = kMinKey,
       .most = kMaxKey,
       .arg = "K",
       .help = "a key frame every K frames, 10 to 30 (25 unless given)"},
      {.name = "--color-key",
       .kind = Kind::kColour,
       .refusal = "takes R,G,B, each 0 to 255",
       .arg = "R,G,B",
       .help = "pixels of this colour become transparent, within"},
      {.name = "--tolerance",
       .kind = Kind::kColour,
       .refusal = "takes R,G,B, each 0 to 255",
       .arg = "R,G,B",
       .help = "this much in each channel (0,0,0 unless given)"},
      {.name = "--deflicker", .help = "soften interlace flicker with a vertical 1-2-1 filter"}},
     Make},
    {"frames",
     {{.name = "--memory",
       .help = "load the whole movie into memory first (as on air)",
       .block = 2},
      {.name = "--force"},
      {.name = "--every",
       .kind = Kind::kInteger,
       .least = 1,
       .most = 1e9,
       .arg = "N",
       .help = "write every Nth frame only",
       .block = 2},
      {.name = "--background",
       .kind = Kind::kText,
       .arg = "P",
       .help = "frames the size of picture P, with the movie laid over it (--mix 0)",
       .block = 2},
      {.name = "--mix",
       .kind = Kind::kWord,
       .refusal = "takes 0 or 1",
       .values = "0 1",
       .arg = "0|1",
       .help = "or P laid over the movie (--mix 1), at the place the movie was made",
       .block = 2},
      {.name = "--paste",
       .kind = Kind::kPoint,
       .refusal = "takes X,Y",
       .arg = "X,Y",
       .help = "for; --paste puts the movie's top-left corner at X,Y instead",
       .block = 2}},
     Frames}};

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
    "that reads back.\n" KV_OPTION_BLOCK1
    "Pictures without alpha come out opaque; 32-bit pictures keep theirs.\n"
    "\n"
    "frames: "
    "plays MOVIE frame by frame and writes each frame as OUTDIR/frame-NNNNN.png, named by\n"
    "its index in the movie (with --every 2: frame-00000, frame-00002 ...). OUTDIR and its\n"
    "missing parents are created; a folder that already holds frame-*.png files is refused\n"
    "unless --force, which removes them first (never one that is MOVIE or P).\n" KV_OPTION_BLOCK2
    "Without --background the frames are the movie's own size.\n",
    nullptr,
    {},
    kMovieSubcommands,
    19};
const Registrar kMovieRegistrar(kMovieCommand);

}  // namespace kvtool
