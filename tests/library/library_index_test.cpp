// The library's index on real folders and real SQLite files: what it reads (counted through the
// file system's seam), how it follows the folder, and a damaged or foreign database set aside.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <mutex>

#include "engine/run_config.h"
#include "library/library_index.h"
#include "platform/checksum.h"
#include "tests/engine/recording_observer.h"
#include "tests/support/temp_tree.h"
#include "tests/support/proxy_file_system.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Counts the opens for reading of every file, by path.
class ReadCounter : public testing::ProxyFileSystem {
 public:
  FILE* OpenForReading(const fs::FileAt& file) override {
    Count(file);
    return ProxyFileSystem::OpenForReading(file);
  }
  int OpenSource(const fs::FileAt& file, bool lock,
                 std::unique_ptr<fs::SourceFile>* source) override {
    Count(file);
    return ProxyFileSystem::OpenSource(file, lock, source);
  }
  int Reads(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_[path];
  }
  int Total() {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    for (const auto& [path, count] : reads_) total += count;
    return total;
  }

 private:
  void Count(const fs::FileAt& file) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++reads_[file.Path()];
  }
  std::mutex mutex_;
  std::map<std::string, int> reads_;
};

std::string Checksum(const std::string& content) {
  ContentHash hash;
  hash.Update(content.data(), content.size());
  return hash.Hex();
}

class LibraryIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    out_ = dir_ / "out/";
    for (const auto& [path, content] : kLibrary) ASSERT_TRUE(WriteFile(out_ + path, content));
  }

  std::unique_ptr<LibraryIndex> Open(IndexUse use = IndexUse::kSkipKnown) {
    return LibraryIndex::Open(disk_, out_, use, running_, [this](const IndexProgress& progress) {
      if (!progress.notice.empty()) notices_.push_back(progress.notice);
    });
  }

  // Two photos of one content, one of another of the same size, one of a size of its own.
  const std::map<std::string, std::string> kLibrary = {{"2020年/2020-01-01/a.jpg", "AAAA"},
                                                       {"2020年/2020-01-01/b.jpg", "BBBB"},
                                                       {"2021年/2021-02-02/c.jpg", "AAAA"},
                                                       {"d.jpg", "a size of its own"}};
  TempDir dir_;
  std::string out_;
  ReadCounter disk_;
  std::atomic<bool> running_{true};
  std::vector<std::string> notices_;
};

// A first index examines every file and reads none; a file is read only when another has its
// size, once; a size no file has costs nothing.
TEST_F(LibraryIndexTest, ReadsAFileOnlyWhenAnotherHasItsSizeAndOnlyOnce) {
  auto index = Open();
  ASSERT_TRUE(index);
  EXPECT_EQ(index->Counts().files, 4);
  EXPECT_EQ(disk_.Total(), 0);
  EXPECT_FALSE(index->HasSize(5));
  EXPECT_TRUE(index->HasSize(17));
  EXPECT_EQ(index->Find(4, Checksum("CCCC")), "");
  EXPECT_EQ(index->Find(4, Checksum("AAAA")), out_ + "2020年/2020-01-01/a.jpg");
  std::vector<std::pair<int64_t, std::vector<std::string>>> groups;
  ASSERT_TRUE(index->ListDuplicates([&](int64_t size, const std::vector<std::string>& paths) {
    groups.emplace_back(size, paths);
  }));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].first, 4);
  EXPECT_EQ(groups[0].second, (std::vector<std::string>{out_ + "2020年/2020-01-01/a.jpg",
                                                        out_ + "2021年/2021-02-02/c.jpg"}));
  for (const auto& [path, content] : kLibrary) {
    EXPECT_EQ(disk_.Reads(out_ + path), content.size() == 4 ? 1 : 0) << path;
  }
  // What was read is kept: a second index reads nothing again.
  index.reset();
  index = Open();
  EXPECT_EQ(index->Counts().read, 3);
  EXPECT_EQ(index->Find(4, Checksum("BBBB")), out_ + "2020年/2020-01-01/b.jpg");
  EXPECT_EQ(disk_.Total(), 3);
  EXPECT_TRUE(notices_.empty());
}

// Before it is trusted the index is checked against the folder: a changed file is read again, a
// missing one dropped, a new one added, and a file found changed at a lookup is not trusted.
TEST_F(LibraryIndexTest, FollowsTheFolderBeforeItIsTrusted) {
  Open()->Find(4, Checksum("AAAA"));
  ASSERT_TRUE(WriteFile(out_ + "2020年/2020-01-01/a.jpg", "AAAAA"));
  ASSERT_EQ(::unlink((out_ + "2020年/2020-01-01/b.jpg").c_str()), 0);
  ASSERT_TRUE(WriteFile(out_ + "2022年/new.jpg", "AAAA"));
  testing::RemoveTree(out_ + "2021年");
  auto index = Open();
  const LibraryCounts counts = index->Counts();
  EXPECT_EQ(counts.files, 3);
  EXPECT_EQ(counts.added, 1);
  EXPECT_EQ(counts.changed, 1);
  EXPECT_EQ(counts.removed, 2);  // b.jpg, and c.jpg with its folder
  EXPECT_EQ(index->Find(4, Checksum("AAAA")), out_ + "2022年/new.jpg");
  ASSERT_TRUE(WriteFile(out_ + "2022年/new.jpg", "XXXX", 1000));
  EXPECT_EQ(index->Find(4, Checksum("AAAA")), "");
}

