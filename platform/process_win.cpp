#include "platform/process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which they build on.
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/path.h"
#include "platform/windows_support.h"

namespace nandell {
namespace {

// The console's output code page before PrepareConsoleOutput changed it, 0 when unchanged.
UINT g_previous_console_code_page = 0;

void RestoreConsoleCodePage() {
  if (g_previous_console_code_page != 0) ::SetConsoleOutputCP(g_previous_console_code_page);
}

bool IsConsole(FILE* stream) {
  DWORD mode = 0;
  HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

}  // namespace

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return win::PlainPath(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

int64_t ProcessId() {
  return static_cast<int64_t>(::GetCurrentProcessId());
}

std::string CurrentDirectory() {
  const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
  if (needed == 0) return std::string();
  std::wstring buffer(needed, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
  if (length == 0 || length >= needed) return std::string();
  return WithTrailingSeparator(win::PlainPath(std::wstring_view(buffer.data(), length)));
}

bool SetWorkingDirectory(const std::string& path) {
  return !path.empty() && ::SetCurrentDirectoryW(win::WinPath(path).c_str());
}

void DebugOutput(std::string_view text) {
  ::OutputDebugStringW(win::Widen(text).c_str());
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(win::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void PrepareConsoleOutput() {
  std::fflush(stdout);
  std::fflush(stderr);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  if ((IsConsole(stdout) || IsConsole(stderr)) && ::GetConsoleOutputCP() != CP_UTF8 &&
      g_previous_console_code_page == 0) {
    const UINT previous = ::GetConsoleOutputCP();
    if (::SetConsoleOutputCP(CP_UTF8)) {
      g_previous_console_code_page = previous;
      std::atexit(RestoreConsoleCodePage);
    }
  }
}

std::string SystemConfigDir() {
  wchar_t buffer[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  return WithTrailingSeparator(win::Narrow(std::wstring_view(buffer, length)));
}

std::string UserConfigDir() {
  const DWORD needed = ::GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
  if (needed == 0) return std::string();
  std::wstring buffer(needed, L'\0');
  const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", buffer.data(), needed);
  if (length == 0 || length >= needed) return std::string();
  const std::string dir = win::Narrow(std::wstring_view(buffer.data(), length));
  // Only an absolute folder: "C:\..." or "\\server\...".
  const bool absolute = (dir.size() > 2 && dir[1] == ':' && IsPathSeparator(dir[2])) ||
                        (dir.size() > 2 && IsPathSeparator(dir[0]) && IsPathSeparator(dir[1]));
  if (!absolute) return std::string();
  return WithTrailingSeparator(dir) + "Nandell\\";
}

int32_t LaunchWithDesktop(const std::string& file, const std::string& parameters, bool wait) {
  // Shell extensions that an "open" may reach expect COM on the calling thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const std::wstring wide_file = win::Widen(file);
  const std::wstring wide_parameters =
      parameters.empty() ? std::wstring() : win::QuoteArgument(win::Widen(parameters));
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"open";
  info.lpFile = wide_file.c_str();
  info.lpParameters = wide_parameters.empty() ? nullptr : wide_parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  const bool started = ::ShellExecuteExW(&info) != FALSE;
  if (started && info.hProcess != nullptr) {
    if (wait) ::WaitForSingleObject(info.hProcess, INFINITE);
    ::CloseHandle(info.hProcess);
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return started || !wait ? 0 : -1;
}

}  // namespace nandell
