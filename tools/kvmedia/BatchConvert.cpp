#include "BatchConvert.h"

#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "KvMediaFile/KvPicture.h"
#include "PictureOutput.h"
#include "Progress.h"
#include "ToolSupport.h"
#include "host/FileName.h"
#include "host/SafeSave.h"
#include "platform/GlobalMemory.h"

namespace kvtool {

extern const Command kConvertCommand;

namespace {

struct Job {
  std::string in, out;
  std::string refusal;  // found before any work: a name clash, an output that is an input
  long long bytes = 0;
};

long Cores() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

// "a/title.v2.tga" -> "title.v2"; a name that is all extension (".tga") stays whole.
std::string Stem(const std::string& path) {
  const auto slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::optional<std::pair<dev_t, ino_t>> FileId(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return std::pair{st.st_dev, st.st_ino};
}

// Loads one picture and writes it; "" when done, else why not. Runs on a worker thread: the
// library's reason is this thread's own.
std::string ConvertOne(const Job& job, const std::optional<CRect>& region) {
  const CString path = PathArg(job.in);
  if (std::string refusal = FileRefusal(path); !refusal.empty()) return refusal;
  CRect rect;
  KvGlobalPtr picture(KvMediaLoadPicFile(path, rect));
  if (!picture) return LibraryReason("not a picture this library reads");
  const CSize size = rect.Size();
  const CRect whole(0, 0, size.cx, size.cy);
  CRect area = region.value_or(whole);
  if (!area.IntersectRect(&area, &whole)) return "the region lies outside the picture";
  // Interrupted while loading: nothing more is started.
  if (CancelRequested()) return "";
  return WritePicture(job.out, static_cast<DWORD*>(picture.get()), size, area);
}

// Blocks SIGINT and SIGTERM on the threads started while it lives, so that the handler runs on
// the main thread, which only waits.
class SignalsToMainThread {
 public:
  SignalsToMainThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &set, &m_old);
  }
  ~SignalsToMainThread() { ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }

 private:
  sigset_t m_old;
};

// One job per input, its output named before any work, so that clashes are refused in the
// order given.
std::vector<Job> PlanJobs(const std::vector<std::string>& inputs, const std::string& dir,
                          const std::string& type) {
  std::vector<Job> work(inputs.size());
  std::set<std::pair<dev_t, ino_t>> inputIds;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    work[i].in = inputs[i];
    work[i].out = (dir.ends_with("/") ? dir : dir + "/") + Stem(inputs[i]) + "." + type;
    struct stat in {};
    if (::stat(inputs[i].c_str(), &in) == 0) {
      inputIds.emplace(in.st_dev, in.st_ino);
      work[i].bytes = in.st_size;
    }
  }
  std::map<std::string, std::size_t> writers;
  for (std::size_t i = 0; i < work.size(); ++i) {
    Job& job = work[i];
    const auto [first, isNew] = writers.emplace(job.out, i);
    const auto id = FileId(job.out);
    if (!isNew)
      job.refusal = job.out + " is already the output of " + work[first->second].in;
    else if (id && inputIds.count(*id))
      job.refusal = job.out + " is an input; it is not overwritten";
  }
  return work;
}

}  // namespace

bool IsBatchConvert(const Parsed& args) { return args.Has("--to") || args.Has("--outdir"); }

int RunBatchConvert(const Parsed& args) {
  if (args.Has("--time"))
    return Usage(kConvertCommand, "--time goes with one IN and OUT, not with --outdir");
  const std::vector<std::string>& inputs = args.words;
  std::optional<std::string> to = args.Text("--to");
  const std::optional<std::string> dir = args.Text("--outdir");
  const std::optional<CRect> region = args.Region("--region");
  const long jobs = args.Integer("-j").value_or(0);
  if (to) {
    // "png", ".png" or "PNG".
    if (to->starts_with(".")) to->erase(0, 1);
    for (char& c : *to) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!IsPictureOutput("x." + *to))
      return Usage(kConvertCommand, "--to takes tga, bmp, pcx, jpg, jpeg or png");
  }
  if (!to || !dir) return Usage(kConvertCommand, "--to TYPE and --outdir DIR go together");
  if (inputs.empty()) return Usage(kConvertCommand, "expected at least one IN");
  if (!MakeFolders(*dir))
    return Fail("cannot make the folder " + *dir + ": " + std::strerror(errno));
  struct stat st {};
  if (::stat(dir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return Fail(*dir + " is not a folder");

  const std::vector<Job> work = PlanJobs(inputs, *dir, *to);
  // The biggest first, so that no thread is left with a long one at the end.
  std::vector<std::size_t> order(work.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return work[a].bytes > work[b].bytes; });

  KvMediaFileOpen();
  const long threads =
      std::min<long>(jobs ? jobs : std::min(Cores(), kMostJobs), static_cast<long>(work.size()));
  std::atomic<std::size_t> next{0};
  std::mutex lineLock;  // the progress line, the refusal lines and the counts
  long done = 0, failed = 0;
  std::optional<Progress> progress;
  progress.emplace("converting to " + *dir, static_cast<long long>(work.size()), "pictures");
  const auto worker = [&] {
    for (std::size_t n; !CancelRequested() && (n = next.fetch_add(1)) < order.size();) {
      const Job& job = work[order[n]];
      const std::string refusal = job.refusal.empty() ? ConvertOne(job, region) : job.refusal;
      if (CancelRequested() && refusal.empty()) break;
      const std::lock_guard<std::mutex> hold(lineLock);
      if (!refusal.empty()) {
        ++failed;
        progress->Print("kvmedia: " + job.in + ": " + refusal);
      }
      progress->Set(++done);
    }
  };
  {
    const CancelOnInterrupt cancel;
    std::vector<std::thread> pool;
    {
      const SignalsToMainThread signals;
      for (long t = 0; t < threads; ++t) pool.emplace_back(worker);
    }
    for (std::thread& t : pool) t.join();
    if (CancelRequested()) {
      KvRemovePendingTemporaryFiles();
      progress->Print("kvmedia: interrupted");
      return 130;
    }
  }
  progress.reset();  // its line cleared before the summary
  std::printf("%ld of %zu pictures converted into %s%s\n", done - failed, work.size(), dir->c_str(),
              failed ? (", " + std::to_string(failed) + " refused").c_str() : "");
  return failed ? 1 : 0;
}

}  // namespace kvtool
