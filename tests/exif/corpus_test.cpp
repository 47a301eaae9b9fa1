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
