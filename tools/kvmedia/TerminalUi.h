// The host's user-interface services on a terminal: messages on standard error, and a
// progress bar on standard error when it is a terminal (unless -q). Nothing is cancelled
// from here: Ctrl-C interrupts the whole command (see main). Installed for the lifetime of
// the object.
#pragma once

#include "host/UiServices.h"

namespace kvtool {

class TerminalUi : public IKvUiServices {
 public:
  TerminalUi();
  ~TerminalUi() override;
  int MessageBox(const CString& text, const CString& caption, UINT type, CWnd* parent) override;
  std::unique_ptr<IKvProgress> BeginProgress(const CString& title, const CString& text,
                                             bool showPercent, bool canCancel,
                                             CWnd* parent) override;
  bool ChooseFile(const KvFileDialogRequest& request, CString& path) override;

 private:
  IKvUiServices* m_previous;
};

}  // namespace kvtool
