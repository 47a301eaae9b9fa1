#pragma once

// A reader of compiled GNU gettext catalogs (.mo files, as msgfmt writes them), for platforms
// whose C library has no gettext (Windows). Only the singular form of each message is kept.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace nandell {

/// The translations of one compiled catalog, by source text.
class MoCatalog {
 public:
  /// Reads a compiled catalog (little- or big-endian) from `bytes`, replacing what was read
  /// before. Returns false with `error` filled, the catalog then empty, when `bytes` is not
  /// one: a wrong magic number, an unknown major revision, a table or a text reaching past
  /// the end, or a charset other than UTF-8 in its header.
  bool Parse(std::string_view bytes, std::string* error);

  /// Parse() on the contents of the file `path`; a file that cannot be read is an error too.
  bool Load(const std::string& path, std::string* error);

  /// The translation of `source`, or null when the catalog has none or an empty one. The
  /// pointer stays valid until the next Parse or Load.
  const char* Find(const char* source) const;

  /// Number of translations held (the header not counted).
  size_t Size() const { return translations_.size(); }

 private:
  std::unordered_map<std::string, std::string> translations_;
};

}  // namespace nandell
