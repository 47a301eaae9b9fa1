// The date sources beyond a file's own metadata, without the disk: names, XMP and Takeout
// sidecars and how they are found, and the clock rules of the plan.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <sstream>

#include "engine/local_time.h"
#include "engine/name_date.h"
#include "engine/plan.h"
#include "engine/sidecar.h"
#include "engine/takeout_date.h"
#include "engine/xmp_date.h"

namespace nandell {
namespace {

// Seconds since the epoch of a local date and time.
int64_t LocalSeconds(int year, int month, int day, int hour, int minute) {
  struct tm local {};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&local));
}

// "now" of the tests: well after every date they name, so the year after next is 2027.
const int64_t kNow = LocalSeconds(2026, 6, 15, 12, 0);

std::string Shown(const std::optional<LocalTime>& time) {
  return time ? DateTimeText(*time) : "none";
}

// The local time of a moment, as a name of milliseconds or a Takeout timestamp gives it.
std::string LocalText(int64_t seconds) {
  return Shown(LocalTimeOf(seconds));
}

TEST(NameDateTest, NamesOfPhonesCamerasMessengersAndScreenshots) {
  const struct {
    const char* name;
    std::string date;  // expected, "none" for no date
  } rows[] = {
      {"IMG_20200101_123456.jpg", "2020-01-01 12:34:56"},
      {"IMG_20200101_123456.heic", "2020-01-01 12:34:56"},
      {"VID_20200101_123456.mp4", "2020-01-01 12:34:56"},
      {"PXL_20200101_123456789.jpg", "2020-01-01 12:34:56"},
      {"PXL_20200101_123456789.NIGHT.jpg", "2020-01-01 12:34:56"},
      {"20200101_123456.jpg", "2020-01-01 12:34:56"},
      {"20200101_123456(1).png", "2020-01-01 12:34:56"},
      {"IMG-20200101-WA0001.jpg", "2020-01-01"},
      {"VID-20200101-WA0012.mp4", "2020-01-01"},
      {"Screenshot_20200101-123456.png", "2020-01-01 12:34:56"},
      {"Screenshot_2020-01-01-12-34-56-789_com.example.png", "2020-01-01 12:34:56"},
      {"Screenshot 2020-01-01 at 12.34.56.png", "2020-01-01 12:34:56"},
      {"Screen Shot 2020-01-01 at 1.34.56 PM.png", "2020-01-01 13:34:56"},
      {"Screenshot 2020-01-01 at 12.34.56\xE2\x80\xAF"
       "AM.png",
       "2020-01-01 00:34:56"},
      {"signal-2020-01-01-123456.jpg", "2020-01-01 12:34:56"},
      {"signal-2020-01-01-12-34-56-789.mp4", "2020-01-01 12:34:56"},
      {"photo_2020-01-01_12-34-56.jpg", "2020-01-01 12:34:56"},
      {"WIN_20200101_12_34_56_Pro.mp4", "2020-01-01 12:34:56"},
      {"微信图片_20200101123456.jpg", "2020-01-01 12:34:56"},
      {"QQ图片20200101123456.png", "2020-01-01 12:34:56"},
      {"IMG20200101123456.jpg", "2020-01-01 12:34:56"},
      {"2020-01-01.jpg", "2020-01-01"},
      {"DSC_0001_20200101.jpg", "2020-01-01"},
      {"mmexport1577836800000.jpg", LocalText(1577836800)},
      {"wx_camera_1577836800123.mp4", LocalText(1577836800)},
      {"MMEXPORT1577836800000.JPG", LocalText(1577836800)},
      {"IMG_20271231_000000.jpg", "2027-12-31 00:00:00"},  // next year is the last
      // Counters, phone numbers, hashes and numbers that are no calendar day.
      {"IMG_2041.jpg", "none"},
      {"DSC_0001.JPG", "none"},
      {"13812345678.jpg", "none"},
      {"+86 138-1234-5678.jpg", "none"},
      {"d41d8cd98f00b204e9800998ecf8427e.jpg", "none"},
      {"ab12cd20200101.jpg", "none"},
      {"20200101abc.jpg", "none"},
      {"1577836800000.jpg", "none"},  // milliseconds without a prefix that writes them
      {"mmexport157783680000.jpg", "none"},
      {"IMG_20201301_123456.jpg", "none"},
      {"IMG_20200230_123456.jpg", "none"},
      {"IMG_20200101_253456.jpg", "none"},
      {"IMG_19891231_123456.jpg", "none"},
      {"IMG_20280101_123456.jpg", "none"},
      {"mmexport0000000000000.jpg", "none"},
      {"Screenshot 2020-01-01 at 13.34.56 PM.png", "none"},
      {"photo.jpg", "none"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Shown(NameDate(row.name, kNow)), row.date) << row.name;
  }
}

