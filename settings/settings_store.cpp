#include "settings/settings_store.h"

#include <vector>

#include "platform/file.h"
#include "platform/ini.h"
#include "platform/path.h"
#include "platform/process.h"

namespace nandell {
namespace {

// Length of the reading buffer for text keys: at most 1023 bytes are taken.
constexpr std::size_t kTextBufferSize = 1024;

// A folder of the system's programs: a program there is installed by the system's package
// manager (or `make install`) and keeps no files beside itself, even for root, who could
// write there.
bool IsInstalledProgramFolder(const std::string& dir) {
  for (const char* folder : {"/usr/bin/", "/usr/local/bin/", NANDELL_INSTALL_BINDIR "/"}) {
    if (dir == folder) return true;
  }
  return false;
}

}  // namespace

SettingsStore::SettingsStore(bool save_at_exit) : save_at_exit_(save_at_exit) {
  if (save_at_exit_) {
    LocateModule();
  } else {
    FindModule();
    ChooseConfigDir(false);
  }
  Load();
}

SettingsStore::SettingsStore(std::string module_dir, bool save_at_exit)
    : save_at_exit_(save_at_exit) {
  ModuleDir = WithTrailingSeparator(std::move(module_dir));
  ConfigDir = ModuleDir;
  std::string path = ExecutablePath();
  ExeName = path.substr(LastSeparator(path) + 1);
  Load();
}

SettingsStore::~SettingsStore() {
  if (save_at_exit_) Save();
}

void SettingsStore::FindModule() {
  std::string path = ExecutablePath();
  std::size_t slash = LastSeparator(path);
  std::lock_guard<std::mutex> lock(Mutex);
  if (slash == std::string::npos) {
    // No executable path: fall back to the current directory, so that a Config.ini there
    // is still found.
    ModuleDir = CurrentDirectory();
    ExeName = path;
    return;
  }
  ModuleDir = path.substr(0, slash + 1);
  ExeName = path.substr(slash + 1);
}

void SettingsStore::ChooseConfigDir(bool create) {
  std::string dir = ModuleDir;
  if (!dir.empty() && (IsInstalledProgramFolder(dir) ||
                       (!PathExists(dir + "Config.ini") && !FolderWritable(dir)))) {
    std::string user_dir = UserConfigDir();
    if (!user_dir.empty()) {
      dir = user_dir;
      if (create) MakeFolders(dir);
    }
  }
  std::lock_guard<std::mutex> lock(Mutex);
  ConfigDir = dir;
}

std::string SettingsStore::LocateModule() {
  FindModule();
  SetWorkingDirectory(ModuleDir);  // result ignored
  ChooseConfigDir(true);
  std::lock_guard<std::mutex> lock(Mutex);
  return ModuleDir;
}

void SettingsStore::Load() {
  const std::string path = ConfigPath();
  const char* section = kSettingsSection;
  int32_t is_delete_src = ReadIniInt(path, section, "IsDeleteSrc", 0);
  std::string path_src = ReadIniString(path, section, "PathSrc", "", kTextBufferSize);
  std::string path_tar = ReadIniString(path, section, "PathTar", "", kTextBufferSize);
  std::string file_filters =
      ReadIniString(path, section, "FileFilters", kDefaultFileFilters, kTextBufferSize);
  int32_t is_classify_by_year = ReadIniInt(path, section, "IsClassifyByYear", 1);
  std::string url = ReadIniString(path, section, "Url", kDefaultVersionUrl, kTextBufferSize);
  int32_t check_version = ReadIniInt(path, section, "CheckVersion", 1);
  int32_t media_dates = ReadIniInt(path, section, "MediaDates", 0);
  int32_t skip_identical = ReadIniInt(path, section, "SkipIdentical", 0);
  int32_t rename_conflicts = ReadIniInt(path, section, "RenameConflicts", 0);
  std::string language = ReadIniString(path, section, "Language", "", kTextBufferSize);
  int32_t name_dates = ReadIniInt(path, section, "NameDates", 0);
  int32_t sidecar_dates = ReadIniInt(path, section, "SidecarDates", 0);
  std::string day_starts_at = ReadIniString(path, section, "DayStartsAt", "", kTextBufferSize);
  int32_t keep_together = ReadIniInt(path, section, "KeepTogether", 0);
  int32_t skip_known = ReadIniInt(path, section, "SkipKnown", 0);

  std::lock_guard<std::mutex> lock(Mutex);
  IsDeleteSrc = is_delete_src;
  PathSrc = std::move(path_src);
  PathTar = std::move(path_tar);
  FileFilters = std::move(file_filters);
  IsClassifyByYear = is_classify_by_year;
  Url = std::move(url);
  CheckVersion = check_version;
  MediaDates = media_dates;
  SkipIdentical = skip_identical;
  RenameConflicts = rename_conflicts;
  Language = std::move(language);
  NameDates = name_dates;
  SidecarDates = sidecar_dates;
  DayStartsAt = std::move(day_starts_at);
  KeepTogether = keep_together;
  SkipKnown = skip_known;
}

bool SettingsStore::Save() const {
  std::vector<std::pair<std::string, std::string>> keys;
  {
    std::lock_guard<std::mutex> lock(Mutex);
    keys = {{"IsDeleteSrc", std::to_string(IsDeleteSrc)},
            {"PathSrc", PathSrc},
            {"PathTar", PathTar},
            {"FileFilters", FileFilters},
            {"IsClassifyByYear", std::to_string(IsClassifyByYear)}};
  }
  return SaveKeys(keys);
}

bool SettingsStore::SaveOptions() const {
  std::vector<std::pair<std::string, std::string>> keys;
  struct AddedKey {
    const char* name;
    std::string value;
    bool is_default;
  };
  std::vector<AddedKey> added;
  std::string config_path;
  {
    std::lock_guard<std::mutex> lock(Mutex);
    keys = {{"FileFilters", FileFilters},
            {"IsClassifyByYear", std::to_string(IsClassifyByYear)},
            {"CheckVersion", std::to_string(CheckVersion)},
            {"MediaDates", std::to_string(MediaDates)},
            {"SkipIdentical", std::to_string(SkipIdentical)},
            {"RenameConflicts", std::to_string(RenameConflicts)},
            {"Language", Language}};
    added = {{"NameDates", std::to_string(NameDates), NameDates == 0},
             {"SidecarDates", std::to_string(SidecarDates), SidecarDates == 0},
             {"DayStartsAt", DayStartsAt, DayStartsAt.empty()},
             {"KeepTogether", std::to_string(KeepTogether), KeepTogether == 0},
             {"SkipKnown", std::to_string(SkipKnown), SkipKnown == 0}};
    config_path = ConfigDir + "Config.ini";
  }
  // A key added after the designed ones is written when it is on, or to turn it off.
  for (const AddedKey& key : added) {
    if (!key.is_default ||
        ReadIniString(config_path, kSettingsSection, key.name, "\x01", 2) != "\x01") {
      keys.emplace_back(key.name, key.value);
    }
  }
  return SaveKeys(keys);
}

bool SettingsStore::MakeConfigDir() const {
  std::string config_dir, module_dir;
  {
    std::lock_guard<std::mutex> lock(Mutex);
    config_dir = ConfigDir;
    module_dir = ModuleDir;
  }
  if (config_dir.empty() || config_dir == module_dir) return true;
  return MakeFolders(config_dir);
}

bool SettingsStore::SaveKeys(const std::vector<std::pair<std::string, std::string>>& keys) const {
  std::string config_dir;
  {
    std::lock_guard<std::mutex> lock(Mutex);
    config_dir = ConfigDir;
  }
  if (config_dir.empty()) return false;
  MakeConfigDir();
  // The keys are written in one replacement of the file, so that it is never seen
  // half-written. A file that exists but cannot be read is left alone rather than replaced by
  // one holding only these keys.
  return WriteIniStrings(config_dir + "Config.ini", kSettingsSection, keys);
}

int32_t SettingsStore::RunProgram(const std::string& file, const std::string& parameters,
                                  int32_t wait, int32_t /*show_command*/,
                                  const std::string& /*verb*/) {
  return ::nandell::RunProgram(file, parameters, wait != 0);
}

SettingsStore& OpenSettings(bool save_at_exit) {
  static SettingsStore store(save_at_exit);
  return store;
}

SettingsStore& Settings() {
  return OpenSettings(true);
}

}  // namespace nandell
