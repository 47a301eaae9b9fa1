// Takeout sidecars: a recursive-descent pass over the JSON, bounded in depth, that follows the
// one path photoTakenTime.timestamp and stops as soon as it has read it.
#include "engine/takeout_date.h"

#include <string>

namespace nandell {
namespace {

// Levels of arrays and objects read; deeper input ends the scan.
constexpr int kMaxDepth = 64;
// Keys longer than this are never the ones looked for, so only this much of one is kept.
constexpr size_t kMaxKeyBytes = 32;
// The last second of the year 9999.
constexpr int64_t kLastSecond = 253402300799;

// Where a value stands on the path to the timestamp.
enum class Role { kTop, kTakenTime, kTimestamp, kOther };

class JsonScan {
 public:
  explicit JsonScan(std::string_view text) : text_(text) {}

  std::optional<int64_t> Run() {
    Value(0, Role::kTop);
    return timestamp_;
  }

 private:
  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Take(char c) {
    SkipSpace();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  // One value; false when the text is not JSON here (or the timestamp was read: done).
  bool Value(int depth, Role role) {
    SkipSpace();
    if (pos_ >= text_.size() || depth > kMaxDepth) return false;
    const char c = text_[pos_];
    if (c == '{') return Object(depth, role);
    if (c == '[') return Array(depth);
    if (c == '"') {
      std::string text;
      if (!String(&text, role == Role::kTimestamp ? 24 : 0)) return false;
      if (role == Role::kTimestamp) return Timestamp(text);
      return true;
    }
    const size_t start = pos_;
    if (c == '-' || (c >= '0' && c <= '9')) {
      if (!Number()) return false;
      if (role == Role::kTimestamp) return Timestamp(text_.substr(start, pos_ - start));
      return true;
    }
    for (std::string_view word : {"true", "false", "null"}) {
      if (text_.substr(pos_, word.size()) == word) {
        pos_ += word.size();
        return role != Role::kTimestamp;
      }
    }
    return false;
  }

  bool Object(int depth, Role role) {
    ++pos_;  // "{"
    if (Take('}')) return true;
    do {
      SkipSpace();
      std::string key;
      if (pos_ >= text_.size() || text_[pos_] != '"' || !String(&key, kMaxKeyBytes) || !Take(':')) {
        return false;
      }
      Role member = Role::kOther;
      if (role == Role::kTop && key == "photoTakenTime") member = Role::kTakenTime;
      if (role == Role::kTakenTime && key == "timestamp") member = Role::kTimestamp;
      if (!Value(depth + 1, member)) return false;
    } while (Take(','));
    return Take('}');
  }

  bool Array(int depth) {
    ++pos_;  // "["
    if (Take(']')) return true;
    do {
      if (!Value(depth + 1, Role::kOther)) return false;
    } while (Take(','));
    return Take(']');
  }

  // A string at pos_ ('"'); at most `keep` bytes of it go to `text` (escapes decoded; a
  // "\u" escape other than ASCII is kept as "?", which no key looked for holds).
  bool String(std::string* text, size_t keep) {
    ++pos_;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        if (pos_ >= text_.size()) return false;
        const char escape = text_[pos_++];
        switch (escape) {
          case '"':
          case '\\':
          case '/':
            c = escape;
            break;
          case 'b':
          case 'f':
          case 'n':
          case 'r':
          case 't':
            c = ' ';
            break;
          case 'u': {
            unsigned value = 0;
            for (int i = 0; i < 4; ++i, ++pos_) {
              if (pos_ >= text_.size()) return false;
              const char h = text_[pos_];
              const int digit = h >= '0' && h <= '9'   ? h - '0'
                                : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                       : -1;
              if (digit < 0) return false;
              value = value * 16 + static_cast<unsigned>(digit);
            }
            c = value < 0x80 ? static_cast<char>(value) : '?';
            break;
          }
          default:
            return false;
        }
      }
      if (text->size() < keep) {
        *text += c;
      } else if (keep > 0 && text->size() == keep) {
        *text += '\x01';  // longer than kept: equal to no key looked for
      }
    }
    return false;
  }

  bool Number() {
    const size_t start = pos_;
    if (text_[pos_] == '-') ++pos_;
    const auto digits = [&] {
      const size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      return pos_ > from;
    };
    if (!digits()) return false;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (!digits()) return false;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!digits()) return false;
    }
    return pos_ > start;
  }

  // The timestamp's text, whole seconds; ends the scan either way.
  bool Timestamp(std::string_view digits) {
    int64_t seconds = 0;
    bool valid = !digits.empty() && digits.size() <= 12;
    for (char c : digits) {
      if (c < '0' || c > '9') valid = false;
      if (valid) seconds = seconds * 10 + (c - '0');
    }
    if (valid && seconds > 0 && seconds <= kLastSecond) timestamp_ = seconds;
    return false;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::optional<int64_t> timestamp_;
};

}  // namespace

std::optional<int64_t> TakeoutTakenTime(std::string_view json) {
  return JsonScan(json).Run();
}

}  // namespace nandell
