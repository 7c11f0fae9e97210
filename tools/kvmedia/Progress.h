// One progress line on standard error for long work: done of total, rate and time left.
// Drawn only when standard error is a terminal and -q was not given, so scripts see clean
// output.
#pragma once

#include <chrono>
#include <string>

namespace kvtool {

// -q: no progress at all.
void SetQuiet(bool quiet);
// True while a progress line stands unfinished on the terminal (read by the signal handler,
// which then starts its message on a new line).
bool ProgressOnScreen();

class Progress {
 public:
  // `total` 0: a step without a count ("loading big.png..."). The line is cleared when the
  // count reaches `total`, or at the end.
  Progress(std::string what, long long total, std::string unit);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Set(long long done);
  // A line of its own on standard error ("kvmedia: x.tga: truncated"), printed above the
  // progress line, which is drawn again at the next Set.
  void Print(const std::string& line);

 private:
  void Draw(long long done);
  void Clear();

  std::string m_what, m_unit;
  long long m_total;
  bool m_shown;
  std::chrono::steady_clock::time_point m_start, m_lastDraw;
};

}  // namespace kvtool
