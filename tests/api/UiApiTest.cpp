// The installed panel as a host meets it: the host's own dialog, derived from CKvDialog,
// embeds the panel over a control of its template, using only the installed headers and
// libraries.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "KvMediaFile/KvMediaFile.h"
#include "KvMediaFile/KvMediaUi.h"

namespace {

constexpr UINT kHostTemplate = 5000, kPlaceholder = 5001;

class HostDialog : public CKvDialog {
 public:
  explicit HostDialog(const CString& path) : CKvDialog(kHostTemplate, nullptr), m_path(path) {}

  BOOL OnInitDialog() override {
    m_made = m_panel.Create(1, 0, m_path, this, kPlaceholder, nullptr);
    return TRUE;
  }
  void OnOK() override {
    m_chosen = m_panel.GetFileFullPath();
    CKvDialog::OnOK();
  }

  CKvPicfilePanelDlg m_panel;
  CString m_path, m_chosen;
  BOOL m_made = FALSE;

 protected:
  // The host's template: the one control that the panel takes the place of. The dialog's
  // window carries its template id as its name.
  void CreateControls() override {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->objectName() == QString::number(kHostTemplate)) {
        auto* placeholder = new QWidget(window);
        placeholder->setObjectName(QString::number(kPlaceholder));
        placeholder->setGeometry(0, 0, 900, 560);
      }
  }
};

TEST(UiApi, AHostDialogEmbedsThePanel) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int argc = 1;
  char name[] = "api_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  KvMediaFileOpen();
  char dirName[] = "/tmp/kv-ui-api-XXXXXX";
  ASSERT_TRUE(mkdtemp(dirName));
  const std::string dir = dirName;
  std::vector<DWORD> pixels(16 * 8, 0xFF336699);
  for (const char* file : {"a.tga", "b.tga"})
    ASSERT_EQ(KvMediaSaveTGAFile(CString::FromUtf8(dir + "/" + file), pixels.data(), CSize(16, 8),
                                 CRect(0, 0, 16, 8)),
              1);
  {
    HostDialog host(CString::FromUtf8(dir + "/b.tga"));
    ASSERT_TRUE(host.CreateTopLevel());
    ASSERT_TRUE(host.m_made);
    QElapsedTimer timer;
    timer.start();
    while ((host.m_panel.IsReading() || host.m_panel.GetRecordCount() < 2) &&
           timer.elapsed() < 20000) {
      QApplication::processEvents();
      QThread::msleep(2);
    }
    EXPECT_EQ(host.m_panel.GetRecordCount(), 2);
    host.OnOK();
    EXPECT_EQ(host.m_chosen.ToUtf8(), dir + "/b.tga");
  }
  KvMediaFileClose();
  std::filesystem::remove_all(dir);
}

}  // namespace
