#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nandell {

/// An INI text ("[section]" lines, then "key=value" lines) with private-profile rules:
/// section and key names are compared without regard to ASCII letter case, names and values
/// are trimmed of blanks, and one pair of matching surrounding quotes (' or ") is removed
/// from a value. Lines that are not keys (comments, blank lines, anything else) are kept as
/// they are. CRLF and LF are both read; LF is written. On Windows the functions below the
/// class reach Config.ini through the system's private-profile calls instead, and the class
/// is the text model alone.
class IniFile {
 public:
#ifndef _WIN32
  /// Reads `path`. A missing file gives an empty document and returns true; a file that
  /// exists but cannot be read returns false (document empty, `error` filled if given).
  bool Load(const std::string& path, std::string* error = nullptr);
#endif

  /// Replaces the document with `text`.
  void Parse(std::string_view text);

  /// The value of `key` in `section` (first occurrence of each), trimmed and unquoted, or
  /// nothing when the section or the key is absent.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  /// Sets `key` in `section`: the key's line is rewritten in place when present, otherwise
  /// the key is appended at the end of the section, and the section at the end of the text
  /// when missing. The value is written as QuoteIniValue gives it. Returns false, changing
  /// nothing, when IsWritableIniEntry refuses the entry.
  bool Set(std::string_view section, std::string_view key, std::string_view value);

  /// The document as text, LF line endings, every line ended.
  std::string Text() const;

#ifndef _WIN32
  /// Writes the document to `path` atomically: a temporary file in the same folder, flushed,
  /// then renamed over `path` (a symbolic link is followed to its target). An existing
  /// file's permission bits are kept; an existing file that may not be written is not
  /// replaced. Returns false (and fills `error`) on failure; `path` is then unchanged.
  bool Save(const std::string& path, std::string* error = nullptr) const;
#endif

 private:
  /// Index of the first line of `key` in a section named `section`, or npos.
  std::size_t FindKey(std::string_view section, std::string_view key) const;

  std::vector<std::string> lines_;
};

/// True when `key`=`value` can be written into `section` and found again as the same key:
/// trimmed names not empty, no line break anywhere, no '=' in the key, no ']' in the section,
/// and a key that does not begin with ';', '#' or '[' (its line would read as a comment or a
/// section).
bool IsWritableIniEntry(std::string_view section, std::string_view key, std::string_view value);

/// `value` as it is written, so that reading gives it back unchanged: inside double quotes
/// when it has outer blanks or outer matching quotes (which reading would take off).
std::string QuoteIniValue(std::string_view value);

/// Cuts `text` to at most `max_bytes` bytes without splitting a UTF-8 sequence (the rule by
/// which ReadIniString fits a value to its buffer).
void CutUtf8(std::string& text, std::size_t max_bytes);

/// Reads an integer as the Windows private-profile call does: leading blanks, an optional
/// sign, then decimal digits up to the first other character ("01" is 1, "12abc" is 12,
/// "abc" is 0). Values wrap modulo 2^32 like the original.
int32_t ParseProfileInt(std::string_view text);

/// Reads `key` from `section` of the INI file `path`; `default_value` when the file, the
/// section or the key is missing. At most `buffer_size` - 1 bytes are returned (never
/// splitting a UTF-8 character), like the Windows call with a buffer of that size (which
/// is what reads it on Windows).
std::string ReadIniString(const std::string& path, std::string_view section, std::string_view key,
                          std::string_view default_value, std::size_t buffer_size = 1024);

/// Reads an integer key with ParseProfileInt (on Windows with the system's call, which also
/// reads "0x" hexadecimal); `default_value` when the file, section or key is missing or the
/// value is empty.
int32_t ReadIniInt(const std::string& path, std::string_view section, std::string_view key,
                   int32_t default_value);

/// Writes `key`=`value` into `section` of the INI file `path`, keeping every other line;
/// creates the file and the section when missing; replaces the file atomically. Returns
/// false (and fills `error`) when nothing could be written.
bool WriteIniString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value, std::string* error = nullptr);

/// Writes every key=value of `entries` into `section` of `path` in one atomic replacement of
/// the file (temporary file, then rename), keeping every other line; creates the file and the
/// section when missing. An existing file that may not be written is not replaced. An entry
/// that IsWritableIniEntry refuses is left out and makes the result false, as does a file
/// that could not be written (`error` filled). On Windows the keys are written with
/// WritePrivateProfileStringW into the temporary copy, which is kept in UTF-16 so that every
/// character survives.
bool WriteIniStrings(const std::string& path, std::string_view section,
                     const std::vector<std::pair<std::string, std::string>>& entries,
                     std::string* error = nullptr);

}  // namespace nandell
