// The host's user-interface services on a terminal: messages on standard error, and a
// progress bar on standard error when it is a terminal (unless -q). Nothing is cancelled
// from here: Ctrl-C interrupts the whole command (see main). Installed for the lifetime of
// the object.
#pragma once

#include <string>

#include "host/UiServices.h"

namespace kvtool {

// While one lives, the library's progress dialogs show in the tool's words, like its other
// progress lines ("making title.sve: 51 of 150 frames, 37/s, 0:03 left"): the dialog's
// percentage is taken as a share of `total`. Without one they show as "working".
class LibraryProgressWords {
 public:
  LibraryProgressWords(std::string what, long long total, std::string unit);
  ~LibraryProgressWords();
  LibraryProgressWords(const LibraryProgressWords&) = delete;
  LibraryProgressWords& operator=(const LibraryProgressWords&) = delete;
};

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