TEST(XmpDateTest, DatePropertiesByNamespaceInTheirOrder) {
  const std::string head =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
      "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>";
  const std::string tail = "</rdf:RDF></x:xmpmeta>";
  const struct {
    const char* what;
    std::string body;
    const char* date;
  } rows[] = {
      {"attribute",
       "<rdf:Description xmlns:exif='http://ns.adobe.com/exif/1.0/' "
       "exif:DateTimeOriginal='2020-05-01T02:30:00+02:00'/>",
       "2020-05-01 02:30:00"},
      {"element",
       "<rdf:Description xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
       "<xmp:CreateDate> 2020-05-01T02:30 </xmp:CreateDate></rdf:Description>",
       "2020-05-01 02:30:00"},
      {"another prefix, declared",
       "<rdf:Description xmlns:a='http://ns.adobe.com/xap/1.0/'>"
       "<a:CreateDate>2006-05-24T15:06:26</a:CreateDate>"
       "</rdf:Description>",
       "2006-05-24 15:06:26"},
      {"a usual prefix, undeclared", "<rdf:Description photoshop:DateCreated='2014-04-27'/>",
       "2014-04-27"},
      {"DateTimeOriginal first, wherever it stands",
       "<rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
       "xmlns:exif='http://ns.adobe.com/exif/1.0/' xmlns:photoshop='http://ns.adobe.com/"
       "photoshop/1.0/' photoshop:DateCreated='2001-01-01' xmp:CreateDate='2002-02-02T02:02:02'>"
       "<exif:DateTimeOriginal>2003-03-03T03:03:03.25Z</exif:DateTimeOriginal>"
       "</rdf:Description>",
       "2003-03-03 03:03:03"},
      {"an unusable date gives way to the next",
       "<rdf:Description xmlns:xmp='http://ns.adobe.com/xap/1.0/' "
       "xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:DateTimeOriginal='0000-00-00T00:00:00' "
       "xmp:CreateDate='2002-02-02T02:02:02Z'/>",
       "2002-02-02 02:02:02"},
      {"the namespace decides, not the prefix",
       "<rdf:Description xmlns:xmp='http://example.com/other/' xmp:CreateDate='2002-02-02'/>",
       "none"},
      {"a declaration ends with its element",
       "<rdf:Description><a:b xmlns:e='http://ns.adobe.com/exif/1.0/'/>"
       "<e:DateTimeOriginal>2020-01-01</e:DateTimeOriginal></rdf:Description>",
       "none"},
      {"an attribute without a prefix is in no namespace",
       "<rdf:Description xmlns='http://ns.adobe.com/xap/1.0/' CreateDate='2002-02-02'/>", "none"},
      {"a default namespace names elements",
       "<rdf:Description><CreateDate xmlns='http://ns.adobe.com/xap/1.0/'>2002-02-02"
       "</CreateDate></rdf:Description>",
       "2002-02-02"},
      {"comments, CDATA and instructions",
       "<!-- xmp:CreateDate='1999-09-09' --><?pi x?>"
       "<xmp:CreateDate><![CDATA[2002-02-02]]></xmp:CreateDate>",
       "2002-02-02"},
      {"a year or a month alone is no day", "<rdf:Description xmp:CreateDate='2002-02'/>", "none"},
      {"not a time of day", "<rdf:Description xmp:CreateDate='2002-02-02T24:00:00'/>", "none"},
      {"after tomorrow", "<rdf:Description xmp:CreateDate='2030-01-01T00:00:00'/>", "none"},
      {"a tag cut short keeps what came before",
       "<rdf:Description xmp:CreateDate='2002-02-02'/><rdf:Description exif:DateTime",
       "2002-02-02"},
      {"an unquoted value stops the scan", "<rdf:Description xmp:CreateDate=2002-02-02/>", "none"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Shown(XmpCaptureDate(head + row.body + tail, kNow)), row.date) << row.what;
  }
}

