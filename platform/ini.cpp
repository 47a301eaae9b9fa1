#include "platform/ini.h"

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

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
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

}  // namespace

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
      in_section = EqualNoCase(line.name, section);
    } else if (line.kind == Line::kKey && in_section && EqualNoCase(line.name, key)) {
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
  if (!IsWritableIniEntry(section, key, value)) return false;
  section = Trim(section);
  key = Trim(key);
  const std::string stored = QuoteIniValue(value);
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
      if (EqualNoCase(line.name, section)) insert_at = i + 1;
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

void CutUtf8(std::string& text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return;
  std::size_t cut = max_bytes;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  text.resize(cut);
}

int32_t ParseProfileInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

bool IsWritableIniEntry(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  return !section.empty() && !key.empty() && !HasLineBreak(section) && !HasLineBreak(key) &&
         !HasLineBreak(value) && section.find(']') == std::string_view::npos &&
         key.find('=') == std::string_view::npos && key.front() != ';' && key.front() != '#' &&
         key.front() != '[';
}

std::string QuoteIniValue(std::string_view value) {
  // A value that reading would change (outer blanks trimmed, outer quotes removed) is
  // written inside one pair of quotes, so that it reads back exactly as it was written.
  if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                         (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                          value.back() == value.front()))) {
    return "\"" + std::string(value) + "\"";
  }
  return std::string(value);
}

bool WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error) {
  return WriteIniStrings(path, section, {{std::string(key), std::string(value)}}, error);
}

}  // namespace nandell
