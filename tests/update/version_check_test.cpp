#include "update/version_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/temp_tree.h"
#include "tests/support/wait_until.h"
#include "tests/update/test_http_server.h"

namespace nandell {
namespace {

using testing::HttpOk;
using testing::TestHttpServer;

// The texts of the check's log lines.
const char* const kNotHttp = "版本文件URL应一http://开头!\n";
const char* const kReceived = "接收数据: ";
const char* const kEmptyReply = "接收数据错误";
const char* const kNoVersion = "获取版本信息错误: ";
const char* const kServerVersion = "服务器版本: ";
const char* const kOwnVersionText = "当前版本: ";
const char* const kLatest = "版本已是最新";
const char* const kNews = "有新消息:";

std::string LogLine(const std::string& message, int line) {
  return "C_V : " + message + "  #" + std::to_string(line) + " \n";
}
std::string TextLine(const std::string& message, const std::string& text, int line) {
  return LogLine(message + " " + text, line);
}
std::string HexLine(const std::string& message, uint32_t value, int line) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", value);
  return LogLine(message + " " + hex, line);
}

// ---- ExtractTag ----

TEST(ExtractTagTest, CopiesTheValueBetweenTheTags) {
  char value[64] = "unchanged";
  EXPECT_EQ(ExtractTag("version", "x<version>1.2</version>y", value, sizeof value), 3u);
  EXPECT_STREQ(value, "1.2");
  // The first occurrence of each tag counts, and tags are case-sensitive.
  EXPECT_EQ(ExtractTag("url", "<URL>a</URL><url>b</url><url>c</url>", value, sizeof value), 1u);
  EXPECT_STREQ(value, "b");
  EXPECT_EQ(ExtractTag("v", "<v></v>", value, sizeof value), 0u);
  EXPECT_STREQ(value, "");
}

TEST(ExtractTagTest, ClosingTagBeforeOpeningTagRunsToTheEnd) {
  char value[64] = {};
  EXPECT_EQ(ExtractTag("version", "</version>a<version>1.2 tail", value, sizeof value), 8u);
  EXPECT_STREQ(value, "1.2 tail");
}

TEST(ExtractTagTest, MissingTagOrArgumentLeavesTheDestinationAlone) {
  char value[16] = "unchanged";
  EXPECT_EQ(ExtractTag("version", "<version>1.2", value, sizeof value), 0u);
  EXPECT_EQ(ExtractTag("version", "1.2</version>", value, sizeof value), 0u);
  EXPECT_EQ(ExtractTag("version", "", value, sizeof value), 0u);
  EXPECT_EQ(ExtractTag(nullptr, "<a>1</a>", value, sizeof value), 0u);
  EXPECT_EQ(ExtractTag("a", nullptr, value, sizeof value), 0u);
  EXPECT_EQ(ExtractTag("a", "<a>1</a>", nullptr, sizeof value), 0u);
  EXPECT_EQ(ExtractTag("a", "<a>1</a>", value, 0), 0u);
  EXPECT_STREQ(value, "unchanged");
}

TEST(ExtractTagTest, LongValueIsCutToFitWithATerminator) {
  char value[8];
  std::memset(value, 'z', sizeof value);
  EXPECT_EQ(ExtractTag("a", "<a>0123456789</a>", value, sizeof value), 7u);
  EXPECT_STREQ(value, "0123456");
}

// ---- VersionNumber and SplitHttpUrl ----

TEST(VersionNumberTest, CombinesTheFirstTwoPieces) {
  EXPECT_EQ(VersionNumber("1.1"), 257u);
  EXPECT_EQ(VersionNumber("1.2"), 0x102u);
  EXPECT_EQ(VersionNumber("2"), 512u);
  EXPECT_EQ(VersionNumber("1.0"), 256u);
  EXPECT_EQ(VersionNumber("10.20.30"), 0xA14u);
  EXPECT_EQ(VersionNumber("abc"), 0u);
  EXPECT_EQ(VersionNumber("1.x"), 256u);
  EXPECT_EQ(VersionNumber(".5"), 5u);
  EXPECT_EQ(VersionNumber(""), 0u);
  EXPECT_EQ(VersionNumber(nullptr), 0u);
  // Compared unsigned: a negative first piece gives a large number.
  EXPECT_EQ(VersionNumber("-1"), 0xFFFFFF00u);
}

TEST(SplitHttpUrlTest, SplitsHostPortAndObject) {
  HttpAddress address;
  ASSERT_TRUE(SplitHttpUrl("http://www.example.com/version.asp?softid=47&v=1.1", &address));
  EXPECT_EQ(address.host, "www.example.com");
  EXPECT_EQ(address.port, 80);
  EXPECT_EQ(address.object, "/version.asp?softid=47&v=1.1");

  ASSERT_TRUE(SplitHttpUrl("http://127.0.0.1:8080/a/version.asp", &address));
  EXPECT_EQ(address.host, "127.0.0.1");
  EXPECT_EQ(address.port, 8080);
  EXPECT_EQ(address.object, "/a/version.asp");

  struct Row {
    const char* url;
    const char* host;
    int32_t port;
    const char* object;
  };
  for (const Row& row :
       {Row{"http://example.com?softid=47", "example.com", 80, "/?softid=47"},
        Row{"HTTP://Example.com/a", "Example.com", 80, "/a"},
        Row{"http://user:pw@h:81/p?q#f", "h", 81, "/p?q"},
        Row{"http://[::1]:8080/x", "::1", 8080, "/x"}, Row{"http://h#f", "h", 80, "/"}}) {
    ASSERT_TRUE(SplitHttpUrl(row.url, &address)) << row.url;
    EXPECT_EQ(address.host, row.host) << row.url;
    EXPECT_EQ(address.port, row.port) << row.url;
    EXPECT_EQ(address.object, row.object) << row.url;
  }
}

TEST(SplitHttpUrlTest, RefusesAnythingButHttp) {
  HttpAddress address;
  address.host = "kept";
  for (const char* url : {"https://example.com/version.asp", "ftp://example.com/version.asp", "",
                          "example.com/version.asp", "http://example.com:99999/",
                          "file:///etc/passwd", "http://exa mple.com/", "http://h:8x/"}) {
    EXPECT_FALSE(SplitHttpUrl(url, &address)) << url;
  }
  EXPECT_EQ(address.host, "kept");
}

// ---- QueryVersion against a server on 127.0.0.1 ----

class QueryVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The check honours the proxy variables; the test server is reached directly.
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
      test_support::SetEnvironment(name, "");
    }
    ASSERT_FALSE(dir_.path().empty());
    settings_ = std::make_unique<SettingsStore>(dir_.path(), false);
    log_ = std::make_unique<CMsgX>(dir_ / "MsgX.ini");
    log_->debug_output = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(lines_mutex_);
      lines_.push_back(line);
    };
    ASSERT_TRUE(server_.ok());
    settings_->Url = server_.Url("/version.asp");
  }

  void TearDown() override {
    log_.reset();
    settings_.reset();
  }

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(lines_mutex_);
    return lines_;
  }

  // Answers with `body` and runs the check.
  int32_t Query(const std::string& body) {
    server_.SetResponse(HttpOk(body));
    return QueryVersion(*settings_, *log_);
  }

  testing::TempDir dir_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<CMsgX> log_;
  std::mutex lines_mutex_;
  std::vector<std::string> lines_;
  TestHttpServer server_;
};

