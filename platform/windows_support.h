#pragma once

// Windows only. Texts are UTF-8 inside the program and UTF-16 at every Windows call; these
// are the conversions, the Windows form of a path, the error results that stand for Windows
// error codes (worded by ErrorText, platform/file.h), and the quoting of a command line's
// arguments.

#ifndef _WIN32
#error "platform/windows_support.h is for Windows builds only"
#endif

#include <string>
#include <string_view>

namespace nandell::win {

/// `text` (UTF-8) as UTF-16. A byte that is not valid UTF-8 becomes U+FFFD.
std::wstring Widen(std::string_view text);

/// `bytes` in the Windows code page `code_page` (CP_ACP: the system's) as UTF-16.
std::wstring FromCodePage(std::string_view bytes, unsigned code_page);

/// `text` (UTF-16) as UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);

/// `path` as the wide Windows file calls take it: "/" becomes "\", a relative path is made
/// absolute against the current directory, and a path too long for the plain form (260
/// characters with its folder's room) gets the "\\?\" prefix ("\\?\UNC\" for a network
/// path). Empty stays empty.
std::wstring WinPath(std::string_view path);

/// `path` (UTF-16) as UTF-8, with a "\\?\" or "\\?\UNC\" prefix taken off.
std::string PlainPath(std::wstring_view path);

/// The errno value (ENOENT, EACCES, EEXIST, ...) that stands for a Windows error code, or 0
/// when there is none.
int ErrnoOf(unsigned long code);

/// Error results of the file operations that stand for a Windows error code without an errno
/// value: this base plus the code (errno values and the run's own codes stay below it).
inline constexpr int kWindowsErrorBase = 1 << 24;

/// The error result of a Windows error code: its errno value (ErrnoOf) where it has one, else
/// kWindowsErrorBase + `code`.
int ErrorResult(unsigned long code);

/// `argument` quoted for a Windows command line, so that the program receives it as one
/// argument, unchanged (the rules of CommandLineToArgvW and the C runtime).
std::wstring QuoteArgument(std::wstring_view argument);

}  // namespace nandell::win
