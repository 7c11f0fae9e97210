// The folder search over 1,000 pictures: listed from an up-to-date catalogue (beside the
// physical floor: reading the catalogue's bytes and the folder's entries), with one picture
// touched, and rebuilt from nothing (thumbnails per second, and its working memory).
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KvMediaFile/KvClipMedia.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "TitleFrame.h"
#include "WorkingMemory.h"

namespace {

constexpr int kPictures = 1000, kWidth = 128, kHeight = 96;
const wchar_t* const kTypes = L"tga,bmp,gif,pcx,jpg,png,psd";

struct Folder {
  std::string path = kvbench::TempPath("catalog");
  Folder() {
    KvMediaFileOpen();
    ::mkdir(path.c_str(), 0755);
    const auto& video = kvbench::VideoFrame();
    std::vector<DWORD> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    for (int i = 0; i < kPictures; ++i) {
      for (std::size_t p = 0; p < pixels.size(); ++p)
        pixels[p] = video[(p * 7 + i * 131) % video.size()];
      char name[32];
      std::snprintf(name, sizeof name, "/title-%04d.%s", i, i % 2 ? "tga" : "bmp");
      (i % 2 ? KvMediaSaveTGAFile : KvMediaSaveBMPFile)(CString::FromUtf8(path + name),
                                                        pixels.data(), CSize(kWidth, kHeight),
                                                        CRect(0, 0, kWidth, kHeight));
    }
  }
  ~Folder() {
    kvbench::RemoveFlatFolder(path);
    KvMediaFileClose();
  }
  CString Path() const { return CString::FromUtf8(path); }
  CString Catalogue() const { return CString::FromUtf8(path + "/PicMedia.pmf"); }
  int Search(SKvFetchReport* report = nullptr, const SKvFetchOptions& options = {}) const {
    CKvObList list;
    return KvMediaFetchValidFileEx(&list, Path(), Catalogue(), kTypes, options, report);
  }
};

Folder& TheFolder() {
  static Folder folder;
  return folder;
}

void BM_ListUnchanged(benchmark::State& state) {
  Folder& f = TheFolder();
  f.Search();
  SKvFetchReport report;
  for (auto _ : state) f.Search(&report);
  if (report.fromCatalog != kPictures || !report.catalogCurrent)
    state.SkipWithError("not listed from the catalogue");
  state.SetItemsProcessed(state.iterations());
}

// The floor: the catalogue's bytes read and every entry of the folder looked at.
void BM_ReadCatalogueAndEntries(benchmark::State& state) {
  Folder& f = TheFolder();
  f.Search();
  std::vector<char> bytes(std::size_t{64} << 20);
  for (auto _ : state) {
    const int fd = ::open((f.path + "/PicMedia.pmf").c_str(), O_RDONLY);
    std::size_t total = 0;
    for (ssize_t n; (n = ::read(fd, bytes.data() + total, bytes.size() - total)) > 0;) total += n;
    ::close(fd);
    DIR* d = ::opendir(f.path.c_str());
    struct stat st {};
    while (const dirent* e = ::readdir(d)) ::fstatat(::dirfd(d), e->d_name, &st, 0);
    ::closedir(d);
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_OneTouched(benchmark::State& state) {
  Folder& f = TheFolder();
  f.Search();
  const std::string touched = f.path + "/title-0500.bmp";
  long long second = 2000000;
  SKvFetchReport report;
  for (auto _ : state) {
    state.PauseTiming();
    const timespec times[2] = {{second, 0}, {++second, 0}};
    ::utimensat(AT_FDCWD, touched.c_str(), times, 0);
    state.ResumeTiming();
    f.Search(&report);
  }
  if (report.readAgain != 1 || !report.catalogStored) state.SkipWithError("not one read again");
  state.SetItemsProcessed(state.iterations());
}

void BM_Rebuild(benchmark::State& state) {
  Folder& f = TheFolder();
  for (auto _ : state) {
    state.PauseTiming();
    std::remove((f.path + "/PicMedia.pmf").c_str());
    state.ResumeTiming();
    f.Search();
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
  std::remove((f.path + "/PicMedia.pmf").c_str());
  // The heap in use (malloc and calloc: global memory included), sampled after each
  // picture: what the list of records and thumbnails holds as it grows. One picture's
  // decode at a time comes on top; the operator new peak covers the transient part.
  std::remove((f.path + "/PicMedia.pmf").c_str());
  const auto inUse = [] {
    const struct mallinfo2 m = ::mallinfo2();
    return m.uordblks + m.hblkhd;
  };
  const std::size_t start = inUse();
  std::size_t heapPeak = start;
  SKvFetchOptions options;
  options.onRecord = [&](const CKvClipMedia&, EKvClipState, const CString&) {
    heapPeak = std::max(heapPeak, inUse());
  };
  const std::size_t peak = kvbench::PeakNewBytes([&] { f.Search(nullptr, options); });
  static bool noted = false;
  if (!noted)
    kvbench::Note("rebuild of " + std::to_string(kPictures) + " pictures of " +
                  std::to_string(kWidth) + " x " + std::to_string(kHeight) +
                  ": heap in use peaks " + std::to_string((heapPeak - start) / 1024) +
                  " KiB above the start (records, thumbnails); operator new peak " +
                  std::to_string(peak / 1024) + " KiB");
  noted = true;
}

}  // namespace

// Wall-clock time: the work waits on the file system as much as it computes.
BENCHMARK(BM_ListUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadCatalogueAndEntries)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OneTouched)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

KVBENCH_AT_START(kvbench::Rate("BM_ListUnchanged/real_time", 20,
                               "listings of 1,000 unchanged pictures per second (50 ms each)"));
KVBENCH_AT_START(kvbench::Ratio("BM_ListUnchanged/real_time",
                                "BM_ReadCatalogueAndEntries/real_time", 0,
                                "against reading the catalogue and the folder's entries"));
KVBENCH_AT_START(kvbench::Rate("BM_OneTouched/real_time", 0,
                               "listings with one picture read again"));
KVBENCH_AT_START(kvbench::Rate("BM_Rebuild/iterations:2/real_time", 0,
                               "thumbnails made per second, from nothing"));
