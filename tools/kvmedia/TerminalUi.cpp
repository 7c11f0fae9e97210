#include "TerminalUi.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "Progress.h"
#include "ToolSupport.h"

namespace kvtool {

namespace {

struct Words {
  std::string what = "working", unit = "%";
  long long total = 100;
};
Words g_words;

// The library's progress dialogs, as one line of the tool's own progress. The dialog's text
// is the library's (in its own language, for its own dialog): the line says what the tool does.
class TerminalProgress : public IKvProgress {
 public:
  explicit TerminalProgress(bool showPercent)
      : m_total(showPercent ? g_words.total : 0), m_line(g_words.what, m_total, g_words.unit) {}
  // Rounded up: never more than was done, and the exact count for totals up to 100.
  void SetPercent(int percent) override {
    const long long p = std::clamp(percent, 0, 100);
    m_line.Set((p * m_total + 99) / 100);
  }
  void Pump() override {}
  bool Cancelled() override { return CancelRequested(); }

 private:
  long long m_total;
  Progress m_line;
};

}  // namespace

LibraryProgressWords::LibraryProgressWords(std::string what, long long total, std::string unit) {
  g_words = {std::move(what), std::move(unit), std::max(1LL, total)};
}

LibraryProgressWords::~LibraryProgressWords() { g_words = {}; }

TerminalUi::TerminalUi() : m_previous(KvSetUiServices(this)) {}

TerminalUi::~TerminalUi() { KvSetUiServices(m_previous); }

int TerminalUi::MessageBox(const CString& text, const CString&, UINT type, CWnd*) {
  std::fprintf(stderr, "kvmedia: %s\n", text.ToUtf8().c_str());
  return KvDefaultButton(type);
}

std::unique_ptr<IKvProgress> TerminalUi::BeginProgress(const CString&, const CString&,
                                                       bool showPercent, bool, CWnd*) {
  return std::make_unique<TerminalProgress>(showPercent);
}

// There is nobody to ask on a terminal run by scripts: dialogs are cancelled.
bool TerminalUi::ChooseFile(const KvFileDialogRequest&, CString& path) {
  path.Empty();
  return false;
}

}  // namespace kvtool