TEST(XmpDateTest, DeepAndWideHostilePacketsEndWithinTheirBounds) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  deep += "<xmp:CreateDate>2002-02-02</xmp:CreateDate>";
  EXPECT_EQ(Shown(XmpCaptureDate(deep, kNow)), "none");  // beyond the levels kept
  std::string wide = "<a";
  for (int i = 0; i < 20000; ++i) wide += " xmlns:p" + std::to_string(i) + "='u'";
  wide += "><b xmp:CreateDate='2002-02-02'/></a>";
  EXPECT_EQ(Shown(XmpCaptureDate(wide, kNow)), "2002-02-02");
}

// The XMP files that digiKam, APhotoManager, exiftool and jPhotoTagger wrote (dates as the
// corpus's README lists them); skipped without the corpus.
TEST(XmpDateTest, SidecarsOfRealProgramsGiveTheirDates) {
  const struct {
    const char* file;
    const char* date;
  } rows[] = {
      {"APhotoManager-exmaple.xmp", "2002-02-02 02:02:02"},
      {"digikam-example.xmp", "2014-04-27 12:42:47"},
      {"exiftool-9.74-example.xmp", "2006-05-23 14:04:42"},
      {"jPhotoTagger-example.xmp", "2006-05-24 15:06:26"},
  };
  for (const auto& row : rows) {
    std::ifstream in(std::string(NANDELL_SIDECAR_CORPUS_DIR) + "/" + row.file, std::ios::binary);
    if (!in) GTEST_SKIP() << "no sidecar corpus at " << NANDELL_SIDECAR_CORPUS_DIR;
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(Shown(XmpCaptureDate(bytes.str(), kNow)), row.date) << row.file;
  }
}

