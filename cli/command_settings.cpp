// What the commands share: the settings store of a command (read from Config.ini, never
// written), folder texts, and printing a run's texts.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "cli/run_console.h"
#include "engine/known_files.h"
#include "engine/local_time.h"
#include "engine/run_config.h"
#ifdef NANDELL_WITH_LIBRARY
#include "library/library_index.h"
#endif
#include "platform/file.h"
#include "platform/translate.h"
#include "settings/settings_store.h"

namespace nandell::cli {

std::string ExistingFolderOperand(const Arguments& args) {
  const std::string folder =
      FolderOperand(args.operands.empty() ? std::string() : args.operands[0]);
  if (IsFolder(folder)) return folder;
  std::fprintf(stderr, "%s%s\n", Tr("目录不存在:"), folder.c_str());
  return std::string();
}

KnownFilesOpener LibraryOpener() {
#ifdef NANDELL_WITH_LIBRARY
  return OpenLibraryIndex;
#else
  return {};
#endif
}

bool PrintText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 || !OutputClosed(errno);
}

void PrintIndexProgress(const IndexProgress& progress, bool live, const std::string& command) {
  if (!progress.notice.empty()) {
    if (live) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "nandell-cli %s: %s\n", command.c_str(), progress.notice.c_str());
  } else if (live && progress.done) {
    std::fputs("\r\033[K", stderr);
  } else if (live) {
    std::fprintf(stderr, "\r\033[K%s", FormatIndexProgress(progress).c_str());
  }
  std::fflush(stderr);
}

bool ApplyDateOptions(const Arguments& args, const SettingsStore& settings, RunConfig* config,
                      const std::string& command, std::string* error) {
  int day_start = 0;
  if (!settings.DayStartsAt.empty() && !ParseClockText(settings.DayStartsAt, &day_start) &&
      !args.Has("--day-starts-at")) {
    std::fprintf(stderr,
                 "nandell-cli %s: DayStartsAt=%s of Config.ini is not HH:MM; days begin "
                 "at 00:00\n",
                 command.c_str(), settings.DayStartsAt.c_str());
  }
  if (args.Has("--media-dates")) config->media_dates = true;
  if (args.Has("--sidecar-dates")) config->sidecar_dates = true;
  if (args.Has("--name-dates")) config->name_dates = true;
  if (args.Has("--day-starts-at") &&
      !ParseClockText(args.Value("--day-starts-at"), &config->day_start_minutes)) {
    *error = "option '--day-starts-at' takes HH:MM, from 00:00 to 23:59, not '" +
             args.Value("--day-starts-at") + "'";
    return false;
  }
  if (args.Has("--shift") && !ParseShiftText(args.Value("--shift"), &config->shift_minutes)) {
    *error =
        "option '--shift' takes [+|-]HH:MM (minutes 00 to 59), not '" + args.Value("--shift") + "'";
    return false;
  }
  return true;
}

int OptionValueError(const std::string& command, const std::string& error) {
  std::fprintf(stderr, "nandell-cli %s: %s\n", command.c_str(), error.c_str());
  std::fputs(UsageText(FindCommand(command)).c_str(), stderr);
  return 2;
}

SettingsStore& CommandSettings(std::optional<SettingsStore>* own) {
  const char* config_dir = std::getenv("NANDELL_CONFIG_DIR");
  if (config_dir == nullptr || config_dir[0] == '\0') return OpenSettings(false);
  own->emplace(FolderOperand(config_dir), false);
  return **own;
}

}  // namespace nandell::cli
