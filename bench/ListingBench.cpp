// The browsing panel opening a folder of 2,000 pictures of real sizes (SD and HD TGA, JPEG,
// PNG and PSD) without a catalogue: the time to the first screen of thumbnails (the user's
// wait; the target is 0.5 s) and to the whole listing, on Qt's offscreen platform.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ByteOut.h"
#include "KvMediaFile/KvMediaUi.h"
#include "KvMediaFile/KvPicture.h"
#include "LoadLoops.h"
#include "PngWriter.h"
#include "PsdWriter.h"
#include "TitleFrame.h"
#include "ui/HostControls.h"
#include "ui/HostWidgets.h"
#include "ui/PicfilePanel.h"

namespace {

constexpr int kPictures = 2000;
// Distinct files of each kind; the other names are hard links to them. Every name is still
// opened and decoded, but the folder takes a few hundred megabytes rather than gigabytes
// (after writing, the files sit in the page cache either way).
constexpr int kDistinct = 6;

struct Kind {
  const char* ext;
  int width, height;
};
constexpr Kind kKinds[] = {{"tga", 720, 576},   {"tga", 1920, 1080}, {"jpg", 720, 576},
                           {"jpg", 1920, 1080}, {"png", 720, 576},   {"png", 1920, 1080},
                           {"psd", 720, 576},   {"psd", 1920, 1080}};

// Made once and never destroyed: a QApplication must not outlive main's return into the
// static destructors, where Qt's own have already run.
QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_listing";
  static char* argv[] = {name, nullptr};
  static QApplication* app =
      (setenv("QT_QPA_PLATFORM", "offscreen", 0), new QApplication(argc, argv));
  return *app;
}

// A crop of the video frame, shifted by `seed` so that files of a kind differ.
std::vector<DWORD> Pixels(int w, int h, int seed) {
  const auto& video = kvbench::VideoFrame();
  std::vector<DWORD> out(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out[static_cast<std::size_t>(y) * w + x] =
          video[static_cast<std::size_t>((y + seed) % kvbench::kFrameHeight) *
                    kvbench::kFrameWidth +
                x];
  return out;
}

bool Write(const std::string& path, const Kind& kind, int seed) {
  std::vector<DWORD> pixels = Pixels(kind.width, kind.height, seed);
  const CSize size(kind.width, kind.height);
  const CRect rect(0, 0, kind.width, kind.height);
  const std::string ext = kind.ext;
  if (ext == "tga") return KvMediaSaveTGAFile(CString::FromUtf8(path), pixels.data(), size, rect);
  if (ext == "jpg") return KvMediaSaveJPGFile(CString::FromUtf8(path), pixels.data(), size, rect);
  if (ext == "png") {
    kvtest::PngImage png{kind.width, kind.height, 2, 8, {}, {}, {}};
    for (DWORD p : pixels)
      png.samples.insert(png.samples.end(),
                         {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                          static_cast<unsigned char>(p)});
    return kvtest::WritePng(path, png);
  }
  kvtest::PsdImage psd;
  psd.width = kind.width, psd.height = kind.height;
  psd.planes =
      kvtest::PsdRgbPlanes(std::vector<std::uint32_t>(pixels.begin(), pixels.end()), false);
  return kvtest::WriteBytes(path, kvtest::WritePsd(psd));
}

struct Folder {
  std::string path = kvbench::TempPath("listing");
  bool ok = true;
  Folder() {
    App();
    KvMediaFileOpen();
    ::mkdir(path.c_str(), 0755);
    constexpr int kinds = static_cast<int>(std::size(kKinds));
    for (int i = 0; i < kPictures && ok; ++i) {
      const Kind& kind = kKinds[i % kinds];
      char name[48];
      std::snprintf(name, sizeof name, "/title-%04d.%s", i, kind.ext);
      const int copy = i / kinds;
      if (copy < kDistinct) {
        ok = Write(path + name, kind, copy * 37);
      } else {
        char first[48];
        std::snprintf(first, sizeof first, "/title-%04d.%s", i % (kinds * kDistinct), kind.ext);
        ok = ::link((path + first).c_str(), (path + name).c_str()) == 0;
      }
    }
  }
  ~Folder() {
    kvbench::RemoveFlatFolder(path);
    KvMediaFileClose();
  }
};

Folder& TheFolder() {
  static Folder folder;
  return folder;
}

// Runs the event loop until `done`, for at most `limit` ms; the time taken.
double WaitMs(const std::function<bool()>& done, int limit) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limit) QTest::qWait(1);
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The panel as the open-picture dialog holds it, in a window of the dialog's size.
struct Panel {
  Panel() {
    auto* placeholder = new QWidget(&host);
    placeholder->setObjectName("77");
    placeholder->setGeometry(0, 0, 900, 560);
    hostWnd = std::make_unique<CKvQtWnd>(&host);
    panel.Create(1, 0, CString(), hostWnd.get(), 77, nullptr);
    host.show();
  }
  QWidget host;
  std::unique_ptr<CKvQtWnd> hostWnd;
  CKvPicfilePanelDlg panel;
};

void BM_ListWithoutCatalogue(benchmark::State& state) {
  Folder& f = TheFolder();
  if (!f.ok) return state.SkipWithError("the folder could not be written");
  double first = 0;
  int screen = 0, listed = 0;
  for (auto _ : state) {
    std::remove((f.path + "/PicMedia.pmf").c_str());
    Panel host;
    WaitMs([&] { return !host.panel.IsReading(); }, 10000);  // the starting folder's listing
    screen = KvDialogWidget(&host.panel)->findChild<CKvListCtrl*>()->ItemsPerScreen();
    QElapsedTimer timer;
    timer.start();
    host.panel.SelectFolder(CString::FromUtf8(f.path));
    first = WaitMs([&] { return host.panel.GetRecordCount() >= screen; }, 60000);
    WaitMs([&] { return !host.panel.IsReading(); }, 600000);
    state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    listed = host.panel.GetRecordCount();
  }
  if (listed != kPictures) state.SkipWithError("not every picture was listed");
  state.counters["first_screen_ms"] = first;
  state.counters["first_screen_items"] = screen;
  state.SetItemsProcessed(state.iterations() * kPictures);
}
BENCHMARK(BM_ListWithoutCatalogue)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

KVBENCH_AT_START(kvbench::Note(
    "listing: 2,000 pictures, a quarter each TGA, JPEG, PNG and PSD, half 720 x 576 and half "
    "1920 x 1080, no catalogue; first_screen_ms is the wait for the first screen of "
    "thumbnails (target 500 ms)"));
KVBENCH_AT_START(kvbench::Rate("BM_ListWithoutCatalogue/iterations:1/repeats:3/manual_time", 0.0,
                               "pictures listed per second"));

}  // namespace
