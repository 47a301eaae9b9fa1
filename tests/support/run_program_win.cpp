#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "platform/windows_support.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

namespace nandell::test_support {
namespace {

// An inheritable handle of a file, opened for the child's standard streams.
HANDLE OpenInheritable(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(win::WinPath(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// This process's environment with `env` entries set over it, as a UTF-16 block.
std::wstring EnvironmentBlock(const std::vector<std::string>& env) {
  std::vector<std::wstring> entries;
  wchar_t* inherited = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = inherited; entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    entries.emplace_back(entry);
  }
  if (inherited != nullptr) ::FreeEnvironmentStringsW(inherited);
  for (const std::string& pair : env) {
    const std::wstring wide = win::Widen(pair);
    const std::wstring name = wide.substr(0, wide.find(L'=') + 1);
    std::erase_if(entries, [&](const std::wstring& entry) {
      return ::CompareStringOrdinal(
                 entry.c_str(), static_cast<int>(std::min(entry.size(), name.size())), name.c_str(),
                 static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
    });
    entries.push_back(wide);
  }
  std::wstring block;
  for (const std::wstring& entry : entries) block += entry + L'\0';
  block += L'\0';
  return block;
}

}  // namespace

ProgramRun RunToEnd(const std::vector<std::string>& args, const ProgramStart& start) {
  ProgramRun run;
  testing::TempDir outputs;
  if (args.empty() || outputs.path().empty()) return run;
  const std::string out_path = outputs / "out";
  const std::string err_path = outputs / "err";
  std::wstring command_line;
  for (const std::string& arg : args) {
    if (!command_line.empty()) command_line += L' ';
    command_line += win::QuoteArgument(win::Widen(arg));
  }
  HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ::SetHandleInformation(in, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  HANDLE out = OpenInheritable(out_path, true);
  HANDLE err = OpenInheritable(err_path, true);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  std::wstring environment = EnvironmentBlock(start.env);
  const std::wstring dir = win::WinPath(start.dir);
  const bool started =
      ::CreateProcessW(win::WinPath(args[0]).c_str(), command_line.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                       dir.empty() ? nullptr : dir.c_str(), &startup, &process);
  ::CloseHandle(in);
  ::CloseHandle(out);
  ::CloseHandle(err);
  if (started) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) run.exit_code = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  testing::ReadFile(out_path, &run.out);
  testing::ReadFile(err_path, &run.err);
  return run;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  // Through the C runtime, which also sets the process's own (Windows) environment.
  ::_wputenv_s(win::Widen(name).c_str(), win::Widen(value).c_str());
}

}  // namespace nandell::test_support
