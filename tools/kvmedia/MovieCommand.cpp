// kvmedia movie frames MOVIE OUTDIR [...]: plays a movie frame by frame into PNG files.
// kvmedia movie make PATTERN|CLIP OUT.sve [...]: makes a motion movie from numbered pictures
// or from a clip of another program.
// kvmedia movie export MOVIE OUT.mov [...]: plays a movie into a clip for editing systems.
#include <algorithm>
#include <cmath>
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

// What is wrong with --background, --mix and --paste as given together (frames and export
// take them alike), or "".
std::string BackgroundMistake(const std::string& background, bool mix, bool paste) {
  if (background.empty() == mix) return "--background and --mix go together";
  if (paste && background.empty()) return "--paste goes with --background";
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
  // Over a background, each frame is the background with the work block (which holds the
  // frame mixed with the background there) laid on it.
  CKvMemBlock placed;
  if (back && !placed.InitBlock(size)) return Fail("out of memory");
  const CSize work = player.m_blockWork.GetSize();
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
      std::memcpy(placed.GetAddress(), back->GetAddress(),
                  static_cast<std::size_t>(size.cx) * size.cy * 4);
      placed.Copy(player.m_ptPaste, &player.m_blockWork, CRect(CPoint(), work), KV_MIX_COPY,
                  KV_FIELD_FRAME);
      pixels = reinterpret_cast<const DWORD*>(placed.GetAddress());
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
  if (const std::string mistake = BackgroundMistake(background, mix >= 0, paste.has_value());
      !mistake.empty())
    return Usage(kMovieCommand, mistake);

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

// The movie is the part of `rect` inside the raster (`what` names the rectangle: "--rect
// 0,0,8,8", "the 3840 x 2160 clip"); the user hears what it became. Nothing when none of it
// is inside (a usage mistake, said here).
std::optional<CRect> ClipToRaster(const CRect& rect, const std::string& what) {
  const CRect raster = CKvVideoStd::GetResRect();
  CRect clipped;
  if (!clipped.IntersectRect(&rect, &raster)) {
    Usage(kMovieCommand, what + " lies outside the " + std::to_string(raster.Width()) + " x " +
                             std::to_string(raster.Height()) + " video raster");
    return std::nullopt;
  }
  if (!(clipped == rect))
    std::fprintf(stderr, "kvmedia: %s reaches outside the %d x %d video raster: the movie is %s\n",
                 what.c_str(), raster.Width(), raster.Height(), RegionText(clipped).c_str());
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

// A frame rate as people write it: at most two decimals, no trailing zeros ("29.97", "25",
// "12.5"); "" for a clip that states none (or one no clip could have).
std::string RateText(double fps) {
  if (!std::isfinite(fps) || fps <= 0) return "";
  char text[400];  // room for any finite double in fixed notation
  std::snprintf(text, sizeof text, "%.2f", fps);
  std::string rate = text;
  while (rate.back() == '0') rate.pop_back();
  if (rate.back() == '.') rate.pop_back();
  return rate == "0" ? "" : rate;
}

// "an 8 fps clip", "a 25 fps clip".
const char* Article(const std::string& number) {
  const std::string whole = number.substr(0, number.find('.'));
  return number[0] == '8' || whole == "11" || whole == "18" ? "an" : "a";
}

// How the clip's frames became the movie's, for the summary line.
std::string ClipFrames(const SKvClipInfo& clip) {
  const std::string rate = RateText(clip.fps);
  if (rate.empty()) return "a clip without a stated rate, one per video frame";
  return std::string(Article(rate)) + " " + rate + " fps clip" +
         (rate == std::to_string(kKvVideoFramesPerSecond) ? "" : ", one per video frame");
}

// The maker reads the movie back before it takes its name; what is there now is checked all
// the same, since a report of the wrong movie is worse than none.
int ReportMade(const std::string& input, const std::string& out,
               const std::optional<SKvClipInfo>& clip) {
  CRect movie;
  WORD interval = 0;
  int frames = 0;
  if (!KvMovieGetFileInfo(PathArg(out), &movie, &interval, &frames) || frames < 1)
    return Fail(out + ": " + LibraryReason("the movie made does not read back"));
  const std::string source = clip ? " of " + ClipFrames(*clip) + ";" : " of";
  std::printf("%s -> %s: %d frames%s %d x %d at %d,%d, a key frame every %d\n", input.c_str(),
              out.c_str(), frames, source.c_str(), movie.Width(), movie.Height(), movie.left,
              movie.top, interval);
  return 0;
}

// Runs a library call that shows a progress dialog (the maker, the export) with the dialog as
// the progress line; Ctrl-C cancels through it, and the call removes what it wrote. 130 when
// cancelled, 1 when refused (`failed` is the fallback reason), else 0.
template <typename Work>
int WithProgress(const std::string& doing, const std::string& out, long long frames,
                 const char* failed, Work work) {
  int done = 0;
  {
    const CancelOnInterrupt cancel;
    const LibraryProgressWords words(doing + " " + out, frames, "frames");
    done = work();
    if (!done && CancelRequested()) {
      std::fprintf(stderr, "kvmedia: interrupted\n");
      return 130;
    }
  }
  return done ? 0 : Fail(out + ": " + LibraryReason(failed));
}

int MakeFromSequence(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const long first = *args.Integer("--first"), last = *args.Integer("--last"),
             digits = *args.Integer("--digits");
  const CRect rect = *args.Region("--rect");
  if (last < first) return Usage(kMovieCommand, "--last comes before --first");
  if (last - first >= kMaxFrames)
    return Usage(kMovieCommand, "a movie holds at most " + std::to_string(kMaxFrames) +
                                    " frames: --last may be at most --first + " +
                                    std::to_string(kMaxFrames - 1));
  const std::optional<CRect> clipped = ClipToRaster(rect, "--rect " + RegionText(rect));
  if (!clipped) return 2;
  const std::string refusal =
      OutputIsInput(files[1], SequencePictures(files[0], first, last, digits));
  if (!refusal.empty()) return Fail(refusal);

  KvMediaFileOpen();
  const RECT r = *clipped;
  const std::optional<CKvColor32> colorKey = args.Colour("--color-key");
  const int status =
      WithProgress("making", files[1], last - first + 1, "the movie could not be made", [&] {
        CKvMakeMovieMotion maker;
        return maker.Sink(
            PathArg(files[0]), static_cast<int>(first), static_cast<int>(last),
            static_cast<int>(digits), colorKey.has_value(), colorKey.value_or(CKvColor32()),
            args.Colour("--tolerance").value_or(CKvColor32()), args.Has("--deflicker"), &r,
            PathArg(files[1]), static_cast<WORD>(args.Integer("--key").value_or(25)), nullptr);
      });
  return status ? status : ReportMade(files[0], files[1], std::nullopt);
}

// A clip stands at the raster's top-left corner; without --rect the movie is the whole clip
// (what of it lies in the raster).
int MakeFromClip(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const std::optional<CRect> rect = args.Region("--rect");
  std::optional<CRect> placed;
  if (rect && !(placed = ClipToRaster(*rect, "--rect " + RegionText(*rect)))) return 2;
  if (const std::string refusal = OutputIsInput(files[1], {files[0]}); !refusal.empty())
    return Fail(refusal);
  // A pipe or device is never opened: the clip's reader would wait on it.
  const CString clip = PathArg(files[0]);
  if (const std::string refusal = FileRefusal(clip); !refusal.empty())
    return Fail(files[0] + ": " + refusal);

  KvMediaFileOpen();
  SKvClipInfo info;
  if (!KvMovieGetClipInfo(clip, &info))
    return Fail(files[0] + ": " + LibraryReason("not a clip FFmpeg's libraries read"));
  // The notice about --rect was given above; the clip's own size may reach outside too.
  if (!placed)
    placed = ClipToRaster(
        CRect(0, 0, info.width, info.height),
        "the " + std::to_string(info.width) + " x " + std::to_string(info.height) + " clip");
  if (!placed) return 2;
  const RECT r = *placed;
  const std::optional<CKvColor32> colorKey = args.Colour("--color-key");
  const int status =
      WithProgress("making", files[1], info.frames, "the movie could not be made", [&] {
        CKvMakeMovieMotion maker;
        return maker.SinkClip(clip, colorKey.has_value(), colorKey.value_or(CKvColor32()),
                              args.Colour("--tolerance").value_or(CKvColor32()),
                              args.Has("--deflicker"), &r, PathArg(files[1]),
                              static_cast<WORD>(args.Integer("--key").value_or(25)), nullptr);
      });
  return status ? status : ReportMade(files[0], files[1], info);
}

int Make(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const int numbering = args.Has("--first") + args.Has("--last") + args.Has("--digits");
  if (files.size() != 2)
    return Usage(kMovieCommand,
                 "expected CLIP OUT.sve, or PATTERN OUT.sve --first N --last M --digits D "
                 "--rect X,Y,W,H");
  if (numbering != 0 && numbering != 3)
    return Usage(kMovieCommand,
                 "--first, --last and --digits go together: a sequence takes all three, a clip "
                 "none");
  if (numbering == 3 && !args.Has("--rect"))
    return Usage(kMovieCommand, "a sequence takes --rect X,Y,W,H");
  if (args.Has("--tolerance") && !args.Has("--color-key"))
    return Usage(kMovieCommand, "--tolerance goes with --color-key");
  // Written only under a movie's name, so that it never lands on a picture by mistake and
  // reads back as the movie it is.
  if (LowerExtension(files[1]) != ".sve") return Usage(kMovieCommand, "OUT must end in .sve");
  return numbering == 3 ? MakeFromSequence(args) : MakeFromClip(args);
}

// The codecs of --codec, in the order of its words.
constexpr const char* kCodecWords = "qtrle prores4444 png";
constexpr struct {
  const char* word;
  EKvClipCodec codec;
} kCodecs[] = {{"qtrle", KV_CLIP_QTRLE}, {"prores4444", KV_CLIP_PRORES4444}, {"png", KV_CLIP_PNG}};

// The export reads its clip back: the summary tells what an editing system will find there.
int Export(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const std::string background = args.Text("--background").value_or("");
  const std::optional<CPoint> paste = args.Point("--paste");
  if (files.size() != 2) return Usage(kMovieCommand, "expected MOVIE and OUT");
  if (const std::string mistake =
          BackgroundMistake(background, args.Has("--mix"), paste.has_value());
      !mistake.empty())
    return Usage(kMovieCommand, mistake);
  const std::string ext = LowerExtension(files[1]);
  if (ext != ".mov" && ext != ".mkv") return Usage(kMovieCommand, "OUT must end in .mov or .mkv");
  const auto& codec = kCodecs[args.Integer("--codec").value_or(0)];
  // Known before any work: the library writes QuickTime Animation into a .mov only.
  if (ext == ".mkv" && codec.codec == KV_CLIP_QTRLE)
    return Usage(kMovieCommand, "a .mkv takes --codec png or prores4444; qtrle goes into a .mov");
  std::vector<std::string> inputs{files[0]};
  if (!background.empty()) inputs.push_back(background);
  if (const std::string refusal = OutputIsInput(files[1], inputs); !refusal.empty())
    return Fail(refusal);
  // Pipes and devices are never opened: a player would wait on them.
  for (const std::string& in : inputs)
    if (const std::string refusal = FileRefusal(PathArg(in)); !refusal.empty())
      return Fail(in + ": " + refusal);

  KvMediaFileOpen();
  int frames = 0;
  if (!KvMovieGetFileInfo(PathArg(files[0]), nullptr, nullptr, &frames))
    return Fail(files[0] + ": " + LibraryReason("not a readable movie"));
  SKvClipExport settings;
  settings.codec = codec.codec;
  settings.fps = static_cast<int>(args.Integer("--fps").value_or(kKvVideoFramesPerSecond));
  const CString backgroundPath = PathArg(background);
  const POINT pastePoint = paste.value_or(CPoint());
  if (!background.empty()) {
    settings.background = backgroundPath;
    settings.mixMode = static_cast<int>(*args.Integer("--mix"));
    if (paste) settings.paste = &pastePoint;
  }
  const int status = WithProgress(
      "exporting", files[1], frames, "the clip could not be written",
      [&] { return KvMovieExportClip(PathArg(files[0]), PathArg(files[1]), &settings, nullptr); });
  if (status) return status;
  SKvClipInfo clip;
  if (!KvMovieGetClipInfo(PathArg(files[1]), &clip))
    return Fail(files[1] + ": " + LibraryReason("the clip written does not read back"));
  const std::string rate = RateText(clip.fps);
  std::printf("%s -> %s: %d frames of %d x %d, %s at %s fps\n", files[0].c_str(), files[1].c_str(),
              clip.frames, clip.width, clip.height, codec.word,
              rate.empty() ? "an unstated" : rate.c_str());
  return 0;
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
     Frames},
    {"export",
     {{.name = "--codec",
       .kind = Kind::kChoice,
       .refusal = "takes qtrle, prores4444 or png",
       .values = kCodecWords,
       .arg = "C",
       .help = "qtrle (QuickTime Animation, .mov only; unless given) or png, both\n"
               "lossless with alpha, or prores4444 (ProRes 4444 with alpha)",
       .block = 3},
      {.name = "--fps",
       .kind = Kind::kInteger,
       .least = 1,
       .most = 240,
       .arg = "N",
       .help = "the clip's frame rate, 1 to 240 (25 unless given): one movie frame\n"
               "per clip frame whatever the rate",
       .block = 3},
      {.name = "--background", .kind = Kind::kText},
      {.name = "--mix", .kind = Kind::kWord, .refusal = "takes 0 or 1", .values = "0 1"},
      {.name = "--paste", .kind = Kind::kPoint, .refusal = "takes X,Y"}},
     Export}};

const Command kMovieCommand = {
    "movie",
    "make a motion movie (.sve) from pictures or a clip; play a movie into PNG frames or a clip",
    "usage: kvmedia movie make PATTERN OUT.sve --first N --last M --digits D --rect X,Y,W,H\n"
    "                          [--key K] [--color-key R,G,B [--tolerance R,G,B]] [--deflicker]\n"
    "       kvmedia movie make CLIP OUT.sve [--rect X,Y,W,H] [--key K]\n"
    "                          [--color-key R,G,B [--tolerance R,G,B]] [--deflicker]\n"
    "       kvmedia movie frames MOVIE OUTDIR [--memory] [--every N] [--force]\n"
    "                            [--background PICTURE --mix 0|1 [--paste X,Y]]\n"
    "       kvmedia movie export MOVIE OUT.mov [--codec qtrle|prores4444|png] [--fps N]\n"
    "                            [--background PICTURE --mix 0|1 [--paste X,Y]]\n"
    "\n"
    "make: pictures N to M of PATTERN (the number, zero-padded to D digits, goes between the\n"
    "name and the extension: title.tga with D 4 reads title0000.tga, title0001.tga ...) become\n"
    "the frames of OUT.sve. Each picture stands in the video raster (1920 x 1080, or as\n"
    "--standard sd|hd|uhd chooses) where it was made for (a TGA keeps its origin) over what\n"
    "the previous one left; the movie is the rectangle X,Y,W,H of it (what lies outside the\n"
    "raster is cut off, and the tool says so). A missing picture stops it before anything\n"
    "is written. OUT must end in .sve and may be none of the pictures; an existing OUT.sve\n"
    "is replaced only by a whole new movie that reads back.\n"
    "Without --first, --last and --digits the input is a CLIP of another program (.mov, .mkv,\n"
    ".mp4, .avi, an animated .gif or .png: what FFmpeg's libraries read): each frame of its\n"
    "first video stream becomes one frame of the movie, whatever the clip's own rate, standing\n"
    "at the raster's top-left corner; without --rect the movie is the whole clip. A clip that\n"
    "cannot be read to its end leaves no movie.\n" KV_OPTION_BLOCK1
    "Pictures and clips without alpha come out opaque; 32-bit pictures keep theirs.\n"
    "\n"
    "frames: "
    "plays MOVIE frame by frame and writes each frame as OUTDIR/frame-NNNNN.png, named by\n"
    "its index in the movie (with --every 2: frame-00000, frame-00002 ...). OUTDIR and its\n"
    "missing parents are created; a folder that already holds frame-*.png files is refused\n"
    "unless --force, which removes them first (never one that is MOVIE or P).\n" KV_OPTION_BLOCK2
    "Without --background the frames are the movie's own size.\n"
    "\n"
    "export: plays MOVIE (.sve, .fli, .flc) frame by frame into a clip that editing systems\n"
    "read back, OUT.mov or OUT.mkv, the movie's own size; with --background, --mix and\n"
    "--paste the frames are laid on picture P as frames lays them, and the clip is P's size.\n"
    "OUT may be neither MOVIE nor P; it is written under a temporary name and takes its own\n"
    "only when whole.\n" KV_OPTION_BLOCK3,
    nullptr,
    {},
    kMovieSubcommands,
    19};
const Registrar kMovieRegistrar(kMovieCommand);

}  // namespace kvtool
