#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace nandell {

/// The process-wide store of the user's folders, the filter list and the switches, backed by
/// Config.ini (section "VovirurOrarudar"). Fields are public and read and written directly by
/// their users. Fields written after start-up by one thread while another reads them are
/// guarded by `Mutex` (the window's three fields at close, the version check's reply fields).
class SettingsStore {
 public:
  /// With `save_at_exit` true, the program's own store: LocateModule (which makes ModuleDir
  /// the current directory), then Load; Config.ini is saved by the destructor.
  /// With `save_at_exit` false, a reader's store for command-line tools: ModuleDir, ExeName
  /// and ConfigDir are found the same way, but the current directory is left alone and
  /// Config.ini is never written.
  explicit SettingsStore(bool save_at_exit = true);

  /// A store on an explicit folder (a separator is added when missing), for tests and tools:
  /// ModuleDir and ConfigDir are `module_dir`, the current directory is not changed; then Load.
  SettingsStore(std::string module_dir, bool save_at_exit);

  virtual ~SettingsStore();

  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  /// Fills ModuleDir and ExeName from the executable's path (ExecutablePath), makes ModuleDir
  /// the current directory (its result ignored), picks ConfigDir, and returns a copy of
  /// ModuleDir.
  std::string LocateModule();

  /// Reads the seven designed keys of Config.ini in ConfigDir, and the option keys below
  /// (MediaDates, SkipIdentical, RenameConflicts, Language, NameDates, SidecarDates,
  /// DayStartsAt, KeepTogether, SkipKnown), with their defaults.
  void Load();

  /// Writes the five user-changeable keys to Config.ini in ConfigDir, in the order IsDeleteSrc,
  /// PathSrc, PathTar, FileFilters, IsClassifyByYear; Url and CheckVersion are never written.
  /// Creates ConfigDir when it is the per-user folder. Returns false when any key could not
  /// be written (nothing is reported to the user).
  bool Save() const;

  /// Writes the keys the options window edits (FileFilters, IsClassifyByYear, CheckVersion,
  /// MediaDates, SkipIdentical, RenameConflicts, Language, then NameDates, SidecarDates,
  /// DayStartsAt, KeepTogether and SkipKnown) to Config.ini at once, in one atomic replacement
  /// that keeps every other line. The last five are written only when they differ from their
  /// defaults or the file holds them already, so that a file saved with them off stays as it
  /// was. Returns false when any key could not be written.
  bool SaveOptions() const;

  /// Starts `file` with `parameters` through the desktop's shell launcher (the platform seam
  /// RunProgram of platform/process.h, which opens with the verb "open" on Windows);
  /// `show_command` and `verb` are not passed on. Returns 0, or -1 when `wait` is set and no
  /// process could be started.
  static int32_t RunProgram(const std::string& file, const std::string& parameters, int32_t wait,
                            int32_t show_command, const std::string& verb);

  /// Creates ConfigDir when it is the per-user folder and missing (mode 0700, with every
  /// missing level above it). Returns false when it could not be made.
  bool MakeConfigDir() const;

  /// Full path of Config.ini.
  std::string ConfigPath() const { return ConfigDir + "Config.ini"; }

  std::string ModuleDir;  ///< The executable's folder, ending with the separator.
  std::string ExeName;    ///< The executable's file name.
  /// Where Config.ini and errorFile.txt live, ending with the separator: ModuleDir when it can
  /// be written or already holds Config.ini, else the per-user folder (UserConfigDir:
  /// $XDG_CONFIG_HOME/nandell/, by default ~/.config/nandell/; %APPDATA%\Nandell\ on
  /// Windows), created by the program's own store, and by MakeConfigDir before a file is
  /// written there. A program installed among the system's programs (/usr/bin,
  /// /usr/local/bin, the configured install folder) always uses the per-user folder.
  std::string ConfigDir;
  int32_t IsDeleteSrc = 0;
  std::string PathSrc;
  std::string PathTar;
  std::string FileFilters;
  int32_t IsClassifyByYear = 1;
  std::string Url;
  std::string ReplyUrl;
  int32_t ReplyWidth = 0;
  int32_t ReplyHeight = 0;
  int32_t ReplyTime = 0;
  int32_t CheckVersion = 1;
  // Switches beyond the designed ones; each default keeps the designed behaviour.
  int32_t MediaDates = 0;       ///< 1: dates of HEIC/WebP/raw photos and videos are read too.
  int32_t SkipIdentical = 0;    ///< 1: a target holding the same bytes is skipped, not failed.
  int32_t RenameConflicts = 0;  ///< 1: a target holding other bytes makes the file take NAME_1.EXT.
  std::string Language;         ///< "" or "zh_CN": the designed Chinese; "en": English.
  int32_t NameDates = 0;        ///< 1: a file without a date of its own goes by its name's date.
  int32_t SidecarDates = 0;     ///< 1: ... by its XMP or Takeout JSON sidecar's date first.
  std::string DayStartsAt;      ///< "HH:MM" at which a day begins; "" (or "00:00"): midnight.
  int32_t KeepTogether = 0;     ///< 1: sidecars, raw+JPEG pairs and Live Photos go as one group.
  int32_t SkipKnown = 0;        ///< 1: a file whose content is anywhere in the output is skipped.

  /// Guards the fields that one thread writes after start-up while another reads them.
  mutable std::mutex Mutex;

 private:
  void FindModule();
  void ChooseConfigDir(bool create);
  bool SaveKeys(const std::vector<std::pair<std::string, std::string>>& keys) const;

  bool save_at_exit_;
};

/// The process-wide store, constructed on the first call of Settings or OpenSettings (the
/// GUI program calls Settings before anything else) and saved when the process exits
/// normally. Same as OpenSettings(true).
SettingsStore& Settings();

/// Constructs the process-wide store as SettingsStore(save_at_exit) if it does not exist
/// yet, and returns it; a later call returns the same store whatever it asks for. The command
/// line calls OpenSettings(false) first, so that the store never writes Config.ini and the
/// current directory stays where the user started it.
SettingsStore& OpenSettings(bool save_at_exit);

/// The section of Config.ini that holds every key.
inline constexpr const char* kSettingsSection = "VovirurOrarudar";

/// The default filter list.
inline constexpr const char* kDefaultFileFilters = ".jpg,.avi,.mov,.mp4,rmvb";

/// The default address of the version page, on the reserved ".example" domain that never
/// resolves, so that a check that nobody configured fails quietly.
inline constexpr const char* kDefaultVersionUrl = "http://nandell.example/version.asp";

}  // namespace nandell
