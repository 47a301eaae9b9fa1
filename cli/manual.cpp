// nandell-cli-manual: writes the manual pages nandell-cli(1) and nandell(1) and the bash
// completion of nandell-cli from the command line's usage table, at build time.
//
//   nandell-cli-manual VERSION OUT_DIR   writes OUT_DIR/nandell-cli.1, nandell.1, nandell-cli.bash
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/usage.h"

namespace nandell::cli {
namespace {

// Text for roff: backslashes and minus signs escaped, and a line that would begin with a
// control character protected.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::string Bold(const std::string& text) {
  return "\\fB" + Roff(text) + "\\fR";
}

std::string Italic(const std::string& text) {
  return "\\fI" + Roff(text) + "\\fR";
}

// An operand or a placeholder in italics; a trailing "..." (repeatable) stays upright.
std::string Placeholder(const std::string& word) {
  const size_t dots = word.size() >= 3 && word.compare(word.size() - 3, 3, "...") == 0 ? 3 : 0;
  return Italic(word.substr(0, word.size() - dots)) + word.substr(word.size() - dots);
}

// A synopsis item ("[--filters LIST]", "[--by-day | --by-year]") with option names in bold
// and placeholders in italics.
std::string SynopsisItem(const std::string& item) {
  std::string out;
  size_t start = 0;
  while (start <= item.size()) {
    size_t end = item.find(' ', start);
    if (end == std::string::npos) end = item.size();
    std::string word = item.substr(start, end - start);
    std::string before, after;
    if (!word.empty() && word.front() == '[') before = "[", word.erase(0, 1);
    if (!word.empty() && word.back() == ']') after = "]", word.pop_back();
    if (!out.empty()) out += ' ';
    out += before;
    if (word == "|") {
      out += word;
    } else if (!word.empty() && word[0] == '-') {
      out += Bold(word);
    } else {
      out += Placeholder(word);
    }
    out += after;
    start = end + 1;
  }
  return out;
}

std::string Header(const std::string& name, const std::string& version,
                   const std::string& summary) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return ".\\\" Made by nandell-cli-manual from the command line's usage table; do not edit.\n"
         ".TH " +
         Roff(upper) + " 1 \"\" \"Nandell " + version +
         "\" \"User Commands\"\n"
         // Paths and option names are neither hyphenated nor stretched.
         ".nh\n.ad l\n.SH NAME\n" +
         Roff(name) + " \\- " + Roff(summary) + "\n";
}

std::string Paragraphs(const std::vector<std::string>& paragraphs) {
  std::string out;
  for (const std::string& paragraph : paragraphs) out += ".PP\n" + Roff(paragraph) + "\n";
  return out;
}

std::string TaggedList(const std::vector<Entry>& entries) {
  std::string out;
  for (const Entry& entry : entries)
    out += ".TP\n" + Bold(entry.term) + "\n" + Roff(entry.text) + "\n";
  return out;
}

std::string OptionList(const std::vector<OptionSpec>& options) {
  std::string out;
  for (const OptionSpec& option : options) {
    out += ".TP\n";
    if (!option.alias.empty()) out += Bold(option.alias) + ", ";
    out += Bold(option.name);
    if (!option.value.empty()) out += " " + Italic(option.value);
    out += "\n" + Roff(option.help) + "\n";
  }
  return out;
}

// One synopsis line with a hanging indent.
std::string SynopsisLine(const std::string& head, const std::vector<std::string>& operands,
                         const std::vector<std::string>& items) {
  std::string out = ".PP\n.in +4n\n.ti -4n\n" + Bold(head);
  for (const std::string& operand : operands) out += " " + Placeholder(operand);
  for (const std::string& item : items) out += " " + SynopsisItem(item);
  return out + "\n.in\n";
}

