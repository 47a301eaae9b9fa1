#include "log/msgx.h"

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

using testing::ReadFile;
using testing::WriteFile;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size() - 1;
    lines.push_back(text.substr(start, end - start + 1));
    start = end + 1;
  }
  return lines;
}

// 3 July 2015, 9:05:07: every field one digit where it can be, to show the lack of padding.
std::tm FixedTime() {
  std::tm t{};
  t.tm_year = 2015 - 1900;
  t.tm_mon = 6;
  t.tm_mday = 3;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  return t;
}

class MsgXTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    ini_ = temp_ / "MsgX.ini";
    log_path_ = temp_ / "MsgX.log";
  }

  // A facility whose debugger lines are collected in `lines_`, with the fixed clock.
  std::unique_ptr<CMsgX> Make(int32_t start_enabled) {
    return std::make_unique<CMsgX>(
        ini_, start_enabled, [this](const std::string& line) { lines_.push_back(line); },
        FixedTime);
  }

  testing::TempDir temp_;
  std::string ini_, log_path_;
  std::vector<std::string> lines_;
};

TEST_F(MsgXTest, StartUpWritesTwoInfoLinesAndNoFile) {
  WriteFile(ini_, "[Log]\nDebug=1\nWrite=1\n");  // not read: the facility starts enabled
  auto log = Make(1);
  ASSERT_EQ(lines_.size(), 2u);
  EXPECT_EQ(lines_[0], "C_V  Info: CMsgX Reading...  #0 \n");
  EXPECT_EQ(lines_[1], "C_V  Info: CMsgX Already Set.  #0 \n");
  EXPECT_EQ(log->write_file, 0);
  EXPECT_EQ(log->log_path, kDefaultLogPath);
  EXPECT_EQ(log->size_limit, 2048000);
}

TEST_F(MsgXTest, DisabledStartReadsConfigAndMissingFileSilencesEverything) {
  auto log = Make(0);
  EXPECT_EQ(log->enabled, 0);
  log->Log("x", 1, 1, "");
  log->LogHex("x", 1, 0, 1, "");
  log->LogText("x", "y", 0, 1, "");
  log->LogFormat("%d", 5);
  EXPECT_TRUE(lines_.empty());
}

TEST_F(MsgXTest, DisabledStartTakesSettingsFromConfig) {
  WriteFile(ini_, "[log]\ndebug=1\nWrite=1\nLevel=2\nSize=100\nfile=" + log_path_ + "\n");
  auto log = Make(0);
  EXPECT_TRUE(lines_.empty());  // "Reading..." came while still disabled
  EXPECT_EQ(log->enabled, 1);
  EXPECT_EQ(log->write_file, 1);
  EXPECT_EQ(log->min_level, 2);
  EXPECT_EQ(log->size_limit, 100);
  EXPECT_EQ(log->log_path, log_path_);

  // A one-character file name keeps the built-in path.
  WriteFile(ini_, "[Log]\nDebug=1\nfile=x\n");
  EXPECT_EQ(Make(0)->log_path, kDefaultLogPath);
}

TEST_F(MsgXTest, LineFormatsByteForByte) {
  auto log = Make(1);
  lines_.clear();
  log->Log("bare", 0, 12, "");
  log->Log("warn", 2, 5, "main.cpp");
  log->Log("error", 3, 0, "");
  log->Log("beyond", 7, 1, "");  // levels above 3 show as errors
  log->Log("negative", -1, 1, "");
  log->LogHex("value", 1041, 0, 962, "");
  log->LogHex("zero", 0, 1, 963, "");
  log->LogHex("max", 0xFFFFFFFFu, 0, 964, "");
  log->LogText("reply", "http://h/x", 0, 1000, "");
  log->source_line = 773;
  log->LogFormat("皮肤背景大小为: %d, %d", 400, 300);
  log->LogFormatAt(-4, "%s", "at");
  std::vector<std::string> expected = {
      "C_V : bare  #12 \n",
      "C_V  Warning: warn  #5 main.cpp\n",
      "C_V  Error: error  #0 \n",
      "C_V  Error: beyond  #1 \n",
      "C_V : negative  #1 \n",
      "C_V : value 0x411  #962 \n",
      "C_V  Info: zero 0x0  #963 \n",
      "C_V : max 0xFFFFFFFF  #964 \n",
      "C_V : reply http://h/x  #1000 \n",
      "C_V : 皮肤背景大小为: 400, 300  #773 \n",
      "C_V : at  #-4 \n",
  };
  EXPECT_EQ(lines_, expected);
  EXPECT_EQ(log->source_line, -4);  // not reset after use
}

TEST_F(MsgXTest, NullTextsAreDropped) {
  auto log = Make(1);
  lines_.clear();
  log->Log(nullptr, 0, 1, "");
  log->LogHex(nullptr, 1, 0, 1, "");
  log->LogText("a", nullptr, 0, 1, "");
  log->LogText(nullptr, "b", 0, 1, "");
  log->LogFormat(nullptr);
  EXPECT_TRUE(lines_.empty());
  log->Log("src", 0, 1, nullptr);  // a null source name is an empty one
  EXPECT_EQ(lines_, std::vector<std::string>{"C_V : src  #1 \n"});
}

