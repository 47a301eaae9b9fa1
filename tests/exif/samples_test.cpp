// The committed sample photos and the fuzzer's starting corpus are exactly what the test
// builder makes, and the samples carry the dates they are meant to.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/capture_date.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"

namespace nandell::test_support {
namespace {

using testing::ReadFile;
using testing::TempDir;

// `folder` (when given) is a folder inside the set's output and inside `committed`.
void ExpectSameFiles(const std::string& set, std::string committed,
                     const std::string& folder = "") {
  TempDir dir;
  ASSERT_EQ(RunToEnd({MAKE_SAMPLE_JPEGS_PATH, set, dir.path()}).exit_code, 0);
  const std::string made_dir = folder.empty() ? dir.path() : dir / folder;
  if (!folder.empty()) committed += "/" + folder;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(made_dir)) {
    const std::string name = entry.path().filename().string();
    Bytes made, stored;
    ASSERT_TRUE(ReadFile(entry.path().string(), &made));
    EXPECT_TRUE(ReadFile(committed + "/" + name, &stored)) << name << " is not committed";
    EXPECT_TRUE(made == stored) << name << " differs: run make-sample-jpegs " << set;
    ++files;
  }
  int stored_files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(committed)) {
    (void)entry;
    ++stored_files;
  }
  EXPECT_EQ(files, stored_files);
}

TEST(Samples, CommittedSamplesAreWhatTheBuilderMakes) {
  ExpectSameFiles("samples", NANDELL_SOURCE_DIR "/samples");
}

TEST(Samples, CommittedFuzzCorpusIsWhatTheBuilderMakes) {
  ExpectSameFiles("fuzz-corpus", NANDELL_SOURCE_DIR "/fuzz/corpus");
}

TEST(Samples, CommittedMediaFuzzCorporaAreWhatTheBuilderMakes) {
  for (const char* reader : {"iso_media", "riff", "tiff_file", "png"}) {
    ExpectSameFiles("media-fuzz-corpus", NANDELL_SOURCE_DIR "/fuzz/media-corpus", reader);
  }
}

TEST(Samples, SamplesCarryTheirDates) {
  const std::string dir = NANDELL_SOURCE_DIR "/samples/";
  EXPECT_EQ(GetCaptureDate(dir + "DSC_0001.jpg"), "2015-03-04");
  EXPECT_EQ(GetCaptureDate(dir + "P1000243.jpg"), "2021-12-24");
  EXPECT_EQ(GetCaptureDate(dir + "DSCF0007.jpg"), "2008-08-08");
  EXPECT_EQ(GetCaptureDate(dir + "scan_0001.jpg"), "");
}

}  // namespace
}  // namespace nandell::test_support
