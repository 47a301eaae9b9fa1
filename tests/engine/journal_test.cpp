// The journal's fields, which carry any bytes, and its lines as read back.
#include "engine/journal.h"

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

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

const std::string kIntentsJournal =
    "nandell-journal\t1\tmode=move\toutput=/o/\toutput_id=1:9\n"
    "intent\tmove\t/s/a\t/o/a\t1\t1.0\t\t\n"       // 2: before the source is taken
    "intent\tmove\t/s/a\t/o/a\t1\t1.0\tab\t1:2\n"  // 3: before the copy takes its name
    "intent\tcopy\t/s/b\t/o/b\t1\t1.0\tcd\t1:3\n"  // 4: killed, or not placed
    "move\t/s/a\t/o/a\t1\t1.0\tab\n"               // 5: placed
    "date\t/o/a\tsource=name\ttaken=2014-12-31\n"  // 6: how a was dated
    "move\t/s/c\t/o/c\t1\t1.0\tef\n"               // 7
    "move\t/s/d\t/o/d\t1\t1.0\tef\n"               // 8
    "undo-begin\nkept\t7\tchanged\nkept\t8\terror: No space left on device\nundo-end\n";

TEST(JournalTest, IntentsGiveWayToTheirRecordsAndFilesKeptForAnErrorStayPending) {
  Journal journal;
  ASSERT_TRUE(ParseJournal(kIntentsJournal, &journal));
  EXPECT_EQ(journal.output_id, "1:9");
  ASSERT_EQ(journal.files.size(), 4u);
  EXPECT_EQ(journal.files[0].line, 5);
  EXPECT_FALSE(journal.files[0].intent);
  EXPECT_EQ(journal.files[0].date_source, "name");
  EXPECT_EQ(journal.files[0].taken, "2014-12-31");
  EXPECT_TRUE(journal.files[1].intent);
  EXPECT_EQ(journal.files[1].action, JournalAction::kCopy);
  EXPECT_EQ(journal.files[1].identity, "1:3");
  EXPECT_EQ(journal.files[1].date_source, "");
  std::vector<int> pending;
  for (const JournalEntry& entry : PendingFiles(journal)) pending.push_back(entry.line);
  EXPECT_EQ(pending, (std::vector<int>{5, 4, 8}));  // the changed file is kept for good
  EXPECT_TRUE(journal.undo_complete);
  EXPECT_FALSE(FullyUndone(journal));
}

// Read a few bytes at a time and kept as its counts, or as the places of its pending files, a
// journal gives what its whole text gives.
TEST(JournalTest, ReadInPiecesItGivesWhatItsWholeTextGives) {
  Journal whole;
  ASSERT_TRUE(ParseJournal(kIntentsJournal, &whole));
  std::vector<int> pending;
  for (const JournalEntry& entry : PendingFiles(whole)) pending.push_back(entry.line);
  for (size_t piece : {1, 7, 4096}) {
    Journal counted, placed;
    std::vector<JournalSlot> slots;
    JournalReader counts(&counted, false), places(&placed, false, &slots);
    for (size_t at = 0; at < kIntentsJournal.size(); at += piece) {
      counts.Feed(std::string_view(kIntentsJournal).substr(at, piece));
      places.Feed(std::string_view(kIntentsJournal).substr(at, piece));
    }
    ASSERT_TRUE(counts.Finish() && places.Finish());
    for (const Journal* journal : {&counted, &placed}) {
      EXPECT_EQ(journal->pending, 3);
      EXPECT_EQ(journal->placed, whole.placed);
      EXPECT_TRUE(journal->files.empty());
    }
    std::vector<int> lines;
    for (const JournalSlot& slot : slots) {
      lines.push_back(slot.line);
      JournalEntry entry;
      const size_t end = kIntentsJournal.find('\n', slot.offset);
      EXPECT_TRUE(
          ParseFileLine(kIntentsJournal.substr(slot.offset, end - slot.offset), slot.line, &entry));
    }
    EXPECT_EQ(lines, pending);
  }
}

// The lines of a run that skips many files before it places one wait out of memory, and reach
// the journal whole and in order once it is opened.
TEST(JournalTest, ManyLinesBeforeTheFirstPlacedFileReachTheJournal) {
  testing::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  RunConfig config;
  config.photo_folder = dir / "photos/";
  config.output_folder = dir.path();
  const std::string folder(4000, 'f');
  FileRecord record;
  {
    RunJournal journal(fs::RealFileSystem(), config);
    for (int i = 0; i < 600; ++i) {
      journal.AddFile(JournalAction::kSkip, config.photo_folder + folder + std::to_string(i),
                      dir / "2014/x", record);
    }
    ASSERT_EQ(journal.AddIntent(JournalAction::kCopy, config.photo_folder + "a", dir / "2014/a",
                                record, ""),
              0);
    journal.End(JobCounters{}, false);
    Journal read;
    ASSERT_TRUE(ParseJournal(testing::ReadFile(journal.Path()), &read));
    ASSERT_EQ(read.files.size(), 601u);
    for (int i = 0; i < 600; ++i) {
      EXPECT_EQ(read.files[i].source, config.photo_folder + folder + std::to_string(i));
    }
    EXPECT_TRUE(read.files[600].intent);
  }
}

}  // namespace
}  // namespace nandell
