// Translation on Windows, whose C library has no gettext: the English catalog is read by our
// own reader and looked up in memory.
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/file.h"
#include "platform/mo_catalog.h"
#include "platform/translate.h"

namespace nandell {
namespace {

constexpr const char* kCatalogFile = "en/LC_MESSAGES/nandell.mo";

std::atomic<Language> g_language{Language::kChinese};
// The catalog in use. Every catalog read is kept, by its path, to the end of the process, so
// that a text Tr returned stays valid when another catalog is chosen.
std::atomic<const MoCatalog*> g_catalog{nullptr};
std::mutex g_catalogs_mutex;

}  // namespace

bool SetLanguage(Language language, const std::string& locale_dir, std::string* error) {
  if (language == Language::kChinese) {
    g_language.store(Language::kChinese);
    return true;
  }
  static std::map<std::string, std::unique_ptr<MoCatalog>> catalogs;
  std::lock_guard<std::mutex> lock(g_catalogs_mutex);
  std::string problem;
  for (const std::string& folder : CatalogFolders(locale_dir)) {
    const std::string path = folder + kCatalogFile;
    if (!PathExists(path)) continue;
    std::unique_ptr<MoCatalog>& catalog = catalogs[path];
    if (catalog == nullptr) {
      auto read = std::make_unique<MoCatalog>();
      if (!read->Load(path, &problem)) continue;
      catalog = std::move(read);
    }
    g_catalog.store(catalog.get());
    g_language.store(Language::kEnglish);
    return true;
  }
  *error =
      problem.empty() ? std::string("no English catalog (") + kCatalogFile + ") found" : problem;
  return false;
}

Language CurrentLanguage() {
  return g_language.load();
}

const char* Tr(const char* source) {
  const MoCatalog* catalog = g_catalog.load();
  if (g_language.load() == Language::kChinese || catalog == nullptr) return source;
  const char* translated = catalog->Find(source);
  return translated != nullptr ? translated : source;
}

}  // namespace nandell
