#include "ui/QtUiServices.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStringList>
#include <QThread>
#include <QTranslator>

#include "ui/QtNames.h"
#include "ui/QtWindow.h"

namespace {

QString Q(const CString& s) { return KvQString(s); }

class QtProgress : public IKvProgress {
 public:
  QtProgress(const QString& title, const QString& text, bool showPercent, bool canCancel,
             QWidget* parent)
      : m_dialog(parent) {
    // Qt's own cancel text, translated as the scope says.
    if (!canCancel) m_dialog.setCancelButton(nullptr);
    m_dialog.setLabelText(text);
    m_dialog.setRange(0, showPercent ? 100 : 0);
    m_dialog.setWindowTitle(title);
    m_dialog.setWindowModality(Qt::WindowModal);
    m_dialog.setMinimumDuration(300);
    m_dialog.setAutoClose(false);
    m_dialog.setAutoReset(false);
    m_dialog.setValue(0);
  }
  void SetPercent(int percent) override { m_dialog.setValue(percent); }
  void Pump() override { QApplication::processEvents(); }
  bool Cancelled() override { return m_dialog.wasCanceled(); }

 private:
  QProgressDialog m_dialog;
};

}  // namespace

namespace {
// Qt windows belong to the GUI thread; a worker that reports gets the headless answer.
bool OffGuiThread() {
  return !QApplication::instance() ||
         QThread::currentThread() != QApplication::instance()->thread();
}
KvHeadlessUiServices g_headless;
}  // namespace

int CKvQtUiServices::MessageBox(const CString& text, const CString& caption, UINT type,
                                CWnd* parent) {
  if (OffGuiThread()) return g_headless.MessageBox(text, caption, type, parent);
  using B = QMessageBox::StandardButton;
  struct Row {
    std::vector<std::pair<B, int>> buttons;
  };
  static const std::vector<std::pair<B, int>> kButtons[] = {
      {{B::Ok, IDOK}},
      {{B::Ok, IDOK}, {B::Cancel, IDCANCEL}},
      {{B::Abort, IDABORT}, {B::Retry, IDRETRY}, {B::Ignore, IDIGNORE}},
      {{B::Yes, IDYES}, {B::No, IDNO}, {B::Cancel, IDCANCEL}},
      {{B::Yes, IDYES}, {B::No, IDNO}},
      {{B::Retry, IDRETRY}, {B::Cancel, IDCANCEL}},
  };
  const UINT kind = type & MB_TYPEMASK;
  const auto& buttons = kButtons[kind < 6 ? kind : 0];
  QMessageBox box(QApplication::activeWindow() ? QApplication::activeWindow()
                                               : KvQtWidgetOf(parent));
  box.setWindowTitle(caption.IsEmpty() ? QApplication::applicationName() : Q(caption));
  box.setText(Q(text));
  switch (type & 0xF0) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  QMessageBox::StandardButtons all;
  for (const auto& b : buttons) all |= b.first;
  box.setStandardButtons(all);
  const std::size_t def = (type & MB_DEFMASK) >> 8;
  box.setDefaultButton(buttons[def < buttons.size() ? def : 0].first);
  const int pressed = box.exec();
  for (const auto& b : buttons)
    if (b.first == pressed) return b.second;
  return KvDefaultButton(type);
}

std::unique_ptr<IKvProgress> CKvQtUiServices::BeginProgress(const CString& title,
                                                            const CString& text, bool showPercent,
                                                            bool canCancel, CWnd* parent) {
  if (OffGuiThread()) return g_headless.BeginProgress(title, text, showPercent, canCancel, parent);
  return std::make_unique<QtProgress>(Q(title), Q(text), showPercent, canCancel,
                                      KvQtWidgetOf(parent));
}

QString KvQtFilter(const CString& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    filters << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
  }
  return filters.join(";;");
}

bool CKvQtUiServices::ChooseFile(const KvFileDialogRequest& request, CString& path) {
  if (OffGuiThread()) return g_headless.ChooseFile(request, path);
  QWidget* parent = KvQtWidgetOf(request.parent);
  const QString filter = KvQtFilter(request.filter);
  QString chosen =
      request.open
          ? QFileDialog::getOpenFileName(parent, Q(request.title), Q(request.fileName), filter)
          : QFileDialog::getSaveFileName(parent, Q(request.title), Q(request.fileName), filter);
  if (chosen.isEmpty()) {
    path.Empty();
    return false;
  }
  if (!request.open && !request.defaultExt.IsEmpty() && QFileInfo(chosen).suffix().isEmpty())
    chosen += "." + Q(request.defaultExt);
  // The bytes Qt opens the chosen file by, mapped as every name of the library is.
  path = CString::FromUtf8(QFile::encodeName(chosen).toStdString());
  return true;
}

namespace {
CKvQtUiServices g_qtServices;
}

KvQtUiScope::KvQtUiScope() {
  IKvUiServices* current = KvSetUiServices(nullptr);
  if (current) {
    KvSetUiServices(current);
    return;
  }
  KvSetUiServices(&g_qtServices);
  m_installed = true;
  // Qt's own texts (standard buttons, the file dialog, context menus) in the language of the
  // library's string table, so that the whole dialog speaks one language. For the scope, not
  // around each box: the scope is the library's modal dialog, which covers the host's windows
  // meanwhile, and the translation holds Qt's texts only, none of the host's. A host that
  // brought services of its own keeps its language. Without the translation Qt stays English.
  auto translator = std::make_unique<QTranslator>();
  if (QCoreApplication::instance() &&
      translator->load(QStringLiteral("qtbase_zh_CN"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(translator.get()))
    m_translator = std::move(translator);
}

KvQtUiScope::~KvQtUiScope() {
  if (m_translator) QCoreApplication::removeTranslator(m_translator.get());
  if (m_installed) KvSetUiServices(nullptr);
}
