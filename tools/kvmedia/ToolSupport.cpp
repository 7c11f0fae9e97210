#include "ToolSupport.h"

#include "KvMediaFile/KvPicture.h"
#include "host/FileName.h"
#include "host/VideoStd.h"
#include "platform/GlobalMemory.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kvtool {

std::string LibraryReason(const std::string& fallback) {
  const std::string reason = KvMediaGetLastFailure().ToUtf8();
  return reason.empty() ? fallback : reason;
}

std::string PictureRefusal(const CString& path) {
  CRect rect;
  KvGlobalPtr picture(KvMediaLoadPicFile(path, rect));
  return picture ? std::string() : LibraryReason("not a picture this library reads");
}

std::string FileRefusal(const CString& path) {
  return KvRequireFile(path) ? std::string() : LibraryReason("no such file");
}

namespace {
bool IsFrameFile(const char* name) {
  const std::size_t n = std::strlen(name);
  return n > 10 && std::strncmp(name, "frame-", 6) == 0 && std::strcmp(name + n - 4, ".png") == 0;
}

}  // namespace

bool MakeFolders(const std::string& dir) {
  for (std::size_t end = dir.find('/', 1);; end = dir.find('/', end + 1)) {
    const std::string part = dir.substr(0, end);
    if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (end == std::string::npos) return true;
  }
}

std::string OutputIsInput(const std::string& out, const std::vector<std::string>& inputs) {
  for (const std::string& in : inputs)
    if (KvIsSameFile(PathArg(out), PathArg(in)))
      return out + ": is the input " + in + "; an output never replaces an input";
  return "";
}

std::string PrepareFrameFolder(const std::string& dir, bool force,
                               const std::vector<std::string>& inputs) {
  if (dir.empty()) return "no folder given";
  if (!MakeFolders(dir)) return "cannot make the folder " + dir + ": " + std::strerror(errno);
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return dir + " is not a folder";
  DIR* folder = ::opendir(dir.c_str());
  if (!folder) return "cannot read the folder " + dir + ": " + std::strerror(errno);
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(folder))
    if (IsFrameFile(entry->d_name)) stale.push_back(dir + "/" + entry->d_name);
  ::closedir(folder);
  if (stale.empty()) return "";
  if (!force)
    return dir + " already holds " + std::to_string(stale.size()) +
           " frame files; --force replaces them";
  for (const std::string& file : stale)
    for (const std::string& in : inputs)
      if (KvIsSameFile(PathArg(file), PathArg(in)))
        return "--force would remove " + file + ", which is the input " + in;
  for (const std::string& file : stale)
    if (::unlink(file.c_str()) != 0 && errno != ENOENT)
      return "cannot remove " + file + ": " + std::strerror(errno);
  return "";
}

std::string FramePath(const std::string& dir, long index) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%05ld.png", index);
  return dir + name;
}

std::optional<double> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
  return v;
}

std::optional<CRect> ParseRegion(const std::string& text) {
  long v[4];
  const char* p = text.c_str();
  for (int i = 0; i < 4; ++i) {
    char* end = nullptr;
    errno = 0;
    v[i] = std::strtol(p, &end, 10);
    if (end == p || errno != 0 || v[i] < -1000000000L || v[i] > 1000000000L) return std::nullopt;
    p = end;
    if (i < 3) {
      if (*p != ',') return std::nullopt;
      ++p;
    }
  }
  if (*p != '\0' || v[2] <= 0 || v[3] <= 0) return std::nullopt;
  return CRect(static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[0] + v[2]),
               static_cast<int>(v[1] + v[3]));
}

std::string RegionText(const CRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.Width()) +
         "," + std::to_string(r.Height());
}

std::string ChooseStandard(const std::string& name) {
  static const std::pair<const char*, EKvVideoStandard> kStandards[] = {
      {"sd", KV_STD_SD}, {"hd", KV_STD_HD}, {"uhd", KV_STD_UHD}};
  for (const auto& [word, standard] : kStandards)
    if (name == word) return CKvVideoStd::SetStandard(standard), "";
  return "--standard is sd, hd or uhd, not '" + name + "'";
}

std::string LowerExtension(const std::string& path) {
  const auto slash = path.rfind('/');
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// The length of the valid UTF-8 sequence at s[i] (0: not one): no overlong forms, no
// surrogates, nothing above U+10FFFF.
std::size_t Utf8SequenceAt(const std::string& s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const std::size_t extra = c < 0x80         ? 0
                            : (c >> 5) == 6  ? 1
                            : (c >> 4) == 14 ? 2
                            : (c >> 3) == 30 ? 3
                                             : 9;
  if (extra == 0) return 1;
  if (extra > 3 || s.size() - i <= extra) return 0;
  char32_t cp = c & (0x3F >> extra);
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc >> 6) != 2) return 0;
    cp = cp << 6 | (cc & 0x3F);
  }
  const char32_t minimum = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  char escape[8];
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t n = Utf8SequenceAt(s, i);
    if (n == 0) {
      // A byte that is not UTF-8 (file names are bytes): U+DC00 + the byte, as Python's
      // surrogateescape reads it, so the name can be recovered exactly.
      std::snprintf(escape, sizeof escape, "\\udc%02x", c);
      out += escape;
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out.append(s, i, n);
    }
    i += n;
  }
  return out + "\"";
}

void Record::Text(const std::string& key, const std::string& value) {
  m_fields.emplace_back(key, JsonString(value));
}

void Record::Number(const std::string& key, long long value) {
  m_fields.emplace_back(key, std::to_string(value));
}

void Record::YesNo(const std::string& key, bool value) {
  m_fields.emplace_back(key, value ? "true" : "false");
}

std::string Record::AsText() const {
  std::string out = m_file + ":";
  if (failed()) return out + " " + m_error;
  for (const auto& [key, value] : m_fields) {
    out += " " + key + "=";
    out += value.front() == '"' ? value.substr(1, value.size() - 2)
           : value == "true"    ? "yes"
           : value == "false"   ? "no"
                                : value;
  }
  return out;
}

std::string Record::AsJson() const {
  std::string out = "{\"file\": " + JsonString(m_file);
  if (failed()) out += ", \"error\": " + JsonString(m_error);
  for (const auto& [key, value] : m_fields) out += ", " + JsonString(key) + ": " + value;
  return out + "}";
}

namespace {
// Written by the signal handler and read by a batch's worker threads: lock-free atomics, which
// both a handler and other threads may use (a volatile sig_atomic_t serves the handler's own
// thread only).
std::atomic<bool> g_cancelOnInterrupt{false};
std::atomic<bool> g_cancelRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

CancelOnInterrupt::CancelOnInterrupt() {
  g_cancelRequested = false;
  g_cancelOnInterrupt = true;
}

CancelOnInterrupt::~CancelOnInterrupt() { g_cancelOnInterrupt = false; }

bool CancelRequested() { return g_cancelRequested; }

bool TakeInterruptAsCancel() {
  if (!g_cancelOnInterrupt || g_cancelRequested) return false;
  g_cancelRequested = true;
  return true;
}

}  // namespace kvtool
