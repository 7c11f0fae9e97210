#include "TerminalUi.h"

#include <cstdio>

#include "Progress.h"
#include "ToolSupport.h"

namespace kvtool {

namespace {

// The library's progress dialogs, as one line of the tool's own progress.
class TerminalProgress : public IKvProgress {
 public:
  TerminalProgress(const CString& text, bool showPercent)
      : m_line(text.ToUtf8(), showPercent ? 100 : 0, "%") {}
  void SetPercent(int percent) override { m_line.Set(percent); }
  void Pump() override {}
  bool Cancelled() override { return CancelRequested(); }

 private:
  Progress m_line;
};

}  // namespace

TerminalUi::TerminalUi() : m_previous(KvSetUiServices(this)) {}

TerminalUi::~TerminalUi() { KvSetUiServices(m_previous); }

int TerminalUi::MessageBox(const CString& text, const CString&, UINT type, CWnd*) {
  std::fprintf(stderr, "kvmedia: %s\n", text.ToUtf8().c_str());
  return KvDefaultButton(type);
}

std::unique_ptr<IKvProgress> TerminalUi::BeginProgress(const CString&, const CString& text,
                                                       bool showPercent, bool, CWnd*) {
  return std::make_unique<TerminalProgress>(text, showPercent);
}

// There is nobody to ask on a terminal run by scripts: dialogs are cancelled.
bool TerminalUi::ChooseFile(const KvFileDialogRequest&, CString& path) {
  path.Empty();
  return false;
}

}  // namespace kvtool
