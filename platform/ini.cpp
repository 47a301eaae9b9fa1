#include "platform/ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/fs.h"
#include "platform/text.h"

namespace nandell {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool HasLineBreak(std::string_view text) {
  return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

// What one line of the document is.
struct Line {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed (quotes still on)
};

Line Classify(std::string_view raw, bool first_line) {
  if (first_line && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
  std::string_view text = Trim(raw);
  Line line;
  if (text.empty() || text.front() == ';' || text.front() == '#') return line;
  if (text.front() == '[') {
    std::size_t close = text.find(']');
    if (close == std::string_view::npos) return line;
    line.kind = Line::kSection;
    line.name = Trim(text.substr(1, close - 1));
    return line;
  }
  std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return line;
  std::string_view name = Trim(text.substr(0, equals));
  if (name.empty()) return line;
  line.kind = Line::kKey;
  line.name = name;
  line.value = Trim(text.substr(equals + 1));
  return line;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

void SetError(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
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

void IniFile::Parse(std::string_view text) {
  lines_.clear();
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::size_t IniFile::FindKey(std::string_view section, std::string_view key) const {
  bool in_section = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Line line = Classify(lines_[i], i == 0);
    if (line.kind == Line::kSection) {
      in_section = EqualsIgnoringAsciiCase(line.name, section);
    } else if (line.kind == Line::kKey && in_section && EqualsIgnoringAsciiCase(line.name, key)) {
      return i;
    }
  }
  return std::string::npos;
}

std::optional<std::string> IniFile::Get(std::string_view section, std::string_view key) const {
  std::size_t i = FindKey(section, key);
  if (i == std::string::npos) return std::nullopt;
  return Unquote(Classify(lines_[i], i == 0).value);
}

bool IniFile::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (section.empty() || key.empty() || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '#' ||
      key.front() == '[') {
    return false;
  }
  // A value that reading would change (outer blanks trimmed, outer quotes removed) is
  // written inside one pair of quotes, so that it reads back exactly as it was written.
  std::string stored(value);
  if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                         (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                          value.back() == value.front()))) {
    stored = "\"" + stored + "\"";
  }
  // An existing key is rewritten in place, keeping the spelling of its name.
  if (std::size_t i = FindKey(section, key); i != std::string::npos) {
    std::string prefix = lines_[i].substr(0, lines_[i].find('='));
    while (!prefix.empty() && IsBlank(prefix.back())) prefix.pop_back();
    lines_[i] = prefix + "=" + stored;
    return true;
  }
  // A new key goes after the last key of the first section of that name.
  std::size_t insert_at = std::string::npos;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    Line line = Classify(lines_[i], i == 0);
    if (line.kind == Line::kSection) {
      if (insert_at != std::string::npos) break;
      if (EqualsIgnoringAsciiCase(line.name, section)) insert_at = i + 1;
    } else if (line.kind == Line::kKey && insert_at != std::string::npos) {
      insert_at = i + 1;
    }
  }
  std::string new_line = std::string(key) + "=" + stored;
  if (insert_at != std::string::npos) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insert_at), new_line);
    return true;
  }
  if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
  lines_.push_back("[" + std::string(section) + "]");
  lines_.push_back(new_line);
  return true;
}

std::string IniFile::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += '\n';
  }
  return text;
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
  const int err = fs::ReplaceFile(target, [&](int fd) {
    if (!fs::WriteAll(fd, text.data(), text.size())) return errno;
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

void CutUtf8(std::string& text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return;
  std::size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
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

bool WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error) {
  std::lock_guard<std::mutex> lock(WriteMutex());
  IniFile file;
  if (!file.Load(path, error)) return false;
  if (!file.Set(section, key, value)) {
    if (error) *error = "invalid section, key or value";
    return false;
  }
  return file.Save(path, error);
}

}  // namespace nandell