TEST_F(MsgXTest, OverlongTextsAreCutToTheirBuffers) {
  auto log = Make(1);
  lines_.clear();
  std::string long_source(1000, 's');
  log->Log("m", 0, 1, long_source.c_str());
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_EQ(lines_[0].size(), 1u + 388 - 1);  // message length + 388, less the zero
  EXPECT_EQ(lines_[0].back(), '\n');
  EXPECT_EQ(lines_[0].rfind("C_V : m  #1 sss", 0), 0u);

  std::string wide;
  for (int i = 0; i < 3000; ++i) wide += "中";  // 9000 bytes
  log->source_line = 5;
  log->LogFormat("%s", wide.c_str());
  ASSERT_EQ(lines_.size(), 2u);
  const std::string& line = lines_[1];
  EXPECT_LT(line.size(), 7260u);
  std::string tail = "  #5 \n";
  ASSERT_GT(line.size(), tail.size());
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
  std::string message = line.substr(6, line.size() - 6 - tail.size());
  EXPECT_EQ(message.size(), 6999u / 3 * 3);  // whole characters only
  EXPECT_EQ(message, wide.substr(0, message.size()));
}

TEST_F(MsgXTest, FileGetsOnlyLevelsAtOrAboveMinimum) {
  auto log = Make(1);
  log->write_file = 1;
  log->min_level = 2;
  log->log_path = log_path_;
  lines_.clear();
  log->Log("info", 1, 1, "");
  EXPECT_EQ(lines_.size(), 1u);
  EXPECT_FALSE(PathExists(log_path_));
  log->Log("warning", 2, 2, "");
  log->LogFormat("formatted");  // level 0
  EXPECT_EQ(lines_.size(), 3u);
  EXPECT_EQ(ReadFile(log_path_), "2015-7-3 9:5:7 |  C_V  Warning: warning  #2 \n");
}

TEST_F(MsgXTest, RotatesOnlyPastTheSizeLimitWithUnpaddedName) {
  auto log = Make(1);
  log->write_file = 1;
  log->log_path = log_path_;
  log->size_limit = 100;
  const std::string rotated = log_path_ + "_201573957.log";
  const std::string line = "2015-7-3 9:5:7 |  C_V : next  #1 \n";

  WriteFile(log_path_, std::string(100, 'a'));  // exactly the limit: no rotation
  log->Log("next", 0, 1, "");
  EXPECT_EQ(ReadFile(log_path_), std::string(100, 'a') + line);
  EXPECT_FALSE(PathExists(rotated));

  WriteFile(log_path_, std::string(101, 'b'));  // one byte more: rotated first
  log->Log("next", 0, 1, "");
  EXPECT_EQ(ReadFile(rotated), std::string(101, 'b'));
  EXPECT_EQ(ReadFile(log_path_), line);
}

TEST_F(MsgXTest, RotationNeverOverwritesAnEarlierRotatedLog) {
  auto log = Make(1);
  log->write_file = 1;
  log->log_path = log_path_;
  log->size_limit = 10;
  const std::string rotated = log_path_ + "_201573957.log";
  WriteFile(rotated, "older log");
  WriteFile(log_path_, std::string(11, 'c'));
  log->Log("x", 0, 1, "");
  EXPECT_EQ(ReadFile(rotated), "older log");
  EXPECT_EQ(ReadFile(log_path_ + "_201573957_2.log"), std::string(11, 'c'));
  EXPECT_EQ(ReadFile(log_path_), "2015-7-3 9:5:7 |  C_V : x  #1 \n");
}

TEST_F(MsgXTest, UnopenableLogFileDropsOnlyTheFilePart) {
  auto log = Make(1);
  log->write_file = 1;
  log->log_path = temp_ / "missing/MsgX.log";
  lines_.clear();
  log->Log("still shown", 0, 1, "");
  EXPECT_EQ(lines_, std::vector<std::string>{"C_V : still shown  #1 \n"});
  EXPECT_FALSE(PathExists(log->log_path));
}

TEST_F(MsgXTest, TwoThreadsWriteWholeLines) {
  auto log = Make(1);
  log->write_file = 1;
  log->log_path = log_path_;
  log->size_limit = 1 << 30;
  lines_.clear();
  constexpr int kLines = 10000;
  std::thread a([&] {
    for (int i = 0; i < kLines; ++i) log->Log("thread a", 1, i, "");
  });
  std::thread b([&] {
    for (int i = 0; i < kLines; ++i) log->LogFormatAt(i, "thread b %d", i);
  });
  a.join();
  b.join();

  const std::regex a_line(R"(C_V  Info: thread a  #(\d+) \n)");
  const std::regex b_line(R"(C_V : thread b (\d+)  #(\d+) \n)");
  auto check = [&](const std::vector<std::string>& lines, const std::string& prefix) {
    ASSERT_EQ(lines.size(), 2u * kLines);
    int next_a = 0, next_b = 0;
    for (const std::string& whole : lines) {
      ASSERT_EQ(whole.rfind(prefix, 0), 0u) << whole;
      std::string line = whole.substr(prefix.size());
      std::smatch m;
      if (std::regex_match(line, m, a_line)) {
        ASSERT_EQ(std::stoi(m[1]), next_a++);
      } else if (std::regex_match(line, m, b_line)) {
        ASSERT_EQ(m[1], m[2]) << line;  // the line number belongs to its own message
        ASSERT_EQ(std::stoi(m[1]), next_b++);
      } else {
        FAIL() << "broken line: " << line;
      }
    }
    EXPECT_EQ(next_a, kLines);
    EXPECT_EQ(next_b, kLines);
  };
  check(lines_, "");
  check(SplitLines(ReadFile(log_path_)), "2015-7-3 9:5:7 |  ");
}

}  // namespace
}  // namespace nandell