std::string CommandLineManual(const std::string& version) {
  const ProgramSpec& program = Program();
  std::string out = Header(program.name, version, program.summary);
  out += ".SH SYNOPSIS\n";
  for (const CommandSpec& command : program.commands) {
    out += SynopsisLine(program.name + " " + command.name, SplitWords(command.operands),
                        SynopsisItems(command.options));
  }
  const std::vector<std::string> own = SynopsisItems(program.options);
  if (!own.empty()) out += SynopsisLine(program.name, {}, own);
  out += SynopsisLine(program.name, {"COMMAND"}, {"--help"});
  out += ".SH DESCRIPTION\n" + Paragraphs(program.description);
  out += ".SH COMMANDS\n";
  for (const CommandSpec& command : program.commands) {
    out += ".SS " + Roff(command.name) + "\n" + Paragraphs(command.description);
    out += ".PP\nOptions:\n" + OptionList(command.options);
  }
  out += ".SH OPTIONS\n" + OptionList(program.options);
  out += ".SH EXIT STATUS\n";
  for (const CommandSpec& command : program.commands) {
    out += ".SS " + Roff(command.name) + "\n" + TaggedList(command.exit_status);
  }
  out += ".SH ENVIRONMENT\n" + TaggedList(program.environment);
  out += ".SH FILES\n" + TaggedList(program.files);
  out += ".SH SEE ALSO\n.BR nandell (1)\n";
  return out;
}

std::string WindowManual(const std::string& version) {
  std::string out = Header("nandell", version, "sort photos and videos into dated folders");
  out += ".SH SYNOPSIS\n.B nandell\n.SH DESCRIPTION\n";
  out += Paragraphs(
      {"Nandell sorts a folder of photos and videos into dated folders. Choose the photo "
       "folder (\"照片目录\") and the output folder (\"输出目录\"), tick \"删除源文件\" to move "
       "the files instead of copying them, and press \"整理\". Every matching file (by default "
       ".jpg, .avi, .mov, .mp4 and .rmvb) is dated by its EXIF DateTimeOriginal (JPEG) or else "
       "its last-write time, and copied, or moved, into OUTPUT/YYYY年/YYYY-MM-DD/ or "
       "OUTPUT/YYYY-MM-DD/. Each file is shown as it is handled, and the summary at the end.",
       "Nothing is ever overwritten: a file whose target exists already counts as failed. The "
       "failures of a run are listed in errorFile.txt, which is then opened in the desktop's "
       "text viewer; the list's path is also shown under the summary (\"失败列表: PATH\") and "
       "opens the list when clicked.",
       "The gear button opens the options window (\"选项\"): the file types to organize, the "
       "folder layout, dates from HEIC photos and videos, skipping identical files, a free name "
       "on conflicts, and the version check at start; \"确定\" saves them to Config.ini at "
       "once.",
       "Escape or the close button end the program (Enter does not); during a run it first asks "
       "whether to stop the run. It keeps the two folders and the delete switch in Config.ini "
       "for the next start. The program takes no arguments of its own; Qt's standard options "
       "(such as -platform) are understood.",
       "The window speaks the designed Chinese unless English is chosen in the options window "
       "(\"语言 / Language\"), or with Language=en in Config.ini; the choice holds from the next "
       "start. The system's locale does not choose it."});
  out += ".SH FILES\n" + TaggedList(Program().files);
  out += ".SH SEE ALSO\n.BR nandell\\-cli (1)\n";
  return out;
}

// A word that may stand unquoted in the completion script.
bool IsPlainWord(const std::string& word) {
  if (word.empty()) return false;
  for (char c : word) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_';
    if (!plain) return false;
  }
  return true;
}

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
}

// Names (and aliases) of `options`, and the names of those that take a value.
void OptionWords(const std::vector<OptionSpec>& options, std::vector<std::string>* all,
                 std::vector<std::string>* valued) {
  for (const OptionSpec& option : options) {
    all->push_back(option.name);
    if (!option.alias.empty()) all->push_back(option.alias);
    if (!option.value.empty()) {
      valued->push_back(option.name);
      if (!option.alias.empty()) valued->push_back(option.alias);
    }
  }
}

