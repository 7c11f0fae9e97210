#include "host/SafeSave.h"

#include "host/Failure.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kBufferBytes = 1 << 16;

// The temporary files being written, for KvRemovePendingTemporaryFiles. Fixed storage and
// atomic states only, so that a signal handler can read it while the program writes it.
// A slot is claimed by its writer (Free -> Filling -> Live) and given back by it; the remover
// marks what it took (Live -> Removing -> Removed) so that a writer never frees a slot that
// another writer has claimed since.
enum SlotState : int { kFree, kFilling, kLive, kRemoving, kRemoved };
struct PendingSlot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
constexpr int kSlots = 32;
PendingSlot g_pending[kSlots];
static_assert(std::atomic<int>::is_always_lock_free);

// Past the last slot the file is written all the same; it just cannot be removed on a signal.
int ClaimSlot(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_pending[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(g_pending[i].path, path.c_str(), path.size() + 1);
    g_pending[i].state.store(kLive, std::memory_order_release);
    return i;
  }
  return -1;
}

void ReleaseSlot(int& slot) {
  if (slot < 0) return;
  int expected = kLive;
  if (!g_pending[slot].state.compare_exchange_strong(expected, kFree) && expected == kRemoved)
    g_pending[slot].state.compare_exchange_strong(expected, kFree);
  slot = -1;
}

// Follows the symbolic links of the last component: the file a link points to is the one
// replaced. A dangling link names the file to create.
std::string ResolveLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    char link[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof link)) break;
    const std::string to(link, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    path = to.front() == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
  }
  return path;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Root passes every permission check, but a file that nobody may write is read-only by
// intent: root is refused it too, as rm asks before removing one. A read-only file system
// fails the access check even for root.
bool MayWrite(const std::string& path, const struct stat& st) {
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return false;
  return ::geteuid() != 0 || (st.st_mode & 0222) != 0;
}

constexpr std::size_t kTagLength = 6;

// Six characters from [0-9A-Za-z], different for every call in and across processes.
std::string RandomTag() {
  static std::atomic<unsigned long long> counter{0};
  unsigned long long x =
      counter.fetch_add(1) * 0x9E3779B97F4A7C15ull ^
      static_cast<unsigned long long>(::getpid()) << 32 ^
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  x = (x ^ x >> 31) * 0xBF58476D1CE4E5B9ull;
  x ^= x >> 29;
  static const char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::string tag(kTagLength, '0');
  for (char& c : tag) {
    c = kChars[x % 62];
    x /= 62;
  }
  return tag;
}

// Creates a temporary file named `stem` + a random tag: its descriptor in `fd` (-1 when none
// could be made), its name in `temp`, its entry among the pending files in `slot`. 0, or the
// errno of the last attempt.
int CreateTemp(const std::string& stem, int extraFlags, std::string& temp, int& slot, int& fd) {
  int error = 0;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = stem + RandomTag();
    // Listed before it exists, so that no moment passes in which the file is there but
    // unknown to the remover.
    slot = ClaimSlot(temp);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | extraFlags, 0666);
    if (fd >= 0) return 0;
    error = errno;
    ReleaseSlot(slot);
    if (error != EEXIST) break;
  }
  return error;
}

// Gives the new file the owner (where allowed) and the `modeBits` of the file it replaces.
void KeepOwnerAndMode(int fd, const struct stat& st, unsigned modeBits) {
  // chown first: it clears the set-id bits.
  if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
      ::fchown(fd, st.st_uid, st.st_gid) != 0) {
    // Not allowed: the new file belongs to us, as any file we create.
  }
  ::fchmod(fd, st.st_mode & modeBits);
}

// Temporary files of cache stores have a name of their own, so that those a killed store
// left behind can be told from any other writer's.
constexpr std::string_view kCacheTempPrefix = ".kvcache-";
// A live store writes its file in well under a second and renames it at once.
constexpr std::time_t kStaleCacheTempSeconds = 60;

bool IsCacheTempName(std::string_view name) {
  if (name.size() != kCacheTempPrefix.size() + kTagLength || !name.starts_with(kCacheTempPrefix))
    return false;
  for (const char c : name.substr(kCacheTempPrefix.size()))
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

// Removes the cache temporary files of `folder` that are ours (by name and owner), regular
// files (never through a link) and untouched for a minute.
void RemoveStaleCacheTemps(const std::string& folder) {
  const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  DIR* entries = ::fdopendir(dir);
  if (!entries) {
    ::close(dir);
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(entries)) {
    if (!IsCacheTempName(entry->d_name)) continue;
    struct stat st {};
    if (::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_uid == ::geteuid() && now - st.st_mtime >= kStaleCacheTempSeconds)
      stale.emplace_back(entry->d_name);
  }
  for (const std::string& name : stale) ::unlinkat(dir, name.c_str(), 0);
  ::closedir(entries);
}

const char* KvCacheTargetRefusal(const struct stat& st, bool exists) {
  if (!exists || S_ISREG(st.st_mode)) return nullptr;
  if (S_ISLNK(st.st_mode)) return "a symbolic link of that name is left alone";
  if (S_ISDIR(st.st_mode)) return "a folder of that name is left alone";
  return "a pipe or device of that name is left alone";
}

}  // namespace

const char* KvCacheTargetRefusal(const std::string& path) {
  struct stat st {};
  const bool exists = ::lstat(path.c_str(), &st) == 0;
  return KvCacheTargetRefusal(st, exists);
}

