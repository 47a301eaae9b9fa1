// Planning a file's place without the disk: the designed examples and fallbacks.
#include "engine/plan.h"

#include <gtest/gtest.h>

#include "tests/support/temp_tree.h"

namespace nandell {
namespace {

const int64_t kNewYearsEve = testing::LocalNoon(2014, 12, 31);

struct PlanRow {
  const char* what;
  bool by_year;
  const char* output;
  const char* date;
  std::optional<int64_t> last_write;
  const char* year_folder;  // expected
  const char* folder;       // expected
};

// The expected `path`: the output folder as given, the levels below it with this platform's
// separator.
std::string Expected(const std::string& output, const std::string& path) {
  if (path.empty()) return path;
  return output + testing::Native(path.substr(output.size()));
}

TEST(PlanTest, TargetFoldersAndFallbacks) {
  const PlanRow rows[] = {
      {"worked example by year", true, "/d/out/", "2015-03-04", kNewYearsEve, "/d/out/2015年/",
       "/d/out/2015年/2015-03-04/"},
      {"worked example by day", false, "/d/out/", "2015-03-04", kNewYearsEve, "",
       "/d/out/2015-03-04/"},
      {"no date, by year", true, "/d/out/", "", kNewYearsEve, "/d/out/2014年/",
       "/d/out/2014年/2014-12-31/"},
      {"no date, by day", false, "/d/out/", "", kNewYearsEve, "", "/d/out/2014-12-31/"},
      {"no year part, by year", true, "/d/out/", "-2015-03-04", kNewYearsEve, "/d/out/2014年/",
       "/d/out/2014年/2014-12-31/"},
      {"no year part, by day: used as it is", false, "/d/out/", "-2015-03-04", kNewYearsEve, "",
       "/d/out/-2015-03-04/"},
      {"no dash at all", true, "/d/out/", "2015", kNewYearsEve, "/d/out/2015年/",
       "/d/out/2015年/2015/"},
      {"zeros", true, "/d/out/", "0000-00-00", kNewYearsEve, "/d/out/0000年/",
       "/d/out/0000年/0000-00-00/"},
#ifdef _WIN32
      // Windows cannot hold a folder name that ends with a blank or holds a ":".
      {"blanks of an unset camera clock", true, "/d/out/", "    -  -     -  -  ", kNewYearsEve,
       "/d/out/2014年/", "/d/out/2014年/2014-12-31/"},
      {"a date Windows cannot hold", false, "/d/out/", "2015:03:04", kNewYearsEve, "",
       "/d/out/2014-12-31/"},
#else
      {"blanks of an unset camera clock", true, "/d/out/", "    -  -     -  -  ", kNewYearsEve,
       "/d/out/    年/", "/d/out/    年/    -  -     -  -  /"},
#endif
      {"unsafe date leaving the folder", true, "/d/out/", "../../x", kNewYearsEve, "/d/out/2014年/",
       "/d/out/2014年/2014-12-31/"},
      {"unsafe date with a separator", false, "/d/out/", "2015/03", kNewYearsEve, "",
       "/d/out/2014-12-31/"},
      {"no last-write time", true, "/d/out/", "", std::nullopt, "/d/out/0000年/",
       "/d/out/0000年/0000-00-00/"},
      {"time beyond the calendar", false, "/d/out/", "", INT64_MAX, "", "/d/out/0000-00-00/"},
      {"output without trailing separator", true, "/d/out", "2015-03-04", kNewYearsEve,
       "/d/out2015年/", "/d/out2015年/2015-03-04/"},
  };
  for (const PlanRow& row : rows) {
    RunConfig config;
    config.by_year = row.by_year;
    config.output_folder = row.output;
    const TargetPlan plan = PlanTarget(config, "IMG_0001.JPG", row.date, row.last_write);
    EXPECT_EQ(plan.year_folder, Expected(row.output, row.year_folder)) << row.what;
    EXPECT_EQ(plan.folder, Expected(row.output, row.folder)) << row.what;
    EXPECT_EQ(plan.path, Expected(row.output, row.folder) + "IMG_0001.JPG") << row.what;
    // The last-write time is asked for exactly when the plan depends on it.
    const bool depends =
        PlanTarget(config, "IMG_0001.JPG", row.date, std::nullopt).folder != plan.folder;
    if (depends) {
      EXPECT_TRUE(NeedsLastWrite(config, row.date)) << row.what;
    }
  }
}

TEST(PlanTest, FilterKeyIsTheLowerCasedTail) {
  const std::string defaults = kDefaultFileFilters;
  struct Row {
    std::string filters;
    const char* path;
    bool taken;
  } rows[] = {
      {defaults, "/P/photo.JPG", true},   {defaults, "/P/photo.jpg", true},
      {defaults, "/P/film.RMVB", true},   {defaults, "/P/clip.Mov", true},
      {defaults, "/P/photo.jpeg", false}, {defaults, "/P/photo.png", false},
      {defaults, "/P/song.mp3", false},   {"", "/P/photo.jpg", false},
      {".JPG", "/P/photo.JPG", false},    {".png,.mov", "/P/照片.PNG", true},
      {"g,.j", "/P/x.g,.j", true},        {defaults, "mp4", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TakesFile(row.filters, row.path), row.taken) << row.filters << " " << row.path;
  }
}

}  // namespace
}  // namespace nandell