// A damaged database, another program's and a later version's are set aside beside the index
// (never replaced) and the index made anew; a run that only keeps it current leaves them alone.
TEST_F(LibraryIndexTest, ADamagedOrForeignDatabaseIsSetAsideAndMadeAnew) {
  const std::string path = LibraryIndexPath(out_);
  const struct {
    const char* name;
    const char* sql;  // run on a new SQLite file; null: the file holds `garbage`
  } cases[] = {{"damaged", nullptr},
               {"another program's", "CREATE TABLE notes(text TEXT)"},
               {"a later version", "PRAGMA application_id = 1313622338; PRAGMA user_version = 2"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::RemoveTree(out_ + ".nandell");
    const std::string garbage(5000, 'x');
    if (c.sql == nullptr) {
      ASSERT_TRUE(WriteFile(path, garbage));
    } else {
      ASSERT_TRUE(testing::MakeFolders(out_ + ".nandell"));
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(db, c.sql, nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(db);
    }
    const std::string before = ReadFile(path);
    EXPECT_FALSE(Open(IndexUse::kKeepCurrent));
    EXPECT_EQ(ReadFile(path), before);
    notices_.clear();
    auto index = Open();
    ASSERT_TRUE(index);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_NE(notices_[0].find(path + ".damaged"), std::string::npos) << notices_[0];
    EXPECT_EQ(ReadFile(path + ".damaged"), before);
    EXPECT_EQ(index->Counts().files, 4);
    EXPECT_EQ(index->Find(4, Checksum("BBBB")), out_ + "2020年/2020-01-01/b.jpg");
  }
}

// Two runs at once share the index: neither waits long for the other, and both their files are
// in it afterwards.
TEST_F(LibraryIndexTest, TwoRunsAtOnceShareTheIndex) {
  auto first = Open();
  auto second = Open();
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(WriteFile(out_ + "one.jpg", "one!"));
  ASSERT_TRUE(WriteFile(out_ + "two.jpg", "two!"));
  first->Placed(testing::At(out_ + "one.jpg"), Checksum("one!"));
  second->Placed(testing::At(out_ + "two.jpg"), Checksum("two!"));
  // Each writes what it holds (as it does within a quarter of a second), the other sees it.
  EXPECT_EQ(first->Counts().files, 5);
  EXPECT_EQ(second->Counts().files, 6);
  EXPECT_EQ(first->Find(4, Checksum("two!")), out_ + "two.jpg");
  EXPECT_EQ(second->Find(4, Checksum("one!")), out_ + "one.jpg");
  first.reset();
  second.reset();
  EXPECT_EQ(Open()->Counts().files, 6);
}

// In a run, a file whose size no file of the library has is read only for its copy, and the
// copy brings its checksum: the index reads nothing for it then or later.
TEST_F(LibraryIndexTest, ACopyHashesWhatItCopiesAndAnUnknownSizeIsNotRead) {
  const std::string photos = dir_ / "photos/";
  const std::map<std::string, std::string> sources = {
      {"x.mov", "content of a size of its own"}, {"y.mov", "AAAA"}, {"z.mov", "ZZZZ"}};
  for (const auto& [name, content] : sources) ASSERT_TRUE(WriteFile(photos + name, content));
  RunConfig config;
  config.photo_folder = photos;
  config.output_folder = out_;
  config.skip_known = true;
  config.known_files = OpenLibraryIndex;
  RecordingObserver sink;
  ASSERT_EQ(RunToEnd(config, &sink, disk_), "");
  EXPECT_EQ(sink.report.counters.SkippedCount, 1);
  // x.mov read once, to be copied; y.mov and z.mov, of the size of a, b and c, once to be looked
  // up, and z.mov, not known, once more to be copied.
  const std::map<std::string, int> reads = {{"x.mov", 1}, {"y.mov", 1}, {"z.mov", 2}};
  for (const auto& [name, count] : reads) EXPECT_EQ(disk_.Reads(photos + name), count) << name;
  const int before = disk_.Total();
  auto index = Open();
  EXPECT_EQ(index->Counts().files, 6);
  EXPECT_EQ(index->Find(28, Checksum(sources.at("x.mov"))).empty(), false);
  EXPECT_EQ(disk_.Total(), before);
}

}  // namespace
}  // namespace nandell
