// The journal of a run: fields that carry any bytes, and what a run writes for names with
// tabs, line breaks and bytes that are not UTF-8.
#include "engine/journal.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/undo.h"
#include "tests/engine/recording_observer.h"
#include "tests/engine/test_tree.h"

namespace nandell {
namespace {

using testing::ListFiles;
using testing::LocalNoon;
using testing::MakeFolders;
using testing::PathExists;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(JournalFieldTest, EscapesWhatWouldBreakALineAndEveryByteThatIsNotUtf8) {
  const struct {
    std::string text, field;
  } cases[] = {
      {"/照片/IMG 0001.JPG", "/照片/IMG 0001.JPG"},
      {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
      {std::string("\x01\x7f\0z", 4), "\\x01\\x7F\\x00z"},
      {"\xff\xfe", "\\xFF\\xFE"},                                        // never UTF-8
      {"\xe4\xb8", "\\xE4\\xB8"},                                        // cut short
      {"\xc0\xaf", "\\xC0\\xAF"},                                        // overlong "/"
      {"\xed\xa0\x80", "\\xED\\xA0\\x80"},                               // a surrogate
      {"\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                      // beyond U+10FFFF
      {"\xf0\x9f\x98\x80\xe4\xb8\x80", "\xf0\x9f\x98\x80\xe4\xb8\x80"},  // four and three bytes
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EscapeField(c.text), c.field);
    std::string back;
    EXPECT_TRUE(UnescapeField(c.field, &back)) << c.field;
    EXPECT_EQ(back, c.text);
  }
  for (const char* bad : {"\\q", "\\x4", "\\xZZ", "ends\\", "a\tb", "a\nb"}) {
    std::string back;
    EXPECT_FALSE(UnescapeField(bad, &back)) << bad;
  }
}

TEST(JournalTest, LineCutShortIsPassedOverAndOnlyAHeaderMakesAJournal) {
  const std::string header =
      "nandell-journal\t1\tmode=move\toutput=/o/\tstarted=2014-12-31 12:00:00\tstarted_ns=5\n";
  Journal journal;
  ASSERT_TRUE(ParseJournal(header + "move\t/s/a\t/o/a\t1\t1.0\tab\nmove\t/s/b\t/o", &journal));
  EXPECT_TRUE(journal.move);
  EXPECT_EQ(journal.started_ns, 5);
  ASSERT_EQ(journal.files.size(), 1u);
  EXPECT_EQ(journal.files[0].line, 2);
  EXPECT_FALSE(journal.ends_with_line_break);
  EXPECT_FALSE(journal.complete);
  EXPECT_FALSE(ParseJournal("nandell-journal\t2\n", &journal));
  EXPECT_FALSE(ParseJournal("copy\t/s/a\t/o/a\t1\t1.0\tab\n", &journal));
}

// Names that a line-based format could split or mangle go into the journal and come out the
// same, and the undo finds the files by them.
TEST(JournalTest, NamesWithTabsLineBreaksAndInvalidUtf8AreJournaledAndUndone) {
  const std::vector<std::string> names = {"tab\there.mov", "line\nbreak.mov", "bad\xff\xfe.mov",
                                          "back\\slash.mov", "cr\r.mov"};
  for (const bool move : {false, true}) {
    TempDir dir;
    const std::string src = dir / "src/";
    ASSERT_TRUE(MakeFolders(dir / "out") && MakeFolders(dir / "cfg"));
    for (const std::string& name : names) {
      ASSERT_TRUE(WriteFile(src + name, "content of " + name, LocalNoon(2015, 3, 4)));
    }
    RunConfig config;
    config.photo_folder = src;
    config.output_folder = dir / "out/";
    config.error_file_folder = dir / "cfg/";
    config.move = move;
    RecordingObserver sink;
    ASSERT_EQ(RunToEnd(config, &sink), "");
    ASSERT_EQ(sink.report.counters.FailedCount, 0);
    ASSERT_FALSE(sink.report.journal.empty());
    EXPECT_EQ(sink.report.journal.rfind(dir / "out/.nandell/journal/", 0), 0u);

    Journal journal;
    ASSERT_TRUE(ParseJournal(ReadFile(sink.report.journal), &journal));
    EXPECT_EQ(journal.move, move);
    EXPECT_TRUE(journal.complete);
    EXPECT_EQ(journal.counters.ProcessedCount, 5);
    std::set<std::pair<std::string, std::string>> journaled, reported;
    for (const JournalEntry& entry : journal.files) {
      journaled.emplace(entry.source, entry.target);
      EXPECT_EQ(entry.record.size, static_cast<int64_t>(ReadFile(entry.target).size()));
      EXPECT_EQ(entry.record.checksum.size(), 32u);
    }
    for (const FileEvent& event : sink.files) reported.emplace(event.source, event.target);
    EXPECT_EQ(journaled, reported);
    // Every line but the header names one folder made or one file.
    EXPECT_EQ(journal.folders.size(), 2u);

    std::atomic<bool> running{true};
    UndoEndEvent end;
    std::string refusal;
    EXPECT_EQ(UndoRun(
                  fs::RealFileSystem(), sink.report.journal, running, [](const UndoFileEvent&) {},
                  &end, &refusal),
              0);
    EXPECT_EQ(end.undone, 5);
    for (const std::string& name : names) EXPECT_EQ(ReadFile(src + name), "content of " + name);
    EXPECT_TRUE(ListFiles(dir / "out/").empty());
    EXPECT_FALSE(PathExists(dir / "out/2015年"));
  }
}

}  // namespace
}  // namespace nandell
