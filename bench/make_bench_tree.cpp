// make_bench_tree DIR COUNT: writes COUNT camera-like JPEGs of about 200 KB into nested
// folders under DIR (DIR/dNN/dNN/IMG_NNNNN.jpg) with varied dates, byte orders and header
// layouts (thumbnails, JFIF, comments). The image data after the scan header is filler.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/jpeg_builder.h"
#include "tests/support/temp_tree.h"

using namespace nandell::test_support;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_bench_tree DIR COUNT\n", stderr);
    return 2;
  }
  const std::string root = argv[1];
  const int count = std::atoi(argv[2]);
  JpegBuilder thumbnail_builder;
  thumbnail_builder.Soi().BaselineImage({160, 120, 3});
  const Bytes thumbnail = thumbnail_builder.bytes() + Bytes(6000, '\x33');
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (int i = 0; i < count; ++i) {
    const std::string dir1 = root + "/d" + std::to_string(i / 1000);
    const std::string dir2 = dir1 + "/d" + std::to_string((i / 100) % 10);
    ::mkdir(root.c_str(), 0755);
    ::mkdir(dir1.c_str(), 0755);
    ::mkdir(dir2.c_str(), 0755);

    CameraFacts facts;
    facts.order = i % 3 == 0 ? ByteOrder::kMotorola : ByteOrder::kIntel;
    char date[32];
    std::snprintf(date, sizeof(date), "%04u:%02u:%02u %02u:%02u:%02u", 2000 + next() % 25,
                  1 + next() % 12, 1 + next() % 28, next() % 24, next() % 60, next() % 60);
    facts.date_time_original = date;
    facts.width = 4000;
    facts.height = 3000;
    if (i % 4 != 3) facts.thumbnail = thumbnail;
    JpegBuilder builder;
    builder.Soi();
    if (i % 5 == 0) builder.App0Jfif();
    builder.App1Exif(CameraTiff(facts));
    if (i % 7 == 0) builder.Comment("holiday");
    builder.BaselineImage({64, 48, i});
    Bytes bytes = builder.bytes();
    // Filler scan data up to 150-250 KB, before the end-of-image marker.
    const size_t size = 150000 + next() % 100000;
    Bytes filler(size > bytes.size() ? size - bytes.size() : 0, '\0');
    for (char& c : filler) c = static_cast<char>(next() % 255);
    bytes.insert(bytes.size() - 2, filler);
    char name[32];
    std::snprintf(name, sizeof(name), "/IMG_%05d.jpg", i);
    if (!nandell::testing::WriteFile(dir2 + name, bytes)) {
      std::fprintf(stderr, "make_bench_tree: cannot write %s%s\n", dir2.c_str(), name);
      return 1;
    }
  }
  return 0;
}
