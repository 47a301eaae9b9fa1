#include "platform/path.h"

#include <utility>

#include "platform/text.h"

namespace nandell {

std::size_t LastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

bool IsAbsolutePath(std::string_view path) {
  if (!path.empty() && IsPathSeparator(path[0])) return true;
#ifdef _WIN32
  const char drive = static_cast<char>(AsciiLower(path.empty() ? '\0' : path[0]));
  return path.size() >= 3 && drive >= 'a' && drive <= 'z' && path[1] == ':' &&
         IsPathSeparator(path[2]);
#else
  return false;
#endif
}

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && !IsPathSeparator(folder.back())) folder += kPathSeparator;
  return folder;
}

std::string FolderOperand(std::string folder) {
  return WithTrailingSeparator(WithNativeSeparators(std::move(folder)));
}

std::string WithNativeSeparators(std::string path) {
  for (char& c : path) {
    if (IsPathSeparator(c)) c = kPathSeparator;
  }
  return path;
}

bool WindowsAcceptsName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
      return false;
    }
  }
  // The device names are reserved whatever follows them after a dot (or blanks before it).
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string lower = AsciiLower(stem);
  if (lower == "con" || lower == "prn" || lower == "aux" || lower == "nul") return false;
  return !(lower.size() == 4 &&
           (lower.compare(0, 3, "com") == 0 || lower.compare(0, 3, "lpt") == 0) &&
           lower[3] >= '1' && lower[3] <= '9');
}

}  // namespace nandell
