#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nandell {

/// Full path of the running executable (from /proc/self/exe; on Windows from
/// GetModuleFileNameW); empty when it cannot be read.
std::string ExecutablePath();

/// The executable's folder, ending with the separator ("/", on Windows "\"); empty when the
/// path cannot be read.
std::string ExecutableDir();

/// The process's current directory, ending with the separator; empty on failure.
std::string CurrentDirectory();

/// The identifier of this process.
int64_t ProcessId();

/// Makes `path` the process's current directory. Returns false on failure.
bool SetWorkingDirectory(const std::string& path);

/// Sends `text` unchanged to the debugger output (standard error; on Windows
/// OutputDebugStringW), in one piece, so that lines of different threads do not mix.
void DebugOutput(std::string_view text);

/// The program's arguments in UTF-8, the program's name first: `argv` as given on POSIX; on
/// Windows read again from the wide command line, since `argv` holds the system code page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

/// Makes standard output and standard error carry the program's UTF-8 bytes and "\n" line
/// ends unchanged. Nothing to do on POSIX; on Windows both streams go to binary mode and a
/// console shows UTF-8 while the program runs (its code page is restored at exit).
void PrepareConsoleOutput();

/// The folder of system-wide settings files, ending with the separator: "/etc/" on POSIX,
/// the system directory (GetSystemDirectoryW) on Windows. Empty when unknown.
std::string SystemConfigDir();

/// The per-user folder for settings, ending with the separator: $XDG_CONFIG_HOME/nandell/
/// or ~/.config/nandell/ on POSIX, %APPDATA%\Nandell\ on Windows. Empty when unknown.
std::string UserConfigDir();

/// Starts `file` with `parameters` (passed as one argument, never through a shell) and, when
/// `wait` is set, waits for it to end. Returns 0, or -1 when `wait` is set and no process
/// could be started.
using ProgramLauncher =
    std::function<int32_t(const std::string& file, const std::string& parameters, bool wait)>;

/// Replaces the launcher that RunProgram uses (tests install a recording one, so no test
/// opens a real editor or browser). An empty launcher restores the desktop launcher.
/// Returns the launcher that was installed before.
ProgramLauncher SetProgramLauncher(ProgramLauncher launcher);

/// Starts a program through the installed launcher (the desktop launcher by default).
int32_t RunProgram(const std::string& file, const std::string& parameters, bool wait);

/// The desktop launcher. "notepad.exe" (any letter case, with or without ".exe") means the
/// desktop's viewer for the file named by `parameters`: `xdg-open parameters`. A file with
/// no parameters (a document, a folder or an address) is opened with `xdg-open file`.
/// Anything else is run as `file parameters` (found through PATH). Standard input is
/// /dev/null. Without `wait`, the child is reaped in the background and 0 is returned.
/// On Windows: ShellExecuteExW with the verb "open" on `file` as given ("notepad.exe" is
/// Notepad itself), `parameters` quoted as one argument; with `wait` it waits for the
/// started process.
int32_t LaunchWithDesktop(const std::string& file, const std::string& parameters, bool wait);

}  // namespace nandell
