// The host's user-interface services as Qt windows: message boxes, a progress dialog with a
// cancel button, and the file dialog.
#pragma once

#include <QString>
#include <memory>

#include "host/UiServices.h"

class CKvQtUiServices : public IKvUiServices {
 public:
  int MessageBox(const CString& text, const CString& caption, UINT type, CWnd* parent) override;
  std::unique_ptr<IKvProgress> BeginProgress(const CString& title, const CString& text,
                                             bool showPercent, bool canCancel,
                                             CWnd* parent) override;
  bool ChooseFile(const KvFileDialogRequest& request, CString& path) override;
};

class QTranslator;

// Qt's services for the lifetime of the scope, unless the host installed services of its
// own (a test's recording ones, say); with them, Qt's own texts in the library's language.
class KvQtUiScope {
 public:
  KvQtUiScope();
  ~KvQtUiScope();
  KvQtUiScope(const KvQtUiScope&) = delete;
  KvQtUiScope& operator=(const KvQtUiScope&) = delete;

 private:
  bool m_installed = false;
  std::unique_ptr<QTranslator> m_translator;
};

// Qt's filter text ("Pictures (*.tga *.bmp);;...") of a host filter
// ("Pictures(*.tga;*.bmp)|*.tga;*.bmp|...||").
QString KvQtFilter(const CString& filter);
