#include "engine/run_config.h"

#include <mutex>

#include "engine/local_time.h"
#include "settings/settings_store.h"

namespace nandell {

RunConfig RunConfigFromSettings(const SettingsStore& settings) {
  RunConfig config;
  std::lock_guard<std::mutex> lock(settings.Mutex);
  config.file_filters = settings.FileFilters;
  config.by_year = settings.IsClassifyByYear != 0;
  config.media_dates = settings.MediaDates != 0;
  config.skip_identical = settings.SkipIdentical != 0;
  config.skip_known = settings.SkipKnown != 0;
  config.rename_conflicts = settings.RenameConflicts != 0;
  config.sidecar_dates = settings.SidecarDates != 0;
  config.name_dates = settings.NameDates != 0;
  config.keep_together = settings.KeepTogether != 0;
  if (!ParseClockText(settings.DayStartsAt, &config.day_start_minutes)) {
    config.day_start_minutes = 0;
  }
  config.error_file_folder = settings.ConfigDir;
  config.make_error_file_folder =
      !settings.ConfigDir.empty() && settings.ConfigDir != settings.ModuleDir;
  return config;
}

}  // namespace nandell
