#include "uicore/folder_name.h"

#include <cstring>

namespace nandell {

bool IsValidFolderName(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  const size_t length = std::strlen(name);
  auto edge = [](char c) { return c == '\t' || c == ' ' || c == '.'; };
  if (edge(name[0]) || edge(name[length - 1])) return false;
  return std::strpbrk(name, "\"*/:<>?\\|") == nullptr;
}

}  // namespace nandell
