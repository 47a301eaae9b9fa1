// media_dates_bench [COUNT] [MIB]: dating movies whose movie header lies after their media
// data, and HEIC photos, against the floor of opening each file and reading its first 64 KiB.
//
// Makes COUNT MP4/MOV files of MIB MiB each (default 2,000 of 20 MiB; sparse: only the head
// and the movie box are written) and COUNT HEIC files (the first 64 KiB of a real iPhone photo
// from the shared corpus, or a made one, extended sparse to the photo's size) under /tmp,
// checks that every file gets its day, and prints the best of five warm runs of each loop and
// the ratios. Goal: at most 2x the floor for both. The files are removed at the end.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/capture_date.h"
#include "tests/support/media_builder.h"
#include "tests/support/temp_tree.h"

namespace {

using nandell::test_support::Bytes;

bool WriteSparse(const std::string& path, const Bytes& head, uint64_t size, const Bytes& tail) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size());
  if (!tail.empty()) {
    ok = ok && ::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())) ==
                   static_cast<ssize_t>(tail.size());
  }
  ok = ok && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  return ::close(fd) == 0 && ok;
}

// Best wall time in seconds of five runs of `work`.
double Best(const std::function<void()>& work) {
  double best = 1e9;
  for (int run = 0; run < 5; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < best) best = seconds;
  }
  return best;
}

void ReadFloor(const std::vector<std::string>& paths) {
  static char buffer[64 * 1024];
  for (const std::string& path : paths) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::abort();
    if (::read(fd, buffer, sizeof buffer) < 0) std::abort();
    ::close(fd);
  }
}

// Dates every file; returns how many got `day`.
int DateAll(const std::vector<std::string>& paths, const std::string& day) {
  int right = 0;
  for (const std::string& path : paths) right += nandell::GetCaptureDate(path, true) == day;
  return right;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
  const uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20;
  ::setenv("TZ", "UTC0", 1);
  nandell::testing::TempDir dir;
  if (dir.path().empty()) return 1;

  // Movies: half QuickTime, half MP4 (64-bit media box), the movie box at the end.
  std::vector<std::string> movies;
  for (int i = 0; i < count; ++i) {
    nandell::test_support::MovieFacts facts;
    facts.brand = i % 2 == 0 ? "qt  " : "isom";
    facts.large_media_box = i % 2 != 0;
    facts.movie_header_time = 3545380800;  // 2016-05-06 12:00:00 UTC
    facts.creation_date = i % 4 == 0 ? "2016-05-06T14:00:00+0200" : "";
    const uint64_t size = mib << 20;
    facts.media_size = 0;
    const Bytes tail = nandell::test_support::MovieBox(facts);
    const Bytes head_only = nandell::test_support::MakeMovieParts(facts).head;
    facts.media_size = size - head_only.size() - tail.size();
    const auto parts = nandell::test_support::MakeMovieParts(facts);
    movies.push_back(dir / ("clip_" + std::to_string(i) + (i % 2 == 0 ? ".mov" : ".mp4")));
    if (!WriteSparse(movies.back(), parts.head, size, parts.tail)) return 1;
  }

  // HEIC photos.
  Bytes photo;
  uint64_t photo_size = 0;
  std::string photo_day = "2015-03-04";
  const std::string real = NANDELL_FORMATS_DIR "/Apple__iPhone_XR__IMG_3604.HEIC";
  if (nandell::testing::ReadFile(real, &photo)) {
    photo_size = photo.size();
    photo.resize(64 * 1024);
    photo_day = "2020-04-17";
  } else {
    photo = nandell::test_support::MakeHeif({});
    photo_size = 1300 * 1024;
  }
  std::vector<std::string> photos;
  for (int i = 0; i < count; ++i) {
    photos.push_back(dir / ("IMG_" + std::to_string(i) + ".HEIC"));
    if (!WriteSparse(photos.back(), photo, photo_size, "")) return 1;
  }

  std::printf("%d movies of %llu MiB (movie header at the end), %d HEIC photos of %llu KiB\n",
              count, static_cast<unsigned long long>(mib), count,
              static_cast<unsigned long long>(photo_size / 1024));
  const int movies_right = DateAll(movies, "2016-05-06");
  const int photos_right = DateAll(photos, photo_day);
  std::printf("dated right: %d of %d movies, %d of %d photos\n", movies_right, count, photos_right,
              count);

  const double movie_dates = Best([&] { DateAll(movies, "2016-05-06"); });
  const double movie_floor = Best([&] { ReadFloor(movies); });
  const double photo_dates = Best([&] { DateAll(photos, photo_day); });
  const double photo_floor = Best([&] { ReadFloor(photos); });
  std::printf("%-36s %8.3f s\n", "movies: GetCaptureDate(media dates)", movie_dates);
  std::printf("%-36s %8.3f s\n", "movies: open + read 64 KiB", movie_floor);
  std::printf("%-36s %8.3f s\n", "HEIC: GetCaptureDate(media dates)", photo_dates);
  std::printf("%-36s %8.3f s\n", "HEIC: open + read 64 KiB", photo_floor);
  std::printf("movies / floor: %.2f (goal <= 2)\n", movie_dates / movie_floor);
  std::printf("HEIC / floor:   %.2f (goal <= 2)\n", photo_dates / photo_floor);
  return movies_right == count && photos_right == count ? 0 : 1;
}