// A save starts with no reason; a failure records the system's words.
SafeFileWriter::SafeFileWriter(const CString& target, KvSaveKind kind)
    : m_target(target.ToUtf8()), m_kind(kind) {
  KvClearFailure();
}

SafeFileWriter::~SafeFileWriter() { Discard(); }

bool SafeFileWriter::Fail(int error, const char* why) {
  m_error = error ? error : EIO;
  m_reason = why ? why : std::strerror(m_error);
  KvSetFailure(m_reason);
  return false;
}

bool SafeFileWriter::Open() {
  if (m_target.empty() || m_target.back() == '/') return Fail(EISDIR);
  if (m_kind == KvSaveKind::kCache) return OpenCache();
  m_final = ResolveLinks(m_target);
  struct stat st {};
  const bool exists = ::stat(m_final.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return Fail(EISDIR);
    if (!MayWrite(m_final, st)) return Fail(EACCES);
  }
  // A device or a pipe is written, never replaced by a file.
  const int createError = !exists || S_ISREG(st.st_mode)
                              ? CreateTemp(FolderOf(m_final) + ".kvtmp-", 0, m_temp, m_slot, m_fd)
                              : 0;
  if (m_fd < 0) {
    m_temp.clear();
    if (!exists) return Fail(createError);
    m_fd = ::open(m_final.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (m_fd < 0) return Fail(errno);
    m_inPlace = true;
  } else if (exists) {
    KeepOwnerAndMode(m_fd, st, 07777);
  }
  m_buffer.reserve(kBufferBytes);
  return true;
}

bool SafeFileWriter::OpenCache() {
  m_final = m_target;  // the name itself, never what a link there points to
  struct stat st {};
  const bool exists = ::lstat(m_final.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return Fail(errno);
  if (const char* refusal = KvCacheTargetRefusal(st, exists))
    return Fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, refusal);
  if (exists && !MayWrite(m_final, st)) return Fail(EACCES);
  const std::string folder = FolderOf(m_final);
  RemoveStaleCacheTemps(folder);
  int createError =
      CreateTemp(folder + std::string(kCacheTempPrefix), O_NOFOLLOW, m_temp, m_slot, m_fd);
  if (m_fd < 0) {
    // Written in place, a kill or a second writer would leave half a file: no store.
    m_temp.clear();
    if (!createError) createError = EEXIST;
    if (createError == ENOENT || createError == ENOTDIR) return Fail(createError);
    const std::string why = std::string("the folder takes no temporary file (") +
                            std::strerror(createError) + "), and a cache is never written in place";
    return Fail(createError, why.c_str());
  }
  if (exists) KeepOwnerAndMode(m_fd, st, 0777);
  m_buffer.reserve(kBufferBytes);
  return true;
}

bool SafeFileWriter::WriteAll(const void* data, std::size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (bytes > 0) {
    const ssize_t n = ::write(m_fd, p, bytes);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(n < 0 ? errno : ENOSPC);
    p += n;
    bytes -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SafeFileWriter::Flush() {
  if (m_buffer.empty()) return ok();
  const bool done = WriteAll(m_buffer.data(), m_buffer.size());
  m_buffer.clear();
  return done;
}

bool SafeFileWriter::Write(const void* data, std::size_t bytes) {
  if (!ok()) return false;
  if (m_buffer.size() + bytes <= kBufferBytes) {
    const auto* p = static_cast<const unsigned char*>(data);
    m_buffer.insert(m_buffer.end(), p, p + bytes);
    return true;
  }
  if (!Flush()) return false;
  if (bytes >= kBufferBytes) return WriteAll(data, bytes);
  const auto* p = static_cast<const unsigned char*>(data);
  m_buffer.insert(m_buffer.end(), p, p + bytes);
  return true;
}

bool SafeFileWriter::Commit() {
  if (!ok() || !Flush()) {
    Discard();
    return false;
  }
  // On disk before it takes the target's name, so that a crash leaves the old file or the
  // whole new one. Pipes and devices cannot be flushed (EINVAL).
  if (::fsync(m_fd) != 0 && errno != EINVAL) {
    Fail(errno);
    Discard();
    return false;
  }
  const int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0 && errno != EINTR) {
    Fail(errno);
    Discard();
    return false;
  }
  if (!m_inPlace) {
    if (::rename(m_temp.c_str(), m_final.c_str()) != 0) {
      Fail(errno);
      Discard();
      return false;
    }
    // Renamed first, then forgotten: a signal in between unlinks a name that is gone.
    ReleaseSlot(m_slot);
    m_temp.clear();
    const std::string folder = FolderOf(m_final);
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  return true;
}

void SafeFileWriter::RemoveFailedInPlace() const {
  struct stat st {};
  if (m_inPlace && ::lstat(m_final.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    ::unlink(m_final.c_str());
}

void SafeFileWriter::Discard() {
  if (m_fd >= 0) {
    ::close(m_fd);
    m_fd = -1;
  }
  if (!m_temp.empty()) {
    ::unlink(m_temp.c_str());
    m_temp.clear();
  }
  ReleaseSlot(m_slot);
}

void KvRemovePendingTemporaryFiles() {
  for (PendingSlot& slot : g_pending) {
    int expected = kLive;
    if (!slot.state.compare_exchange_strong(expected, kRemoving, std::memory_order_acquire))
      continue;
    ::unlink(slot.path);
    slot.state.store(kRemoved, std::memory_order_release);
  }
}
