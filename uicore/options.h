#pragma once

// What the options window edits, for both windows (Qt and Windows): the file types offered as
// check boxes over the filter list, the switches with their texts, and the values read from
// and put into the settings store.

#include <array>
#include <cstdint>
#include <string>

#include "platform/translate.h"
#include "settings/settings_store.h"

namespace nandell {

/// One file type a check box stands for: its filter key (the last four characters of a file
/// name, as FileFilters lists them) and the name shown.
struct FileType {
  const char* key;
  const char* label;
};

/// The designed defaults first (.jpg .avi .mov .mp4 rmvb), then common others.
inline constexpr std::array<FileType, 16> kFileTypes = {{
    {".jpg", ".jpg"},
    {".avi", ".avi"},
    {".mov", ".mov"},
    {".mp4", ".mp4"},
    {"rmvb", ".rmvb"},
    {"jpeg", ".jpeg"},
    {"heic", ".heic"},
    {"heif", ".heif"},
    {".png", ".png"},
    {".cr2", ".cr2"},
    {".nef", ".nef"},
    {".arw", ".arw"},
    {".dng", ".dng"},
    {".3gp", ".3gp"},
    {".m4v", ".m4v"},
    {".mts", ".mts"},
}};

/// One switch of "整理方式": its Config.ini key (the store's field), its text and its line of
/// explanation (both shown translated).
struct OptionSwitch {
  const char* key;
  int32_t SettingsStore::*field;
  const char* text;
  const char* note;
};

/// The switches of "整理方式", in the order the window shows them; SkipKnown where the build has
/// the library's index.
inline constexpr auto kOptionSwitches = std::to_array<OptionSwitch>({
    {"MediaDates", &SettingsStore::MediaDates, TrNoop("从 HEIC 照片和视频中读取拍摄日期"),
     TrNoop("HEIC、WebP、RAW 照片和视频也按拍摄日期整理, 而不是按修改日期")},
    {"SidecarDates", &SettingsStore::SidecarDates, TrNoop("从附带的 XMP 或 JSON 文件中读取日期"),
     TrNoop("没有拍摄日期的文件按同名的 XMP 或 Takeout JSON 文件中的日期整理")},
    {"NameDates", &SettingsStore::NameDates, TrNoop("从文件名中读取日期"),
     TrNoop("没有拍摄日期的文件按文件名中的日期整理, 如 IMG_20200101")},
    {"SkipIdentical", &SettingsStore::SkipIdentical, TrNoop("跳过完全相同的文件"),
     TrNoop("输出目录中已有内容完全相同的文件时跳过, 不算失败")},
    {"RenameConflicts", &SettingsStore::RenameConflicts, TrNoop("重名时另取名字"),
     TrNoop("输出目录中已有同名而内容不同的文件时, 存为 名字_1.扩展名")},
    {"KeepTogether", &SettingsStore::KeepTogether, TrNoop("同名的附属文件与照片一起整理"),
     TrNoop("XMP、RAW 和实况照片的视频随照片放入同一目录, 名字相同")},
#ifdef NANDELL_WITH_LIBRARY
    {"SkipKnown", &SettingsStore::SkipKnown, TrNoop("跳过库中已有的文件"),
     TrNoop("输出目录中任何位置已有内容相同的文件时跳过, 照片不会被删除")},
#endif
});

/// The options window's other texts (shown translated where marked).
namespace option_texts {
inline constexpr const char* kTitle = TrNoop("选项");
inline constexpr const char* kFileTypes = TrNoop("整理的文件类型");
inline constexpr const char* kList = TrNoop("列表:");
inline constexpr const char* kListNote =
    TrNoop("按文件名的最后 4 个字符比较, 以逗号分隔, 如 .jpg,rmvb");
inline constexpr const char* kLayout = TrNoop("目录结构");
inline constexpr const char* kByYear = TrNoop("年/年-月-日");
inline constexpr const char* kByDay = TrNoop("年-月-日");
inline constexpr const char* kHow = TrNoop("整理方式");
inline constexpr const char* kDayStart = TrNoop("每天开始于");
inline constexpr const char* kDayStartNote =
    TrNoop("此时间之前拍摄的照片归入前一天, 一夜的照片留在同一个目录");
inline constexpr const char* kCheckVersion = TrNoop("启动时检查新版本");
/// The language row reads in both languages, and each language is named in itself, so that a
/// user who cannot read the current one still finds it.
inline constexpr const char* kLanguage = "语言 / Language";
inline constexpr const char* kChineseName = "简体中文";
inline constexpr const char* kEnglishName = "English";
inline constexpr const char* kNextStart = TrNoop("下次启动时生效");
inline constexpr const char* kOk = TrNoop("确定");
inline constexpr const char* kCancel = TrNoop("取消");
/// Shown ("提示") when Config.ini could not be written, followed by its path.
inline constexpr const char* kSaveFailed = TrNoop("选项无法写入 ");
}  // namespace option_texts

/// Longest FileFilters text the settings store reads back.
inline constexpr int kFiltersMaxLength = 1023;

/// The values the options window shows and edits.
struct OptionValues {
  std::string file_filters;
  bool by_year = true;                                  ///< IsClassifyByYear
  std::array<bool, kOptionSwitches.size()> switches{};  ///< in kOptionSwitches order
  int day_start_minutes = 0;                            ///< DayStartsAt (not "HH:MM": 0)
  bool check_version = true;                            ///< CheckVersion
  Language language = Language::kChinese;               ///< Language
};

/// The values of `settings`, read under its lock.
OptionValues ReadOptions(const SettingsStore& settings);

/// Puts `values` into `settings` under its lock (Config.ini is written by SaveOptions). A switch
/// that is on keeps a nonzero value it already had; a DayStartsAt or Language text that already
/// means the value chosen is kept as it is written.
void ApplyOptions(const OptionValues& values, SettingsStore* settings);

/// Whether the comma-separated `filters` list `key` as one of its entries.
bool HasFilterKey(const std::string& filters, const std::string& key);

/// `filters` with `key` added at its end (when `on` and missing; a trailing comma is reused) or
/// every occurrence of it removed (when not `on`); the other keys keep their order and spelling.
std::string WithFilterKey(const std::string& filters, const std::string& key, bool on);

}  // namespace nandell
