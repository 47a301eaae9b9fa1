#include "platform/fs.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace nandell::fs {
namespace {

// The folder part of `path` including its last "/", or "" when there is none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string ErrorText(int error) {
  return std::strerror(error);
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeFolder(const std::string& path, unsigned mode) {
  return ::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int PlaceNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  const int error = errno;
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return error;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

int WriteTemporary(const std::string& folder, const std::function<int(int fd)>& fill,
                   std::string* temporary, unsigned mode) {
  static std::atomic<unsigned> counter{0};
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    *temporary = folder + ".nandell-" + std::to_string(::getpid()) + "-" +
                 std::to_string(counter.fetch_add(1)) + ".part";
    fd = ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                static_cast<mode_t>(mode));
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  int error = fill(fd);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ::unlink(temporary->c_str());
  return error;
}

int ReplaceFile(const std::string& path, const std::function<int(int fd)>& fill) {
  const std::string folder = FolderOf(path);
  std::string temporary;
  int error = WriteTemporary(folder, fill, &temporary, 0666);
  if (error != 0) return error;
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(temporary.c_str());
    return error;
  }
  FlushFolder(folder);
  return 0;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

void FlushFolder(const std::string& folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string ResolvedFolder(const std::string& folder) {
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string text = resolved;
  ::free(resolved);
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

std::string LocalTimeText(int64_t seconds, const char* format) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm_local;
  char text[128];
  if (::localtime_r(&t, &tm_local) == nullptr ||
      std::strftime(text, sizeof text, format, &tm_local) == 0) {
    return std::string();
  }
  return text;
}

bool LocalDay(int64_t seconds, std::string* day, std::string* year) {
  time_t t = static_cast<time_t>(seconds);
  struct tm tm_local;
  char day_text[64];
  char year_text[32];
  if (::localtime_r(&t, &tm_local) == nullptr ||
      std::strftime(day_text, sizeof day_text, "%Y-%m-%d", &tm_local) == 0 ||
      std::strftime(year_text, sizeof year_text, "%Y", &tm_local) == 0) {
    *day = "0000-00-00";
    *year = "0000";
    return false;
  }
  *day = day_text;
  *year = year_text;
  return true;
}

}  // namespace nandell::fs