TEST(TakeoutDateTest, PhotoTakenTimeOfTheTopLevelObject) {
  // Takeout's layout: title, then creationTime and photoTakenTime, each with its timestamp
  // as a string of seconds and a formatted text.
  const std::string layout =
      "{\n  \"title\": \"IMG_1234.JPG\",\n  \"description\": \"\",\n  \"imageViews\": \"3\",\n"
      "  \"creationTime\": {\n    \"timestamp\": \"1600000000\",\n    \"formatted\": \"Sep 13, "
      "2020, 12:26:40 PM UTC\"\n  },\n  \"photoTakenTime\": {\n    \"timestamp\": "
      "\"1577836800\",\n    \"formatted\": \"Jan 1, 2020, 12:00:00 AM UTC\"\n  },\n"
      "  \"geoData\": {\"latitude\": 0.0, \"longitude\": -1.5e2, \"altitude\": 0.0},\n"
      "  \"people\": [{\"name\": \"A \\\"B\\\" \\u00e9\"}], \"url\": null, \"x\": true\n}";
  const struct {
    const char* what;
    std::string json;
    std::optional<int64_t> seconds;
  } rows[] = {
      {"Takeout's layout", layout, 1577836800},
      {"a number", "{\"photoTakenTime\": {\"timestamp\": 1577836800}}", 1577836800},
      {"an escaped key", "{\"photo\\u0054akenTime\": {\"timestamp\": \"1577836800\"}}", 1577836800},
      {"only creationTime", "{\"creationTime\": {\"timestamp\": \"1600000000\"}}", std::nullopt},
      {"nested deeper", "{\"a\": {\"photoTakenTime\": {\"timestamp\": \"1\"}}}", std::nullopt},
      {"zero", "{\"photoTakenTime\": {\"timestamp\": \"0\"}}", std::nullopt},
      {"negative", "{\"photoTakenTime\": {\"timestamp\": -5}}", std::nullopt},
      {"a fraction", "{\"photoTakenTime\": {\"timestamp\": 1577836800.5}}", std::nullopt},
      {"digits and more", "{\"photoTakenTime\": {\"timestamp\": \"1577836800x\"}}", std::nullopt},
      {"beyond the calendar", "{\"photoTakenTime\": {\"timestamp\": \"999999999999999\"}}",
       std::nullopt},
      {"not JSON before it", "{\"a\": tru, \"photoTakenTime\": {\"timestamp\": \"1\"}}",
       std::nullopt},
      {"cut short after it", "{\"photoTakenTime\": {\"timestamp\": \"1577836800\", \"form",
       1577836800},
      {"an array at the top", "[{\"photoTakenTime\": {\"timestamp\": \"1\"}}]", std::nullopt},
      {"deeper than the bound", std::string(100000, '[') + "{}", std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(TakeoutTakenTime(row.json), row.seconds) << row.what;
  }
}

TEST(SidecarIndexTest, SidecarsAreFoundByTheirNamesInAnyCase) {
  SidecarIndex index;
  for (const char* name :
       {"IMG_1.CR2.xmp", "IMG_1.XMP", "img_1.jpg.json", "IMG_1.jpg.json", "IMG_2.jpg(1).json",
        "IMG_3.jpg.supplemental-metadata.json",
        "PXL_20200101_123456789.NIGHT.jpg.supplemental-.json",
        "a_very_long_file_name_that_takeout_has_to_cut_.json", "photo.jpg", "notes.txt"}) {
    index.Add(name);
  }
  const struct {
    const char* file;
    const char* sidecars;  // "name (x|j)" joined by blanks
  } rows[] = {
      {"IMG_1.CR2", "IMG_1.CR2.xmp(x) IMG_1.XMP(x)"},
      {"IMG_1.jpg", "IMG_1.XMP(x) IMG_1.jpg.json(j)"},  // the same letter case first
      {"IMG_1.JPG", "IMG_1.XMP(x) img_1.jpg.json(j)"},
      {"IMG_2(1).jpg", "IMG_2.jpg(1).json(j)"},
      {"IMG_3.jpg", "IMG_3.jpg.supplemental-metadata.json(j)"},
      {"PXL_20200101_123456789.NIGHT.jpg",
       "PXL_20200101_123456789.NIGHT.jpg.supplemental-.json(j)"},
      {"a_very_long_file_name_that_takeout_has_to_cut_short.jpg",
       "a_very_long_file_name_that_takeout_has_to_cut_.json(j)"},
      {"photo.jpg", ""},
      {"IMG_2.jpg", ""},
  };
  for (const auto& row : rows) {
    std::string found;
    for (const Sidecar& sidecar : index.SidecarsOf(row.file)) {
      found += (found.empty() ? "" : " ") + sidecar.name +
               (sidecar.kind == SidecarKind::kXmp ? "(x)" : "(j)");
    }
    EXPECT_EQ(found, row.sidecars) << row.file;
  }
}

TEST(LocalTimeTest, ClockTextsShiftsAndTheStartOfTheDay) {
  int minutes = -1;
  const struct {
    const char* text;
    bool clock;  // ParseClockText accepts it
    bool shift;  // ParseShiftText accepts it
    int value;
  } texts[] = {
      {"04:00", true, true, 240},    {"23:59", true, true, 1439},  {"+03:30", false, true, 210},
      {"-03:00", false, true, -180}, {"48:00", false, true, 2880}, {"24:00", false, true, 1440},
      {"4:00", false, false, 0},     {"04:60", false, false, 0},   {"04-00", false, false, 0},
      {"", false, false, 0},         {"+-1:00", false, false, 0},
  };
  for (const auto& row : texts) {
    EXPECT_EQ(ParseClockText(row.text, &minutes), row.clock) << row.text;
    if (row.clock) {
      EXPECT_EQ(minutes, row.value) << row.text;
    }
    EXPECT_EQ(ParseShiftText(row.text, &minutes), row.shift) << row.text;
    if (row.shift) {
      EXPECT_EQ(minutes, row.value) << row.text;
    }
  }
  EXPECT_EQ(ClockText(-180, true), "-03:00");
  EXPECT_EQ(ClockText(240), "04:00");

  const LocalTime night{2020, 5, 1, 2, 30, 15, true};
  const LocalTime leap{2020, 2, 28, 23, 0, 0, true};
  const LocalTime new_year{2021, 1, 1, 0, 10, 0, true};
  const LocalTime day_only{2020, 5, 1, 0, 0, 0, false};
  EXPECT_EQ(DateTimeText(AddMinutes(night, -180)), "2020-04-30 23:30:15");
  EXPECT_EQ(DateTimeText(AddMinutes(leap, 90)), "2020-02-29 00:30:00");
  EXPECT_EQ(DateTimeText(AddMinutes(leap, 24 * 60 + 60)), "2020-03-01 00:00:00");
  EXPECT_EQ(DateTimeText(AddMinutes(new_year, -11)), "2020-12-31 23:59:00");
  EXPECT_EQ(DateTimeText(AddMinutes(day_only, -180)), "2020-05-01");
  EXPECT_EQ(DayText(DayStarting(night, 240)), "2020-04-30");
  EXPECT_EQ(DayText(DayStarting(night, 150)), "2020-05-01");
  EXPECT_EQ(DayText(DayStarting(new_year, 60)), "2020-12-31");
  EXPECT_EQ(DayText(DayStarting(day_only, 240)), "2020-05-01");
}

TEST(PlanTest, ShiftAndTheStartOfTheDayChooseTheDayFolder) {
  const CaptureStamp night{"2020-05-01", LocalTime{2020, 5, 1, 2, 30, 0, true}, DateSource::kExif};
  const CaptureStamp day_only{"2020-05-01", LocalTime{2020, 5, 1, 0, 0, 0, false},
                              DateSource::kName};
  const CaptureStamp designed{"    -  -     -  -  ", std::nullopt, DateSource::kExif};
  const int64_t last_write = LocalSeconds(2020, 5, 1, 2, 30);
  const struct {
    const char* what;
    int day_start;
    int shift;
    const CaptureStamp& stamp;
    const char* day;
    const char* last_write_day;
  } rows[] = {
      {"as designed", 0, 0, night, "2020-05-01", "2020-05-01"},
      {"a day starting at 04:00", 240, 0, night, "2020-04-30", "2020-04-30"},
      {"a shift of -03:00, not of the last-write time", 0, -180, night, "2020-04-30", "2020-05-01"},
      {"a shift into the day after", 0, 22 * 60, night, "2020-05-02", "2020-05-01"},
      {"both: shifted, then the day's start", 240, 60, night, "2020-04-30", "2020-04-30"},
      {"a date without its time keeps its day", 240, -180, day_only, "2020-05-01", "2020-04-30"},
      {"a designed text that is no day stays", 240, -180, designed, "    -  -     -  -  ",
       "2020-04-30"},
  };
  for (const auto& row : rows) {
    RunConfig config;
    config.day_start_minutes = row.day_start;
    config.shift_minutes = row.shift;
    EXPECT_EQ(PlannedDay(config, row.stamp), row.day) << row.what;
    EXPECT_EQ(LastWriteDay(config, last_write), row.last_write_day) << row.what;
  }
}

}  // namespace
}  // namespace nandell