TEST_F(QueryVersionTest, SendsTheVersionRequest) {
  Query("<version>1.1</version>");
  const std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")),
            "GET /version.asp?softid=47&v=1.1 HTTP/1.1");
  EXPECT_NE(requests[0].find("\r\nHost: 127.0.0.1:" + std::to_string(server_.port())),
            std::string::npos);

  // A query already in Url is kept and the check's own is appended unchanged.
  settings_->Url = server_.Url("/version.asp?lang=cn");
  Query("<version>1.1</version>");
  const std::string second = server_.Requests().at(1);
  EXPECT_EQ(second.substr(0, second.find("\r\n")),
            "GET /version.asp?lang=cn?softid=47&v=1.1 HTTP/1.1");
}

TEST_F(QueryVersionTest, SameVersionIsTheLatest) {
  const std::string body = "<html><version>1.1</version></html>";
  EXPECT_EQ(Query(body), 0);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         TextLine(kReceived, body, 1002), HexLine(kServerVersion, 0x101, 1041),
                         HexLine(kOwnVersionText, 0x101, 1048), LogLine(kLatest, 1052)}));
  EXPECT_EQ(settings_->ReplyUrl, "");
}

TEST_F(QueryVersionTest, NewerVersionIsNewsAndFillsTheReplyFields) {
  const std::string body =
      "<time>30</time><version>1.2</version><url>http://example.com/new</url>"
      "<width>400</width><height>300</height>";
  EXPECT_EQ(Query(body), 1);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         TextLine(kReceived, body, 1002), HexLine(kServerVersion, 0x102, 1041),
                         HexLine(kOwnVersionText, 0x101, 1048), TextLine(kNews, "1.2", 1060)}));
  std::lock_guard<std::mutex> lock(settings_->Mutex);
  EXPECT_EQ(settings_->ReplyUrl, "http://example.com/new");
  EXPECT_EQ(settings_->ReplyWidth, 400);
  EXPECT_EQ(settings_->ReplyHeight, 300);
  EXPECT_EQ(settings_->ReplyTime, 30);
}

