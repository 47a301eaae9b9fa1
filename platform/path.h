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

/// True when `path` is absolute: on POSIX it begins with "/"; on Windows with a separator
/// (a UNC or long path, or the current drive's root) or a drive letter, ":" and a separator.
bool IsAbsolutePath(std::string_view path);

/// `folder` ending with a separator: the native one is added when it ends with none. An empty
/// text stays empty.
std::string WithTrailingSeparator(std::string folder);

/// `path` with every separator written as this platform's own (on Windows "/" becomes "\";
/// elsewhere unchanged).
std::string WithNativeSeparators(std::string path);

/// The folder text `folder` as a run or a command uses it: written with this platform's
/// separators (on Windows "/" becomes "\"), and one appended unless it is empty or already ends
/// with one.
std::string FolderOperand(std::string folder);

/// True when Windows can hold a file or folder named `name`: not empty, no control character
/// and none of <>:"/\|?*, not ending with a dot or a blank, and not a device name (CON, PRN,
/// AUX, NUL, COM1-COM9, LPT1-LPT9, also with an extension), in any letter case.
bool WindowsAcceptsName(std::string_view name);

}  // namespace nandell
