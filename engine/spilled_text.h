#pragma once

// Text kept in order: up to a bound in memory, the rest in a temporary file, so that a long
// run's lines stay out of memory.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace nandell {

class SpilledText {
 public:
  /// Appends `text`; beyond 1 MiB in memory the text so far goes to a temporary file (it stays
  /// in memory when none can be made).
  void Append(std::string_view text);
  /// The bytes appended since the last Clear.
  size_t Size() const { return size_; }
  /// Drops the text and its temporary file.
  void Clear();
  /// Hands the text, in order, to `piece` until it returns false; the text stays as it is.
  /// Returns 0, or EIO when the temporary file could not be read back to its end (what was
  /// read and the text in memory are still handed on).
  int ForEachPiece(const std::function<bool(std::string_view)>& piece) const;

 private:
  std::string memory_;  // the text after what is in spilled_
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> spilled_{nullptr, &std::fclose};
  size_t size_ = 0;
};

}  // namespace nandell
