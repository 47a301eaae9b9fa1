#pragma once

// Random access to the bytes of a file or a buffer, for the readers that look only at a
// file's headers and seek over its media data.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace nandell {

/// Bytes that the readers of one file's headers read in all, whatever the file holds: a file
/// whose headers would need more is read that far and no further.
inline constexpr uint64_t kMaxHeaderBytes = 8 * 1024 * 1024;

/// A run of bytes read by offset. Reads never go past the end.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// The number of bytes.
  virtual uint64_t Size() const = 0;
  /// Copies the `n` bytes at `offset` into `out`. Returns false when any of them lies past the
  /// end or cannot be read; `out` then holds nothing useful.
  virtual bool Read(uint64_t offset, size_t n, unsigned char* out) = 0;
};

/// The bytes of a buffer the caller keeps alive.
class MemoryByteSource : public ByteSource {
 public:
  /// A source over `size` bytes at `data` (not copied, not owned).
  MemoryByteSource(const unsigned char* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, size_t n, unsigned char* out) override;

 private:
  const unsigned char* data_;
  size_t size_;
};

/// The bytes of another source, of which at most `limit` are read in all: a read that would
/// go past the limit fails as one past the end does, and Exhausted() tells why.
class LimitedByteSource : public ByteSource {
 public:
  /// A source over `inner` (not owned, outliving this) with `limit` bytes to read.
  LimitedByteSource(ByteSource& inner, uint64_t limit) : inner_(inner), left_(limit) {}
  uint64_t Size() const override { return inner_.Size(); }
  bool Read(uint64_t offset, size_t n, unsigned char* out) override;
  /// True once a read was refused for the limit.
  bool Exhausted() const { return exhausted_; }

 private:
  ByteSource& inner_;
  uint64_t left_;
  bool exhausted_ = false;
};

/// A regular file read by offset through two windows: the head of the file, read once when
/// it is opened, and one window that moves to wherever a read outside the head lands. A box
/// or chunk walker thus costs one system call per distant place it looks at, and the media
/// data it seeks over is never read. At most kMaxHeaderBytes are read from the file in all
/// (windows included): reads beyond fail.
class FileByteSource : public ByteSource {
 public:
  /// Bytes of the head window and of the moving window.
  static constexpr size_t kHeadSize = 64 * 1024;
  static constexpr size_t kWindowSize = 16 * 1024;

  FileByteSource() = default;
  /// Closes the file unless it was released.
  ~FileByteSource() override;
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  /// Opens `path` without ever waiting (as platform's OpenForReading does) and reads its head.
  /// Returns false, with `error` filled when given, when it cannot be opened or read or is
  /// not a regular file.
  bool Open(const std::string& path, std::string* error);
  /// Open on a stream the caller opened (null is a failure); the source owns it from here.
  bool Adopt(FILE* file, std::string* error);
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, size_t n, unsigned char* out) override;

  /// The first min(Size(), kHeadSize) bytes of the file.
  const unsigned char* Head() const { return head_.get(); }
  size_t HeadSize() const { return head_size_; }
  /// Hands the open stream to the caller, who closes it; its position is unspecified. The
  /// source is unusable after.
  FILE* Release();

 private:
  bool ReadFully(uint64_t offset, size_t n, unsigned char* out) const;

  FILE* file_ = nullptr;
  uint64_t size_ = 0;
  std::unique_ptr<unsigned char[]> head_;
  size_t head_size_ = 0;
  std::unique_ptr<unsigned char[]> window_;
  uint64_t window_offset_ = 0;
  size_t window_size_ = 0;
  mutable uint64_t read_ = 0;  // bytes read from the file
};

}  // namespace nandell
