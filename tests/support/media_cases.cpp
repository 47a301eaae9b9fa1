// Sound and hostile media files for the readers' tests and fuzzers, grouped by reader.
#include "tests/support/media_builder.h"

namespace nandell::test_support {

namespace {

// 2016-05-06 12:00:00 UTC in seconds since 1904: the same day in every time zone within
// eleven hours of UTC.
constexpr uint64_t kNoon = 3545380800;
constexpr const char* kNoonDay = "2016-05-06";
constexpr const char* kCameraDay = "2015-03-04";  // CameraTiff's DateTimeOriginal

Bytes Repeat(const Bytes& bytes, int times) {
  Bytes out;
  for (int i = 0; i < times; ++i) out += bytes;
  return out;
}

// Replaces the little-endian 32-bit number at `at`.
Bytes WithLe32(Bytes bytes, size_t at, uint32_t value) {
  bytes.replace(at, 4, Le32(value));
  return bytes;
}

void IsoCases(std::vector<MediaCase>* cases) {
  auto add = [cases](const char* name, Bytes bytes, std::string day, std::string fault = "") {
    cases->push_back({"iso_media", name, std::move(bytes), std::move(day), std::move(fault)});
  };
  // HEIF: the Exif item wherever the item tables put it.
  add("heif_sound", MakeHeif({}), kCameraDay);
  HeifFacts heif;
  heif.iloc_version = 0;
  add("heif_iloc_version_0", MakeHeif(heif), kCameraDay);
  heif.iloc_version = 2;
  heif.infe_version = 3;
  heif.brand = "avif";
  add("avif_iloc_version_2_infe_version_3", MakeHeif(heif), kCameraDay);
  heif = {};
  heif.item_in_idat = true;
  add("heif_item_in_idat", MakeHeif(heif), kCameraDay);
  heif = {};
  heif.item_at_end = true;
  add("heif_item_at_the_end", MakeHeif(heif), kCameraDay);
  heif = {};
  CameraFacts motorola;
  motorola.order = ByteOrder::kMotorola;
  heif.exif_item = Be32(0) + BuildTiff(CameraTiff(motorola));
  add("heif_item_tiff_right_after_offset_field", MakeHeif(heif), kCameraDay);
  heif = {};
  heif.exif_item.clear();
  add("heif_without_exif_item", MakeHeif(heif), "");
  heif = {};
  heif.exif_offset_shift = 1u << 30;
  add("heif_item_past_the_end", MakeHeif(heif), "", "Exif item outside the file");
  heif = {};
  heif.exif_length = 0;  // the rest of the file
  add("heif_item_length_0", MakeHeif(heif), kCameraDay);
  heif = {};
  heif.iloc_version = 3;
  add("heif_iloc_version_3", MakeHeif(heif), "", "item locations damaged");
  {
    const Bytes ftyp = IsoBox("ftyp", "heic" + Be32(0));
    const Bytes iinf = FullBox(
        "iinf", 0, Be16(1) + FullBox("infe", 2, Be16(1) + Be16(0) + "Exif" + Bytes(1, '\0')));
    // Extents of no bytes at all: the table's size does not bound their number.
    const Bytes item = Be16(1) + Be16(0) + Be16(65535);
    Bytes iloc = FullBox("iloc", 0, Bytes("\x00\x00", 2) + Be16(2) + item + item);
    add("heif_extents_without_bytes", ftyp + FullBox("meta", 0, iinf + iloc), "",
        "too many item extents");
    // 64-bit base and extent offsets whose sum wraps around.
    iloc = FullBox("iloc", 1,
                   Bytes("\x88\x80", 2) + Be16(1) + Be16(1) + Be16(0) + Be16(0) +
                       Be64(0xFFFFFFFFFFFFFF00) + Be16(1) + Be64(0x200) + Be64(16));
    add("heif_item_offset_wraps", ftyp + FullBox("meta", 0, iinf + iloc), "",
        "Exif item outside the file");
  }

  // QuickTime and MP4: the movie wherever it lies, and its date sources in their order.
  MovieFacts movie;
  movie.movie_header_time = kNoon;
  add("mov_movie_header_after_media", MakeMovie(movie), kNoonDay);
  movie.brand = "";
  add("mov_without_ftyp", MakeMovie(movie), kNoonDay);
  movie.brand = "isom";
  movie.movie_first = true;
  add("mp4_movie_first", MakeMovie(movie), kNoonDay);
  movie.movie_first = false;
  movie.large_media_box = true;
  add("mp4_media_box_with_64_bit_size", MakeMovie(movie), kNoonDay);
  movie.large_media_box = false;
  movie.movie_header_version = 1;
  add("mp4_movie_header_version_1", MakeMovie(movie), kNoonDay);
  movie.movie_header_version = 0;
  movie.creation_date = "2018-01-02T23:30:00+0300";
  movie.user_data_day = "2017-03-04T05:06:07+0100";
  add("mov_creation_date_first", MakeMovie(movie), "2018-01-02");
  movie.creation_date = "0000-00-00T00:00:00Z";
  add("mov_unset_creation_date_then_day", MakeMovie(movie), "2017-03-04");
  movie.creation_date = "";
  movie.user_data_day = "";
  movie.user_data_date = "2021-05-16T19:27:55Z";
  add("mp4_user_data_date", MakeMovie(movie), "2021-05-16");
  movie.user_data_date = "";
  movie.list_day = "2020-02-03";
  add("mp4_list_day", MakeMovie(movie), "2020-02-03");
  movie.list_day = "";
  movie.movie_header_time = 0;
  add("mov_movie_header_time_unset", MakeMovie(movie), "");
  movie.movie_header_time = kNoon;
  const MovieParts parts = MakeMovieParts(movie);  // ftyp, mdat header; moov as tail
  const Bytes ftyp = parts.head.substr(0, parts.head.size() - 8);
  add("mp4_media_box_size_0", ftyp + Be32(0) + "mdat" + Bytes(100, '\0') + parts.tail, "");
  add("mp4_64_bit_size_past_the_end", ftyp + Be32(1) + "mdat" + Be64(1ull << 40) + parts.tail, "",
      "box runs past its container");
  add("mp4_box_size_3", ftyp + Be32(3) + "free" + parts.tail, "",
      "box size smaller than its header");
  add("mp4_cut_in_64_bit_size", ftyp + Be32(1) + "mdat" + Be32(0), "",
      "64-bit box size past the end");
  add("mov_movie_box_cut_short", ftyp + parts.tail.substr(0, parts.tail.size() - 20), kNoonDay,
      "box runs past its container");
  add("mov_trailing_bytes", MakeMovie(movie) + Bytes(7, '\0'), kNoonDay);
  const Bytes children = parts.tail.substr(8);  // mvhd first
  Bytes deep = "";
  for (int i = 0; i < 500; ++i) deep = IsoBox("udta", deep);
  add("mov_user_data_nested_500_deep", ftyp + IsoBox("moov", deep + children), kNoonDay);
  add("mov_ten_thousand_boxes", ftyp + IsoBox("moov", children + Repeat(IsoBox("free", ""), 10000)),
      kNoonDay, "too many boxes");
  add("mov_movie_header_too_short", ftyp + IsoBox("moov", IsoBox("mvhd", Be32(0))), "",
      "movie header too short");
  {
    const Bytes keys = FullBox("keys", 0, Be32(1) + Be32(1000) + "mdta" + "com.apple");
    const Bytes meta = IsoBox("meta", keys + IsoBox("ilst", ""));
    add("mov_key_past_its_table", ftyp + IsoBox("moov", children + meta), kNoonDay,
        "metadata key runs past its table");
  }
}

void RiffCases(std::vector<MediaCase>* cases) {
  auto add = [cases](const char* name, Bytes bytes, std::string day, std::string fault = "") {
    cases->push_back({"riff", name, std::move(bytes), std::move(day), std::move(fault)});
  };
  AviFacts avi;
  avi.idit = "Thu Jan 20 08:16:08 2022\n";
  add("avi_idit_c_library_text", MakeAvi(avi), "2022-01-20");
  avi.idit = "2022:01:21 08:16:08";
  add("avi_idit_exif_text", MakeAvi(avi), "2022-01-21");
  avi.idit = "    :  :     :  :  ";
  avi.nikon_original = "2021:06:25 10:35:00";
  avi.nikon_create = "2021:06:24 10:35:00";
  add("avi_unset_idit_then_nikon", MakeAvi(avi), "2021-06-25");
  avi.idit = "";
  avi.nikon_original = "";
  add("avi_nikon_create_date_only", MakeAvi(avi), "2021-06-24");
  add("avi_without_dates", MakeAvi({}), "");
  avi = {};
  avi.idit = "FRI MAR 26 21:18:24 2021";
  const Bytes sound = MakeAvi(avi);
  add("avi_riff_size_past_the_end", WithLe32(sound, 4, 1u << 31), "2021-03-26",
      "RIFF size past the end of the file");
  add("avi_header_only", Riff("AVI ", ""), "");
  {
    Bytes list = RiffList("hdrl", RiffChunk("JUNK", "x") + RiffChunk("IDIT", avi.idit));
    add("avi_odd_sized_chunk_before_idit", Riff("AVI ", list), "2021-03-26");
    list = "LIST" + Le32(1000) + "hdrl" + "IDIT" + Le32(0xFFFFFFF0) + avi.idit;
    add("avi_idit_past_its_list", Riff("AVI ", list), "2021-03-26", "chunk runs past its list");
    const Bytes tags = Le16(0x14) + Le16(500) + "2021:06:25";
    add("avi_nikon_tag_past_its_chunk", Riff("AVI ", RiffList("ncdt", RiffChunk("nctg", tags))), "",
        "Nikon tag runs past its chunk");
    add("avi_ten_thousand_chunks", Riff("AVI ", Repeat(RiffChunk("JUNK", ""), 10001)), "",
        "too many chunks");
    Bytes nested = RiffChunk("IDIT", avi.idit);
    for (int i = 0; i < 50; ++i) nested = RiffList("hdrl", nested);
    add("avi_lists_nested_50_deep", Riff("AVI ", nested), "", "lists nested too deep");
  }
  const Bytes tiff = BuildTiff(CameraTiff({}));
  add("webp_exif", MakeWebp(tiff), kCameraDay);
  CameraFacts motorola;
  motorola.order = ByteOrder::kMotorola;
  add("webp_exif_motorola_with_prefix", MakeWebp(BuildExifPayload(CameraTiff(motorola))),
      kCameraDay);
  add("webp_exif_not_announced", MakeWebp(tiff, false), "");
  add("webp_simple", Riff("WEBP", RiffChunk("VP8 ", Bytes(100, '\x22'))), "");
  {
    const Bytes webp = MakeWebp(tiff);
    add("webp_exif_past_the_end", WithLe32(webp, webp.find("EXIF") + 4, 1u << 20), kCameraDay,
        "chunk runs past its list");
  }
}

void TiffCases(std::vector<MediaCase>* cases) {
  auto add = [cases](const char* name, Bytes bytes, std::string day, std::string fault = "") {
    cases->push_back({"tiff_file", name, std::move(bytes), std::move(day), std::move(fault)});
  };
  const TiffBlock intel = CameraTiff({});
  CameraFacts facts;
  facts.order = ByteOrder::kMotorola;
  const TiffBlock motorola = CameraTiff(facts);
  add("raw_intel", MakeRawTiff(intel, Bytes("II*\0", 4), 1000), kCameraDay);
  add("raw_motorola", MakeRawTiff(motorola, Bytes("MM\0*", 4), 1000), kCameraDay);
  add("raw_olympus", MakeRawTiff(intel, "IIRO", 1000), kCameraDay);
  add("raw_olympus_motorola", MakeRawTiff(motorola, "MMOR", 1000), kCameraDay);
  add("raw_panasonic", MakeRawTiff(intel, Bytes("IIU\0", 4), 1000), kCameraDay);
  {
    // A large value in the first directory puts the Exif directory beyond the first window.
    TiffBlock far = intel;
    auto& entries = far.ifds[0].entries;
    entries.insert(entries.end() - 1, Undefined(0x02BC, Bytes(200 * 1024, '<')));
    add("raw_exif_directory_after_200_kib", MakeRawTiff(far, Bytes("II*\0", 4), 1000), kCameraDay);
    TiffBlock plain;
    plain.ifds = {intel.ifds[0]};
    plain.ifds[0].entries.pop_back();  // no Exif link
    add("raw_without_exif_directory", MakeRawTiff(plain, Bytes("II*\0", 4), 1000), "");
    TiffBlock cycle = intel;
    cycle.ifds[1].next = 0;
    add("raw_exif_directory_links_back", MakeRawTiff(cycle, Bytes("II*\0", 4), 1000), kCameraDay);
    TiffBlock lost = intel;
    lost.first_offset = 0x7FFFFFF0;
    add("raw_first_directory_past_the_end", MakeRawTiff(lost, Bytes("II*\0", 4), 1000), "",
        "no Exif block in the TIFF directories");
  }
  add("raw_header_only", Bytes("II*\0\x08\0\0\0", 8), "", "no Exif block in the TIFF directories");
}

void PngCases(std::vector<MediaCase>* cases) {
  auto add = [cases](const char* name, Bytes bytes, std::string day, std::string fault = "") {
    cases->push_back({"png", name, std::move(bytes), std::move(day), std::move(fault)});
  };
  const Bytes tiff = BuildTiff(CameraTiff({}));
  add("png_exif", MakePng(tiff), kCameraDay);
  add("png_exif_with_prefix", MakePng(BuildExifPayload(CameraTiff({}))), kCameraDay);
  add("png_exif_after_image_data", MakePng(tiff, true), "");
  const Bytes signature("\x89PNG\r\n\x1a\n", 8);
  const Bytes header = PngChunk("IHDR", Bytes(13, '\0'));
  add("png_chunk_length_over_limit", signature + header + Be32(0x80000000) + "eXIf", "",
      "PNG chunk length over 2^31 - 1");
  add("png_chunk_past_the_end", signature + header + Be32(1000) + "eXIf" + tiff, "",
      "PNG chunk runs past the end");
  add("png_cut_before_image_data", signature + header, "", "PNG ends without IEND");
  add("png_4097_text_chunks", signature + Repeat(PngChunk("tEXt", "a"), 4097), "",
      "too many PNG chunks before the image data");
}

}  // namespace

std::vector<MediaCase> MediaCases() {
  std::vector<MediaCase> cases;
  IsoCases(&cases);
  RiffCases(&cases);
  TiffCases(&cases);
  PngCases(&cases);
  return cases;
}

}  // namespace nandell::test_support
