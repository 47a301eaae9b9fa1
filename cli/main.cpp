// nandell-cli: the command-line face of the organizer. The commands, their options and the
// help texts are the table of cli/usage.cpp; this file only hands each command its arguments.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/usage.h"
#include "nandell_version.h"
#include "platform/process.h"
#include "platform/translate.h"
#include "settings/settings_store.h"

namespace {

using nandell::cli::Arguments;
using nandell::cli::CommandSpec;

// Prints "nandell-cli[ COMMAND]: ERROR" (when there is one) and the usage on standard error;
// returns the exit code of a usage error.
int UsageError(const CommandSpec* command, const std::string& error) {
  if (!error.empty()) {
    std::string where = nandell::cli::Program().name;
    if (command != nullptr) where += " " + command->name;
    std::fprintf(stderr, "%s: %s\n", where.c_str(), error.c_str());
  }
  std::fputs(nandell::cli::UsageText(command).c_str(), stderr);
  return 2;
}

int Print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// The language of the texts: --lang as given (already one of its choices), else Language of
// Config.ini, where a value other than "en" keeps the designed Chinese. Without the English
// catalog the texts stay Chinese, which standard error says.
void ChooseLanguage(const std::string& option) {
  std::string setting = option;
  if (setting.empty()) {
    std::optional<nandell::SettingsStore> own_settings;
    setting = nandell::cli::CommandSettings(&own_settings).Language;
  }
  nandell::Language language = nandell::Language::kChinese;
  nandell::ParseLanguage(setting, &language);
  std::string error;
  if (!nandell::SetLanguage(language, "", &error)) {
    std::fprintf(stderr, "%s: %s; the messages stay Chinese\n",
                 nandell::cli::Program().name.c_str(), error.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  nandell::PrepareConsoleOutput();
  // Paths arrive in UTF-8 on every platform (Windows hands argv over in its code page).
  const std::vector<std::string> all = nandell::CommandLineArguments(argc, argv);
  const std::vector<std::string> args(all.begin() + (all.empty() ? 0 : 1), all.end());
  std::string error;
  Arguments own;
  if (!nandell::cli::ParseArguments(nandell::cli::Program().options, args, true, &own, &error)) {
    return UsageError(nullptr, error);
  }
  if (own.help) return Print(nandell::cli::ProgramHelp());
  if (own.Has("--version")) {
    return Print(nandell::cli::Program().name + " " + nandell::kVersionText + "\n");
  }
  if (own.consumed >= static_cast<int>(args.size())) return UsageError(nullptr, "");

  const std::string& name = args[own.consumed];
  const CommandSpec* command = nandell::cli::FindCommand(name);
  if (command == nullptr) return UsageError(nullptr, "unknown command '" + name + "'");
  const std::vector<std::string> rest(args.begin() + own.consumed + 1, args.end());
  Arguments parsed;
  if (!nandell::cli::ParseArguments(nandell::cli::AcceptedOptions(*command), rest, false, &parsed,
                                    &error)) {
    return UsageError(command, error);
  }
  if (parsed.help) return Print(nandell::cli::CommandHelp(*command));
  if (!nandell::cli::OperandCountFits(*command, parsed)) return UsageError(command, "");
  // Given after the command, --lang wins over one given before it.
  ChooseLanguage(parsed.Has("--lang") ? parsed.Value("--lang") : own.Value("--lang"));

  if (command->name == "date") return nandell::cli::RunDate(parsed);
  if (command->name == "organize") return nandell::cli::RunOrganize(parsed);
  if (command->name == "undo") return nandell::cli::RunUndo(parsed);
  if (command->name == "history") return nandell::cli::RunHistory(parsed);
#ifdef NANDELL_WITH_LIBRARY
  if (command->name == "library") return nandell::cli::RunLibrary(parsed);
  if (command->name == "duplicates") return nandell::cli::RunDuplicates(parsed);
#endif
  return UsageError(nullptr, "command '" + name + "' is not built in");
}