TEST_F(QueryVersionTest, ComparesVersionNumbers) {
  struct Row {
    const char* version;
    uint32_t number;
    int32_t result;
  };
  // 2 counts as 2.0; abc counts as 0.
  for (const Row& row :
       {Row{"2", 0x200, 1}, Row{"1.0", 0x100, 0}, Row{"abc", 0, 0}, Row{"1.1.9", 0x101, 0}}) {
    lines_.clear();
    EXPECT_EQ(Query(std::string("<version>") + row.version + "</version><url>u</url>"), row.result)
        << row.version;
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 4u) << row.version;
    EXPECT_EQ(lines[1], HexLine(kServerVersion, row.number, 1041));
    EXPECT_EQ(lines[3],
              row.result == 1 ? TextLine(kNews, row.version, 1060) : LogLine(kLatest, 1052));
  }
}

TEST_F(QueryVersionTest, MessageFlagMakesNewsWhateverTheVersions) {
  EXPECT_EQ(Query("<version>1.1</version><msg>1</msg><url>http://example.com/m</url>"), 1);
  EXPECT_EQ(Lines().back(), TextLine(kNews, "1.1", 1060));
  EXPECT_EQ(settings_->ReplyUrl, "http://example.com/m");

  // Only the first 23 bytes of msg count: a 1 beyond them is cut off.
  lines_.clear();
  EXPECT_EQ(Query("<version>1.1</version><msg>" + std::string(23, '0') + "1</msg>"), 0);
  EXPECT_EQ(Lines().back(), LogLine(kLatest, 1052));
}

TEST_F(QueryVersionTest, NewsWithoutUrlEmptiesReplyUrlAndKeepsTheNumbers) {
  settings_->ReplyUrl = "http://example.com/old";
  EXPECT_EQ(Query("<version>1.2</version><width>400</width><height>300</height>"), 0);
  EXPECT_EQ(Lines().back(), TextLine(kNews, "1.2", 1060));
  EXPECT_EQ(settings_->ReplyUrl, "");
  EXPECT_EQ(settings_->ReplyWidth, 0);
  EXPECT_EQ(settings_->ReplyHeight, 0);
  EXPECT_EQ(settings_->ReplyTime, 0);
}

TEST_F(QueryVersionTest, ClosingVersionTagFirstTakesTheRestOfTheReply) {
  EXPECT_EQ(Query("</version><url>u</url><version>1.2"), 1);
  EXPECT_EQ(Lines().back(), TextLine(kNews, "1.2", 1060));
}

TEST_F(QueryVersionTest, EmptyReplyOrNoVersion) {
  EXPECT_EQ(Query(""), 0);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{TextLine(kReceived, "", 1002), LogLine(kEmptyReply, 1006)}));
  lines_.clear();
  EXPECT_EQ(Query("<msg>1</msg><version></version>"), 0);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{TextLine(kReceived, "<msg>1</msg><version></version>", 1002),
                                      TextLine(kNoVersion, "", 1029)}));
}

TEST_F(QueryVersionTest, LongReplyAndLongValuesAreCut) {
  const std::string url = "http://example.com/" + std::string(1100, 'u');
  std::string body = "<version>1.2</version><url>" + url + "</url>";
  body += std::string(kReplyBufferSize * 2 - body.size(), 'x');
  EXPECT_EQ(Query(body), 1);
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], TextLine(kReceived, body.substr(0, kReplyBufferSize - 1), 1002));
  EXPECT_EQ(settings_->ReplyUrl, url.substr(0, kValueBufferSize - 1));
}

