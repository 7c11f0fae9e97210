// kvmedia's manual page and bash completion, made from the texts of --help so that there is
// one copy of each: the usage texts are laid out by hand, and the page keeps their lines.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "Commands.h"

namespace kvtool {

namespace {

// A line of help text as roff shows it as given: backslashes doubled, and a line that would
// read as a request ('.' or '\'' first) guarded.
std::string RoffLine(const std::string& line) {
  std::string out = line.empty() || (line[0] != '.' && line[0] != '\'') ? "" : "\\&";
  for (const char c : line) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";  // a minus sign, as options need
    else
      out += c;
  }
  return out;
}

void PrintVerbatim(std::FILE* out, const char* text) {
  std::fputs(".nf\n", out);
  const char* line = text;
  while (*line) {
    const char* end = std::strchr(line, '\n');
    const std::string s = end ? std::string(line, end) : std::string(line);
    std::fprintf(out, "%s\n", RoffLine(s).c_str());
    line = end ? end + 1 : line + s.size();
  }
  std::fputs(".fi\n", out);
}

// The words bash offers for an option table, with -q and --help that every command takes.
std::set<std::string> OptionWords(const Options& options) {
  std::set<std::string> words{"-q", "--help"};
  for (const Option& o : options) words.insert(o.name);
  return words;
}

std::string Joined(const std::set<std::string>& words) {
  std::string s;
  for (const std::string& w : words) s += (s.empty() ? "" : " ") + w;
  return s;
}

}  // namespace

void PrintManPage(std::FILE* out, const char* version) {
  std::fprintf(out,
               ".\\\" Made by 'kvmedia --man' from the tool's own help texts.\n"
               ".TH KVMEDIA 1 \"\" \"kvmedia %s\" \"User Commands\"\n"
               ".SH NAME\n"
               "kvmedia \\- %s\n"
               ".SH SYNOPSIS\n"
               ".B kvmedia\n"
               ".I COMMAND\n"
               "[\\fIARGS\\fR...]\n"
               ".br\n"
               ".B kvmedia\n"
               "\\-\\-help | \\-\\-version | \\-\\-man | \\-\\-bash\\-completion\n"
               ".SH DESCRIPTION\n",
               version, RoffLine(kToolSummary).c_str());
  PrintVerbatim(out, kToolNotes);
  std::fputs(".SH COMMANDS\n", out);
  for (const Command& c : AllCommands()) {
    std::fprintf(out, ".SS %s\n%s\n.PP\n", c.name, RoffLine(c.summary).c_str());
    PrintVerbatim(out, c.usage);
  }
}

void PrintBashCompletion(std::FILE* out) {
  std::set<std::string> names;
  for (const Command& c : AllCommands()) names.insert(c.name);
  std::fprintf(out,
               "# bash completion for kvmedia, made by 'kvmedia --bash-completion'.\n"
               "_kvmedia() {\n"
               "  local cur=${COMP_WORDS[COMP_CWORD]} words='' subcommands=''\n"
               "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
               "    words='%s --help --version --man --bash-completion'\n"
               "  else\n"
               "    case ${COMP_WORDS[1]} in\n",
               Joined(names).c_str());
  // Options come from the tables main checks them against; a command with subcommands
  // offers those first, then the options of the one given.
  for (const Command& c : AllCommands()) {
    if (c.subcommands.empty()) {
      std::fprintf(out, "      %s) words='%s' ;;\n", c.name,
                   Joined(OptionWords(c.options)).c_str());
      continue;
    }
    std::set<std::string> names;
    for (const Subcommand& s : c.subcommands) names.insert(s.name);
    std::fprintf(out, "      %s)\n        words='-q --help' subcommands='%s'\n", c.name,
                 Joined(names).c_str());
    std::fputs("        case ${COMP_WORDS[2]} in\n", out);
    for (const Subcommand& s : c.subcommands)
      std::fprintf(out, "          %s) words='%s' ;;\n", s.name,
                   Joined(OptionWords(s.options)).c_str());
    std::fputs("        esac ;;\n", out);
  }
  std::fputs(
      "    esac\n"
      "    if [ \"$COMP_CWORD\" -eq 2 ] && [ -n \"$subcommands\" ] && [[ $cur != -* ]]; then\n"
      "      words=$subcommands\n"
      "    elif [[ $cur != -* ]]; then\n"
      "      return  # a file name: bash's own completion\n"
      "    fi\n"
      "  fi\n"
      "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
      "}\n"
      "complete -o bashdefault -o default -F _kvmedia kvmedia\n",
      out);
}

}  // namespace kvtool
