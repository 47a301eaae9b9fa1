// GetCaptureDate over the shared corpus of real camera and phone JPEGs, compared with
// exiftool's DateTimeOriginal (MANIFEST.tsv, column dto_exiftool) in folder-name form.
//
// Every file agrees. Files whose agreement rests on a rule of the reader, by caveat:
// - ifd0_offset=712 (Canon EOS-1DS after Noise Ninja) and ifd0_offset=330 (FujiFilm
//   SP-2500): the first directory is read at its stored offset, which may lie anywhere inside
//   the block, so these photos keep their EXIF date.
// - dto_odd_bytes (FujiFilm SP-2500): an unset camera clock, blanks and colons; the first
//   blank is at position 0 so nothing is cut and the name is blanks and dashes.
// - over_20_kept_segments (two HP files): the read ends with "Too many sections in jpg
//   file", but the Exif segment came first, so its date stands.
// - dto_occurrences=ExifIFD,IFD0 (Kodak ProBack): its interoperability link points back at
//   IFD0; each directory is walked once, and both dates are the same.
// - no_sos:* (damaged files): no Exif block is reached, so there is no date, like exiftool.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "engine/capture_date.h"

namespace nandell {
namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

// exiftool's DateTimeOriginal as a day-folder name: the time cut at the first blank (when
// it is not the first character), colons as dashes, and nothing when the name is unsafe.
std::string FolderName(std::string date) {
  const size_t blank = date.find(' ');
  if (blank != std::string::npos && blank > 0) date.resize(blank);
  for (char& c : date) {
    if (c == ':') c = '-';
  }
  if (date == "." || date == "..") return "";
  for (unsigned char c : date) {
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return "";
  }
  return date;
}

// The rows of a MANIFEST.tsv as maps from column name to field; empty when it is absent.
std::vector<std::map<std::string, std::string>> ReadManifest(const std::string& path) {
  std::vector<std::map<std::string, std::string>> rows;
  std::ifstream manifest(path);
  std::string line;
  if (!manifest || !std::getline(manifest, line)) return rows;
  const std::vector<std::string> header = SplitTabs(line);
  while (std::getline(manifest, line)) {
    if (line.empty()) continue;
    const std::vector<std::string> fields = SplitTabs(line);
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < header.size() && i < fields.size(); ++i) row[header[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

// With media dates switched off nothing changes; switched on, a JPEG keeps its day unless
// that day is not a calendar date.
TEST(Corpus, MediaDatesLeaveJpegDatesAlone) {
  const std::string dir = NANDELL_CORPUS_DIR;
  const auto rows = ReadManifest(dir + "/MANIFEST.tsv");
  if (rows.empty()) GTEST_SKIP() << "no corpus at " << dir;
  int same = 0;
  for (const auto& row : rows) {
    const std::string path = dir + "/" + row.at("path");
    const std::string designed = GetCaptureDate(path);
    EXPECT_EQ(GetCaptureDate(path, false), designed) << path;
    const std::string media = GetCaptureDate(path, true);
    if (media == designed) {
      ++same;
    } else {
      EXPECT_EQ(media, "") << path;
      EXPECT_EQ(CalendarDay(row.at("dto_exiftool"), 4102444800), "") << path;
    }
  }
  EXPECT_GT(same, 0);
}

#ifndef _WIN32
// Real HEIC, HEIF, AVIF, WebP, MOV, MP4 and AVI files: the expected day of each under UTC.
TEST(Corpus, MediaDatesAgreeWithTheFormatsManifest) {
  const std::string dir = NANDELL_FORMATS_DIR;
  const auto rows = ReadManifest(dir + "/MANIFEST.tsv");
  if (rows.empty()) GTEST_SKIP() << "no corpus at " << dir;
  const std::string old_zone = getenv("TZ") != nullptr ? getenv("TZ") : "";
  setenv("TZ", "UTC0", 1);
  tzset();
  int dated = 0;
  for (const auto& row : rows) {
    const std::string path = dir + "/" + row.at("path");
    EXPECT_EQ(GetCaptureDate(path, true), row.at("expected_date")) << path;
    EXPECT_EQ(GetCaptureDate(path, false), "") << path;
    if (!row.at("expected_date").empty()) ++dated;
  }
  EXPECT_GT(dated, 0);
  if (old_zone.empty()) {
    unsetenv("TZ");
  } else {
    setenv("TZ", old_zone.c_str(), 1);
  }
  tzset();
}
#endif

TEST(Corpus, CaptureDatesAgreeWithExiftool) {
  const std::string dir = NANDELL_CORPUS_DIR;
  std::ifstream manifest(dir + "/MANIFEST.tsv");
  if (!manifest) GTEST_SKIP() << "no corpus at " << dir;

  std::string line;
  ASSERT_TRUE(std::getline(manifest, line));
  std::map<std::string, size_t> column;
  const std::vector<std::string> header = SplitTabs(line);
  for (size_t i = 0; i < header.size(); ++i) column[header[i]] = i;
  ASSERT_TRUE(column.count("path") && column.count("dto_exiftool") && column.count("caveats"));

  int files = 0;
  int dated = 0;
  while (std::getline(manifest, line)) {
    if (line.empty()) continue;
    const std::vector<std::string> row = SplitTabs(line);
    ASSERT_GT(row.size(), column["caveats"]) << line;
    const std::string& path = row[column["path"]];
    const std::string expected = FolderName(row[column["dto_exiftool"]]);
    EXPECT_EQ(GetCaptureDate(dir + "/" + path), expected)
        << path << " (caveats: " << row[column["caveats"]] << ")";
    ++files;
    if (!expected.empty()) ++dated;
  }
  EXPECT_GT(files, 0);
  EXPECT_GT(dated, 0);
}

}  // namespace
}  // namespace nandell
