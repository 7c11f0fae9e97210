// The event loop run until something is so, and the panel as a host holds it: over a
// placeholder of a plain window, shown.
#pragma once

#include <QElapsedTimer>
#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>

#include "KvMediaFile/KvMediaUi.h"
#include "ui/HostControls.h"
#include "ui/QtWindow.h"

namespace kvtest {

// Runs the event loop until `done` or `limit` ms; the time it took.
inline qint64 WaitFor(const std::function<bool()>& done, int limit = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limit) QTest::qWait(2);
  return timer.elapsed();
}

struct PanelHost {
  explicit PanelHost(SKvMediaAdjustParams* params, const CString& path = CString()) {
    host.setObjectName("host");
    auto* placeholder = new QWidget(&host);
    placeholder->setObjectName("77");
    placeholder->setGeometry(0, 0, 900, 560);
    hostWnd = std::make_unique<CKvQtWnd>(&host);
    EXPECT_TRUE(panel.Create(1, 0, path, hostWnd.get(), 77, params));
    host.show();
  }
  QWidget* Item(UINT id) { return KvControl(KvDialogWidget(&panel), id); }
  void WaitForList() {
    WaitFor([&] { return !panel.IsReading(); });
  }
  QWidget host;
  std::unique_ptr<CKvQtWnd> hostWnd;
  CKvPicfilePanelDlg panel;
};

}  // namespace kvtest
