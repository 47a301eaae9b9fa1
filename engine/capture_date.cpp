// Capture date lookup: the EXIF DateTimeOriginal of a ".jpg" file as a day-folder name.
#include "engine/capture_date.h"

#include <cstdio>
#include <memory>

#include "exif/exif_reader.h"
#include "platform/file.h"

namespace nandell {

namespace {

// One read of this size takes in the header segments of nearly every camera file, so a
// file is dated with a single read call.
constexpr size_t kReadBufferSize = 64 * 1024;

bool EndsWithJpg(const std::string& path) {
  if (path.size() < 4) return false;
  const char* tail = path.c_str() + path.size() - 4;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return tail[0] == '.' && lower(tail[1]) == 'j' && lower(tail[2]) == 'p' && lower(tail[3]) == 'g';
}

}  // namespace

bool IsSafeFolderName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string GetCaptureDate(std::string path) {
  std::string result;
  if (!EndsWithJpg(path)) return result;

  FILE* file = OpenForReading(path);
  if (file == nullptr) return result;
  // The stream's buffer is kept per thread; a call never outlives its stream.
  thread_local std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadBufferSize]);
  if (buffer) std::setvbuf(file, buffer.get(), _IOFBF, kReadBufferSize);

  ImageInfo info{};
  {
    ExifReader reader(&info);
    reader.ReadSections(file);  // whatever it filled before stopping counts
    std::fclose(file);
  }
  if (!info.has_exif) return result;

  result = info.date_time_original;  // NUL-terminated within its 20 bytes
  const size_t blank = result.find(' ');
  if (blank != std::string::npos && blank > 0) result.resize(blank);
  for (char& c : result) {
    if (c == ':') c = '-';
  }
  if (!IsSafeFolderName(result)) result.clear();
  return result;
}

}  // namespace nandell
