#pragma once

// The command line's usage in one table: the program's own options, its commands, their
// operands and options, and the texts that describe them. `--help`, the argument parser, the
// manual pages and the bash completion are all made from this table, so an option or a
// command is added to the table (cli/usage.cpp) and to the code that acts on it, nowhere else.

#include <string>
#include <utility>
#include <vector>

namespace nandell::cli {

/// What a command's operands name, so that the shell completion offers the right names.
enum class OperandKind { kNone, kFiles, kFolders };

/// One option: a switch (`value` empty), or an option with a value, given as "--name VALUE"
/// or "--name=VALUE". Every field has a default, so a row of the table names only the fields
/// it needs: {.name = "--quiet", .help = "..."}.
struct OptionSpec {
  std::string name{};   ///< Long form with its dashes: "--move".
  std::string alias{};  ///< Short form with its dash ("-h"), or empty.
  std::string value{};  ///< Placeholder of its value ("LIST"); empty for a switch.
  std::string group{};  ///< Options of one non-empty group exclude each other; the last one wins.
  std::string help{};   ///< What it does: one or more sentences.
  /// The values it accepts (the parser refuses others, the completion offers them); empty:
  /// any value.
  std::vector<std::string> choices{};
  /// An option of the program that every command accepts too, after the command name; the
  /// commands' synopses leave it out, like the help option.
  bool global = false;
};

/// A term and its explanation (an environment variable, a file, an exit status).
struct Entry {
  std::string term{};  ///< "NANDELL_CONFIG_DIR", "0".
  std::string text{};  ///< One or more sentences.
};

/// A command: `nandell-cli NAME OPERANDS [OPTIONS]`.
struct CommandSpec {
  std::string name{};      ///< "organize".
  std::string operands{};  ///< As the synopsis shows them: "PHOTO_FOLDER OUTPUT_FOLDER".
  OperandKind operand_kind = OperandKind::kNone;
  int min_operands = 0;                    ///< Fewer is a usage error.
  int max_operands = -1;                   ///< More is a usage error; -1: no limit.
  std::string summary{};                   ///< One line for the list of commands ("Print ...").
  std::vector<std::string> description{};  ///< Paragraphs for its help and the manual.
  std::vector<OptionSpec> options{};       ///< In synopsis order; the help option comes last.
  std::vector<Entry> exit_status{};        ///< Its exit codes.
};

/// The program: its own options (given before a command), its commands, and the texts of its
/// manual page.
struct ProgramSpec {
  std::string name{};                      ///< "nandell-cli".
  std::string summary{};                   ///< The manual's NAME line, after the dash.
  std::vector<std::string> description{};  ///< Paragraphs for the help and the manual.
  std::vector<OptionSpec> options{};       ///< Options before the command; help comes last.
  std::vector<CommandSpec> commands{};     ///< In the order the help lists them.
  std::vector<Entry> environment{};        ///< Environment variables it reads.
  std::vector<Entry> files{};              ///< Files it reads or writes.
};

/// The table. Built once; every command's options end with the help option.
const ProgramSpec& Program();

/// The command named `name`, or nullptr.
const CommandSpec* FindCommand(const std::string& name);

/// The options `command` accepts: its own, then the program's global ones (before the help
/// option, which stays last).
std::vector<OptionSpec> AcceptedOptions(const CommandSpec& command);

/// The option of `options` whose name or alias is `word` (without any "=VALUE"), or nullptr.
const OptionSpec* FindOption(const std::vector<OptionSpec>& options, const std::string& word);

/// True for the help option, which every command and the program accept and no synopsis shows.
bool IsHelpOption(const OptionSpec& option);

/// The blank-separated words of `text`.
std::vector<std::string> SplitWords(const std::string& text);

/// The synopsis items of `options` in order: "[--move]", "[--by-day | --by-year]",
/// "[--filters LIST]"; the help option is left out.
std::vector<std::string> SynopsisItems(const std::vector<OptionSpec>& options);

/// "usage: " and the synopsis of every command (or of `command` alone), wrapped at 80 columns
/// with continuation lines indented under the command's first operand; ends with "\n".
std::string UsageText(const CommandSpec* command = nullptr);

/// `nandell-cli --help`: usage, description, commands, options.
std::string ProgramHelp();

/// `nandell-cli COMMAND --help`: usage, description, options (the global ones too), exit
/// status.
std::string CommandHelp(const CommandSpec& command);

/// The options and operands of one command line, as given.
struct Arguments {
  std::vector<std::string> operands;
  /// (name, value) of every option given, in order, under its long name; of a group only the
  /// last one given is kept. Switches have an empty value.
  std::vector<std::pair<std::string, std::string>> options;
  bool help = false;  ///< The help option was given (anywhere).
  int consumed = 0;   ///< Arguments read (with stop_at_operand: the index of the operand).

  /// True when the option `name` (long form) was given.
  bool Has(const std::string& name) const;
  /// The value given last for `name`, or empty.
  std::string Value(const std::string& name) const;
};

/// Parses `args` against `options`: options and operands in any order, "--" ends the options,
/// a lone "-" is an operand. With `stop_at_operand`, parsing stops before the first operand
/// (the program's own options before a command). Returns false with `error` set ("unknown
/// option '--x'", "option '--filters' needs a value", "option '--move' takes no value",
/// "unknown value 'x' for option '--lang' (en, zh_CN)").
bool ParseArguments(const std::vector<OptionSpec>& options, const std::vector<std::string>& args,
                    bool stop_at_operand, Arguments* out, std::string* error);

/// Checks the operand count of `command` on parsed arguments; false when it is outside the
/// command's limits.
bool OperandCountFits(const CommandSpec& command, const Arguments& args);

}  // namespace nandell::cli
