// A run killed at a random moment never loses a file and never leaves a partial one under
// its final name; a later run completes the job.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <random>
#include <thread>

#include "platform/file_system.h"
#include "tests/cli/cli_runner.h"
#include "tests/engine/test_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::LocalNoon;
using testing::MakeFolders;
using testing::TempDir;
using testing::WriteFile;

constexpr int kFiles = 24;
constexpr int kKills = 10;

// Source files by name (unique across folders), with their content.
std::map<std::string, std::string> BuildTree(const std::string& src, std::mt19937* random) {
  std::map<std::string, std::string> files;
  for (int i = 0; i < kFiles; ++i) {
    std::string name = "f" + std::to_string(i) + ".mov";
    std::string content(150000 + (*random)() % 100000, '\0');
    for (auto& c : content) c = static_cast<char>((*random)() & 0xff);
    WriteFile(src + "d" + std::to_string(i % 4) + "/" + name, content,
              LocalNoon(2015, 1 + i % 12, 1 + i % 28));
    files[name] = content;
  }
  return files;
}

// The name of a file as the walk knows it: a source that a move took (hid) counts as itself.
std::string BaseName(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  fs::IsTakenName(name, &name);
  return name;
}

// The invariant after any interruption: every file's content is at its source or complete at
// its target, and every file under a final (not hidden) name in the output is complete.
void CheckInvariant(const std::map<std::string, std::string>& files, const std::string& src,
                    const std::string& out, const std::string& context) {
  std::map<std::string, std::string> at_source, at_target;
  for (const auto& [path, content] : ListFiles(src)) at_source[BaseName(path)] = content;
  for (const auto& [path, content] : ListFiles(out)) {
    const std::string name = BaseName(path);
    if (name[0] == '.') continue;  // a temporary file of the interrupted copy
    at_target[name] = content;
    auto original = files.find(name);
    ASSERT_NE(original, files.end()) << context << ": unexpected " << path;
    EXPECT_TRUE(content == original->second) << context << ": partial file " << path;
  }
  for (const auto& [name, content] : files) {
    bool kept = at_source.count(name) != 0 && at_source[name] == content;
    bool placed = at_target.count(name) != 0;
    EXPECT_TRUE(kept || placed) << context << ": lost " << name;
  }
}

void KillRuns(bool move, const std::string& output_base) {
  std::random_device device;
  const unsigned start = device();
  std::mt19937 random(start);
  TempDir cfg;
  const std::vector<std::string> env = {"NANDELL_CONFIG_DIR=" + cfg.path()};
  // The length of one whole run decides the range of the kill moments.
  double whole_ms = 0;
  {
    TempDir dir;
    TempDir out(output_base);
    BuildTree(dir.path(), &random);
    auto begin = std::chrono::steady_clock::now();
    std::vector<std::string> args = {"organize", dir.path(), out.path(), "--quiet"};
    if (move) args.push_back("--move");
    int code = testing::RunCli(args, env, "/dev/null", "/dev/null");
    ASSERT_EQ(code, 0);
    whole_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
  }
  for (int round = 0; round < kKills; ++round) {
    TempDir dir;
    TempDir out(output_base);
    const auto files = BuildTree(dir.path(), &random);
    std::vector<std::string> args = {"organize", dir.path(), out.path(), "--quiet"};
    if (move) args.push_back("--move");
    const int delay_us = static_cast<int>(random() % static_cast<unsigned>(whole_ms * 1000 + 1));
    testing::CliProcess process = testing::StartCli(args, env, "/dev/null", "/dev/null");
    ASSERT_GT(process.pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
    ::kill(process.pid, SIGKILL);
    testing::WaitCli(process);
    const std::string context = std::string(move ? "move" : "copy") + " round " +
                                std::to_string(round) + " after " + std::to_string(delay_us) +
                                "us (random start " + std::to_string(start) + ")";
    CheckInvariant(files, dir.path(), out.path(), context);

    // Running again finishes the job: every file ends up complete at its target.
    int code = testing::RunCli(args, env, "/dev/null", "/dev/null");
    EXPECT_LE(code, 1) << context;
    std::map<std::string, std::string> at_target;
    for (const auto& [path, content] : ListFiles(out.path())) {
      if (BaseName(path)[0] != '.') at_target[BaseName(path)] = content;
    }
    EXPECT_EQ(at_target, files) << context;
    // And clears what the killed run left: its temporary files and the source it had taken.
    for (const std::string& root : {dir.path(), out.path()}) {
      for (const auto& [path, info] : testing::ListTree(root)) {
        EXPECT_EQ(path.find(".nandell-"), std::string::npos) << context << ": left " << path;
      }
    }
  }
}

TEST(KillTest, CopyRunKilledAtRandomMoments) {
  KillRuns(false, "/tmp");
}

TEST(KillTest, MoveRunKilledAtRandomMoments) {
  struct stat a, b;
  // Across file systems when /dev/shm is one of its own: the copy, check and removal path.
  bool other = ::stat("/tmp", &a) == 0 && ::stat("/dev/shm", &b) == 0 && a.st_dev != b.st_dev &&
               ::access("/dev/shm", W_OK) == 0;
  KillRuns(true, other ? "/dev/shm" : "/tmp");
}

}  // namespace
}  // namespace nandell
