#include "settings/settings_store.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

namespace fs = std::filesystem;

using testing::ReadIniText;
using testing::WriteFile;

// What the helper printed, and how it ended.
struct HelperRun {
  int status = -1;
  std::map<std::string, std::string> values;
};

struct HelperOptions {
  std::string run_dir;            // working directory it is started from
  std::vector<std::string> args;  // arguments after the program name
  std::vector<std::string> env;   // "NAME=value" pairs to set
  bool as_nobody = false;         // drop to uid/gid 65534 first (POSIX)
};

// The folder as the program itself names it, with its final separator.
std::string RealFolder(const std::string& dir) {
#ifdef _WIN32
  return dir;
#else
  return fs::canonical(dir).string() + "/";
#endif
}

// A Config.ini that the program created holds exactly these lines.
std::string CreatedConfig(const std::string& path_src, const std::string& path_tar,
                          int is_delete_src = 0) {
  return "[VovirurOrarudar]\nIsDeleteSrc=" + std::to_string(is_delete_src) +
         "\nPathSrc=" + path_src + "\nPathTar=" + path_tar +
         "\nFileFilters=.jpg,.avi,.mov,.mp4,rmvb\nIsClassifyByYear=1\n";
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    root_ = temp_.path();
#ifndef _WIN32
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
#endif
    app_ = temp_ / "app/";
    elsewhere_ = temp_ / "elsewhere/";
    fs::create_directories(app_);
    fs::create_directories(elsewhere_);
    helper_ = app_ + fs::path(SETTINGS_HELPER_PATH).filename().string();
    fs::copy_file(SETTINGS_HELPER_PATH, helper_);
    fs::permissions(helper_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(app_, fs::perms::owner_all, ec);
  }

  HelperRun RunHelper(const HelperOptions& options) {
    std::vector<std::string> command = {helper_};
    command.insert(command.end(), options.args.begin(), options.args.end());
    test_support::ProgramStart start;
    start.dir = options.run_dir;
    start.env = options.env;
#ifndef _WIN32
    start.as_nobody = options.as_nobody;
#endif
    const test_support::ProgramRun program = test_support::RunToEnd(command, start);
    HelperRun run;
    run.status = program.exit_code;
    std::istringstream lines(program.out);
    std::string line;
    while (std::getline(lines, line)) {
      std::size_t equals = line.find('=');
      if (equals != std::string::npos) run.values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return run;
  }

  testing::TempDir temp_;
  std::string root_, app_, elsewhere_, helper_;
};

TEST_F(SettingsStoreTest, NoConfigGivesDefaultsThenExactlyFiveKeysAtExit) {
  HelperRun run = RunHelper({elsewhere_, {}, {}, false});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.values["IsDeleteSrc"], "0");
  EXPECT_EQ(run.values["PathSrc"], "");
  EXPECT_EQ(run.values["PathTar"], "");
  EXPECT_EQ(run.values["FileFilters"], ".jpg,.avi,.mov,.mp4,rmvb");
  EXPECT_EQ(run.values["IsClassifyByYear"], "1");
  EXPECT_EQ(run.values["CheckVersion"], "1");
  EXPECT_EQ(run.values["Url"], kDefaultVersionUrl);
  EXPECT_EQ(std::string(kDefaultVersionUrl).substr(0, 7), "http://");
  EXPECT_NE(std::string(kDefaultVersionUrl).find("/version.asp"), std::string::npos);
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"), CreatedConfig("", ""));
}

