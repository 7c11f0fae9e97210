#include <gtest/gtest.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "ui/QtUiServices.h"

namespace {

// The texts of a Yes/No box shown through Qt's services, answered No: "Yes|No".
std::string YesNoTexts() {
  QStringList texts;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    poll.stop();
    texts << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
    box->button(QMessageBox::No)->click();
  });
  poll.start(5);
  CKvQtUiServices services;
  EXPECT_EQ(services.MessageBox(L"?", L"", MB_YESNO, nullptr), IDNO);
  return texts.join('|').toStdString();
}

// The cancel button of a progress dialog shown through Qt's services.
std::string CancelText() {
  CKvQtUiServices services;
  const auto progress = services.BeginProgress(L"t", L"x", true, true, nullptr);
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<QProgressDialog*>(w))
      if (auto* button = dialog->findChild<QPushButton*>()) return button->text().toStdString();
  return {};
}

// Qt's buttons speak the library's language under the scope of Qt's services; in English
// when the host brought services of its own, and again after the scope.
TEST(Translation, QtTextsInTheLibrarysLanguageForTheScopeOnly) {
  QTranslator qt;
  ASSERT_TRUE(qt.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
  const std::string chinese =
      (qt.translate("QPlatformTheme", "&Yes") + "|" + qt.translate("QPlatformTheme", "&No"))
          .toStdString();
  const std::string chineseCancel = qt.translate("QProgressDialog", "Cancel").toStdString();
  ASSERT_NE(chinese, "|") << "the translation has no Yes and No";
  ASSERT_NE(chineseCancel, "");
  const std::string english = "&Yes|&No";
  const struct {
    const char* name;
    bool hostServices;
    std::string buttons, cancel;
  } rows[] = {
      {"Qt's services", false, chinese, chineseCancel},
      {"the host's own services", true, english, "Cancel"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::optional<kvtest::RecordingUi> host;
    if (row.hostServices) host.emplace();
    const KvQtUiScope scope;
    EXPECT_EQ(YesNoTexts(), row.buttons);
    EXPECT_EQ(CancelText(), row.cancel);
  }
  // Nothing of ours is left: Qt's texts are English again.
  EXPECT_EQ(YesNoTexts(), english);
}

}  // namespace
