#include "uicore/folder_name.h"

#include <cstring>

#include "platform/file.h"

namespace nandell {

bool IsValidFolderName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  const size_t length = std::strlen(name);
  auto edge = [](char c) { return c == '\t' || c == ' ' || c == '.'; };
  if (edge(name[0]) || edge(name[length - 1])) return false;
  return std::strpbrk(name, "\"*/:<>?\\|") == nullptr;
}

int32_t CheckOrCreateBelowRoot(const std::string& path, size_t root_length, char separator,
                               bool check_only) {
  bool valid = true;
  size_t valid_end = path.size();
  for (size_t start = root_length;;) {
    const size_t slash = path.find(separator, start);
    const size_t end = slash == std::string::npos ? path.size() : slash;
    if (!IsValidFolderName(path.substr(start, end - start).c_str())) {
      valid = false;
      valid_end = start - 1;
      break;
    }
    if (slash == std::string::npos) break;
    if (slash + 1 == path.size()) {
      valid = false;
      valid_end = slash;
      break;
    }
    start = slash + 1;
  }
  // Creating makes the levels before the first invalid one; what counts is that each is a
  // folder afterwards.
  if (!check_only && valid_end >= root_length && !MakeFolders(path.substr(0, valid_end), 0777))
    return 2;
  return valid ? 0 : 1;
}

}  // namespace nandell
