#pragma once

// Folder separators. POSIX paths use "/"; on Windows "\" is the native separator and "/" is
// accepted as well wherever a path is read.

#include <cstddef>
#include <string>
#include <string_view>

namespace nandell {

#ifdef _WIN32
/// The separator this platform writes between folder names.
inline constexpr char kPathSeparator = '\\';
#else
/// The separator this platform writes between folder names.
inline constexpr char kPathSeparator = '/';
#endif

/// True when `c` separates folder names on this platform ("/", and on Windows also "\").
constexpr bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

/// Position of the last separator in `path`, or npos when it has none.
std::size_t LastSeparator(std::string_view path);

/// `folder` ending with a separator: the native one is added when it ends with none. An empty
/// text stays empty.
std::string WithTrailingSeparator(std::string folder);

}  // namespace nandell
