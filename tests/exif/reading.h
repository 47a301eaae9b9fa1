#pragma once

// Runs an ExifReader over bytes held in memory, the way GetCaptureDate runs it over a file.

#include <cstdio>
#include <memory>
#include <string>

#include "exif/exif_reader.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/temp_tree.h"

namespace nandell::test_support {

/// Opens `bytes` as a stream positioned at their start (an empty stream when there are none).
inline FILE* OpenBytes(Bytes* bytes) {
#ifdef _WIN32
  // No memory streams here: the bytes go through a temporary file.
  FILE* file = testing::TempStream();
  if (file != nullptr && (std::fwrite(bytes->data(), 1, bytes->size(), file) != bytes->size() ||
                          std::fseek(file, 0, SEEK_SET) != 0)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
#else
  if (bytes->empty()) return testing::TempStream();
  return fmemopen(bytes->data(), bytes->size(), "rb");
#endif
}

/// One reader over one file held in memory; the reader and its record live as long as this.
class Reading {
 public:
  explicit Reading(Bytes bytes) : bytes_(std::move(bytes)), info_(new ImageInfo()) {
    reader_ = std::make_unique<ExifReader>(info_.get());
    FILE* file = OpenBytes(&bytes_);
    ok_ = file != nullptr && reader_->ReadSections(file);
    if (file != nullptr) std::fclose(file);
  }

  bool ok() const { return ok_; }
  const ImageInfo& info() const { return *info_; }
  ExifReader& reader() { return *reader_; }
  std::string error() const { return reader_->last_error(); }

 private:
  Bytes bytes_;
  std::unique_ptr<ImageInfo> info_;
  std::unique_ptr<ExifReader> reader_;
  bool ok_ = false;
};

/// Collects what the reader writes as notices while it lives, instead of standard output.
class NoticeCapture {
 public:
  NoticeCapture() : file_(testing::TempStream()) { SetReaderNoticeStream(file_); }
  ~NoticeCapture() {
    SetReaderNoticeStream(stdout);
    if (file_ != nullptr) std::fclose(file_);
  }
  std::string Text() const {
    std::string text;
    std::fflush(file_);
    std::rewind(file_);
    int c;
    while ((c = std::fgetc(file_)) != EOF) text.push_back(static_cast<char>(c));
    return text;
  }

 private:
  FILE* file_;
};

}  // namespace nandell::test_support
