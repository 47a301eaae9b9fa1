// make-sample-jpegs: writes the project's sample photos or the fuzzer's starting corpus,
// both made with the test JPEG builder.
//   make-sample-jpegs samples DIR       the small photos shipped in samples/
//   make-sample-jpegs fuzz-corpus DIR   sound and hostile files for the JPEG reader's fuzzer
//   make-sample-jpegs media-fuzz-corpus DIR   the same for each media reader, in DIR/READER/
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/jpeg_builder.h"
#include "tests/support/media_builder.h"
#include "tests/support/temp_tree.h"

namespace {

using nandell::test_support::ByteOrder;
using nandell::test_support::Bytes;
using nandell::test_support::CameraFacts;
using nandell::test_support::JpegBuilder;
using nandell::test_support::Picture;

struct Sample {
  const char* name;
  ByteOrder order;
  const char* make;
  const char* model;
  const char* date;
  uint16_t orientation;
  int pattern;
};

// Camera-like photos with varied dates and byte orders.
constexpr Sample kSamples[] = {
    {"DSC_0001.jpg", ByteOrder::kIntel, "NIKON CORPORATION", "NIKON D90", "2015:03:04 12:34:56", 1,
     0},
    {"IMG_2041.jpg", ByteOrder::kIntel, "Canon", "Canon EOS 600D", "2019:07:21 18:02:11", 1, 1},
    {"P1000243.jpg", ByteOrder::kMotorola, "Panasonic", "DMC-TZ7", "2021:12:24 09:15:00", 6, 2},
    {"DSCF0007.jpg", ByteOrder::kMotorola, "FUJIFILM", "FinePix F30", "2008:08:08 20:08:08", 1, 3},
    {"IMG_20230105_083000.jpg", ByteOrder::kIntel, "Google", "Pixel 6a", "2023:01:05 08:30:00", 1,
     4},
    {"PICT0012.jpg", ByteOrder::kIntel, "OLYMPUS IMAGING CORP.", "u700", "2015:03:04 17:45:02", 8,
     5},
};

Bytes SamplePhoto(const Sample& sample) {
  CameraFacts facts;
  facts.order = sample.order;
  facts.make = sample.make;
  facts.model = sample.model;
  facts.date_time_original = sample.date;
  facts.orientation = sample.orientation;
  facts.width = 160;
  facts.height = 120;
  JpegBuilder thumbnail;
  thumbnail.Soi().BaselineImage(Picture{40, 32, sample.pattern});
  facts.thumbnail = thumbnail.bytes();
  return nandell::test_support::MakeCameraJpeg(facts, Picture{160, 120, sample.pattern});
}

bool Write(const std::string& dir, const std::string& name, const Bytes& bytes) {
  const std::string path = dir + "/" + name;
  if (nandell::testing::WriteFile(path, bytes)) return true;
  std::fprintf(stderr, "make-sample-jpegs: cannot write %s\n", path.c_str());
  return false;
}

bool WriteSamples(const std::string& dir) {
  bool ok = true;
  for (const Sample& sample : kSamples) ok = Write(dir, sample.name, SamplePhoto(sample)) && ok;
  // A scanned picture: JFIF only, no EXIF, so it is dated by its last-write time.
  JpegBuilder scan;
  scan.Soi()
      .App0Jfif()
      .Comment("Scanned with Nandell's test builder")
      .BaselineImage(Picture{160, 120, 6});
  return Write(dir, "scan_0001.jpg", scan.bytes()) && ok;
}

bool WriteFuzzCorpus(const std::string& dir) {
  bool ok = true;
  int i = 0;
  for (const Sample& sample : kSamples) {
    CameraFacts facts;
    facts.order = sample.order;
    facts.make = sample.make;
    facts.date_time_original = sample.date;
    JpegBuilder thumbnail;
    thumbnail.Soi().BaselineImage(Picture{16, 16, 0});
    if (i % 2 == 0) facts.thumbnail = thumbnail.bytes();
    const int n = i++;
    ok = Write(dir, "camera_" + std::to_string(n) + ".jpg",
               nandell::test_support::MakeCameraJpeg(facts, Picture{16, 16, n})) &&
         ok;
  }
  JpegBuilder commented;
  commented.Soi()
      .Comment("first\r\nline\rx\x01y")
      .App1Exif(nandell::test_support::CameraTiff({}))
      .Comment("second")
      .StartOfScan();
  ok = Write(dir, "comments.jpg", commented.bytes()) && ok;
  for (const auto& hostile : nandell::test_support::HostileJpegs()) {
    ok = Write(dir, hostile.name + ".jpg", hostile.bytes) && ok;
  }
  return ok;
}

// The small ones only: the large cases (tens of thousands of boxes) stay in the tests.
bool WriteMediaFuzzCorpus(const std::string& dir) {
  static constexpr size_t kMaxSeed = 16 * 1024;
  bool ok = true;
  for (const auto& media : nandell::test_support::MediaCases()) {
    if (media.bytes.size() > kMaxSeed) continue;
    const std::string folder = dir + "/" + media.reader;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    ok = Write(folder, media.name, media.bytes) && ok;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make-sample-jpegs samples|fuzz-corpus|media-fuzz-corpus DIR\n", stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "samples") == 0) return WriteSamples(argv[2]) ? 0 : 1;
  if (std::strcmp(argv[1], "fuzz-corpus") == 0) return WriteFuzzCorpus(argv[2]) ? 0 : 1;
  if (std::strcmp(argv[1], "media-fuzz-corpus") == 0) return WriteMediaFuzzCorpus(argv[2]) ? 0 : 1;
  std::fprintf(stderr, "make-sample-jpegs: unknown set '%s'\n", argv[1]);
  return 2;
}
