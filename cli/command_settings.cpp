// The settings store of a command: read from Config.ini, never written.
#include <cstdlib>

#include "cli/commands.h"
#include "platform/path.h"
#include "settings/settings_store.h"

namespace nandell::cli {

std::string FolderOperand(std::string folder) {
  return WithTrailingSeparator(WithNativeSeparators(std::move(folder)));
}

SettingsStore& CommandSettings(std::optional<SettingsStore>* own) {
  const char* config_dir = std::getenv("NANDELL_CONFIG_DIR");
  if (config_dir == nullptr || config_dir[0] == '\0') return OpenSettings(false);
  own->emplace(FolderOperand(config_dir), false);
  return **own;
}

}  // namespace nandell::cli
