#include "Progress.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <thread>

namespace kvtool {

namespace {
bool g_quiet = false;
volatile std::sig_atomic_t g_onScreen = 0;
// Lines are drawn from the main thread only: a batch's worker threads write pictures whose
// own progress would cut through the batch's line.
const std::thread::id g_mainThread = std::this_thread::get_id();

std::string Clock(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}
}  // namespace

void SetQuiet(bool quiet) { g_quiet = quiet; }

bool ProgressOnScreen() { return g_onScreen != 0; }

Progress::Progress(std::string what, long long total, std::string unit)
    : m_what(std::move(what)),
      m_unit(std::move(unit)),
      m_total(total),
      m_shown(!g_quiet && std::this_thread::get_id() == g_mainThread && ::isatty(STDERR_FILENO)),
      m_start(std::chrono::steady_clock::now()) {
  Draw(0);
}

Progress::~Progress() { Clear(); }

void Progress::Clear() {
  if (!m_shown) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  g_onScreen = 0;
  m_shown = false;
}

void Progress::Set(long long done) {
  if (!m_shown || m_total <= 0) return;
  // All done: the line goes at once, so that what the command prints next (a summary on
  // standard output, the same terminal) starts on a clean line instead of after it.
  if (done >= m_total) return Clear();
  // Ten lines a second are plenty, and the last one is always drawn.
  const auto now = std::chrono::steady_clock::now();
  if (done < m_total && now - m_lastDraw < std::chrono::milliseconds(100)) return;
  Draw(done);
}

void Progress::Print(const std::string& line) {
  std::fprintf(stderr, "%s%s\n", m_shown ? "\r\033[K" : "", line.c_str());
  std::fflush(stderr);
  g_onScreen = 0;
  m_lastDraw = {};
}

void Progress::Draw(long long done) {
  if (!m_shown) return;
  m_lastDraw = std::chrono::steady_clock::now();
  if (m_total <= 0) {
    std::fprintf(stderr, "\r%s...\033[K", m_what.c_str());
  } else {
    const double seconds = std::chrono::duration<double>(m_lastDraw - m_start).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    std::string line =
        m_what + ": " + std::to_string(done) + " of " + std::to_string(m_total) + " " + m_unit;
    if (done > 0 && rate > 0) {
      // "37/s"; below ten a second the tenths still say something.
      char text[64];
      std::snprintf(text, sizeof text, rate < 10 ? ", %.1f/s, %s left" : ", %.0f/s, %s left", rate,
                    Clock(static_cast<double>(m_total - done) / rate).c_str());
      line += text;
    }
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
  }
  std::fflush(stderr);
  g_onScreen = 1;
}

}  // namespace kvtool
