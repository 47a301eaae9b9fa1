// Copies and moves that never replace, never leave a partial file and never lose the source,
// on real files, with a step of the file system made to fail or to meet another program.
#include "engine/file_transfer.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <string>
#include <utility>

#include "tests/support/proxy_file_system.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::At;
using testing::kOtherFileSystem;
using testing::LastWriteSeconds;
using testing::ListFiles;
using testing::MakeFolders;
using testing::OnOtherFileSystem;
using testing::PathExists;
using testing::ProxyFileSystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

fs::FileSystem& disk = fs::RealFileSystem();

#ifdef _WIN32

// The file number of `path` on its volume.
uint64_t FileId(const std::string& path) {
  HANDLE file = ::CreateFileW(testing::LongPath(path).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  if (file != INVALID_HANDLE_VALUE) {
    ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
  }
  return (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

// Appends `text` to the file `path` as another program would.
void AppendTo(const std::string& path, const std::string& text) {
  HANDLE file = ::CreateFileW(testing::LongPath(path).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  DWORD written = 0;
  EXPECT_TRUE(::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  ::CloseHandle(file);
}

#else

uint64_t FileId(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_ino) : 0;
}

void AppendTo(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fd);
}

#endif

TEST(FileTransferTest, CopyKeepsDataTimeAndModeAndNeverReplaces) {
  TempDir dir;
  std::string data(5 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 % 251);
  ASSERT_TRUE(WriteFile(dir / "a", data, 1000000000));
#ifndef _WIN32
  ASSERT_EQ(::chmod((dir / "a").c_str(), 0604), 0);
#endif
  ASSERT_EQ(CopyNoReplace(disk, At(dir / "a"), At(dir / "b")), 0);
  EXPECT_EQ(ReadFile(dir / "b"), data);
  EXPECT_EQ(LastWriteSeconds(dir / "b"), 1000000000);
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(::stat((dir / "b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
#endif

  ASSERT_TRUE(WriteFile(dir / "c", "keep me"));
  EXPECT_EQ(CopyNoReplace(disk, At(dir / "a"), At(dir / "c")), EEXIST);
  EXPECT_EQ(ReadFile(dir / "c"), "keep me");
#ifdef _WIN32
  // Names differing in letter case only are one name.
  EXPECT_EQ(CopyNoReplace(disk, At(dir / "a"), At(dir / "C")), EEXIST);
#else
  // A dangling link is a taken name too.
  ASSERT_EQ(::symlink((dir / "nowhere").c_str(), (dir / "dangling").c_str()), 0);
  EXPECT_EQ(CopyNoReplace(disk, At(dir / "a"), At(dir / "dangling")), EEXIST);
  EXPECT_FALSE(PathExists(dir / "nowhere"));
#endif
  // Only the three files and the link: no temporary file is left.
  EXPECT_EQ(ListFiles(dir.path()).size(), 3u);
}

TEST(FileTransferTest, FailedCopyLeavesNothing) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "a", "a"));
  EXPECT_EQ(CopyNoReplace(disk, At(dir / "missing"), At(dir / "b")), ENOENT);
  ASSERT_TRUE(MakeFolders(dir / "folder"));
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  // A named pipe is refused at once instead of waiting for a writer.
  EXPECT_NE(CopyNoReplace(disk, At(dir / "pipe"), At(dir / "b")), 0);
#endif
  EXPECT_NE(CopyNoReplace(disk, At(dir / "folder"), At(dir / "b")), 0);
  EXPECT_FALSE(PathExists(dir / "b"));
  EXPECT_EQ(ListFiles(dir.path()).size(), 1u);
}

TEST(FileTransferTest, MoveIsARenameThatNeverReplaces) {
  std::string kept;
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir / "a", "a"));
  ASSERT_TRUE(WriteFile(dir / "b", "b"));
  EXPECT_EQ(MoveNoReplace(disk, At(dir / "a"), At(dir / "b"), &kept), EEXIST);
  EXPECT_EQ(ReadFile(dir / "a"), "a");
  EXPECT_EQ(ReadFile(dir / "b"), "b");
  const uint64_t before = FileId(dir / "a");
  ASSERT_EQ(MoveNoReplace(disk, At(dir / "a"), At(dir / "c"), &kept), 0);
  EXPECT_EQ(FileId(dir / "c"), before);  // renamed, not copied
  EXPECT_FALSE(PathExists(dir / "a"));
}

TEST(FileTransferTest, MoveAcrossFileSystemsCopiesVerifiesThenRemoves) {
  TempDir dir;
  TempDir shm(kOtherFileSystem);
  if (shm.path().empty() || !OnOtherFileSystem(dir.path(), shm.path())) {
    GTEST_SKIP() << kOtherFileSystem << " is not a separate file system here";
  }
  const std::string data(2 << 20, 'm');
  ASSERT_TRUE(WriteFile(dir / "a", data, 1200000000));
  std::string kept;
  ASSERT_EQ(MoveNoReplace(disk, At(dir / "a"), At(shm / "a"), &kept), 0);
  EXPECT_FALSE(PathExists(dir / "a"));
  EXPECT_EQ(ReadFile(shm / "a"), data);
  EXPECT_EQ(LastWriteSeconds(shm / "a"), 1200000000);

  // Target taken: the source stays, nothing is left behind.
  ASSERT_TRUE(WriteFile(dir / "b", "b"));
  EXPECT_EQ(MoveNoReplace(disk, At(dir / "b"), At(shm / "a"), &kept), EEXIST);
  EXPECT_EQ(ReadFile(dir / "b"), "b");
  EXPECT_EQ(ListFiles(dir.path()).size(), 1u);
  EXPECT_EQ(ReadFile(shm / "a"), data);
  EXPECT_EQ(ListFiles(shm.path()).size(), 1u);
}

// A file system whose named step fails; everything else is the operating system's.
class FailingFileSystem : public ProxyFileSystem {
 public:
  explicit FailingFileSystem(std::string step) : step_(step) {}
  int PlaceNoReplace(const fs::FileAt& from, const fs::FileAt& to) override {
    return step_ == "place" && !IsTakenName(to.name) && !IsTakenName(from.name)
               ? EIO
               : ProxyFileSystem::PlaceNoReplace(from, to);
  }
  bool SameContent(fs::SourceFile& source, const fs::FileAt& copy) override {
    return step_ != "compare" && ProxyFileSystem::SameContent(source, copy);
  }
  int RemoveSource(fs::SourceFile& source, const fs::FileAt& file) override {
    return step_ == "remove" ? EBUSY : ProxyFileSystem::RemoveSource(source, file);
  }

 private:
  std::string step_;
};

TEST(FileTransferTest, MoveByCopyFailingAtAnyStepKeepsTheSourceAndLeavesNothing) {
  for (const auto& [step, expected] :
       {std::pair<std::string, int>{"place", EIO}, {"compare", EIO}, {"remove", EBUSY}}) {
    TempDir dir;
    ASSERT_TRUE(MakeFolders(dir / "out"));
    ASSERT_TRUE(WriteFile(dir / "a", "photo"));
    FailingFileSystem failing(step);
    std::string kept;
    EXPECT_EQ(MoveByCopy(failing, At(dir / "a"), At(dir / "out/a"), &kept), expected) << step;
    EXPECT_EQ(ReadFile(dir / "a"), "photo") << step;
    EXPECT_EQ(kept, "") << step;
    EXPECT_TRUE(ListFiles(dir / "out/").empty()) << step;  // no copy, no temporary file
    EXPECT_EQ(ListFiles(dir.path()).size(), 1u) << step;   // the source has its name back
  }
}

// A file system that, when a move flushes its copy's folders (the last step before the source
// is removed), first acts as another program would meanwhile: a sync tool puts a new version
// under the source's name, or a program writes into the file being moved.
class BusyFileSystem : public ProxyFileSystem {
 public:
  BusyFileSystem(std::string folder, bool new_version, bool write_into)
      : folder_(folder), new_version_(new_version), write_into_(write_into) {}
  void FlushFolder(const fs::Folder& folder, int above) override {
    if (above == 2 && new_version_) WriteFile(folder_ + "a", "new version");
    if (above == 2 && write_into_) AppendTo(folder_ + TakenName("a"), "+");
    ProxyFileSystem::FlushFolder(folder, above);
  }

 private:
  std::string folder_;
  bool new_version_, write_into_;
};

TEST(FileTransferTest, MoveTakesItsSourceAndNeverRemovesAnotherOrAChangedOne) {
  const struct {
    bool new_version, write_into;
    int result;
    const char* at_name;    // what the source's name holds afterwards
    const char* recovered;  // the changed source under its recovery name, if any
    const char* at_target;
  } rows[] = {
      {true, false, 0, "new version", "<missing>", "old"},
      {false, true, fs::kChangedWhileMoved, "old+", "<missing>", "<missing>"},
      {true, true, fs::kChangedWhileMoved, "new version", "old+", "<missing>"},
  };
  for (const auto& row : rows) {
    TempDir dir;
    ASSERT_TRUE(MakeFolders(dir / "out"));
    ASSERT_TRUE(WriteFile(dir / "a", "old"));
    BusyFileSystem busy(dir.path(), row.new_version, row.write_into);
    std::string kept;
    const std::string context = std::to_string(row.new_version) + std::to_string(row.write_into);
    EXPECT_EQ(MoveByCopy(busy, At(dir / "a"), At(dir / "out/a"), &kept), row.result) << context;
    EXPECT_EQ(ReadFile(dir / "a"), row.at_name) << context;
    EXPECT_EQ(ReadFile(dir / "a(恢复)"), row.recovered) << context;
    EXPECT_EQ(kept, PathExists(dir / "a(恢复)") ? dir / "a(恢复)" : "") << context;
    EXPECT_EQ(ReadFile(dir / "out/a"), row.at_target) << context;
    EXPECT_FALSE(PathExists(dir / TakenName("a"))) << context;
  }
}

// A file system whose copy step is followed by another program rewriting the source, once or
// every time.
class RewritingFileSystem : public ProxyFileSystem {
 public:
  RewritingFileSystem(std::string source, int rewrites) : source_(source), rewrites_(rewrites) {}
  int CopyToTemporary(fs::SourceFile& source, const fs::Folder& folder, bool keep_owner,
                      fs::Copied* copy) override {
    const int error = ProxyFileSystem::CopyToTemporary(source, folder, keep_owner, copy);
    if (rewrites_-- > 0) WriteFile(source_, "rewritten " + std::to_string(rewrites_));
    return error;
  }

 private:
  std::string source_;
  int rewrites_;
};

TEST(FileTransferTest, CopyOfASourceRewrittenMeanwhileIsMadeAgainOrFails) {
  TempDir dir;
  ASSERT_TRUE(MakeFolders(dir / "out"));
  ASSERT_TRUE(WriteFile(dir / "a", "first"));
  RewritingFileSystem once(dir / "a", 1);
  EXPECT_EQ(CopyNoReplace(once, At(dir / "a"), At(dir / "out/a")), 0);
  EXPECT_EQ(ReadFile(dir / "out/a"), "rewritten 0");

  ASSERT_TRUE(WriteFile(dir / "b", "first"));
  RewritingFileSystem always(dir / "b", 2);
  EXPECT_EQ(CopyNoReplace(always, At(dir / "b"), At(dir / "out/b")), fs::kChangedWhileCopied);
  EXPECT_EQ(ListFiles(dir / "out/").size(), 1u);  // no copy of b, no temporary file
}

#ifndef _WIN32
TEST(FileTransferTest, MoveAcrossFileSystemsKeepsExtendedAttributesAndOwner) {
  TempDir dir;
  TempDir shm("/dev/shm");
  if (shm.path().empty() || !OnOtherFileSystem(dir.path(), shm.path())) {
    GTEST_SKIP() << "/dev/shm is not a separate file system here";
  }
  ASSERT_TRUE(WriteFile(dir / "a", "tagged"));
  const std::string tag = "holiday";
  if (::setxattr((dir / "a").c_str(), "user.xdg.tags", tag.data(), tag.size(), 0) != 0) {
    GTEST_SKIP() << "no user extended attributes on " << dir.path();
  }
  // As root, the owner and group are kept too.
  const bool root = ::geteuid() == 0;
  const uid_t owner = root ? 65534 : ::geteuid();
  const gid_t group = root ? 65534 : ::getegid();
  ASSERT_EQ(::chown((dir / "a").c_str(), owner, group), 0);
  std::string kept;
  ASSERT_EQ(MoveNoReplace(disk, At(dir / "a"), At(shm / "a"), &kept), 0);
  char value[64] = {};
  EXPECT_EQ(::getxattr((shm / "a").c_str(), "user.xdg.tags", value, sizeof value),
            static_cast<ssize_t>(tag.size()));
  EXPECT_EQ(std::string(value), tag);
  struct stat st;
  ASSERT_EQ(::stat((shm / "a").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, owner);
  EXPECT_EQ(st.st_gid, group);
}

#endif

#ifdef _WIN32
TEST(FileTransferTest, NamesWindowsCannotHoldAreRefusedBeforeAnythingIsMade) {
  TempDir dir;
  ASSERT_TRUE(MakeFolders(dir / "out"));
  ASSERT_TRUE(WriteFile(dir / "ok", "ok"));
  std::string kept;
  for (const char* name : {"aux.jpg", "dot."}) {
    EXPECT_EQ(CopyNoReplace(disk, At(dir / "ok"), At(dir / "out/" + std::string(name))),
              fs::kNameNotAllowed);
    EXPECT_EQ(MoveNoReplace(disk, At(dir / "ok"), At(dir / "out/" + std::string(name)), &kept),
              fs::kNameNotAllowed);
  }
  EXPECT_TRUE(ListFiles(dir / "out/").empty());
  EXPECT_EQ(ReadFile(dir / "ok"), "ok");
}
#endif

}  // namespace
}  // namespace nandell
