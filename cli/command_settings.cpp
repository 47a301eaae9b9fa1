// What the commands share: the settings store of a command (read from Config.ini, never
// written), folder texts, and printing a run's texts.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "cli/run_console.h"
#include "platform/path.h"
#include "settings/settings_store.h"

namespace nandell::cli {

std::string FolderOperand(std::string folder) {
  return WithTrailingSeparator(WithNativeSeparators(std::move(folder)));
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

SettingsStore& CommandSettings(std::optional<SettingsStore>* own) {
  const char* config_dir = std::getenv("NANDELL_CONFIG_DIR");
  if (config_dir == nullptr || config_dir[0] == '\0') return OpenSettings(false);
  own->emplace(FolderOperand(config_dir), false);
  return **own;
}

}  // namespace nandell::cli
