// `nandell-cli date FILE...`: the capture date of each file, one line per file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "engine/capture_date.h"
#include "exif/exif_reader.h"
#include "platform/file.h"
#include "settings/settings_store.h"

namespace nandell::cli {

// Every file gets its line on standard output, an empty date included, so the output keeps
// one line per argument. A file that cannot be examined (missing, unreadable, a folder, not a
// regular file) also gets a message on standard error, and the exit code is then 1. The
// reader's own notices go to standard error so that standard output holds only the lines.
// "--media-dates" (or MediaDates=1 in Config.ini) dates the other photo and video formats too.
int RunDate(const Arguments& args) {
  bool media_dates = args.Has("--media-dates");
  if (!media_dates) {
    std::optional<SettingsStore> own_settings;
    media_dates = CommandSettings(&own_settings).MediaDates != 0;
  }
  SetReaderNoticeStream(stderr);

  int status = 0;
  std::string line;
  std::string error;
  for (const std::string& operand : args.operands) {
    const char* path = operand.c_str();
    const std::string date = GetCaptureDate(path, media_dates);
    // A date proves the file was read; only an empty answer needs a closer look.
    if (date.empty() && !CheckReadableFile(path, &error)) {
      std::fflush(stdout);
      std::fprintf(stderr, "nandell-cli date: %s: %s\n", path, error.c_str());
      status = 1;
    }
    line.assign(path);
    line += '\t';
    line += date;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "nandell-cli date: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}

}  // namespace nandell::cli
