#include "engine/spilled_text.h"

#include <cerrno>

namespace nandell {
namespace {

constexpr size_t kInMemory = 1 << 20;

}  // namespace

void SpilledText::Append(std::string_view text) {
  memory_ += text;
  size_ += text.size();
  if (memory_.size() < kInMemory) return;
  if (!spilled_) spilled_.reset(std::tmpfile());
  if (spilled_) memory_.erase(0, std::fwrite(memory_.data(), 1, memory_.size(), spilled_.get()));
}

void SpilledText::Clear() {
  memory_.clear();
  spilled_.reset();
  size_ = 0;
}

int SpilledText::ForEachPiece(const std::function<bool(std::string_view)>& piece) const {
  int error = 0;
  if (spilled_) {
    std::FILE* file = spilled_.get();
    std::rewind(file);
    std::string buffer(kInMemory, '\0');
    bool more = true;
    for (size_t n; more && (n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;) {
      more = piece(std::string_view(buffer.data(), n));
    }
    error = std::ferror(file) ? EIO : 0;
    std::fseek(file, 0, SEEK_END);
    if (!more) return error;
  }
  piece(memory_);
  return error;
}

}  // namespace nandell
