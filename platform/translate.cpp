// The parts of the translation that every platform shares: the language setting, the catalog's
// folders, and formatting with a translated format.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/path.h"
#include "platform/process.h"
#include "platform/translate.h"

namespace nandell {
namespace {

// One printf conversion as it decides how an argument is read: its length modifier and its
// conversion character ("d", "ld", "s", "c").
std::vector<std::string> Conversions(const char* format) {
  std::vector<std::string> found;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    std::string conversion;
    // Argument position ("1$"), flags, width and precision do not change the argument's type;
    // a "$" or "*" does change how arguments are taken, so they stay in the conversion.
    while (*p != '\0' && std::strchr("0123456789$#-+ '.*", *p) != nullptr) {
      if (*p == '$' || *p == '*') conversion += *p;
      ++p;
    }
    while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) conversion += *p++;
    if (*p == '\0') {
      found.push_back(conversion + "<end>");
      break;
    }
    found.push_back(conversion + *p);
  }
  return found;
}

}  // namespace

bool ParseLanguage(std::string_view setting, Language* language) {
  if (setting.empty() || setting == "zh_CN") {
    *language = Language::kChinese;
    return true;
  }
  if (setting == "en") {
    *language = Language::kEnglish;
    return true;
  }
  return false;
}

std::vector<std::string> CatalogFolders(const std::string& locale_dir) {
  if (!locale_dir.empty()) return {WithTrailingSeparator(locale_dir)};
  const std::string exe_dir = ExecutableDir();
  if (exe_dir.empty()) return {};
  return {exe_dir + "locale/", exe_dir + "../locale/", exe_dir + "../share/locale/"};
}

bool SameConversions(const char* a, const char* b) {
  return Conversions(a) == Conversions(b);
}

std::string TrFormat(const char* format, ...) {
  const char* translated = Tr(format);
  if (translated != format && !SameConversions(format, translated)) translated = format;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  // The format comes from the source or from a translation checked against it above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int length = std::vsnprintf(nullptr, 0, translated, args);
  std::string out;
  if (length > 0) {
    out.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(out.data(), out.size(), translated, again);
    out.resize(static_cast<size_t>(length));
  }
#pragma GCC diagnostic pop
  va_end(again);
  va_end(args);
  return out;
}

}  // namespace nandell
