#include "platform/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/file.h"
#include "platform/file_private.h"
#include "platform/text.h"

namespace nandell {
namespace {

void SetError(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + ErrorText(err);
}

// Serialises read-modify-write cycles of WriteIniString within the process.
std::mutex& WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

bool IniFile::Load(const std::string& path, std::string* error) {
  lines_.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    SetError(error, "cannot open " + path, errno);
    return false;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      SetError(error, "cannot read " + path, err);
      return false;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  Parse(text);
  return true;
}

bool IniFile::Save(const std::string& path, std::string* error) const {
  if (path.empty()) {
    if (error) *error = "empty path";
    return false;
  }
  std::string target = path;
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
      SetError(error, "cannot resolve " + path, errno);
      return false;
    }
    target = resolved;
  }
  bool exists = ::stat(target.c_str(), &st) == 0;
  // A file that may not be written is left as it is, as a direct write would leave it;
  // replacing it by a rename would override its protection.
  if (exists && ::access(target.c_str(), W_OK) != 0) {
    SetError(error, "cannot write " + target, errno);
    return false;
  }
  const std::string text = Text();
  const int err = posix::ReplaceFile(target, [&](int fd) {
    if (!posix::WriteAll(fd, text.data(), text.size())) return errno;
    // Keeping the old permission bits is best effort; the content matters more.
    if (exists) (void)::fchmod(fd, st.st_mode & 07777);
    return 0;
  });
  if (err != 0) {
    SetError(error, "cannot write " + target, err);
    return false;
  }
  return true;
}

std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view default_value, std::size_t buffer_size) {
  IniFile file;
  std::optional<std::string> value;
  if (file.Load(path)) value = file.Get(section, key);
  std::string result = value ? std::move(*value) : std::string(default_value);
  CutUtf8(result, buffer_size == 0 ? 0 : buffer_size - 1);
  return result;
}

int32_t ReadIniInt(const std::string& path, std::string_view section, std::string_view key,
                   int32_t default_value) {
  IniFile file;
  if (!file.Load(path)) return default_value;
  std::optional<std::string> value = file.Get(section, key);
  if (!value || value->empty()) return default_value;
  return ParseInt32(*value, IntOverflow::kWrap);
}

bool WriteIniStrings(const std::string& path, std::string_view section,
                     const std::vector<std::pair<std::string, std::string>>& entries,
                     std::string* error) {
  std::lock_guard<std::mutex> lock(WriteMutex());
  IniFile file;
  if (!file.Load(path, error)) return false;
  bool all_set = true;
  bool any_set = false;
  for (const auto& [key, value] : entries) {
    if (file.Set(section, key, value)) {
      any_set = true;
    } else {
      all_set = false;
    }
  }
  if (!all_set && error) *error = "invalid section, key or value";
  if (any_set && !file.Save(path, error)) return false;
  return all_set;
}

}  // namespace nandell
