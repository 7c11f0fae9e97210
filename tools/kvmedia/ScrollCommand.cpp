// kvmedia scroll make | frames: scroll files from pictures, and their frames as PNG files.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "PngWriter.h"
#include "Progress.h"
#include "ScrollFrames.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kScrollCommand;

namespace {

int Make(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const long direction = args.Integer("--direction").value_or(-1);
  if (files.size() != 2 || direction < 0)
    return Usage(kScrollCommand, "expected PICTURE OUT.ksc --direction up|down|left|right");
  // Written only under a scroll's name, so that it never lands on a picture by mistake.
  if (LowerExtension(files[1]) != ".ksc") return Usage(kScrollCommand, "OUT must end in .ksc");
  if (const std::string refusal = OutputIsInput(files[1], {files[0]}); !refusal.empty())
    return Fail(refusal);
  KvMediaFileOpen();
  CRect rect;
  KvGlobalPtr picture;
  {
    Progress loading("loading " + files[0], 0, "");
    picture.reset(KvMediaLoadPicFile(PathArg(files[0]), rect));
  }
  if (!picture) return Fail(files[0] + ": " + LibraryReason("not a picture this library reads"));
  const bool roll = direction <= KV_SCROLL_DOWN;
  const int lines = roll ? rect.Height() : rect.Width();
  std::string error;
  {
    Progress progress("writing " + files[1], lines, "lines");
    if (!WriteScrollFromPicture(files[1], static_cast<DWORD>(direction),
                                static_cast<const DWORD*>(picture.get()), rect.Width(),
                                rect.Height(), &error, &progress))
      return Fail(error);
  }
  // Checked again where it now stands, through the library's own reading of it.
  DWORD readDirection = 0, readWidth = 0, readLines = 0;
  if (!KvScrollGetFileInfo(PathArg(files[1]), &readDirection, &readWidth, &readLines) ||
      readLines == 0)
    return Fail(files[1] + ": " + LibraryReason("the scroll made does not read back"));
  std::printf("%s -> %s: a %s of %d lines of %d pixels\n", files[0].c_str(), files[1].c_str(),
              roll ? "roll" : "crawl", static_cast<int>(readLines), static_cast<int>(readWidth));
  return 0;
}

int Frames(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const bool memory = args.Has("--memory"), force = args.Has("--force");
  const double from = args.Number("--from").value_or(0), to = args.Number("--to").value_or(1);
  const long count = args.Integer("--frames").value_or(10);
  const std::optional<std::string> fields = args.Text("--fields");
  const bool bottomFirst = fields == "bff";
  if (files.size() != 2) return Usage(kScrollCommand, "expected FILE.ksc and OUTDIR");
  const CString path = PathArg(files[0]);
  if (const std::string refusal = FileRefusal(path); !refusal.empty())
    return Fail(files[0] + ": " + refusal);
  CKvPlayScrollFile player;
  if (CKvPlayScrollBase::GetScrollCategory(path) != SCROLL_FILE || !player.Open(path, memory))
    return Fail(files[0] + ": " + LibraryReason("not a readable scroll file"));
  CSize size;
  player.GetFrameSize(size);
  std::vector<DWORD> buffer(static_cast<std::size_t>(size.cx) * size.cy), screen;
  SKvScrollBuffer record;
  record.pFrame = buffer.data();
  const std::string& dir = files[1];
  if (const std::string refusal = PrepareFrameFolder(dir, force, {files[0]}); !refusal.empty())
    return Fail(refusal);
  Progress progress("playing " + files[0], count, "frames");
  // A single frame has no step: both its fields are at --from.
  const double step = count == 1 ? 0 : (to - from) / static_cast<double>(count - 1);
  for (long i = 0; i < count; ++i) {
    const double position = count == 1 ? from : from + (to - from) * i / (count - 1);
    const bool read = fields ? player.GetFieldFrame(static_cast<float>(position),
                                                    static_cast<float>(step), bottomFirst, &record)
                             : player.GetOneFrame(static_cast<float>(position), &record);
    if (!read) return Fail(files[0] + ": a frame could not be read");
    const DWORD* shown = buffer.data();
    if (!memory) {
      screen = UnrollScrollRing(buffer, size, player.m_dwDirection, player.GetRingPoint());
      shown = screen.data();
    }
    std::string error;
    if (!WritePng(FramePath(dir, i), shown, size.cx, size.cy, &error)) return Fail(error);
    progress.Set(i + 1);
  }
  std::printf("%s: %ld frames (%d x %d, %s%s%s) written to %s\n", files[0].c_str(), count, size.cx,
              size.cy, memory ? "from memory" : "streamed", fields ? ", fields " : "",
              fields ? fields->c_str() : "", dir.c_str());
  return 0;
}

}  // namespace

// The player holds positions to 0..1 (and plays a negative one at its own start): one outside
// is refused rather than changed.
const std::vector<Subcommand> kScrollSubcommands = {
    {"make",
     {{.name = "--direction",
       .kind = Kind::kChoice,
       .refusal = "takes up, down, left or right (0 to 3)",
       .values = "up down left right"}},
     Make},
    {"frames",
     {{.name = "--memory"},
      {.name = "--from",
       .kind = Kind::kNumber,
       .refusal = "takes a position from 0 to 1",
       .least = 0,
       .most = 1},
      {.name = "--to",
       .kind = Kind::kNumber,
       .refusal = "takes a position from 0 to 1",
       .least = 0,
       .most = 1},
      {.name = "--frames", .kind = Kind::kInteger, .least = 1, .most = 100000},
      {.name = "--fields",
       .kind = Kind::kWord,
       .refusal = "takes tff (top field first) or bff (bottom field first)",
       .values = "tff bff"},
      {.name = "--force"}},
     Frames}};

const Command kScrollCommand = {
    "scroll",
    "make scroll files (.ksc) from pictures, and play them into PNG frames",
    "usage: kvmedia scroll make PICTURE OUT.ksc --direction up|down|left|right\n"
    "       kvmedia scroll frames FILE.ksc OUTDIR [--memory] [--from P] [--to P] [--frames N]\n"
    "                             [--fields tff|bff] [--force]\n"
    "\n"
    "make: stores PICTURE as a scroll file. --direction is the way the content moves on\n"
    "screen: up (0) and down (1) make a roll, which stores the picture's rows; left (2) and\n"
    "right (3) make a crawl, which stores its columns. The numbers are the ones the file\n"
    "holds. OUT must end in .ksc and may not be PICTURE; an existing OUT is replaced only\n"
    "by a whole scroll that reads back.\n"
    "\n"
    "frames: plays N frames (default 10) at evenly spaced positions from P to P (each from\n"
    "0 to 1, the start and the end of the scroll; 0 and 1 unless given) and writes them as\n"
    "OUTDIR/frame-NNNNN.png, numbered from 0. OUTDIR and its missing parents are created. A\n"
    "folder that already holds frame-*.png files is refused, so that new and old frames\n"
    "never mix; --force removes them first (never FILE.ksc itself). Frames are streamed from the "
    "file by default (as on air);\n"
    "--memory plays from the whole strip loaded into memory, with sub-pixel motion for\n"
    "rolls.\n"
    "--fields writes frames for interlaced video, each of two fields: the first in time at\n"
    "the frame's position, the second half the step between frames further on. tff puts the\n"
    "first on the top field (rows 0, 2, 4 ...), bff on the bottom field (rows 1, 3, 5 ...).\n"
    "With one frame there is no step, and both fields are at P.\n",
    nullptr,
    {},
    kScrollSubcommands};
const Registrar kScrollRegistrar(kScrollCommand);

}  // namespace kvtool
