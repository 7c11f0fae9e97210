// kvmedia info FILE... [--json]: what each file is, from its header.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kInfoCommand;

namespace {

const char* KindName(int type) {
  static const char* const kNames[] = {"unknown", "TGA", "BMP", "GIF",          "PCX",
                                       "JPEG",    "PNG", "PSD", "motion movie", "FLIC movie"};
  return type >= 0 && type <= 9 ? kNames[type] : "unknown";
}

// What a file's first bytes say it is, for telling a misleading extension. TGA has no
// signature; its version-2 footer or nothing at all is taken as TGA.
std::string Sniff(const std::string& file) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return "";
  unsigned char head[8] = {};
  const std::size_t n = std::fread(head, 1, sizeof head, f);
  char footer[18] = {};
  const bool tgaFooter = std::fseek(f, -18, SEEK_END) == 0 && std::fread(footer, 1, 18, f) == 18 &&
                         std::memcmp(footer, "TRUEVISION-XFILE.", 18) == 0;
  std::fclose(f);
  const auto starts = [&](const char* magic, std::size_t len) {
    return n >= len && std::memcmp(head, magic, len) == 0;
  };
  if (starts("BM", 2)) return "BMP";
  if (starts("GIF8", 4)) return "GIF";
  if (starts("\xFF\xD8\xFF", 3)) return "JPEG";
  if (starts("\x89PNG", 4)) return "PNG";
  if (starts("8BPS", 4)) return "PSD";
  if (starts("SVSC", 4)) return "scroll";
  if (n >= 1 && head[0] == 10 && n >= 4 && head[2] <= 1) return "PCX";
  if (tgaFooter) return "TGA";
  return "";
}

Record Describe(const std::string& file) {
  Record record(file);
  const CString path = PathArg(file);
  if (!KvDoesFileExist(path)) {
    record.Fail("no such file");
    return record;
  }
  if (CKvPlayScrollBase::GetScrollCategory(path) == SCROLL_FILE) {
    static const char* const kDirections[] = {"roll up", "roll down", "crawl left", "crawl right"};
    record.Text("type", "scroll");
    DWORD direction = 0, width = 0, lines = 0;
    if (!KvScrollGetFileInfo(path, &direction, &width, &lines)) {
      record.Fail("not a readable scroll file");
      return record;
    }
    record.Text("direction", direction <= 3 ? kDirections[direction] : "unknown");
    record.Number("line_width", width);
    record.Number("lines", lines);
    return record;
  }
  const ENUMMOVIETYPE movie = CKvPlayMovieBase::MovieCategory(path);
  if (movie != MOVIE_UNKNOWN) {
    record.Text("type", movie == MOVIE_FLIC ? "FLIC movie" : "motion movie");
    CRect rect;
    WORD word = 0;
    int frames = 0;
    if (!KvMovieGetFileInfo(path, &rect, &word, &frames)) {
      record.Fail("not a movie this build reads");
      return record;
    }
    record.Number("width", rect.Width());
    record.Number("height", rect.Height());
    record.Number("x", rect.left);
    record.Number("y", rect.top);
    record.Number("frames", frames);
    if (movie != MOVIE_FLIC) record.Number("key_interval", word);
    return record;
  }
  int type = 0;
  KvMediaGetPicFileType(path, type);
  record.Text("type", KindName(type));
  const std::string content = Sniff(file);
  if (!content.empty() && content != KindName(type))
    record.Text("note", "the content looks like " + content +
                            (type ? std::string(", not ") + KindName(type) : std::string()));
  if (type >= KV_PIC_TGA && type <= KV_PIC_PSD) {
    RECT rect{};
    int bits = 0;
    if (!KvMediaGetPicInfo(path, &rect, &bits)) {
      record.Fail(std::string("not a readable ") + KindName(type) + " picture" +
                  (content.empty() || content == KindName(type)
                       ? std::string()
                       : " (the content looks like " + content + ")"));
      return record;
    }
    record.Number("width", rect.right - rect.left);
    record.Number("height", rect.bottom - rect.top);
    record.Number("bits", bits);
    if (rect.left != 0 || rect.top != 0) {
      record.Number("x", rect.left);
      record.Number("y", rect.top);
    }
    return record;
  }
  // Anything else: what the load dispatch makes of it.
  CRect rect;
  if (DWORD* picture = KvMediaLoadPicFile(path, rect)) {
    GlobalFree(picture);
    record.Number("width", rect.Width());
    record.Number("height", rect.Height());
    return record;
  }
  record.Fail("not a file this build reads");
  return record;
}

int Run(const Args& args) {
  bool json = false;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--json")
      json = true;
    else if (a.size() > 1 && a[0] == '-')
      return Usage(kInfoCommand, "unknown option " + a);
    else
      files.push_back(a);
  }
  if (files.empty()) return Usage(kInfoCommand, "expected at least one file");
  KvMediaFileOpen();
  bool failed = false;
  if (json) std::printf("[");
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Record r = Describe(files[i]);
    failed = failed || r.failed();
    if (json) {
      std::printf("%s\n  %s", i ? "," : "", r.AsJson().c_str());
    } else if (r.failed()) {
      std::fprintf(stderr, "kvmedia: %s\n", r.AsText().c_str());
    } else {
      std::printf("%s\n", r.AsText().c_str());
    }
  }
  if (json) std::printf("\n]\n");
  KvMediaFileClose();
  return failed ? 1 : 0;
}

}  // namespace

const Command kInfoCommand = {
    "info", "describe pictures, movies and scrolls from their headers",
    "usage: kvmedia info FILE... [--json]\n"
    "\n"
    "Prints each file's type, size and bit depth (for TGA also its placement x, y); for\n"
    "movies their rectangle, frame count and key-frame interval; for scroll files (.ksc)\n"
    "their direction, line width and line count. One line per file, or a\n"
    "JSON array with --json. Exits 1 when any file cannot be read.\n",
    Run};
const Registrar kInfoRegistrar(kInfoCommand);

}  // namespace kvtool
