// kvmedia: the command-line face of the KvMediaFile library.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "Commands.h"
#include "TerminalUi.h"

namespace kvtool {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: kvmedia COMMAND [ARGS...]\n"
               "\n"
               "Pictures, movies and scrolls of the titling suite from the command line.\n"
               "\n"
               "commands:\n");
  for (const Command& c : AllCommands()) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fprintf(out,
               "\n"
               "'kvmedia COMMAND --help' describes a command. Exit status: 0 success, 1 failure,\n"
               "2 wrong usage.\n");
}
}  // namespace

Registrar::Registrar(const Command& command) { Registry().push_back(command); }

const std::vector<Command>& AllCommands() { return Registry(); }

int Fail(const std::string& message) {
  std::fprintf(stderr, "kvmedia: %s\n", message.c_str());
  return 1;
}

int Usage(const Command& command, const std::string& message) {
  std::fprintf(stderr, "kvmedia %s: %s\n\n%s", command.name, message.c_str(), command.usage);
  return 2;
}

bool WantsHelp(const Args& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

}  // namespace kvtool

int main(int argc, char** argv) {
  using namespace kvtool;
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
      !std::strcmp(argv[1], "help")) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  const std::string name = argv[1];
  for (const Command& c : AllCommands()) {
    if (name != c.name) continue;
    const Args args(argv + 2, argv + argc);
    if (WantsHelp(args)) {
      std::fputs(c.usage, stdout);
      return 0;
    }
    TerminalUi ui;
    try {
      return c.run(args);
    } catch (const std::exception& e) {
      return Fail(std::string("unexpected error: ") + e.what());
    }
  }
  std::fprintf(stderr, "kvmedia: unknown command '%s'\n\n", name.c_str());
  PrintHelp(stderr);
  return 2;
}