TEST_F(SettingsStoreTest, StartedFromAnotherDirectoryFindsItsOwnConfig) {
  WriteFile(app_ + "Config.ini", "[VovirurOrarudar]\nPathSrc=/photos/\n");
  WriteFile(elsewhere_ + "Config.ini", "[VovirurOrarudar]\nPathSrc=/wrong/\n");
  HelperRun run =
      RunHelper({elsewhere_, {"PathTar=/out put/照片 2015年/", "IsDeleteSrc=1"}, {}, false});
  ASSERT_EQ(run.status, 0);
  std::string app_real = RealFolder(app_);
  EXPECT_EQ(run.values["cwd"], app_real);
  EXPECT_EQ(run.values["ModuleDir"], app_real);
  EXPECT_EQ(run.values["ConfigDir"], app_real);
  EXPECT_EQ(run.values["ExeName"], fs::path(helper_).filename().string());
  EXPECT_EQ(run.values["PathSrc"], "/photos/");
  // The window's fields, changed during the run, are what is saved.
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"),
            "[VovirurOrarudar]\nPathSrc=/photos/\nIsDeleteSrc=1\nPathTar=/out put/照片 2015年/\n"
            "FileFilters=.jpg,.avi,.mov,.mp4,rmvb\nIsClassifyByYear=1\n");
  EXPECT_EQ(ReadIniText(elsewhere_ + "Config.ini"), "[VovirurOrarudar]\nPathSrc=/wrong/\n");
}

TEST_F(SettingsStoreTest, HandEditedKeysSurviveAndIntegersAreNormalised) {
  WriteFile(app_ + "Config.ini",
            "; edited by hand\r\n"
            "[vovirurorarudar]\r\n"
            "CheckVersion=0\r\n"
            "Url = \"http://127.0.0.1:9/version.asp\"\r\n"
            "IsClassifyByYear=01\r\n"
            "FileFilters=\r\n"
            "IsDeleteSrc=abc\r\n"
            "Unknown=kept\r\n");
  HelperRun run = RunHelper({elsewhere_, {}, {}, false});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.values["CheckVersion"], "0");
  EXPECT_EQ(run.values["Url"], "http://127.0.0.1:9/version.asp");
  EXPECT_EQ(run.values["IsClassifyByYear"], "1");
  EXPECT_EQ(run.values["FileFilters"], "");  // empty stays empty, not the default
  EXPECT_EQ(run.values["IsDeleteSrc"], "0");
#ifdef _WIN32
  // The system's writer lays the file out in its own way; what it holds is the same.
  SettingsStore again(app_, false);
  EXPECT_EQ(again.CheckVersion, 0);
  EXPECT_EQ(again.Url, "http://127.0.0.1:9/version.asp");
  const std::string text = ReadIniText(app_ + "Config.ini");
  for (const char* line : {"; edited by hand\n", "\nIsClassifyByYear=1\n", "\nIsDeleteSrc=0\n",
                           "\nUnknown=kept\n", "\nFileFilters=\n", "\nPathSrc=\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
  }
#else
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"),
            "; edited by hand\n"
            "[vovirurorarudar]\n"
            "CheckVersion=0\n"
            "Url = \"http://127.0.0.1:9/version.asp\"\n"
            "IsClassifyByYear=1\n"
            "FileFilters=\n"
            "IsDeleteSrc=0\n"
            "Unknown=kept\n"
            "PathSrc=\n"
            "PathTar=\n");
#endif
}

