#include "platform/mo_catalog.h"

#include <cstdint>
#include <cstdio>

#include "platform/file.h"
#include "platform/text.h"

namespace nandell {
namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr uint32_t kMagicSwapped = 0xde120495;
constexpr size_t kHeaderSize = 28;
// Catalogs above this size are not ours (ours is a few kilobytes).
constexpr long kMaxCatalogSize = 16 << 20;

uint32_t Word(std::string_view bytes, size_t at, bool big_endian) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    const auto byte = static_cast<uint8_t>(bytes[at + (big_endian ? i : 3 - i)]);
    value = (value << 8) | byte;
  }
  return value;
}

// Text `index` of the table at `table`: its bytes up to the first NUL (a plural form's
// further forms follow that NUL). False when the entry or its text lies outside `bytes`.
bool Text(std::string_view bytes, uint32_t table, uint32_t index, bool big_endian,
          std::string_view* text) {
  const uint64_t entry = uint64_t{table} + uint64_t{index} * 8;
  if (entry + 8 > bytes.size()) return false;
  const uint32_t length = Word(bytes, static_cast<size_t>(entry), big_endian);
  const uint32_t offset = Word(bytes, static_cast<size_t>(entry) + 4, big_endian);
  // The text is followed by a NUL, which the length does not count.
  if (uint64_t{offset} + length + 1 > bytes.size()) return false;
  *text = bytes.substr(offset, length);
  *text = text->substr(0, text->find('\0'));
  return true;
}

}  // namespace

bool MoCatalog::Parse(std::string_view bytes, std::string* error) {
  translations_.clear();
  if (bytes.size() < kHeaderSize) {
    *error = "too short for a catalog";
    return false;
  }
  const uint32_t magic = Word(bytes, 0, false);
  if (magic != kMagic && magic != kMagicSwapped) {
    *error = "not a compiled catalog (wrong magic number)";
    return false;
  }
  const bool big_endian = magic == kMagicSwapped;
  const uint32_t revision = Word(bytes, 4, big_endian);
  if ((revision >> 16) > 1) {
    *error = "unknown catalog revision " + std::to_string(revision >> 16);
    return false;
  }
  const uint32_t count = Word(bytes, 8, big_endian);
  const uint32_t sources = Word(bytes, 12, big_endian);
  const uint32_t targets = Word(bytes, 16, big_endian);
  std::unordered_map<std::string, std::string> read;
  for (uint32_t i = 0; i < count; ++i) {
    std::string_view source, target;
    if (!Text(bytes, sources, i, big_endian, &source) ||
        !Text(bytes, targets, i, big_endian, &target)) {
      *error = "message " + std::to_string(i) + " reaches past the end of the catalog";
      return false;
    }
    if (source.empty()) {
      // The header: the texts must be UTF-8, as the program's are.
      const std::string header = AsciiLower(target);
      const size_t charset = header.find("charset=");
      if (charset != std::string::npos && header.compare(charset + 8, 5, "utf-8") != 0) {
        *error = "the catalog's charset is not UTF-8";
        return false;
      }
      continue;
    }
    if (!target.empty()) read.emplace(source, target);
  }
  translations_ = std::move(read);
  return true;
}

bool MoCatalog::Load(const std::string& path, std::string* error) {
  translations_.clear();
  FILE* file = OpenForReading(path);
  if (file == nullptr) {
    *error = path + ": cannot be opened";
    return false;
  }
  std::string bytes;
  char buffer[16384];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.append(buffer, n);
    if (bytes.size() > static_cast<size_t>(kMaxCatalogSize)) break;
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed || bytes.size() > static_cast<size_t>(kMaxCatalogSize)) {
    *error = path + (failed ? ": cannot be read" : ": too large for a catalog");
    return false;
  }
  if (!Parse(bytes, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

const char* MoCatalog::Find(const char* source) const {
  const auto it = translations_.find(source);
  return it == translations_.end() ? nullptr : it->second.c_str();
}

}  // namespace nandell
