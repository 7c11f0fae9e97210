// kvmedia: the command-line face of the KvMediaFile library.
extern "C" {
#include <libavutil/log.h>
}

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

#include "Commands.h"
#include "Progress.h"
#include "TerminalUi.h"
#include "ToolSupport.h"
#include "host/MemBlock.h"
#include "host/SafeSave.h"

#ifndef KV_VERSION
#define KV_VERSION "0"
#endif

namespace kvtool {

namespace {
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

// The subcommand in hand, for the pointer to its help in a usage line.
std::string g_subcommand;

void PrintHelp(std::FILE* out) {
  std::fprintf(out, "usage: kvmedia [--standard sd|hd|uhd] COMMAND [ARGS...]\n\n%s\n\ncommands:\n",
               kToolSummary);
  for (const Command& c : AllCommands()) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  std::fprintf(out, "\n%s", kToolNotes);
}

std::string Quoted(const std::string& word) { return "'" + word + "'"; }

// "unknown option '--rects'; did you mean '--rect'?"
std::string Unknown(const char* what, const std::string& word,
                    const std::vector<std::string>& candidates) {
  const std::string nearest = Nearest(word, candidates);
  return std::string("unknown ") + what + " " + Quoted(word) +
         (nearest.empty() ? "" : "; did you mean " + Quoted(nearest) + "?");
}

// One line on standard error, then the pointer to the help of `helpOf` ("kvmedia movie make").
int UsageLine(const std::string& message, const std::string& helpOf) {
  const bool ends = !message.empty() && (message.back() == '?' || message.back() == '.');
  std::fprintf(stderr, "kvmedia: %s%s See '%s --help'.\n", message.c_str(), ends ? "" : ".",
               helpOf.c_str());
  return 2;
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const Command& c : AllCommands()) names.push_back(c.name);
  return names;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& c : AllCommands())
    if (name == c.name) return &c;
  return nullptr;
}

std::string Listed(const std::vector<std::string>& words) {
  std::string s;
  for (std::size_t i = 0; i < words.size(); ++i)
    s += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  return s;
}

std::vector<std::string> SubcommandNames(const Command& c) {
  std::vector<std::string> names;
  for (const Subcommand& s : c.subcommands) names.push_back(s.name);
  return names;
}

const char* const kToolOptions[] = {"--help", "--version", "--man", "--standard",
                                    "--bash-completion"};

// kvmedia help [COMMAND [SUBCOMMAND]]
int Help(const std::vector<std::string>& words) {
  if (words.empty()) {
    PrintHelp(stdout);
    return FinishOutput(0);
  }
  const Command* c = FindCommand(words[0]);
  if (!c) {
    std::vector<std::string> names = CommandNames();
    return UsageLine(Unknown("command", words[0], names), "kvmedia");
  }
  if (words.size() > 2 || (words.size() == 2 && c->subcommands.empty()))
    return UsageLine("help takes a command and its subcommand", "kvmedia");
  const std::vector<std::string> subcommands = SubcommandNames(*c);
  if (words.size() == 2 &&
      std::find(subcommands.begin(), subcommands.end(), words[1]) == subcommands.end())
    return UsageLine(Unknown("subcommand", words[1], subcommands),
                     std::string("kvmedia ") + c->name);
  std::fputs(HelpText(*c).c_str(), stdout);
  return FinishOutput(0);
}

// Takes -q and --help, reads every option with the command's table (or its subcommand's) and
// runs the command with the words parsed, or returns a usage status.
int Dispatch(const Command& c, const std::vector<std::string>& words) {
  Parsed args;
  const Options* options = &c.options;
  int (*run)(const Parsed&) = c.run;
  bool subcommandSeen = c.subcommands.empty(), ended = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (!ended && w == "--") {
      ended = true;
      continue;
    }
    const bool option = !ended && w.size() > 1 && w[0] == '-';
    if (option && (w == "-q" || w == "--quiet")) {
      SetQuiet(true);
      continue;
    }
    if (option && (w == "--standard" || w.starts_with("--standard="))) {
      if (w == "--standard" && i + 1 >= words.size()) return Usage(c, "'--standard' needs a value");
      const std::string refusal = ChooseStandard(w == "--standard" ? words[++i] : w.substr(11));
      if (!refusal.empty()) return Usage(c, refusal);
      continue;
    }
    if (option && (w == "--help" || w == "-h")) {
      std::fputs(HelpText(c).c_str(), stdout);
      return FinishOutput(0);
    }
    if (!subcommandSeen) {
      const std::vector<std::string> names = SubcommandNames(c);
      if (option) return Usage(c, "expected " + Listed(names) + " before " + Quoted(w));
      const auto at = std::find(names.begin(), names.end(), w);
      if (at == names.end()) return Usage(c, Unknown("subcommand", w, names));
      const Subcommand& s = c.subcommands[static_cast<std::size_t>(at - names.begin())];
      g_subcommand = s.name;
      options = &s.options;
      run = s.run;
      subcommandSeen = true;
      continue;
    }
    if (!option) {
      args.words.push_back(w);
      continue;
    }
    const auto equals = w.starts_with("--") ? w.find('=') : std::string::npos;
    const std::string name = w.substr(0, equals);
    const auto known = std::find_if(options->begin(), options->end(),
                                    [&](const Option& o) { return name == o.name; });
    if (known == options->end()) {
      std::vector<std::string> names{"--help", "--quiet", "--standard"};
      for (const Option& o : *options) names.push_back(o.name);
      return Usage(c, Unknown("option", name, names));
    }
    Parsed::Given given;
    given.option = &*known;
    if (equals != std::string::npos) {
      if (!known->takesValue()) return Usage(c, Quoted(name) + " takes no value");
      given.text = w.substr(equals + 1);
    } else if (known->takesValue()) {
      // The next word is the value, whatever it looks like ("--mix -1").
      if (i + 1 >= words.size()) return Usage(c, Quoted(name) + " needs a value");
      given.text = words[++i];
    }
    args.given.push_back(given);
  }
  if (!subcommandSeen) return Usage(c, "expected a subcommand: " + Listed(SubcommandNames(c)));
  // Values are read once every name is known, in the order given.
  for (Parsed::Given& given : args.given)
    if (const std::string refusal = ReadValue(given); !refusal.empty()) return Usage(c, refusal);
  TerminalUi ui;
  try {
    return FinishOutput(run(args));
  } catch (const std::exception& e) {
    return Fail(std::string("unexpected error: ") + e.what());
  }
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
    "'kvmedia COMMAND --help' (or 'kvmedia help COMMAND') describes a command. Every\n"
    "command takes -q (no progress line; it is shown on standard error only when that is\n"
    "a terminal), --standard sd|hd|uhd (the video raster: 720 x 576, 1920 x 1080 or\n"
    "3840 x 2160; hd unless given; before the command or among its options) and '--'\n"
    "(what follows is a file name, even when it starts with '-').\n"
    "An option's value follows it ('--every 2') or is joined with '=' ('--every=2').\n"
    "A usage mistake prints one line, with the nearest command or option when one is near.\n"
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
  return UsageLine(message, std::string("kvmedia ") + command.name +
                                (g_subcommand.empty() ? "" : " " + g_subcommand));
}

