// kvmedia scroll make | frames: scroll files from pictures, and their frames as PNG files.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Commands.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "PngWriter.h"
#include "ScrollFrames.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kScrollCommand;

namespace {

int Make(const Args& args) {
  std::vector<std::string> files;
  long direction = -1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--direction" && i + 1 < args.size()) {
      const auto d = ParseNumber(args[++i]);
      if (!d || *d < 0 || *d > 3 || *d != static_cast<long>(*d))
        return Usage(kScrollCommand, "--direction takes 0, 1, 2 or 3");
      direction = static_cast<long>(*d);
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return Usage(kScrollCommand, "unknown option or missing value: " + args[i]);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2 || direction < 0)
    return Usage(kScrollCommand, "expected PICTURE OUT.ksc --direction 0..3");
  KvMediaFileOpen();
  CRect rect;
  KvGlobalPtr picture(KvMediaLoadPicFile(PathArg(files[0]), rect));
  if (!picture) return Fail(files[0] + ": not a picture this build reads");
  if (!WriteScrollFromPicture(PathArg(files[1]), static_cast<DWORD>(direction),
                              static_cast<const DWORD*>(picture.get()), rect.Width(),
                              rect.Height()))
    return Fail("cannot write " + files[1]);
  const bool roll = direction <= 1;
  std::printf("%s -> %s: a %s of %d lines of %d pixels\n", files[0].c_str(), files[1].c_str(),
              roll ? "roll" : "crawl", roll ? rect.Height() : rect.Width(),
              roll ? rect.Width() : rect.Height());
  return 0;
}

int Frames(const Args& args) {
  std::vector<std::string> files;
  bool memory = false;
  double from = 0, to = 1;
  long count = 10;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--memory") {
      memory = true;
    } else if ((a == "--from" || a == "--to" || a == "--frames") && hasValue) {
      const auto v = ParseNumber(args[++i]);
      if (!v) return Usage(kScrollCommand, a + " takes a number");
      if (a == "--from") from = *v;
      if (a == "--to") to = *v;
      if (a == "--frames") {
        if (*v < 1 || *v > 100000 || *v != static_cast<long>(*v))
          return Usage(kScrollCommand, "--frames takes a whole number from 1 to 100000");
        count = static_cast<long>(*v);
      }
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage(kScrollCommand, "unknown option or missing value: " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Usage(kScrollCommand, "expected FILE.ksc and OUTDIR");
  const CString path = PathArg(files[0]);
  if (!KvDoesFileExist(path)) return Fail(files[0] + ": no such file");
  CKvPlayScrollFile player;
  if (CKvPlayScrollBase::GetScrollCategory(path) != SCROLL_FILE || !player.Open(path, memory))
    return Fail(files[0] + ": not a readable scroll file");
  CSize size;
  player.GetFrameSize(size);
  std::vector<DWORD> buffer(static_cast<std::size_t>(size.cx) * size.cy), screen;
  SKvScrollBuffer record;
  record.pFrame = buffer.data();
  const std::string dir = files[1];
  ::mkdir(dir.c_str(), 0777);
  for (long i = 0; i < count; ++i) {
    const double position = count == 1 ? from : from + (to - from) * i / (count - 1);
    if (!player.GetOneFrame(static_cast<float>(position), &record))
      return Fail(files[0] + ": a frame could not be read");
    const DWORD* shown = buffer.data();
    if (!memory) {
      screen = UnrollScrollRing(buffer, size, player.m_dwDirection, player.GetRingPoint());
      shown = screen.data();
    }
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05ld.png", i);
    std::string error;
    if (!WritePng(dir + name, shown, size.cx, size.cy, &error)) return Fail(error);
  }
  std::printf("%s: %ld frames (%d x %d, %s) written to %s\n", files[0].c_str(), count, size.cx,
              size.cy, memory ? "from memory" : "streamed", dir.c_str());
  return 0;
}

int Run(const Args& args) {
  if (args.empty()) return Usage(kScrollCommand, "expected a subcommand");
  const Args rest(args.begin() + 1, args.end());
  if (args[0] == "make") return Make(rest);
  if (args[0] == "frames") return Frames(rest);
  return Usage(kScrollCommand, "unknown subcommand " + args[0]);
}

}  // namespace

const Command kScrollCommand = {
    "scroll", "make scroll files and play them into PNG frames",
    "usage: kvmedia scroll make PICTURE OUT.ksc --direction 0..3\n"
    "       kvmedia scroll frames FILE.ksc OUTDIR [--memory] [--from P --to P --frames N]\n"
    "\n"
    "make: writes PICTURE as a scroll: directions 0 (content moving up) and 1 (down) are\n"
    "rolls and store the picture's rows; 2 (moving left) and 3 (right) are crawls and store\n"
    "its columns.\n"
    "frames: plays N frames (default 10) at positions from P to P (default 0 to 1) and writes\n"
    "OUTDIR/frame-NNNNN.png. Streamed frames (the default) are unrolled from the ring\n"
    "buffer into screen order; --memory plays from the whole strip in memory, with\n"
    "sub-pixel motion for rolls.\n",
    Run};
const Registrar kScrollRegistrar(kScrollCommand);

}  // namespace kvtool
