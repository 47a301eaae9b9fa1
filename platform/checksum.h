#pragma once

// The checksum that the journal keeps of a file's content: XXH3-128, fed as the bytes pass
// (a copy hashes what it writes, so that no file is read a second time for it).

#include <cstddef>
#include <memory>
#include <string>

namespace nandell {

/// An XXH3-128 checksum taken piece by piece.
class ContentHash {
 public:
  /// An empty checksum, ready for the first bytes.
  ContentHash();
  /// Frees the state.
  ~ContentHash();
  ContentHash(const ContentHash&) = delete;
  ContentHash& operator=(const ContentHash&) = delete;

  /// Adds the next `size` bytes at `data`.
  void Update(const void* data, size_t size);
  /// The checksum of every byte added so far: 32 lower-case hexadecimal digits.
  std::string Hex() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace nandell