// The completion function: the program's options before the command, the command names,
// then each command's options and operands (files or folders). An option's value is offered
// when the option takes one of a few (its choices), else nothing.
bool Completion(std::string* out, std::string* error) {
  const ProgramSpec& program = Program();
  std::vector<std::string> names;
  std::vector<std::string> own_options, own_valued;
  OptionWords(program.options, &own_options, &own_valued);
  for (const CommandSpec& command : program.commands) names.push_back(command.name);
  std::string cases;
  for (const CommandSpec& command : program.commands) {
    std::vector<std::string> options, valued;
    OptionWords(AcceptedOptions(command), &options, &valued);
    for (const std::string& word : options) names.push_back(word);
    const char* kind = command.operand_kind == OperandKind::kFiles     ? "files"
                       : command.operand_kind == OperandKind::kFolders ? "folders"
                                                                       : "";
    cases += "    " + command.name + ") options='" + Join(options) + "' valued='" + Join(valued) +
             "' operands=" + kind + " ;;\n";
  }
  for (const std::string& word : own_options) names.push_back(word);
  // The values offered after an option that takes one of a few (the same option everywhere).
  std::string choice_cases;
  std::vector<std::string> with_choices;
  std::vector<const OptionSpec*> all_options;
  for (const OptionSpec& option : program.options) all_options.push_back(&option);
  for (const CommandSpec& command : program.commands) {
    for (const OptionSpec& option : command.options) all_options.push_back(&option);
  }
  for (const OptionSpec* option : all_options) {
    if (option->choices.empty()) continue;
    if (std::find(with_choices.begin(), with_choices.end(), option->name) != with_choices.end())
      continue;
    with_choices.push_back(option->name);
    for (const std::string& choice : option->choices) names.push_back(choice);
    std::string words = option->name;
    if (!option->alias.empty()) words += "|" + option->alias;
    choice_cases += "    " + words + ") mapfile -t COMPREPLY < <(compgen -W '" +
                    Join(option->choices) + "' -- \"$cur\"); return 0 ;;\n";
  }
  for (const std::string& name : names) {
    if (!IsPlainWord(name)) {
      *error = "not a plain word for the completion: '" + name + "'";
      return false;
    }
  }
  std::vector<std::string> commands;
  for (const CommandSpec& command : program.commands) commands.push_back(command.name);

  *out =
      "# bash completion for nandell-cli. Made by nandell-cli-manual from the command line's\n"
      "# usage table; do not edit.\n"
      "_nandell_cli() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
      "  # \"--option=value\": bash splits the word at \"=\".\n"
      "  if [[ $prev == = && $COMP_CWORD -gt 1 ]]; then prev=${COMP_WORDS[COMP_CWORD-2]}; fi\n"
      "  if [[ $cur == = ]]; then cur=; fi\n"
      "  local own_valued='" +
      Join(own_valued) +
      "'\n"
      "  local command= i=1\n"
      "  while ((i < COMP_CWORD)); do\n"
      "    local word=${COMP_WORDS[i]}\n"
      "    if [[ -n $own_valued && \" $own_valued \" == *\" $word \"* ]]; then ((i += 2)); "
      "continue; fi\n"
      "    if [[ $word == -* ]]; then ((i++)); continue; fi\n"
      "    command=$word\n"
      "    break\n"
      "  done\n"
      "  local options= valued= operands=\n"
      "  case $command in\n"
      "    '') options='" +
      Join(own_options) + "' valued='" + Join(own_valued) + "' operands=commands ;;\n" + cases +
      "    *) return 0 ;;\n"
      "  esac\n"
      "  case $prev in\n" +
      choice_cases +
      "  esac\n"
      "  if [[ -n $valued && \" $valued \" == *\" $prev \"* ]]; then return 0; fi\n"
      "  if [[ $cur == -* ]]; then\n"
      "    mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")\n"
      "    return 0\n"
      "  fi\n"
      "  case $operands in\n"
      "    commands) mapfile -t COMPREPLY < <(compgen -W '" +
      Join(commands) +
      "' -- \"$cur\") ;;\n"
      "    files) mapfile -t COMPREPLY < <(compgen -f -- \"$cur\") ;;\n"
      "    folders) mapfile -t COMPREPLY < <(compgen -d -- \"$cur\") ;;\n"
      "  esac\n"
      "  return 0\n"
      "}\n"
      "complete -o filenames -F _nandell_cli nandell-cli\n";
  return true;
}

bool WriteText(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace
}  // namespace nandell::cli

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: nandell-cli-manual VERSION OUT_DIR\n", stderr);
    return 2;
  }
  const std::string version = argv[1];
  const std::string dir = std::string(argv[2]) + "/";
  std::string completion, error;
  if (!nandell::cli::Completion(&completion, &error)) {
    std::fprintf(stderr, "nandell-cli-manual: %s\n", error.c_str());
    return 1;
  }
  const std::pair<std::string, std::string> outputs[] = {
      {"nandell-cli.1", nandell::cli::CommandLineManual(version)},
      {"nandell.1", nandell::cli::WindowManual(version)},
      {"nandell-cli.bash", completion}};
  for (const auto& [name, text] : outputs) {
    if (!nandell::cli::WriteText(dir + name, text)) {
      std::fprintf(stderr, "nandell-cli-manual: cannot write %s%s\n", dir.c_str(), name.c_str());
      return 1;
    }
  }
  return 0;
}
