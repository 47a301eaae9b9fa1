// Byte sources: a buffer, or a file read by offset through a head window and a moving window.
#include "exif/byte_source.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

#include "platform/file.h"

namespace nandell {

namespace {

// True when [offset, offset + n) lies within `size` bytes, without overflow.
bool Within(uint64_t offset, size_t n, uint64_t size) {
  return offset <= size && n <= size - offset;
}

}  // namespace

bool MemoryByteSource::Read(uint64_t offset, size_t n, unsigned char* out) {
  if (!Within(offset, n, size_)) return false;
  if (n > 0) std::memcpy(out, data_ + offset, n);
  return true;
}

bool LimitedByteSource::Read(uint64_t offset, size_t n, unsigned char* out) {
  if (n > left_) {
    exhausted_ = true;
    return false;
  }
  left_ -= n;
  return inner_.Read(offset, n, out);
}

FileByteSource::~FileByteSource() {
  if (file_ != nullptr) std::fclose(file_);
}

bool FileByteSource::Open(const std::string& path, std::string* error) {
  FILE* file = OpenForReading(path);
  if (file == nullptr) {
    if (error != nullptr) *error = ErrorText(errno);
    return false;
  }
  return Adopt(file, error);
}

bool FileByteSource::Adopt(FILE* file, std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error != nullptr) *error = text;
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    return false;
  };
  file_ = file;
  if (file_ == nullptr) return fail("no file");
#ifdef _WIN32
  struct _stat64 st;
  if (::_fstat64(_fileno(file_), &st) != 0) return fail(ErrorText(errno));
  if ((st.st_mode & _S_IFMT) != _S_IFREG) return fail("not a regular file");
#else
  struct stat st;
  if (::fstat(fileno(file_), &st) != 0) return fail(ErrorText(errno));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
#endif
  size_ = static_cast<uint64_t>(st.st_size);
  head_size_ = size_ < kHeadSize ? static_cast<size_t>(size_) : kHeadSize;
  head_.reset(new (std::nothrow) unsigned char[head_size_ > 0 ? head_size_ : 1]);
  if (!head_) return fail("out of memory");
  if (!ReadFully(0, head_size_, head_.get())) return fail(ErrorText(errno));
  return true;
}

FILE* FileByteSource::Release() {
  FILE* file = file_;
  file_ = nullptr;
  return file;
}

// POSIX reads by offset without moving the stream (pread); Windows seeks the stream.
bool FileByteSource::ReadFully(uint64_t offset, size_t n, unsigned char* out) const {
  if (n > kMaxHeaderBytes - read_) {
    errno = EFBIG;
    return false;
  }
  read_ += n;
#ifdef _WIN32
  if (::_fseeki64(file_, static_cast<__int64>(offset), SEEK_SET) != 0) return false;
  if (std::fread(out, 1, n, file_) != n) {
    errno = EIO;  // cut short: the file shrank under us
    return false;
  }
  return true;
#else
  const int fd = fileno(file_);
  size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      if (got == 0) errno = EIO;  // the file shrank under us
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
#endif
}

bool FileByteSource::Read(uint64_t offset, size_t n, unsigned char* out) {
  if (file_ == nullptr || !Within(offset, n, size_)) return false;
  if (n == 0) return true;
  if (Within(offset, n, head_size_)) {
    std::memcpy(out, head_.get() + offset, n);
    return true;
  }
  if (offset >= window_offset_ && Within(offset - window_offset_, n, window_size_)) {
    std::memcpy(out, window_.get() + (offset - window_offset_), n);
    return true;
  }
  if (n > kWindowSize) return ReadFully(offset, n, out);
  // Move the window here: the next few reads (the neighbouring headers) come from it.
  if (!window_) {
    window_.reset(new (std::nothrow) unsigned char[kWindowSize]);
    if (!window_) return ReadFully(offset, n, out);
  }
  const uint64_t left = size_ - offset;
  const size_t fill = left < kWindowSize ? static_cast<size_t>(left) : kWindowSize;
  window_size_ = 0;
  if (!ReadFully(offset, fill, window_.get())) return false;
  window_offset_ = offset;
  window_size_ = fill;
  std::memcpy(out, window_.get(), n);
  return true;
}

}  // namespace nandell