TEST_F(SettingsStoreTest, YearGroupingOffIsReadAndWrittenBack) {
  WriteFile(app_ + "Config.ini", "[VovirurOrarudar]\nIsClassifyByYear=0\n");
  {
    SettingsStore store(app_, true);
    EXPECT_EQ(store.IsClassifyByYear, 0);
    EXPECT_EQ(store.ConfigPath(), app_ + "Config.ini");
  }
  SettingsStore again(app_, false);
  EXPECT_EQ(again.IsClassifyByYear, 0);
  EXPECT_NE(ReadIniText(app_ + "Config.ini").find("IsClassifyByYear=0\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, OptionKeysDefaultOffAndSaveOptionsKeepsEveryOtherLine) {
  const std::string original =
      "; mine\n[VovirurOrarudar]\nPathSrc=/p/\nUnknown=kept\nSkipIdentical=1\n";
  WriteFile(app_ + "Config.ini", original);
  SettingsStore store(app_, false);
  EXPECT_EQ(store.MediaDates, 0);
  EXPECT_EQ(store.SkipIdentical, 1);
  EXPECT_EQ(store.RenameConflicts, 0);
  EXPECT_EQ(store.Language, "");
  // The reader's store never writes at exit; SaveOptions writes when asked.
  store.MediaDates = 1;
  store.Language = "en";
  store.FileFilters = ".jpg,heic";
  ASSERT_TRUE(store.SaveOptions());
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"),
            "; mine\n[VovirurOrarudar]\nPathSrc=/p/\nUnknown=kept\nSkipIdentical=1\n"
            "FileFilters=.jpg,heic\nIsClassifyByYear=1\nCheckVersion=1\nMediaDates=1\n"
            "RenameConflicts=0\nLanguage=en\n");
  SettingsStore again(app_, false);
  EXPECT_EQ(again.MediaDates, 1);
  EXPECT_EQ(again.Language, "en");
}

// The date keys, KeepTogether and SkipKnown, added later, are written once they are set, and then
// kept up to date; a file saved with them at their defaults gains nothing.
TEST_F(SettingsStoreTest, AddedKeysAreWrittenOnlyOnceTheyAreSet) {
  WriteFile(app_ + "Config.ini", "[VovirurOrarudar]\nSidecarDates=0\n");
  SettingsStore store(app_, false);
  EXPECT_EQ(store.NameDates, 0);
  EXPECT_EQ(store.SidecarDates, 0);
  EXPECT_EQ(store.DayStartsAt, "");
  const std::string designed =
      "[VovirurOrarudar]\nSidecarDates=0\nFileFilters=.jpg,.avi,.mov,.mp4,rmvb\n"
      "IsClassifyByYear=1\nCheckVersion=1\nMediaDates=0\nSkipIdentical=0\nRenameConflicts=0\n"
      "Language=\n";
  ASSERT_TRUE(store.SaveOptions());
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"), designed);  // the key it held stays, as it was
  store.NameDates = 1;
  store.DayStartsAt = "04:00";
  store.KeepTogether = 1;
  store.SkipKnown = 1;
  ASSERT_TRUE(store.SaveOptions());
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"),
            designed + "NameDates=1\nDayStartsAt=04:00\nKeepTogether=1\nSkipKnown=1\n");
  store.NameDates = 0;
  store.DayStartsAt.clear();
  store.KeepTogether = 0;
  store.SkipKnown = 0;
  ASSERT_TRUE(store.SaveOptions());
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"),
            designed + "NameDates=0\nDayStartsAt=\nKeepTogether=0\nSkipKnown=0\n");
  WriteFile(app_ + "Config.ini",
            "[VovirurOrarudar]\nNameDates=1\nSidecarDates=2\n"
            "DayStartsAt=03:30\nKeepTogether=1\nSkipKnown=1\n");
  SettingsStore again(app_, false);
  EXPECT_EQ(again.KeepTogether, 1);
  EXPECT_EQ(again.SkipKnown, 1);
  EXPECT_EQ(again.NameDates, 1);
  EXPECT_EQ(again.SidecarDates, 2);
  EXPECT_EQ(again.DayStartsAt, "03:30");
}

TEST_F(SettingsStoreTest, LongTextsAreCutTo1023Bytes) {
  std::string long_path = "/" + std::string(2000, 'p');
  WriteFile(app_ + "Config.ini", "[VovirurOrarudar]\nPathSrc=" + long_path + "\n");
  SettingsStore store(app_, false);
  EXPECT_EQ(store.PathSrc, long_path.substr(0, 1023));
}

