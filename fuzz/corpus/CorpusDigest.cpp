// What the library makes of every file in a folder, one line a file: for each read path (the
// picture load, information and facts, the strict check, movie and scroll frames and their
// checks) a digest of the rectangle and the pixels, or the reason it failed. Two libraries that
// print the same lines over the same files read them alike (./kv corpus).
//
// Only the exported API is used, so that this one source builds against an older library too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "KvMediaFile/KvMovie.h"
#include "KvMediaFile/KvPicture.h"
#include "KvMediaFile/KvScroll.h"
#include "platform/GlobalMemory.h"

namespace fs = std::filesystem;

namespace {

// FNV-1a, 64 bits: enough to tell two pictures apart, short to print.
class Digest {
 public:
  void Add(const void* data, std::size_t size) {
    for (const auto* p = static_cast<const unsigned char*>(data); size--; ++p) {
      m_hash ^= *p;
      m_hash *= 0x100000001b3ULL;
    }
  }
  void Add(long long v) { Add(&v, sizeof v); }
  std::string Hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(m_hash));
    return text;
  }

 private:
  std::uint64_t m_hash = 0xcbf29ce484222325ULL;
};

std::string Reason() {
  const std::string why = KvMediaGetLastFailure().ToUtf8();
  return "fail(" + why + ")";
}

std::string RectText(const CRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

// A picture buffer and its rectangle, freed here; or the reason it is null.
std::string Pixels(DWORD* pixels, const CRect& rect) {
  if (!pixels) return Reason() + "@" + RectText(rect);
  Digest d;
  const long long count = static_cast<long long>(rect.Width()) * rect.Height();
  d.Add(pixels, static_cast<std::size_t>(std::max(0LL, count)) * 4);
  GlobalFree(pixels);
  return RectText(rect) + ":" + d.Hex();
}

std::string Result(int ok, const std::string& what) { return ok ? what : Reason(); }

// Each read path, with exceptions caught so that one path's throw shows and the rest run.
template <class Read>
std::string Guarded(Read read) {
  try {
    return read();
  } catch (...) {
    return "threw";
  }
}

void DigestFile(const fs::path& file, const std::string& name) {
  const CString path = CString::FromUtf8(file.string());
  std::vector<std::pair<const char*, std::string>> out;
  out.emplace_back("load", Guarded([&] {
                     CRect rect;
                     DWORD* pixels = KvMediaLoadPicFile(path, rect);
                     return Pixels(pixels, rect);
                   }));
  out.emplace_back("info", Guarded([&] {
                     RECT r{};
                     int bits = 0;
                     const int ok = KvMediaGetPicInfo(path, &r, &bits);
                     return Result(ok, RectText(CRect(r)) + "/" + std::to_string(bits));
                   }));
  out.emplace_back("facts", Guarded([&] {
                     SKvPicFacts f;
                     const int ok = KvMediaGetPicFacts(path, &f);
                     return Result(ok, std::to_string(f.type) + " " + std::to_string(f.width) +
                                           "x" + std::to_string(f.height) + "+" +
                                           std::to_string(f.x) + "+" + std::to_string(f.y) + " " +
                                           std::to_string(f.storedBits) + "/" +
                                           std::to_string(f.channels) + (f.alpha ? "a" : ""));
                   }));
  out.emplace_back("check", Guarded([&] { return Result(KvMediaCheckPicFile(path), "ok"); }));
  out.emplace_back("movie", Guarded([&] {
                     CRect rect;
                     WORD word = 0;
                     int frames = 0;
                     const int ok = KvMovieGetFileInfo(path, &rect, &word, &frames);
                     return Result(ok, RectText(rect) + "/" + std::to_string(word) + "/" +
                                           std::to_string(frames));
                   }));
  for (const float t : {0.0f, 0.5f, 0.99f}) {
    out.emplace_back("frame", Guarded([&] {
                       CRect rect;
                       DWORD* pixels = KvMovieGetFrame(path, rect, t);
                       return Pixels(pixels, rect);
                     }));
  }
  out.emplace_back("flic", Guarded([&] {
                     CKvPlayMovieFlick flic;
                     if (!flic.Open(path, 0) || !flic.Prepare(nullptr)) return Reason();
                     return Result(flic.CheckFrames(), std::to_string(flic.m_nFrames));
                   }));
  out.emplace_back("motion", Guarded([&] {
                     CKvMotionFileRead motion;
                     if (!motion.OpenFile(path.GetString())) return Reason();
                     std::string checks;
                     for (int i = 0; i < motion.GetInfo().frameCount; ++i)
                       checks += motion.CheckFC(i) ? "1" : "0";
                     return checks;
                   }));
  out.emplace_back("scroll", Guarded([&] {
                     DWORD direction = 0, width = 0, lines = 0;
                     const int ok = KvScrollGetFileInfo(path, &direction, &width, &lines);
                     return Result(ok, std::to_string(direction) + "/" + std::to_string(width) +
                                           "/" + std::to_string(lines));
                   }));
  for (const int inMemory : {0, 1}) {
    for (const float position : {0.0f, 0.5f, 1.0f}) {
      out.emplace_back("roll", Guarded([&] {
                         CRect rect;
                         DWORD* pixels = KvScrollGetFrame(path, rect, position, inMemory);
                         return Pixels(pixels, rect);
                       }));
    }
  }
  out.emplace_back("lines", Guarded([&] {
                     CKvScrollFileRead scroll;
                     if (!scroll.OpenFile(path.GetString())) return Reason();
                     return Result(scroll.CheckLines(), "ok");
                   }));
  std::string line = name;
  for (const auto& [name, text] : out) line += std::string(" ") + name + "=" + text;
  std::printf("%s\n", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
    return 2;
  }
  KvMediaFileOpen();
  for (int i = 1; i < argc; ++i) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(argv[i]))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
      // Named by its place under the folder, so that the same tree anywhere prints the same.
      DigestFile(f, fs::relative(f, argv[i]).string());
      std::fflush(stdout);
    }
  }
  KvMediaFileClose();
  return 0;
}
