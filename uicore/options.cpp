#include "uicore/options.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/local_time.h"

namespace nandell {
namespace {

// A switch as the store keeps it: off is 0; on keeps a nonzero value it already had.
int32_t Switch(bool on, int32_t was) {
  return on ? (was != 0 ? was : 1) : 0;
}

// The entries of a comma-separated list, empty ones included ("" has one empty entry).
std::vector<std::string> SplitKeys(const std::string& filters) {
  std::vector<std::string> keys;
  size_t start = 0;
  for (;;) {
    const size_t comma = filters.find(',', start);
    keys.push_back(filters.substr(start, comma - start));
    if (comma == std::string::npos) return keys;
    start = comma + 1;
  }
}

int DayStart(const std::string& text) {
  int minutes = 0;
  return ParseClockText(text, &minutes) ? minutes : 0;
}

}  // namespace

OptionValues ReadOptions(const SettingsStore& settings) {
  OptionValues values;
  std::lock_guard<std::mutex> lock(settings.Mutex);
  values.file_filters = settings.FileFilters;
  values.by_year = settings.IsClassifyByYear != 0;
  for (size_t i = 0; i < kOptionSwitches.size(); ++i)
    values.switches[i] = settings.*kOptionSwitches[i].field != 0;
  values.day_start_minutes = DayStart(settings.DayStartsAt);
  values.check_version = settings.CheckVersion != 0;
  ParseLanguage(settings.Language, &values.language);
  return values;
}

void ApplyOptions(const OptionValues& values, SettingsStore* settings) {
  std::lock_guard<std::mutex> lock(settings->Mutex);
  settings->FileFilters = values.file_filters;
  settings->IsClassifyByYear = Switch(values.by_year, settings->IsClassifyByYear);
  for (size_t i = 0; i < kOptionSwitches.size(); ++i) {
    int32_t& field = settings->*kOptionSwitches[i].field;
    field = Switch(values.switches[i], field);
  }
  if (values.day_start_minutes != DayStart(settings->DayStartsAt))
    settings->DayStartsAt = ClockText(values.day_start_minutes);
  settings->CheckVersion = Switch(values.check_version, settings->CheckVersion);
  Language now = Language::kChinese;
  const bool known = ParseLanguage(settings->Language, &now);
  if (!known || now != values.language)
    settings->Language = values.language == Language::kEnglish ? "en" : "zh_CN";
}

bool HasFilterKey(const std::string& filters, const std::string& key) {
  const std::vector<std::string> keys = SplitKeys(filters);
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

std::string WithFilterKey(const std::string& filters, const std::string& key, bool on) {
  std::vector<std::string> keys;
  if (!filters.empty()) keys = SplitKeys(filters);
  if (on) {
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) return filters;
    if (!keys.empty() && keys.back().empty()) keys.pop_back();
    keys.push_back(key);
  } else {
    std::erase(keys, key);
  }
  std::string joined;
  for (size_t i = 0; i < keys.size(); ++i) joined += (i == 0 ? "" : ",") + keys[i];
  return joined;
}

}  // namespace nandell
