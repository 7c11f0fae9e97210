// kvmedia movie frames MOVIE OUTDIR [...]: plays a movie frame by frame into PNG files.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "Commands.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "PngWriter.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kMovieCommand;

namespace {

std::unique_ptr<CKvPlayMovieBase> MakePlayer(const CString& path) {
  switch (CKvPlayMovieBase::MovieCategory(path)) {
    case MOVIE_SVE:
    case MOVIE_KVX:
      return std::make_unique<CKvPlayMovieMotion>();
    default:
      return nullptr;
  }
}

int Frames(const Args& args) {
  std::vector<std::string> files;
  bool memory = false;
  std::string background;
  int mix = -1;
  CPoint paste;
  long every = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--memory") {
      memory = true;
    } else if (a == "--background" && hasValue) {
      background = args[++i];
    } else if (a == "--mix" && hasValue) {
      const std::string v = args[++i];
      if (v != "0" && v != "1") return Usage(kMovieCommand, "--mix takes 0 or 1");
      mix = v == "0" ? 0 : 1;
    } else if (a == "--paste" && hasValue) {
      const auto r = ParseRegion(args[++i] + ",1,1");
      if (!r) return Usage(kMovieCommand, "--paste takes X,Y");
      paste = r->TopLeft();
    } else if (a == "--every" && hasValue) {
      const auto n = ParseNumber(args[++i]);
      if (!n || *n < 1 || *n != static_cast<long>(*n))
        return Usage(kMovieCommand, "--every takes a whole number above 0");
      every = static_cast<long>(*n);
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage(kMovieCommand, "unknown option or missing value: " + a);
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Usage(kMovieCommand, "expected MOVIE and OUTDIR");
  if (background.empty() != (mix < 0))
    return Usage(kMovieCommand, "--background and --mix go together");

  const CString path = PathArg(files[0]);
  if (!KvDoesFileExist(path)) return Fail(files[0] + ": no such file");
  std::unique_ptr<CKvPlayMovieBase> player = MakePlayer(path);
  if (!player) return Fail(files[0] + ": not a movie this build plays");
  if (!player->Open(path, memory ? 1 : 0)) return Fail(files[0] + ": not a readable movie");

  KvMediaFileOpen();
  CKvMemBlock back;
  if (!background.empty()) {
    CRect rect;
    KvGlobalPtr picture(KvMediaLoadPicFile(PathArg(background), rect));
    if (!picture) return Fail(background + ": not a picture this build reads");
    if (!back.InitBlock(rect.Size())) return Fail("out of memory");
    std::memcpy(back.GetAddress(), picture.get(),
                static_cast<std::size_t>(rect.Width()) * rect.Height() * 4);
    player->m_nMixMode = mix;
    player->m_ptPaste = paste;
  }
  if (!player->Prepare(background.empty() ? nullptr : &back))
    return Fail(files[0] + ": the movie's frames cannot be read");

  const std::string dir = files[1];
  ::mkdir(dir.c_str(), 0777);
  const int n = player->m_nFrames;
  const CSize size = player->m_blockWork.GetSize();
  int written = 0;
  for (int i = 0; i < n; i += static_cast<int>(every)) {
    player->GetOneFrame(static_cast<float>(i) / static_cast<float>(n));
    char name[32];
    std::snprintf(name, sizeof name, "/frame-%05d.png", i);
    std::string error;
    if (!WritePng(dir + name, reinterpret_cast<const DWORD*>(player->m_blockWork.GetAddress()),
                  size.cx, size.cy, &error))
      return Fail(error);
    ++written;
  }
  std::printf("%s: %d of %d frames (%d x %d) written to %s\n", files[0].c_str(), written, n,
              size.cx, size.cy, dir.c_str());
  return 0;
}

int Run(const Args& args) {
  if (args.empty()) return Usage(kMovieCommand, "expected a subcommand");
  if (args[0] == "frames") return Frames(Args(args.begin() + 1, args.end()));
  return Usage(kMovieCommand, "unknown subcommand " + args[0]);
}

}  // namespace

const Command kMovieCommand = {
    "movie", "play a movie into PNG frames",
    "usage: kvmedia movie frames MOVIE OUTDIR [--memory] [--background PIC --mix 0|1\n"
    "                            --paste X,Y] [--every N]\n"
    "\n"
    "Plays MOVIE frame by frame (times 0, 1/n, 2/n ...) and writes OUTDIR/frame-NNNNN.png.\n"
    "  --memory         load the whole movie into memory first\n"
    "  --background P   lay the frames over picture P (mix 0) or P over the frames (mix 1),\n"
    "  --mix 0|1        the movie's top-left corner at --paste X,Y in the picture\n"
    "  --every N        write every Nth frame only\n",
    Run};
const Registrar kMovieRegistrar(kMovieCommand);

}  // namespace kvtool
