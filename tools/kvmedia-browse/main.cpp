// kvmedia-browse: the open-picture dialog as a program. Prints the chosen path (and the
// adjustments) on standard output; exit 0 when chosen, 1 when cancelled, 2 on wrong usage.
#include <unistd.h>
#include <QApplication>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "KvMediaFile/KvMediaFile.h"
#include "KvMediaFile/KvMediaUi.h"
#include "ui/HostControls.h"
#include "ui/OpenPicDialog.h"
#include "ui/QtUiServices.h"

namespace {

const char kUsage[] =
    "usage: kvmedia-browse [FOLDER] [--save] [--adjust] [--screenshot PNG]\n"
    "  Opens the picture dialog on FOLDER (default: the current folder) and prints the\n"
    "  chosen path. --save asks for a name to save under; --adjust shows the picture\n"
    "  adjustments and prints them as name=value lines; --screenshot PNG waits until the\n"
    "  folder is listed, selects its first picture, saves the window as PNG and exits.\n"
    "  Exit status: 0 chosen, 1 cancelled or failed, 2 wrong usage.\n";

const char* const kAdjustNames[] = {"brightness_on", "brightness", "contrast_on", "contrast",
                                    "tint_on",       "tint_red",   "tint_green",  "tint_blue",
                                    "opacity_on",    "opacity",    "loop_paste"};

// Waits for the listing, shows the first picture, and saves the dialog's window.
void ScheduleScreenshot(CKvOpenPicDlg& dialog, const QString& png, int& status) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [&dialog, png, &status, timer, waited = 0]() mutable {
    CKvPicfilePanelDlg& panel = dialog.Panel();
    waited += 100;
    if (panel.IsReading() && waited < 30000) return;
    timer->stop();
    auto* list = KvDialogWidget(&panel)->findChild<CKvListCtrl*>();
    if (list && panel.GetRecordCount() > 0) list->LineOutItem(panel.GetSubObj(&panel, 0));
    QTimer::singleShot(300, [&dialog, png, &status] {
      QWidget* window = KvDialogWidget(&dialog);
      const bool saved = window->grab().save(png, "PNG");
      if (!saved) std::fprintf(stderr, "kvmedia-browse: cannot write %s\n", png.toUtf8().data());
      status = saved ? 0 : 1;
      dialog.EndDialog(IDCANCEL);
    });
  });
  timer->start(100);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder, screenshot;
  bool save = false, adjust = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--save") {
      save = true;
    } else if (arg == "--adjust") {
      adjust = true;
    } else if (arg == "--screenshot" && i + 1 < argc) {
      screenshot = argv[++i];
    } else if (arg.rfind("-", 0) == 0 || !folder.empty()) {
      std::fprintf(stderr, "kvmedia-browse: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      folder = arg;
    }
  }
  if (save && adjust) {
    std::fprintf(stderr, "kvmedia-browse: --save and --adjust do not go together\n%s", kUsage);
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("kvmedia-browse");
  // The panel opens on the current folder. The argument's bytes are the name: a folder whose
  // name is not UTF-8 opens too.
  if (!folder.empty() && chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "kvmedia-browse: no folder '%s': %s\n", folder.c_str(),
                 std::strerror(errno));
    return 2;
  }
  KvMediaFileOpen();
  const KvQtUiScope windows;
  SKvMediaAdjustParams params{};
  int status = 1;
  {
    CKvOpenPicDlg dialog(save ? 0 : 1, 0, CString(), nullptr, adjust ? &params : nullptr);
    if (!screenshot.empty()) ScheduleScreenshot(dialog, QString::fromStdString(screenshot), status);
    const int result = dialog.DoModal();
    if (screenshot.empty() && result == IDOK) {
      status = 0;
      std::printf("%s\n", dialog.GetPath().ToUtf8().c_str());
      if (adjust)
        for (int i = 0; i < 11; ++i)
          std::printf("%s=%d\n", kAdjustNames[i], reinterpret_cast<int*>(&params)[i]);
    }
  }
  KvMediaFileClose();
  return status;
}