TEST_F(QueryVersionTest, RedirectIsNotFollowed) {
  const std::string body = "<version>1.1</version>";
  server_.SetResponse("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
  EXPECT_EQ(QueryVersion(*settings_, *log_), 0);
  EXPECT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(Lines().front(), TextLine(kReceived, body, 1002));
}

TEST_F(QueryVersionTest, NonHttpUrlLogsOnlyTheUrlMessage) {
  const std::string address = "127.0.0.1:" + std::to_string(server_.port()) + "/version.asp";
  for (const std::string& url :
       {"https://" + address, "ftp://" + address, std::string(), address}) {
    lines_.clear();
    settings_->Url = url;
    EXPECT_EQ(QueryVersion(*settings_, *log_), 0) << url;
    EXPECT_EQ(Lines(), std::vector<std::string>{LogLine(kNotHttp, 962)}) << url;
  }
  EXPECT_EQ(server_.Connections(), 0);
}

// A failure to reach the server or to get its answer gives one line with the HTTP client's
// text.
void ExpectOneSendFailure(const std::vector<std::string>& lines) {
  ASSERT_EQ(lines.size(), 1u);
  const std::string tail = "  #993 \n";
  EXPECT_EQ(lines[0].rfind("C_V : ", 0), 0u) << lines[0];
  ASSERT_GT(lines[0].size(), tail.size() + 6) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail) << lines[0];
}

TEST_F(QueryVersionTest, RefusedConnection) {
  uint16_t port = 0;
  const testing::SocketHandle fd = testing::BindRefusingPort(&port);
  ASSERT_NE(fd, -1);
  settings_->Url = "http://127.0.0.1:" + std::to_string(port) + "/version.asp";
  EXPECT_EQ(QueryVersion(*settings_, *log_), 0);
  testing::CloseSocket(fd);
  ExpectOneSendFailure(Lines());
}

TEST_F(QueryVersionTest, SilentServerEndsByTheTimeOut) {
  server_.SetSilent(true);
  VersionCheckOptions options;
  options.connect_timeout_ms = 2000;
  options.total_timeout_ms = 200;
  EXPECT_EQ(QueryVersion(*settings_, *log_, options), 0);
  ExpectOneSendFailure(Lines());
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(QueryVersionTest, ReplyCutShortIsAReadFailure) {
  server_.SetResponse(
      "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n"
      "<version>1.2</version>");
  EXPECT_EQ(QueryVersion(*settings_, *log_), 0);
  ExpectOneSendFailure(Lines());
  EXPECT_EQ(settings_->ReplyUrl, "");
}

// ---- The thread entry and the runner ----

TEST_F(QueryVersionTest, ThreadEntry) {
  EXPECT_EQ(VersionCheckThread(nullptr), 0u);
  EXPECT_EQ(server_.Connections(), 0);
  EXPECT_TRUE(Lines().empty());

  server_.SetResponse(HttpOk("<version>1.2</version><url>u</url>"));
  VersionCheckJob job{settings_.get(), log_.get(), {}};
  EXPECT_EQ(VersionCheckThread(&job), 1u);
  EXPECT_EQ(settings_->ReplyUrl, "u");
}

TEST_F(QueryVersionTest, RunnerRunsOnceAndReportsItsResult) {
  VersionCheckRunner runner;
  EXPECT_EQ(runner.Wait(), -1);
  server_.SetResponse(HttpOk("<version>2.0</version><url>u</url><width>7</width>"));
  ASSERT_TRUE(runner.Start(*settings_, *log_));
  EXPECT_FALSE(runner.Start(*settings_, *log_));
  EXPECT_EQ(runner.Wait(), 1);
  EXPECT_TRUE(runner.Finished());
  std::lock_guard<std::mutex> lock(settings_->Mutex);
  EXPECT_EQ(settings_->ReplyWidth, 7);
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(QueryVersionTest, StoppingTheRunnerEndsASlowCheckQuietly) {
  server_.SetSilent(true);
  {
    VersionCheckRunner runner;
    ASSERT_TRUE(runner.Start(*settings_, *log_));  // the default 5 s / 30 s limits
    EXPECT_TRUE(testing::WaitUntil([&] { return server_.Connections() > 0; }));
    runner.Stop();
    EXPECT_TRUE(runner.Finished());
    EXPECT_EQ(runner.Wait(), 0);
  }
  EXPECT_TRUE(Lines().empty());
}

}  // namespace
}  // namespace nandell
