// Subcommands of kvmedia register themselves here. Each returns 0 on success, 1 on failure
// (after one line on standard error) and 2 on wrong usage.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kvtool {

using Args = std::vector<std::string>;

// An option a command takes: "--every" with a value ("--every 2" or "--every=2"), or a switch.
// `values` lists, space-separated, the words a value is one of (or, for a comma-separated
// list, each item), for the bash completion to offer; null when any value goes.
struct Option {
  const char* name;
  bool takesValue = false;
  const char* values = nullptr;
};
using Options = std::vector<Option>;

// A word after the command that picks what it does ("movie make"), with its own options.
struct Subcommand {
  const char* name;
  Options options;
};

// main checks the options against these tables before `run` sees them: an unknown option, a
// missing value or a value given to a switch is a usage mistake with the nearest name as a
// hint, and "--opt=value" reaches `run` as "--opt", "value". -q and --help are every command's.
struct Command {
  const char* name;
  const char* summary;  // one line for the command list
  const char* usage;    // the full help text
  int (*run)(const Args& args);
  Options options = {};  // of a command without subcommands
  std::vector<Subcommand> subcommands = {};
};

struct Registrar {
  explicit Registrar(const Command& command);
};

const std::vector<Command>& AllCommands();

// The line under kvmedia's usage, and the notes after its list of commands.
extern const char* const kToolSummary;
extern const char* const kToolNotes;

// The manual page (roff) and the bash completion script, made from the texts above and the
// commands' own.
void PrintManPage(std::FILE* out, const char* version);
void PrintBashCompletion(std::FILE* out);

// Flushes standard output; a write that failed there turns `status` into 1, with a message.
int FinishOutput(int status);

// Reports a failure as one line ("kvmedia: ...") and returns 1.
int Fail(const std::string& message);
// Reports wrong usage as one line with a pointer to the help ("kvmedia: MESSAGE. See
// 'kvmedia movie make --help'.") and returns 2.
int Usage(const Command& command, const std::string& message);

// The word of `candidates` nearest to `word` (a typing slip away: edit distance at most 1,
// or 2 for words of five letters or more, leading dashes aside), or "" when none is near.
std::string Nearest(const std::string& word, const std::vector<std::string>& candidates);

}  // namespace kvtool
