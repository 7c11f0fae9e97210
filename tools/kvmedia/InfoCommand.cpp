// kvmedia info FILE... [--json] [--check]: what each file is, from its header.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "ContentSniff.h"
#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "host/FileReader.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kInfoCommand;

namespace {

const char* KindName(int type) {
  static const char* const kNames[] = {"unknown", "TGA", "BMP", "GIF",          "PCX",
                                       "JPEG",    "PNG", "PSD", "motion movie", "FLIC movie"};
  return type >= 0 && type <= 9 ? kNames[type] : "unknown";
}

// The fields every file gets, in one order.
void AddFacts(Record& record, long long width, long long height, int bits, int channels, bool alpha,
              long long fileSize) {
  record.Number("width", width);
  record.Number("height", height);
  record.Number("bits_per_pixel", bits);
  record.Number("channels", channels);
  record.YesNo("alpha", alpha);
  record.Number("file_size", fileSize);
}

// The checks decode through the library's strict paths, never the players' tolerant ones,
// which show what they cannot decode as transparent. Each gives the first damage it finds,
// or nothing.

// Every line expands to exactly the strip's width.
std::string ScrollDamage(const CString& path) {
  CKvScrollFileRead file;
  return file.OpenFile(path) && file.CheckLines() ? std::string()
                                                  : LibraryReason("a line does not decode");
}

// The player takes the movie, and every frame's chunk and patches are whole.
std::string MotionDamage(const CString& path, const CRect& rect, WORD keyInterval, int frames) {
  if (rect.IsRectEmpty()) return "the movie's rectangle is empty";
  if (keyInterval == 0) return "key-frame interval 0";
  if (frames < 1) return "the movie holds no frames";
  CKvMotionFileRead file;
  if (!file.OpenFile(path)) return LibraryReason("the movie does not open");
  for (int i = 0; i < frames; ++i)
    if (!file.CheckFC(i)) return LibraryReason("frame " + std::to_string(i) + " does not decode");
  return {};
}

// Every frame the header counts is there and decodes, and the file is as long as its header
// says.
std::string FlicDamage(const CString& path) {
  CKvPlayMovieFlick player;
  return player.Open(path, 0) && player.CheckFrames() ? std::string()
                                                      : LibraryReason("a frame does not decode");
}

void DescribeScroll(Record& record, const CString& path, long long fileSize, bool check) {
  static const char* const kDirections[] = {"roll up", "roll down", "crawl left", "crawl right"};
  record.Text("type", "scroll");
  DWORD direction = 0, width = 0, lines = 0;
  if (!KvScrollGetFileInfo(path, &direction, &width, &lines)) {
    record.Fail(LibraryReason("not a readable scroll file"));
    return;
  }
  const bool roll = direction <= KV_SCROLL_DOWN;
  AddFacts(record, roll ? width : lines, roll ? lines : width, 32, 4, true, fileSize);
  record.Text("direction", direction <= 3 ? kDirections[direction] : "unknown");
  record.Number("line_width", width);
  record.Number("lines", lines);
  if (const std::string damage = check ? ScrollDamage(path) : ""; !damage.empty())
    record.Fail("damaged: " + damage);
}

void DescribeMovie(Record& record, const CString& path, ENUMMOVIETYPE movie, long long fileSize,
                   bool check) {
  const bool flic = movie == MOVIE_FLIC;
  record.Text("type", flic ? "FLIC movie" : "motion movie");
  CRect rect;
  WORD word = 0;
  int frames = 0;
  if (!KvMovieGetFileInfo(path, &rect, &word, &frames)) {
    record.Fail(LibraryReason("not a movie this library reads"));
    return;
  }
  // FLIC frames load with index 0 transparent.
  AddFacts(record, rect.Width(), rect.Height(), flic ? 8 : 32, 4, true, fileSize);
  record.Number("x", rect.left);
  record.Number("y", rect.top);
  record.Number("frames", frames);
  if (flic) {
    // The player ends a FLIC at the first frame the file does not hold; where that is before
    // the header's count, the frames that play are told beside it.
    CKvPlayMovieFlick player;
    try {
      if (player.Open(path, 0) && player.Prepare(nullptr) && player.m_nFrames < frames)
        record.Number("frames_found", player.m_nFrames);
    } catch (const CFileException&) {
      // A frame of unknown type: the player refuses the movie; --check names it.
    }
  }
  SKvFlicHeader header;
  if (!flic)
    record.Number("key_interval", word);
  else if (KvReadFlicHeader(path, header))
    record.Number("speed_ms", std::llround(header.MillisecondsPerFrame()));
  if (!check) return;
  if (const std::string damage = flic ? FlicDamage(path) : MotionDamage(path, rect, word, frames);
      !damage.empty())
    record.Fail("damaged: " + damage);
}

void DescribePicture(Record& record, const std::string& file, const CString& path,
                     long long fileSize, bool check) {
  int type = 0;
  KvMediaGetPicFileType(path, type);
  record.Text("type", KindName(type));
  const std::string content = SniffFileType(file);
  const bool mismatch = !content.empty() && content != KindName(type);
  if (mismatch)
    record.Text("note", "the content looks like " + content +
                            (type ? std::string(", not ") + KindName(type) : std::string()));
  SKvPicFacts facts;
  const bool haveFacts = KvMediaGetPicFacts(path, &facts);
  const std::string reason = LibraryReason("no picture header this library knows");
  const bool known = type >= KV_PIC_TGA && type <= KV_PIC_PSD;
  if (known && (!haveFacts || mismatch)) {
    // The loader's own words, so that info and convert say the same.
    const std::string refusal = PictureRefusal(path);
    record.Fail(!refusal.empty() ? refusal
                                 : std::string("not a readable ") + KindName(type) + " picture: " +
                                       (mismatch ? "the content looks like " + content : reason));
    return;
  }
  if (haveFacts)
    AddFacts(record, facts.width, facts.height, facts.storedBits, facts.channels, facts.alpha,
             fileSize);
  if (!known || check) {
    // Decoded by the load dispatch, which is also what a file the extension does not name
    // is read by.
    CRect rect;
    KvGlobalPtr picture(KvMediaLoadPicFile(path, rect));
    if (!picture) {
      record.Fail(LibraryReason(known ? "damaged: the picture does not decode"
                                      : "not a file this library reads"));
      return;
    }
    if (!haveFacts) {
      record.Number("width", rect.Width());
      record.Number("height", rect.Height());
      record.Number("file_size", fileSize);
    }
  }
  // What the loader passes over (a GIF cut short loads with the rows it holds) is damage too.
  if (check && !KvMediaCheckPicFile(path)) {
    record.Fail("damaged: " + LibraryReason("the picture does not decode"));
    return;
  }
  if (!known) return;
  // The library's figure, under its own name. Its information call decodes PNG files, so
  // that one is asked only when the whole file is read anyway.
  RECT rect{};
  int bits = 0;
  if (type != KV_PIC_PNG || check) {
    if (!KvMediaGetPicInfo(path, &rect, &bits)) {
      record.Fail(LibraryReason(std::string("not a readable ") + KindName(type) + " picture"));
      return;
    }
    record.Number("library_bits", bits);
  }
  if (facts.x != 0 || facts.y != 0) {
    record.Number("x", facts.x);
    record.Number("y", facts.y);
  }
}

Record Describe(const std::string& file, bool check) {
  Record record(file);
  const CString path = PathArg(file);
  struct stat st {};
  if (const std::string refusal = FileRefusal(path); !refusal.empty()) {
    record.Fail(refusal);
    return record;
  }
  if (::stat(file.c_str(), &st) != 0) {
    record.Fail(std::strerror(errno));
    return record;
  }
  const auto fileSize = static_cast<long long>(st.st_size);
  if (CKvPlayScrollBase::GetScrollCategory(path) == SCROLL_FILE) {
    DescribeScroll(record, path, fileSize, check);
  } else if (const ENUMMOVIETYPE movie = CKvPlayMovieBase::MovieCategory(path);
             movie != MOVIE_UNKNOWN) {
    DescribeMovie(record, path, movie, fileSize, check);
  } else {
    DescribePicture(record, file, path, fileSize, check);
  }
  if (check && !record.failed()) record.Text("check", "ok");
  return record;
}

int Run(const Parsed& args) {
  const std::vector<std::string>& files = args.words;
  const bool json = args.Has("--json"), check = args.Has("--check");
  if (files.empty()) return Usage(kInfoCommand, "expected at least one file");
  KvMediaFileOpen();
  bool failed = false;
  if (json) std::printf("[");
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Record r = Describe(files[i], check);
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

const Options kInfoOptions = {
    {.name = "--check",
     .help = "also decode each file fully and strictly (every frame, chunk and patch\n"
             "of a movie, every scroll line to its full width, a picture to its end)\n"
             "and say whether all of it reads (check=ok), or else the first damage\n"
             "(\"damaged: line 50 expands to 312 of 480 pixels\")"},
    {.name = "--json",
     .help = "names that are not valid UTF-8 keep every byte: each byte b that is not\n"
             "part of valid UTF-8 is written as \\udcXX, U+DC00 + b (what Python's\n"
             "surrogateescape gives back as the byte)"}};

const Command kInfoCommand = {
    "info",
    "describe pictures, movies and scroll files from their headers",
    "usage: kvmedia info FILE... [--json] [--check]\n"
    "\n"
    "Prints one line per file (a JSON array with --json) with the same fields for every\n"
    "type: type, width, height, bits_per_pixel (as the file stores a pixel; for palette\n"
    "pictures the index), channels (of the colours, alpha included), alpha (yes when the\n"
    "picture loads with its transparency: a 32-bit BMP stores a fourth byte, but loading\n"
    "keeps it only when the header gives an alpha mask) and file_size in bytes, as the\n"
    "library's header readers tell them. Then library_bits, the figure that the library's\n"
    "own information call gives (for PNG the bytes per pixel, and only with\n"
    "--check, as that call decodes the whole file); x and y for a TGA or PCX placed away\n"
    "from 0, 0; for movies x, y, frames and key_interval (FLIC: speed_ms, and frames_found\n"
    "when the file holds fewer frames than its header counts: those are what plays); for\n"
    "scroll files (.ksc) direction, line_width and lines. A note says when the content does not "
    "match the extension.\n"
    "Only headers are read, so big files answer at once.\n" KV_OPTION_BLOCK1
    "Exits 1 when any file cannot be read or, with --check, is damaged.\n",
    Run,
    kInfoOptions,
    {},
    12};
const Registrar kInfoRegistrar(kInfoCommand);

}  // namespace kvtool
