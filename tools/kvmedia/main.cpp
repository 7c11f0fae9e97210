// kvmedia: the command-line face of the KvMediaFile library.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "Commands.h"
#include "Progress.h"
#include "TerminalUi.h"
#include "ToolSupport.h"
#include "picture/SafeSave.h"

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

namespace kvtool {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

void PrintHelp(std::FILE* out) {
  std::fprintf(out, "usage: kvmedia COMMAND [ARGS...]\n\n%s\n\ncommands:\n", kToolSummary);
  for (const Command& c : AllCommands()) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fprintf(out, "\n%s", kToolNotes);
}

// Only async-signal-safe calls: unlink (inside), write and _exit.
void OnInterrupt(int) {
  if (TakeInterruptAsCancel()) return;
  KvRemovePendingTemporaryFiles();
  static const char kMessage[] = "\nkvmedia: interrupted\n";
  const bool newLine = ProgressOnScreen();
  [[maybe_unused]] const ssize_t n =
      ::write(STDERR_FILENO, kMessage + (newLine ? 0 : 1), sizeof kMessage - (newLine ? 1 : 2));
  ::_exit(130);
}

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGINT);
  sigaddset(&sa.sa_mask, SIGTERM);
  for (const int signal : {SIGINT, SIGTERM}) {
    // A signal ignored by whoever started us (nohup, a background job) stays ignored.
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
      ::sigaction(signal, &sa, nullptr);
  }
  // Over a file-size limit, a write fails (and the save with it) instead of the process
  // being killed with its temporary file left behind.
  std::signal(SIGXFSZ, SIG_IGN);
}
}  // namespace

const char* const kToolSummary =
    "Pictures, movies and scrolls of the titling suite from the command line.";
const char* const kToolNotes =
    "'kvmedia COMMAND --help' describes a command. Every command takes -q (no\n"
    "progress line; it is shown on standard error only when that is a terminal) and\n"
    "'--' (what follows is a file name, even when it starts with '-').\n"
    "Files are written under a temporary name and take their own only when whole.\n"
    "Ctrl-C (or SIGTERM) removes the temporary and partial files, prints\n"
    "'kvmedia: interrupted' and exits with status 130.\n"
    "Exit status: 0 success, 1 failure, 2 wrong usage, 130 interrupted.\n"
    "'kvmedia --man' prints this help as a manual page, 'kvmedia --bash-completion' a\n"
    "completion script for bash.\n";

Registrar::Registrar(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& AllCommands() { return Registry(); }

int Fail(const std::string& message) {
  std::fprintf(stderr, "kvmedia: %s\n", message.c_str());
  return 1;
}

int FinishOutput(int status) {
  // A full disk or a closed pipe on standard output is a failure, not a silent success.
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if ((flushed && !std::ferror(stdout)) || status == 2) return status;
  // An error met by an earlier write has lost its errno by now.
  return Fail(std::string("standard output: ") + (errno ? std::strerror(errno) : "write failed"));
}

int Usage(const Command& command, const std::string& message) {
  std::fprintf(stderr, "kvmedia %s: %s\n\n%s", command.name, message.c_str(), command.usage);
  return 2;
}

}  // namespace kvtool

int main(int argc, char** argv) {
  using namespace kvtool;
  InstallSignalHandlers();
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
      !std::strcmp(argv[1], "help")) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : FinishOutput(0);
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("kvmedia %s\n", KV_VERSION);
    return 0;
  }
  // The manual page and the bash completion, made from the same texts as --help.
  if (!std::strcmp(argv[1], "--man")) {
    PrintManPage(stdout, KV_VERSION);
    return FinishOutput(0);
  }
  if (!std::strcmp(argv[1], "--bash-completion")) {
    PrintBashCompletion(stdout);
    return FinishOutput(0);
  }
  const std::string name = argv[1];
  for (const Command& c : AllCommands()) {
    if (name != c.name) continue;
    // -q and --help are taken here, before any "--".
    Args args;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
      const std::string a = argv[i];
      optionsEnded = optionsEnded || a == "--";
      if (!optionsEnded && (a == "-q" || a == "--quiet")) {
        SetQuiet(true);
      } else if (!optionsEnded && (a == "--help" || a == "-h")) {
        std::fputs(c.usage, stdout);
        return FinishOutput(0);
      } else {
        args.push_back(a);
      }
    }
    TerminalUi ui;
    try {
      return FinishOutput(c.run(args));
    } catch (const std::exception& e) {
      return Fail(std::string("unexpected error: ") + e.what());
    }
  }
  std::fprintf(stderr, "kvmedia: unknown command '%s'\n\n", name.c_str());
  PrintHelp(stderr);
  return 2;
}
