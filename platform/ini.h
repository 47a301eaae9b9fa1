#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nandell {

/// An INI text ("[section]" lines, then "key=value" lines) with private-profile rules:
/// section and key names are compared without regard to ASCII letter case, names and values
/// are trimmed of blanks, and one pair of matching surrounding quotes (' or ") is removed
/// from a value. Lines that are not keys (comments, blank lines, anything else) are kept as
/// they are. CRLF and LF are both read; LF is written.
class IniFile {
 public:
  /// Reads `path`. A missing file gives an empty document and returns true; a file that
  /// exists but cannot be read returns false (document empty, `error` filled if given).
  bool Load(const std::string& path, std::string* error = nullptr);

  /// Replaces the document with `text`.
  void Parse(std::string_view text);

  /// The value of `key` in `section` (first occurrence of each), trimmed and unquoted, or
  /// nothing when the section or the key is absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  /// Sets `key` in `section`: the key's line is rewritten in place when present, otherwise
  /// the key is appended at the end of the section, and the section at the end of the text
  /// when missing. A value with outer blanks or outer matching quotes is written inside
  /// double quotes, so that it reads back unchanged. Returns false, changing nothing, when a
  /// name is empty or holds a line break, '=' (key) or ']' (section), the key begins with
  /// ';', '#' or '[' (its line would read as a comment or a section), or the value holds a
  /// line break.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  /// The document as text, LF line endings, every line ended.
  std::string Text() const;

  /// Writes the document to `path` atomically: a temporary file in the same folder, flushed,
  /// then renamed over `path` (a symbolic link is followed to its target). An existing
  /// file's permission bits are kept; an existing file that may not be written is not
  /// replaced. Returns false (and fills `error`) on failure; `path` is then unchanged.
  bool Save(const std::string& path, std::string* error = nullptr) const;

 private:
  /// Index of the first line of `key` in a section named `section`, or npos.
  std::size_t FindKey(std::string_view section, std::string_view key) const;

  std::vector<std::string> lines_;
};

/// Cuts `text` to at most `max_bytes` bytes without splitting a UTF-8 sequence (the rule by
/// which ReadIniString fits a value to its buffer).
void CutUtf8(std::string& text, std::size_t max_bytes);

/// Reads `key` from `section` of the INI file `path`; `default_value` when the file, the
/// section or the key is missing. At most `buffer_size` - 1 bytes are returned (never
/// splitting a UTF-8 character), like the Windows call with a buffer of that size.
std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view default_value, std::size_t buffer_size = 1024);

/// Reads an integer key as the Windows private-profile call does (ParseInt32, wrapping modulo
/// 2^32); `default_value` when the file, section or key is missing or the value is empty.
int32_t ReadIniInt(const std::string& path, std::string_view section, std::string_view key,
                   int32_t default_value);

/// Writes `key`=`value` into `section` of the INI file `path`, keeping every other line;
/// creates the file and the section when missing; replaces the file atomically. Returns
/// false (and fills `error`) when nothing could be written.
bool WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error = nullptr);

}  // namespace nandell
