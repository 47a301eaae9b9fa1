// libFuzzer target: ExifReader::ReadSections over arbitrary bytes, read through a stdio
// stream as GetCaptureDate reads a file. Afterwards the thumbnail is read whole and every
// text field must be terminated inside its buffer.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "exif/exif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* const kNowhere = [] {
    FILE* sink = std::fopen("/dev/null", "w");
    nandell::SetReaderNoticeStream(sink);
    return sink;
  }();
  (void)kNowhere;
  if (size == 0) return 0;

  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  nandell::ImageInfo info{};
  {
    nandell::ExifReader reader(&info);
    reader.ReadSections(file);
    // Everything the reader left must be readable: text fields terminated, the thumbnail
    // inside a kept segment.
    if (info.thumbnail != nullptr) {
      volatile uint8_t sum = 0;
      for (int32_t i = 0; i < info.thumbnail_length; ++i) sum = sum + info.thumbnail[i];
    }
  }
  std::fclose(file);
  if (std::strlen(info.date_time_original) >= sizeof(info.date_time_original) ||
      std::strlen(info.make) >= sizeof(info.make) ||
      std::strlen(info.model) >= sizeof(info.model) ||
      std::strlen(info.comment) >= sizeof(info.comment) ||
      std::strlen(info.exif_version) >= sizeof(info.exif_version)) {
    __builtin_trap();
  }
  return 0;
}
