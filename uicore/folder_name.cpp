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

namespace {

std::string FolderText(const std::string& path, const char* tail) {
  return "The folder:\n\n" + path + tail;
}

// The invalid / cannot-create message for result `r`.
void TellFolderError(int32_t r, const std::string& path, const FolderDialogue& dialogue) {
  dialogue.tell(FolderText(path, r == 1 ? "\n\nis invalid. Please reenter."
                                        : "\n\ncan not be created. Please double check."));
}

}  // namespace

int32_t ConfirmFolderPath(const std::string& path,
                          const std::function<int32_t(const char*, bool)>& check_or_create,
                          const FolderDialogue& dialogue) {
  int32_t r = check_or_create(path.c_str(), true);
  if (r != 0) {
    TellFolderError(r, path, dialogue);
    return r;
  }
  // Only a folder is accepted as it stands: a file of that name is no folder, so the question
  // comes and the creation then fails with the cannot-create message.
  if (IsFolder(path)) return 0;
  if (!dialogue.ask(FolderText(path, "\n\ndoes not exist. Do you want the folder to be created?")))
    return -1;
  r = check_or_create(path.c_str(), false);
  if (r != 0) TellFolderError(r, path, dialogue);
  return r;
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
