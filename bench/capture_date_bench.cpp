// GetCaptureDate on a typical camera JPEG, next to the cost of opening the same file and
// reading its first 64 KiB.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/capture_date.h"
#include "engine/run_config.h"
#include "engine/sidecar.h"
#include "exif/exif_reader.h"
#include "platform/file_system.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/temp_tree.h"

namespace {

using nandell::testing::TempDir;

// A Canon EOS 7D photo from the shared corpus (an Exif block with a thumbnail, maker notes
// and a dozen header segments); a builder-made camera file when the corpus is absent.
const std::string& TypicalPhoto() {
  static TempDir dir;
  static const std::string path = [] {
    const std::string corpus = NANDELL_CORPUS_DIR "/metadata-extractor-images/jpg/Canon_EOS_7D.jpg";
    if (::access(corpus.c_str(), R_OK) == 0) return corpus;
    nandell::test_support::CameraFacts facts;
    nandell::test_support::JpegBuilder thumbnail;
    thumbnail.Soi().BaselineImage({160, 120, 1});
    facts.thumbnail = thumbnail.bytes();
    const std::string made = dir / "typical.jpg";
    nandell::testing::WriteFile(made, nandell::test_support::MakeCameraJpeg(facts, {1024, 768, 2}) +
                                          std::string(150000, '\x55'));
    return made;
  }();
  return path;
}

void BM_GetCaptureDate(benchmark::State& state) {
  const std::string& path = TypicalPhoto();
  for (auto _ : state) {
    std::string date = nandell::GetCaptureDate(path);
    benchmark::DoNotOptimize(date);
  }
  state.SetLabel(path.substr(path.find_last_of('/') + 1) + " -> " + nandell::GetCaptureDate(path));
}
BENCHMARK(BM_GetCaptureDate);

// The run's lookup of the same photo, relative to its open folder, with every date switch
// off (as designed) or on (sidecars indexed from its folder's listing, names, media dates).
void BM_LookUpCaptureDate(benchmark::State& state) {
  const std::string& path = TypicalPhoto();
  nandell::fs::FileSystem& disk = nandell::fs::RealFileSystem();
  nandell::fs::FolderRef folder;
  disk.OpenFolder(path.substr(0, path.find_last_of('/') + 1), &folder);
  const nandell::fs::FileAt file{folder, path.substr(path.find_last_of('/') + 1)};
  nandell::RunConfig config;
  nandell::SidecarIndex sidecars;
  if (state.range(0) != 0) {
    config.media_dates = config.sidecar_dates = config.name_dates = true;
    config.day_start_minutes = 4 * 60;
    config.shift_minutes = 60;
    int error = 0;
    auto listing = disk.ListFolder(*folder, &error);
    nandell::fs::DirEntry entry;
    while (listing && listing->Next(&entry)) sidecars.Add(entry.name);
  }
  for (auto _ : state) {
    nandell::CaptureStamp stamp = nandell::LookUpCaptureDate(file, config, sidecars, disk);
    benchmark::DoNotOptimize(stamp);
  }
  state.SetLabel(state.range(0) != 0 ? "every date switch" : "switches off");
}
BENCHMARK(BM_LookUpCaptureDate)->Arg(0)->Arg(1);

void BM_OpenAndReadFirst64KiB(benchmark::State& state) {
  const std::string& path = TypicalPhoto();
  static char buffer[64 * 1024];
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    benchmark::DoNotOptimize(::read(fd, buffer, sizeof(buffer)));
    ::close(fd);
  }
}
BENCHMARK(BM_OpenAndReadFirst64KiB);

// Every hostile file of the test builder (cycles, huge counts, wrapping offsets, short and
// overlong segments) dated in turn; the time is per file.
void BM_GetCaptureDateHostile(benchmark::State& state) {
  nandell::SetReaderNoticeStream(nullptr);  // the reader's notices would flood the table
  static TempDir dir;
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> made;
    for (const auto& hostile : nandell::test_support::HostileJpegs()) {
      made.push_back(dir / (hostile.name + ".jpg"));
      nandell::testing::WriteFile(made.back(), hostile.bytes);
    }
    return made;
  }();
  for (auto _ : state) {
    for (const std::string& path : paths) {
      std::string date = nandell::GetCaptureDate(path);
      benchmark::DoNotOptimize(date);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(paths.size()));
  state.SetLabel(std::to_string(paths.size()) + " files");
}
BENCHMARK(BM_GetCaptureDateHostile);

}  // namespace

BENCHMARK_MAIN();
