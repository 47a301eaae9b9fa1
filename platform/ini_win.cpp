#include "platform/ini.h"

#include <windows.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <mutex>

#include "platform/file.h"
#include "platform/windows_support.h"

namespace nandell {
namespace {

void SetError(std::string* error, const std::string& what, DWORD code) {
  if (error) *error = what + ": " + ErrorText(win::ErrorResult(code));
}

// Serialises read-modify-write cycles of WriteIniStrings within the process.
std::mutex& WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

// Closes a handle on scope exit.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    if (!ok()) return true;
    const bool closed = ::CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

bool ReadAll(HANDLE handle, std::string* bytes) {
  char buffer[8192];
  DWORD got = 0;
  while (::ReadFile(handle, buffer, sizeof buffer, &got, nullptr)) {
    if (got == 0) return true;
    bytes->append(buffer, got);
  }
  return false;
}

bool WriteAll(HANDLE handle, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > INT_MAX ? INT_MAX : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// An INI file's text the way the private-profile calls read it: UTF-16 after its byte-order
// mark FF FE, UTF-8 after its mark EF BB BF, otherwise in the system code page.
std::wstring ProfileText(const std::string& bytes) {
  if (bytes.size() >= 2 && bytes.compare(0, 2, "\xFF\xFE") == 0) {
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    return text;
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    return win::Widen(std::string_view(bytes).substr(3));
  }
  return win::FromCodePage(bytes, CP_ACP);
}

}  // namespace

std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view default_value, std::size_t buffer_size) {
  const DWORD size = buffer_size == 0 ? 1 : buffer_size > INT_MAX ? INT_MAX : buffer_size;
  std::wstring buffer(size, L'\0');
  DWORD length = ::GetPrivateProfileStringW(win::Widen(section).c_str(), win::Widen(key).c_str(),
                                            win::Widen(default_value).c_str(), buffer.data(), size,
                                            win::WinPath(path).c_str());
  // A character cut in half by the buffer is dropped whole.
  if (length > 0 && buffer[length - 1] >= 0xD800 && buffer[length - 1] <= 0xDBFF) --length;
  std::string result = win::Narrow(std::wstring_view(buffer.data(), length));
  CutUtf8(result, buffer_size == 0 ? 0 : buffer_size - 1);
  return result;
}

int32_t ReadIniInt(const std::string& path, std::string_view section, std::string_view key,
                   int32_t default_value) {
  return static_cast<int32_t>(::GetPrivateProfileIntW(win::Widen(section).c_str(),
                                                      win::Widen(key).c_str(), default_value,
                                                      win::WinPath(path).c_str()));
}

bool WriteIniStrings(const std::string& path, std::string_view section,
                     const std::vector<std::pair<std::string, std::string>>& entries,
                     std::string* error) {
  std::lock_guard<std::mutex> lock(WriteMutex());
  std::vector<std::pair<std::wstring, std::wstring>> writable;
  bool all_set = true;
  for (const auto& [key, value] : entries) {
    if (IsWritableIniEntry(section, key, value)) {
      writable.emplace_back(win::Widen(key), win::Widen(QuoteIniValue(value)));
    } else {
      all_set = false;
    }
  }
  if (!all_set && error) *error = "invalid section, key or value";
  if (writable.empty()) return all_set;
  const std::wstring target = win::WinPath(path);
  if (target.empty()) {
    if (error) *error = "empty path";
    return false;
  }

  // A file that may not be written is left as it is, as a direct write would leave it;
  // replacing it by a rename would override its protection.
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    SetError(error, "cannot write " + path, ERROR_ACCESS_DENIED);
    return false;
  }
  std::wstring text;
  if (exists) {
    Handle original(::CreateFileW(target.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    std::string bytes;
    if (!original.ok() || !ReadAll(original.get(), &bytes)) {
      SetError(error, "cannot read " + path, ::GetLastError());
      return false;
    }
    text = ProfileText(bytes);
  }

  // The keys are written into a copy beside the file, kept in UTF-16 (its byte-order mark
  // makes the private-profile calls write UTF-16), which then replaces the file at once.
  const std::size_t slash = target.rfind(L'\\');
  const std::wstring folder = target.substr(0, slash + 1);
  const std::wstring base = target.substr(slash + 1);
  static std::atomic<unsigned> counter{0};
  std::wstring temp;
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD create_error = ERROR_FILE_EXISTS;
  for (int attempt = 0;
       attempt < 100 && handle == INVALID_HANDLE_VALUE && create_error == ERROR_FILE_EXISTS;
       ++attempt) {
    temp = folder + L"." + base + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(counter.fetch_add(1));
    handle = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) create_error = ::GetLastError();
  }
  Handle file(handle);
  if (!file.ok()) {
    SetError(error, "cannot create a temporary file beside " + path, create_error);
    return false;
  }
  bool ok = WriteAll(file.get(), "\xFF\xFE", 2) &&
            WriteAll(file.get(), reinterpret_cast<const char*>(text.data()),
                     text.size() * sizeof(wchar_t));
  DWORD failure = ok ? ERROR_SUCCESS : ::GetLastError();
  if (!file.Close() && ok) {
    ok = false;
    failure = ::GetLastError();
  }
  const std::wstring wide_section = win::Widen(section);
  for (const auto& [key, value] : writable) {
    if (!ok) break;
    if (!::WritePrivateProfileStringW(wide_section.c_str(), key.c_str(), value.c_str(),
                                      temp.c_str())) {
      ok = false;
      failure = ::GetLastError();
    }
  }
  if (ok) {
    Handle flush(::CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!flush.ok() || !::FlushFileBuffers(flush.get())) {
      ok = false;
      failure = ::GetLastError();
    }
  }
  if (ok && !::MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    failure = ::GetLastError();
  }
  if (!ok) {
    ::DeleteFileW(temp.c_str());
    SetError(error, "cannot write " + path, failure);
    return false;
  }
  return all_set;
}

}  // namespace nandell
