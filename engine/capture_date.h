#pragma once

#include <string>

namespace nandell {

namespace fs {
class FileSystem;
}

/// The day a photo was taken, as the name of its day folder: the EXIF DateTimeOriginal of a
/// ".jpg" file (letter case ignored) with the time cut off and ":" replaced by "-", normally
/// YYYY-MM-DD. Empty when the file is not ".jpg", cannot be read, has no EXIF date, or the
/// date would not be a safe single folder name. Never reports an error.
std::string GetCaptureDate(std::string path);

/// GetCaptureDate with the file opened through `file_system` (the organizing run's seam).
std::string GetCaptureDate(std::string path, fs::FileSystem& file_system);

/// True when `name` is one plain path component: not empty, ".", or "..", and free of "/",
/// "\" and control characters (DEL included).
bool IsSafeFolderName(const std::string& name);

}  // namespace nandell
