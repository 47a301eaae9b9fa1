// The settings store of a command: read from Config.ini, never written.
#include <cstdlib>

#include "cli/commands.h"
#include "settings/settings_store.h"

namespace nandell::cli {

std::string WithTrailingSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

SettingsStore& CommandSettings(std::optional<SettingsStore>* own) {
  const char* config_dir = std::getenv("NANDELL_CONFIG_DIR");
  if (config_dir == nullptr || config_dir[0] == '\0') return OpenSettings(false);
  own->emplace(WithTrailingSlash(config_dir), false);
  return **own;
}

}  // namespace nandell::cli
