// Translation through the C library's gettext. The language is the program's own choice, never
// the system locale's: with Chinese no catalog is asked at all; with English the message locale
// is made C.UTF-8 (gettext ignores LANGUAGE under the "C" locale, which a process without LANG
// has) and LANGUAGE is set to "en", so that nothing the user's environment holds can pick
// another catalog.
#include <libintl.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/file.h"
#include "platform/translate.h"

extern char** environ;

namespace nandell {
namespace {

std::atomic<Language> g_language{Language::kChinese};

// LANGUAGE as the user's environment had it, once SetLanguage has replaced it.
std::mutex g_user_language_mutex;
bool g_language_replaced = false;
std::optional<std::string> g_user_language;

constexpr const char* kCatalogFile = "en/LC_MESSAGES/nandell.mo";

// A message locale under which gettext honours LANGUAGE whatever the environment says:
// C.UTF-8, built into the C library since glibc 2.35 ("C.utf8" is another spelling of it).
// The system's own messages (strerror) are English under it, like the rest.
bool UseMessageLocale(std::string* error) {
  for (const char* name : {"C.UTF-8", "C.utf8"}) {
    if (std::setlocale(LC_MESSAGES, name) != nullptr) return true;
  }
  *error = "the C library has no C.UTF-8 locale";
  return false;
}

}  // namespace

bool SetLanguage(Language language, const std::string& locale_dir, std::string* error) {
  if (language == Language::kChinese) {
    g_language.store(Language::kChinese);
    return true;
  }
  std::string found;
  for (const std::string& folder : CatalogFolders(locale_dir)) {
    if (PathExists(folder + kCatalogFile)) {
      found = folder;
      break;
    }
  }
  if (found.empty()) {
    *error = std::string("no English catalog (") + kCatalogFile + ") found";
    return false;
  }
  if (!UseMessageLocale(error)) return false;
  if (bindtextdomain(kTextDomain, found.c_str()) == nullptr ||
      bind_textdomain_codeset(kTextDomain, "UTF-8") == nullptr) {
    *error = "the catalog in " + found + " cannot be used";
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(g_user_language_mutex);
    if (!g_language_replaced) {
      const char* user = std::getenv("LANGUAGE");
      if (user != nullptr) g_user_language = user;
      g_language_replaced = true;
    }
  }
  const char* now = std::getenv("LANGUAGE");
  if (now == nullptr || std::strcmp(now, "en") != 0) setenv("LANGUAGE", "en", 1);
  g_language.store(Language::kEnglish);
  return true;
}

Language CurrentLanguage() {
  return g_language.load();
}

const char* Tr(const char* source) {
  if (g_language.load() == Language::kChinese) return source;
  return dgettext(kTextDomain, source);
}

std::vector<std::string> UserEnvironment() {
  std::vector<std::string> out;
  std::lock_guard<std::mutex> lock(g_user_language_mutex);
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (g_language_replaced && std::strncmp(*entry, "LANGUAGE=", 9) == 0) continue;
    out.emplace_back(*entry);
  }
  if (g_language_replaced && g_user_language) out.push_back("LANGUAGE=" + *g_user_language);
  return out;
}

}  // namespace nandell