TEST_F(SettingsStoreTest, ReaderStoreNeverWritesAndKeepsWorkingDirectory) {
  HelperRun run = RunHelper({elsewhere_, {"--reader"}, {}, false});
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.values["cwd"], RealFolder(elsewhere_));
  EXPECT_EQ(run.values["ModuleDir"], RealFolder(app_));
  EXPECT_EQ(run.values["FileFilters"], ".jpg,.avi,.mov,.mp4,rmvb");
  EXPECT_FALSE(PathExists(app_ + "Config.ini"));
}

#ifndef _WIN32
// The per-user folder is taken when the program's folder cannot be written: tried as the
// unprivileged user with XDG_CONFIG_HOME and HOME. (Under Wine the tests run as root, whom
// no folder refuses.)

TEST_F(SettingsStoreTest, UnwritableProgramFolderUsesPerUserFolder) {
  std::string xdg = temp_ / "xdg";
  std::string home = temp_ / "home";
  fs::create_directories(xdg);
  fs::create_directories(home);
  HelperOptions options{elsewhere_, {"PathSrc=/p/"}, {"XDG_CONFIG_HOME=" + xdg}, false};
  if (geteuid() == 0) {
    ASSERT_EQ(chown(xdg.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    options.as_nobody = true;
  } else {
    ASSERT_EQ(chmod(app_.c_str(), 0555), 0);
  }
  HelperRun run = RunHelper(options);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.values["ConfigDir"], xdg + "/nandell/");
  EXPECT_EQ(run.values["cwd"], fs::canonical(app_).string() + "/");
  EXPECT_EQ(ReadIniText(xdg + "/nandell/Config.ini"), CreatedConfig("/p/", ""));
  EXPECT_FALSE(fs::exists(app_ + "Config.ini"));

  // Without XDG_CONFIG_HOME the folder is ~/.config/nandell/.
  options.env = {"HOME=" + home, "XDG_CONFIG_HOME="};
  run = RunHelper(options);
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.values["ConfigDir"], home + "/.config/nandell/");
  EXPECT_EQ(ReadIniText(home + "/.config/nandell/Config.ini"), CreatedConfig("/p/", ""));
}

TEST_F(SettingsStoreTest, ConfigBesideUnwritableProgramIsStillTheOneUsed) {
  const std::string original = "[VovirurOrarudar]\nPathSrc=/beside/\n";
  WriteFile(app_ + "Config.ini", original);
  std::string xdg = temp_ / "xdg";
  fs::create_directories(xdg);
  HelperOptions options{elsewhere_, {"PathSrc=/changed/"}, {"XDG_CONFIG_HOME=" + xdg}, false};
  if (geteuid() == 0) {
    ASSERT_EQ(chown(xdg.c_str(), 65534, 65534), 0);
    options.as_nobody = true;
  } else {
    ASSERT_EQ(chmod(app_.c_str(), 0555), 0);
  }
  HelperRun run = RunHelper(options);
  ASSERT_EQ(run.status, 0);  // the failed save is silent
  EXPECT_EQ(run.values["ConfigDir"], fs::canonical(app_).string() + "/");
  EXPECT_EQ(run.values["PathSrc"], "/changed/");
  EXPECT_EQ(ReadIniText(app_ + "Config.ini"), original);
  EXPECT_FALSE(fs::exists(xdg + "/nandell/Config.ini"));
}

#endif

TEST_F(SettingsStoreTest, RunProgramGoesThroughTheLauncherSeam) {
  std::string seen;
  bool seen_wait = true;
  ProgramLauncher previous =
      SetProgramLauncher([&](const std::string& file, const std::string& params, bool wait) {
        seen = file + "|" + params;
        seen_wait = wait;
        return 0;
      });
  EXPECT_EQ(SettingsStore::RunProgram("notepad.exe", "/x y/errorFile.txt", 0, 1, "open"), 0);
  EXPECT_EQ(seen, "notepad.exe|/x y/errorFile.txt");
  EXPECT_FALSE(seen_wait);
  SetProgramLauncher(previous);
}

}  // namespace
}  // namespace nandell
