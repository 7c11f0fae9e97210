#include "TerminalUi.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace kvtool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

class TerminalProgress : public IKvProgress {
 public:
  TerminalProgress(const CString& text, bool showPercent, bool canCancel)
      : m_text(text.ToUtf8()), m_showPercent(showPercent), m_tty(::isatty(STDERR_FILENO) != 0) {
    if (canCancel) {
      g_interrupted = 0;
      struct sigaction sa {};
      sa.sa_handler = OnInterrupt;
      sigemptyset(&sa.sa_mask);
      m_handlerInstalled = ::sigaction(SIGINT, &sa, &m_previous) == 0;
    }
    Draw();
  }
  ~TerminalProgress() override {
    if (m_tty && m_drawn) std::fprintf(stderr, "\n");
    if (m_handlerInstalled) ::sigaction(SIGINT, &m_previous, nullptr);
  }
  void SetPercent(int percent) override {
    if (percent == m_percent) return;
    m_percent = percent;
    Draw();
  }
  void Pump() override {}
  bool Cancelled() override { return g_interrupted != 0; }

 private:
  void Draw() {
    if (!m_tty) return;
    m_drawn = true;
    if (!m_showPercent) {
      std::fprintf(stderr, "\r%s", m_text.c_str());
      return;
    }
    const int filled = m_percent * 30 / 100;
    std::fprintf(stderr, "\r%s [%.*s%.*s] %3d%%", m_text.c_str(), filled,
                 "==============================", 30 - filled, "                              ",
                 m_percent);
  }

  std::string m_text;
  bool m_showPercent;
  bool m_tty;
  bool m_drawn = false;
  bool m_handlerInstalled = false;
  int m_percent = 0;
  struct sigaction m_previous {};
};

}  // namespace

TerminalUi::TerminalUi() : m_previous(KvSetUiServices(this)) {}

TerminalUi::~TerminalUi() { KvSetUiServices(m_previous); }

int TerminalUi::MessageBox(const CString& text, const CString&, UINT type, CWnd*) {
  std::fprintf(stderr, "kvmedia: %s\n", text.ToUtf8().c_str());
  return KvDefaultButton(type);
}

std::unique_ptr<IKvProgress> TerminalUi::BeginProgress(const CString&, const CString& text,
                                                       bool showPercent, bool canCancel, CWnd*) {
  return std::make_unique<TerminalProgress>(text, showPercent, canCancel);
}

// There is nobody to ask on a terminal run by scripts: dialogs are cancelled.
bool TerminalUi::ChooseFile(const KvFileDialogRequest&, CString& path) {
  path.Empty();
  return false;
}

}  // namespace kvtool