namespace {
// Optimal string alignment distance: insertions, deletions, changes and swaps of neighbours.
std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

std::string WithoutDashes(const std::string& s) {
  return s.substr(s.find_first_not_of('-') == std::string::npos ? s.size()
                                                                : s.find_first_not_of('-'));
}
}  // namespace

std::string Nearest(const std::string& word, const std::vector<std::string>& candidates) {
  // Words from users are bounded by nothing: a long one is nobody's slip.
  if (word.size() > 64) return "";
  const std::string bare = WithoutDashes(word);
  std::string best;
  std::size_t bestDistance = 3;
  for (const std::string& c : candidates) {
    const std::string other = WithoutDashes(c);
    const std::size_t near = std::max(bare.size(), other.size()) >= 5 ? 2 : 1;
    const std::size_t d = EditDistance(bare, other);
    if (d <= near && d < bestDistance && d < other.size()) {
      best = c;
      bestDistance = d;
    }
  }
  return best;
}

}  // namespace kvtool

namespace {

// Decimal digits only, at least 1, without overflow.
std::optional<std::size_t> PictureLimit(const char* text) {
  std::size_t value = 0;
  if (!*text) return std::nullopt;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    const std::size_t digit = static_cast<std::size_t>(*p - '0');
    if (value > (SIZE_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (value == 0) return std::nullopt;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kvtool;
  InstallSignalHandlers();
  // A refusal is one line, with the library's reason; FFmpeg's own notes would add more.
  av_log_set_level(AV_LOG_QUIET);
  if (argc < 2) {
    std::vector<std::string> names = CommandNames();
    return UsageLine("expected a command: " + Listed(names), "kvmedia");
  }
  // --standard before the command is taken here; among the command's options, by Dispatch.
  std::vector<std::string> all(argv + 1, argv + argc);
  while (!all.empty() && (all[0] == "--standard" || all[0].starts_with("--standard="))) {
    if (all[0] == "--standard" && all.size() < 2)
      return UsageLine("'--standard' needs a value", "kvmedia");
    const bool joined = all[0] != "--standard";
    const std::string refusal = ChooseStandard(joined ? all[0].substr(11) : all[1]);
    if (!refusal.empty()) return UsageLine(refusal, "kvmedia");
    all.erase(all.begin(), all.begin() + (joined ? 1 : 2));
  }
  if (all.empty()) {
    std::vector<std::string> names = CommandNames();
    return UsageLine("expected a command: " + Listed(names), "kvmedia");
  }
  const std::string first = all[0];
  const std::vector<std::string> words(all.begin() + 1, all.end());
  if (first == "--help" || first == "-h") {
    PrintHelp(stdout);
    return FinishOutput(0);
  }
  if (first == "help") return Help(words);
  if (first == "--version") {
    std::printf("kvmedia %s\n", KV_VERSION);
    return FinishOutput(0);
  }
  // The manual page and the bash completion, made from the same texts as --help.
  if (first == "--man") {
    PrintManPage(stdout, KV_VERSION);
    return FinishOutput(0);
  }
  if (first == "--bash-completion") {
    PrintBashCompletion(stdout);
    return FinishOutput(0);
  }
  if (first.size() > 1 && first[0] == '-')
    return UsageLine(Unknown("option", first, {std::begin(kToolOptions), std::end(kToolOptions)}),
                     "kvmedia");
  // The largest picture the library will hold, for a machine with little memory or a batch
  // that must not take a server's.
  if (const char* limit = std::getenv("KV_MAX_PICTURE_BYTES")) {
    const std::optional<std::size_t> bytes = PictureLimit(limit);
    if (!bytes)
      return UsageLine(
          std::string("KV_MAX_PICTURE_BYTES must be a number of bytes from 1, not '") + limit + "'",
          "kvmedia");
    KvSetMaxPictureBytes(*bytes);
  }
  if (const Command* c = FindCommand(first)) return Dispatch(*c, words);
  std::vector<std::string> names = CommandNames();
  names.push_back("help");
  return UsageLine(Unknown("command", first, names), "kvmedia");
}
