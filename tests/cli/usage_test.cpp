// The usage table and what is made from it: the parser, the real program's --help, the manual
// page as man renders it, and the bash completion as bash runs it, all agree with the table.
#include "cli/usage.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "tests/cli/cli_runner.h"
#include "tests/support/temp_tree.h"

namespace nandell::cli {
namespace {

using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;

struct ParseRow {
  const char* name;
  std::vector<std::string> args;
  const char* expected;  // "error: ..." or "operands|option=value,option=value" or "help"
};

std::string Describe(bool ok, const Arguments& args, const std::string& error) {
  if (!ok) return "error: " + error;
  if (args.help) return "help";
  std::string out;
  for (const std::string& operand : args.operands) out += (out.empty() ? "" : " ") + operand;
  out += "|";
  for (const auto& [name, value] : args.options) out += name + "=" + value + ",";
  return out;
}

TEST(UsageTest, ParserFollowsTheTable) {
  const ParseRow rows[] = {
      {"operands and options mixed", {"a", "--move", "b"}, "a b|--move=,"},
      {"value as next word", {"--filters", ".jpg"}, "|--filters=.jpg,"},
      {"value after =", {"--filters=.a,.b", "x"}, "x|--filters=.a,.b,"},
      {"empty value", {"--filters="}, "|--filters=,"},
      {"last of a group wins", {"--by-day", "--move", "--by-year"}, "|--move=,--by-year=,"},
      {"-- ends the options", {"--", "--move", "-"}, "--move -|"},
      {"lone dash is an operand", {"-"}, "-|"},
      {"help anywhere", {"a", "-h", "b"}, "help"},
      {"unknown option", {"--bogus"}, "error: unknown option '--bogus'"},
      {"missing value", {"a", "--filters"}, "error: option '--filters' needs a value"},
      {"switch with a value", {"--move=1"}, "error: option '--move' takes no value"},
      {"a global option after the command", {"a", "--lang=en"}, "a|--lang=en,"},
      {"a value not among the choices",
       {"--lang", "fr"},
       "error: unknown value 'fr' for option '--lang' (en, zh_CN)"},
  };
  for (const ParseRow& row : rows) {
    Arguments args;
    std::string error;
    const bool ok =
        ParseArguments(AcceptedOptions(*FindCommand("organize")), row.args, false, &args, &error);
    EXPECT_EQ(Describe(ok, args, error), row.expected) << row.name;
  }
  // The program's own options stop at the command.
  Arguments own;
  std::string error;
  ASSERT_TRUE(ParseArguments(Program().options, {"organize", "--help"}, true, &own, &error));
  EXPECT_EQ(own.consumed, 0);
  EXPECT_FALSE(own.help);
}

class MadeFromTheTableTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::MakeFolders(cwd_)); }
  // Runs a shell command line; returns its standard output and keeps its standard error.
  std::string Shell(const std::string& command) {
    const std::string out = dir_ / "shell.out", err = dir_ / "shell.err";
    const int code = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
    err_ = ReadFile(err);
    EXPECT_EQ(code, 0) << command << "\n" << err_;
    return ReadFile(out);
  }
  // What the completion offers, run in cwd_, for the words of a command line, the last one
  // being completed.
  std::set<std::string> Complete(const std::vector<std::string>& words) {
    std::string quoted;
    for (const std::string& word : words) quoted += " '" + word + "'";
    std::istringstream lines(
        Shell("cd '" + cwd_ +
              "' && bash -c 'source \"$0\"; COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); "
              "_nandell_cli; printf \"%s\\n\" \"${COMPREPLY[@]}\"' " NANDELL_MANUAL_DIR
              "/nandell-cli.bash" +
              quoted));
    std::set<std::string> offered;
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty()) offered.insert(line);
    }
    return offered;
  }
  TempDir dir_;
  const std::string cwd_ = dir_ / "cwd";
  std::string err_;
};

std::set<std::string> OptionWords(const std::vector<OptionSpec>& options) {
  std::set<std::string> words;
  for (const OptionSpec& option : options) {
    words.insert(option.name);
    if (!option.alias.empty()) words.insert(option.alias);
  }
  return words;
}

TEST_F(MadeFromTheTableTest, HelpManualAndCompletionNameEveryCommandAndOption) {
  const std::string manual =
      Shell("LC_ALL=C.UTF-8 MANWIDTH=200 man --warnings -E UTF-8 -l '" NANDELL_MANUAL_DIR
            "/nandell-cli.1'");
  EXPECT_EQ(err_, "");  // no warning from the formatter
  std::set<std::string> commands;
  for (const CommandSpec& command : Program().commands) {
    commands.insert(command.name);
    ASSERT_EQ(RunCli({command.name, "--help"}, {}, dir_ / "out", dir_ / "err"), 0);
    const std::string help = ReadFile(dir_ / "out");
    EXPECT_EQ(help.rfind("usage: nandell-cli " + command.name + " " + command.operands, 0), 0u)
        << help;
    for (const OptionSpec& option : command.options) {
      EXPECT_NE(help.find(" " + option.name + " "), std::string::npos) << option.name;
      EXPECT_NE(manual.find(option.name), std::string::npos) << option.name;
    }
    EXPECT_NE(manual.find("nandell-cli " + command.name), std::string::npos) << command.name;
    EXPECT_EQ(Complete({"nandell-cli", command.name, "-"}), OptionWords(AcceptedOptions(command)))
        << command.name;
    // A value is offered only where the table lists the choices.
    for (const OptionSpec& option : AcceptedOptions(command)) {
      if (option.value.empty()) continue;
      EXPECT_EQ(Complete({"nandell-cli", command.name, option.name, ""}),
                std::set<std::string>(option.choices.begin(), option.choices.end()))
          << option.name;
    }
  }
  EXPECT_EQ(Complete({"nandell-cli", ""}), commands);
  EXPECT_EQ(Complete({"nandell-cli", "-"}), OptionWords(Program().options));
  EXPECT_EQ(Complete({"nandell-cli", "--lang", "e"}), std::set<std::string>({"en"}));
  EXPECT_EQ(Complete({"nandell-cli", "--lang", "en", ""}), commands);
  ASSERT_EQ(RunCli({"--help"}, {}, dir_ / "out", dir_ / "err"), 0);
  for (const std::string& name : commands) {
    EXPECT_NE(ReadFile(dir_ / "out").find("\n  " + name + " "), std::string::npos) << name;
  }
}

TEST_F(MadeFromTheTableTest, CompletionOffersFilesOrFoldersAsTheCommandTakes) {
  ASSERT_TRUE(testing::MakeFolders(cwd_ + "/photos"));
  ASSERT_TRUE(testing::WriteFile(cwd_ + "/pic one.jpg", "x"));
  EXPECT_EQ(Complete({"nandell-cli", "organize", "p"}), std::set<std::string>({"photos"}));
  EXPECT_EQ(Complete({"nandell-cli", "organize", "--move", ""}), std::set<std::string>({"photos"}));
  EXPECT_EQ(Complete({"nandell-cli", "date", ""}),
            std::set<std::string>({"photos", "pic one.jpg"}));
}

}  // namespace
}  // namespace nandell::cli
