#include "cli/usage.h"

#include <algorithm>

namespace nandell::cli {
namespace {

constexpr size_t kWidth = 80;  // columns of the help text

OptionSpec HelpOption(const char* help) {
  return {.name = "--help", .alias = "-h", .help = help};
}

// The options of how files are dated, which `date` and `organize` share, in this order.
std::vector<OptionSpec> DateOptions() {
  return {
      {.name = "--media-dates",
       .help = "Read every file by what its content is, whatever its name, and date it by "
               "the first of: its EXIF DateTimeOriginal (JPEG, HEIC/HEIF/AVIF, WebP, "
               "TIFF-structured raw, PNG); Apple's creation date, the user-data date and the "
               "movie header time (QuickTime/MP4/3GP/M4V, the last in the local time zone); "
               "the IDIT or Nikon date (AVI); else its last-write time. A date that is not "
               "a calendar day is passed over. Overrides MediaDates of Config.ini."},
      {.name = "--sidecar-dates",
       .help = "Date a file that has no date of its own (where it would go by its last-write "
               "time) by its sidecar in the same folder, any letter case: an XMP file "
               "NAME.EXT.xmp or NAME.xmp (exif:DateTimeOriginal, else xmp:CreateDate, else "
               "photoshop:DateCreated, as written), else a Google Takeout file NAME.EXT.json or "
               "NAME.EXT.supplemental-metadata.json (cut to 46 characters before \".json\" as "
               "Takeout does; NAME.EXT(N).json for NAME(N).EXT), whose photoTakenTime is turned "
               "into local time. At most 256 KiB of a sidecar are read. Overrides SidecarDates of "
               "Config.ini."},
      {.name = "--name-dates",
       .help = "Date a file that has no date of its own, nor a sidecar's, by the date and time "
               "written in its name, as phones, cameras, messengers and screenshot tools write "
               "them: IMG_20200101_123456, PXL_20200101_123456789, IMG-20200101-WA0001, "
               "Screenshot_2020-01-01-12-34-56, \"Screenshot 2020-01-01 at 12.34.56\", "
               "signal-2020-01-01-123456, photo_2020-01-01_12-34-56, WIN_20200101_12_34_56_Pro, "
               "微信图片_20200101123456, QQ图片20200101123456, and mmexport1577836800000 or "
               "wx_camera_1577836800000 (milliseconds since 1970, turned into local time). "
               "Counters (IMG_2041, DSC_0001), phone numbers, hashes and dates that are not "
               "calendar days of 1990 to next year give none. Overrides NameDates of "
               "Config.ini."},
      {.name = "--day-starts-at",
       .value = "HH:MM",
       .help = "Begin each day at HH:MM instead of midnight: a photo taken (or, without a "
               "capture date, last written) before that time of day belongs to the day before, "
               "so that the photos of one night stay in one folder. A date without a time of "
               "day keeps its day. Overrides DayStartsAt of Config.ini."},
      {.name = "--shift",
       .value = "[+|-]HH:MM",
       .help = "Add this much to every capture time from metadata, sidecars and names (not to "
               "last-write times) before the day is taken, for a camera whose clock was wrong: "
               "--shift -03:00 files a photo of 2020-05-01 02:30 under 2020-04-30. A date "
               "without a time of day keeps its day."},
  };
}

// `options` with the date options put where `--media-dates` stands.
std::vector<OptionSpec> WithDateOptions(std::vector<OptionSpec> options) {
  const auto at = std::find_if(options.begin(), options.end(),
                               [](const OptionSpec& option) { return option.name.empty(); });
  const std::vector<OptionSpec> dates = DateOptions();
  options.insert(options.erase(at), dates.begin(), dates.end());
  return options;
}

// The table. Each option is a row with only the fields it needs (see OptionSpec).
ProgramSpec MakeProgram() {
  ProgramSpec program{
      .name = "nandell-cli",
      .summary = "sort photos and videos into dated folders from the command line",
      .description =
          {"nandell-cli dates photos and videos and sorts them into dated folders the way the "
           "Nandell window does, with the same settings and the same messages.",
           "A JPEG photo is dated by its EXIF DateTimeOriginal, any other file (and a photo "
           "without that date) by its last-write time. With media dates (--media-dates, or "
           "MediaDates=1 in Config.ini) HEIC/HEIF/AVIF, WebP, raw and PNG photos and "
           "QuickTime/MP4 and AVI videos are dated by the capture dates their headers hold "
           "too. With sidecar and name dates (--sidecar-dates and --name-dates, or SidecarDates=1 "
           "and NameDates=1) a file without a date of its own is dated by its XMP or Google "
           "Takeout sidecar, else by the date written in its name."},
      .options = {{.name = "--version", .help = "Print the program's name and version and exit."},
                  {.name = "--lang",
                   .value = "LANG",
                   .help = "The language of the messages, the summary and errorFile.txt: en "
                           "(English) or zh_CN (the designed Chinese). Given before or after "
                           "the command; overrides Language of Config.ini. The log, Config.ini "
                           "and the folder names (YYYY年) stay as they are.",
                   .choices = {"en", "zh_CN"},
                   .global = true},
                  HelpOption("Show this help and exit; after a command, that command's help.")},
  };

  program.commands.push_back({
      .name = "date",
      .operands = "FILE...",
      .operand_kind = OperandKind::kFiles,
      .min_operands = 1,
      .summary = "Print the capture date of each file.",
      .description = {"Prints, for each FILE in the order given, its path, a tab and its capture "
                      "date (YYYY-MM-DD, or nothing when the file has none). A file that cannot "
                      "be examined (missing, unreadable, a folder) gets its line too, and a "
                      "message on standard error.",
                      "The date options and the date keys of Config.ini (MediaDates, "
                      "SidecarDates, NameDates, DayStartsAt) apply as in organize, so that a "
                      "date printed is the day folder's name that organize would choose; a file "
                      "that would go by its last-write time gets that day only with --source."},
      .options = WithDateOptions(
          {{},
           {.name = "--source",
            .help = "Print after each date a tab and where it came from: exif (an EXIF "
                    "DateTimeOriginal), media (a video's own date, with --media-dates), sidecar, "
                    "name, or mtime (the last-write time; the date is then the last-write day). "
                    "A file that cannot be examined gets an empty date and source."}}),
      .exit_status = {{"0", "Every file could be examined."},
                      {"1", "A file could not be examined."},
                      {"2", "Usage error."}},
  });

  program.commands.push_back({
      .name = "organize",
      .operands = "PHOTO_FOLDER OUTPUT_FOLDER",
      .operand_kind = OperandKind::kFolders,
      .max_operands = 2,
      .summary = "Sort a photo folder into dated folders of an output folder.",
      .description =
          {"Runs the window's organizing run: every file of PHOTO_FOLDER and its subfolders "
           "whose last four characters, lower-cased, occur in the filter list (by default "
           "\".jpg,.avi,.mov,.mp4,rmvb\") is dated and copied, or moved, into "
           "OUTPUT_FOLDER/YYYY年/YYYY-MM-DD/, or OUTPUT_FOLDER/YYYY-MM-DD/ without year folders. "
           "A file whose target exists already is never overwritten; it counts as failed. No "
           "link below the two folders is followed: a link where a year or day folder should be "
           "fails the file, and a folder that cannot be read to its end is a failure too.",
           "The window's start checks come first (both folders given, not the same, neither "
           "inside the other, both existing); a refusal is printed on standard error. Every "
           "file's message goes to standard output, with a live progress line on standard error "
           "when that is a terminal (the files done of the files counted first, the time left "
           "and the failures so far), and the summary at the end. The failures are listed in "
           "errorFile.txt, each with its reason. Ctrl-C, SIGTERM, SIGHUP and a closed standard "
           "output stop the run after the files in hand, like the window's Stop button.",
           "The filter list, the year folders, the date switches and what to do with a target "
           "that exists come from Config.ini; the options override them for this run only. The "
           "command line never writes Config.ini.",
           "A run that places a file keeps a journal of every file it placed or skipped in "
           "OUTPUT_FOLDER/.nandell/journal/, so that it can be undone (see undo and history); "
           "with a date option it also records how each file was dated."},
      .options = WithDateOptions(
          {{.name = "--move",
            .help = "Move the files (delete the sources) instead of copying them."},
           {.name = "--by-day",
            .group = "layout",
            .help = "Put the day folders directly in OUTPUT_FOLDER."},
           {.name = "--by-year",
            .group = "layout",
            .help = "Group the day folders in year folders YYYY年."},
           {.name = "--filters",
            .value = "LIST",
            .help = "Take the files whose last four characters, lower-cased, occur in LIST (for "
                    "example \".jpg,.mov\") instead of the filter list of Config.ini."},
           {},
           {.name = "--skip-identical",
            .help = "A file whose target exists with the same size and bytes (compared in "
                    "full) is skipped, not failed: \"相同文件已存在(N): SOURCE\" and \"跳过: "
                    "TARGET\", counted in the summary's \"跳过 N 个\". A moved file's source "
                    "stays where it is. Overrides SkipIdentical of Config.ini."},
#ifdef NANDELL_WITH_LIBRARY
           {.name = "--skip-known",
            .help = "A file whose content is already anywhere in OUTPUT_FOLDER, under any name "
                    "and in any folder, is skipped, not failed: \"已在库中(N): SOURCE\" and "
                    "\"位置: PATH\" (where the library holds it), counted in the summary's "
                    "\"跳过 N 个\". A moved file's source stays where it is. The files of "
                    "OUTPUT_FOLDER are kept in an index, OUTPUT_FOLDER/.nandell/library.sqlite, "
                    "made the first time (see library) and checked against the folder at every "
                    "run; a file is read for it only when a file of the library has its size. "
                    "Overrides SkipKnown of Config.ini."},
#endif
           {.name = "--rename-conflicts",
            .help = "A file whose target name is taken by other bytes (by any file without "
                    "--skip-identical) goes to the first free name NAME_1.EXT ... "
                    "NAME_9999.EXT in the same folder. Overrides RenameConflicts of "
                    "Config.ini."},
           {.name = "--keep-together",
            .help = "Keep files that belong together as one group: a photo and its sidecars "
                    "(NAME.xmp, NAME.EXT.xmp, NAME.aae, NAME.thm, Takeout's NAME.EXT.json), a raw "
                    "file (.crw .cr2 .cr3 .nef .arw .dng .raf .orf .rw2 .pef .srw) beside its JPEG "
                    "or HEIC, a Live Photo's .mov or .mp4 beside its still: files of one folder "
                    "with one stem, any letter case. A group goes whether the filter names all of "
                    "its files or one, into the day folder of the first of its still, raw file "
                    "and movie that has a date of its own (else the still's), each file under the "
                    "still's stem (IMG_0001_1.CR2 beside IMG_0001_1.JPG); if one file cannot be "
                    "placed, none is. It counts once, fails once, is skipped only when every "
                    "file is identical, and is undone as one. A sidecar without its photo stays. "
                    "Overrides KeepTogether of Config.ini."},
           {.name = "--dry-run",
            .help = "Change nothing: print the messages and the summary the run would print, "
                    "the failures, skips and free names it can foresee included (a target that "
                    "exists, or one an earlier file of the run would take), then \"(预演: "
                    "未改动任何文件)\". No folder, file, journal or errorFile.txt is made."},
           {.name = "--quiet", .help = "Print only the summary, not every file's message."}}),
      .exit_status = {{"0", "No file failed."},
                      {"1", "A file or folder failed; the failures are listed in errorFile.txt."},
                      {"2", "The run was refused, or a usage error."},
                      {"3", "The run was stopped before it had walked every folder."}},
  });

  program.commands.push_back({
      .name = "undo",
      .operands = "OUTPUT_FOLDER|JOURNAL_FILE",
      .operand_kind = OperandKind::kFiles,
      .min_operands = 1,
      .max_operands = 1,
      .summary = "Undo the latest run into an output folder, or the run of a journal.",
      .description =
          {"Undoes the latest run into OUTPUT_FOLDER that is not undone yet, or the run whose "
           "journal is JOURNAL_FILE (see history). Every moved file goes back to its source "
           "path (missing folders are made again), without replacing anything and, across file "
           "systems, copied, compared and only then removed. A copy is removed when it still "
           "holds the bytes that were placed and its source still holds them too. A file that "
           "changed since the run, whose source name is taken, or whose original is gone is "
           "left where it is and named. Then the year and day folders the run made are removed "
           "when they are empty.",
           "Each file's message goes to standard output, the summary (\"撤销文件 N 个, 保留 N "
           "个\") at the end. The undo writes its progress into the journal: an undo that was "
           "interrupted finishes the rest when run again, and a run that was undone is not "
           "undone twice. Ctrl-C stops after the file in hand."},
      .exit_status = {{"0", "Every file was undone."},
                      {"1", "A file was kept, or the undo was stopped."},
                      {"2",
                       "Nothing to undo, undone already, in use by a run or an undo, or a "
                       "usage error."}},
  });

  program.commands.push_back({
      .name = "history",
      .operands = "OUTPUT_FOLDER",
      .operand_kind = OperandKind::kFolders,
      .min_operands = 1,
      .max_operands = 1,
      .summary = "List the runs into an output folder.",
      .description = {"Prints one line per run into OUTPUT_FOLDER, oldest first, with tabs "
                      "between: its start, the mode (复制 or 移动), its files, failures and "
                      "skips, whether it was undone (未撤销, 已撤销, 撤销未完成), and its "
                      "journal."},
      .exit_status = {{"0", "The runs were listed (or there were none)."},
                      {"2", "The folder does not exist, or a usage error."}},
  });

#ifdef NANDELL_WITH_LIBRARY
  program.commands.push_back({
      .name = "library",
      .operands = "OUTPUT_FOLDER",
      .operand_kind = OperandKind::kFolders,
      .min_operands = 1,
      .max_operands = 1,
      .summary = "Make or check the index of an output folder and print its counts.",
      .description =
          {"Makes the index of every file in OUTPUT_FOLDER (names beginning with \".\" left "
           "out, links not followed), OUTPUT_FOLDER/.nandell/library.sqlite, the first time, and "
           "else checks it against the folder: a file whose size, last-write time or identity "
           "changed is read again when needed, a missing one is dropped, a new one added. Then "
           "prints the index's path, its files, their bytes and how many were read, and what the "
           "check added, changed and removed. A file's content is read only when another file "
           "has its size (by organize --skip-known or duplicates), once; a copy that organize "
           "places brings the checksum it took while copying.",
           "An index that is damaged, or a file in its place that is not this program's, is set "
           "aside beside it (renamed; the message says where) and made anew. Ctrl-C stops the "
           "check; what it found is kept."},
      .exit_status = {{"0", "The index is ready."},
                      {"1", "The index could not be made or used, or the check was stopped."},
                      {"2", "The folder does not exist, or a usage error."}},
  });

  program.commands.push_back({
      .name = "duplicates",
      .operands = "OUTPUT_FOLDER",
      .operand_kind = OperandKind::kFolders,
      .min_operands = 1,
      .max_operands = 1,
      .summary = "List the groups of identical files inside an output folder.",
      .description =
          {"Brings the index of OUTPUT_FOLDER up to date as library does, reads every file whose "
           "size another file has (once: the index keeps what it read), and prints each group "
           "of files with the same content, the largest first: a line \"相同的文件 (SIZE 字节):"
           "\", then each path on a line of its own, and an empty line between groups; "
           "\"没有相同的文件: OUTPUT_FOLDER\" when there are none. No file of the library is "
           "changed."},
      .exit_status = {{"0", "The groups were listed (or there were none)."},
                      {"1", "The index could not be made, used or read."},
                      {"2", "The folder does not exist, or a usage error."}},
  });
#endif

  for (CommandSpec& command : program.commands) {
    command.options.push_back(HelpOption("Show this help and exit."));
  }

  program.environment = {
      {"NANDELL_CONFIG_DIR",
       "The folder of Config.ini and errorFile.txt for this run, instead of the one named "
       "under FILES."},
      {"XDG_CONFIG_HOME", "The base of the per-user folder; ~/.config when it is not set."}};
  program.files = {
      {"Config.ini",
       "The settings, in the section VovirurOrarudar. A copy run from its build folder keeps "
       "it beside the program when that folder can be written or already holds it; a program "
       "installed in the system's folders (/usr/bin), or one whose folder cannot be written, "
       "keeps it in $XDG_CONFIG_HOME/nandell/. The window reads it at start and writes it "
       "when it closes; "
       "the command line only reads it. Its Language key chooses the language of the texts: "
       "en for English; empty or zh_CN for the designed Chinese."},
      {"errorFile.txt",
       "The failures of the last run that had any, followed by its summary, in the folder of "
       "Config.ini. The per-user folder is created (mode 0700) when it is missing."}};
  return program;
}

// Display columns of a UTF-8 text: one per character, two for the wide East Asian ones
// (U+1100 and above, as far as this program's texts go).
size_t Columns(const std::string& text) {
  size_t columns = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;
    columns += byte >= 0xE1 ? 2 : 1;
  }
  return columns;
}

// Appends `words` joined by blanks, wrapped at kWidth: the first line continues `*out` whose
// current line is `used` columns wide, later lines begin with `indent` blanks.
void AppendWrapped(const std::vector<std::string>& words, size_t used, size_t indent,
                   std::string* out) {
  size_t column = used;
  bool line_empty = true;
  for (const std::string& word : words) {
    const size_t width = Columns(word);
    if (!line_empty && column + 1 + width > kWidth) {
      *out += '\n';
      out->append(indent, ' ');
      column = indent;
      line_empty = true;
    }
    if (!line_empty) {
      *out += ' ';
      ++column;
    }
    *out += word;
    column += width;
    line_empty = false;
  }
  *out += '\n';
}

std::string Paragraphs(const std::vector<std::string>& paragraphs) {
  std::string out;
  for (const std::string& paragraph : paragraphs) {
    out += '\n';
    AppendWrapped(SplitWords(paragraph), 0, 0, &out);
  }
  return out;
}

// Two columns: the terms, then their texts wrapped and aligned; a term too wide for the
// column gets its text on the next line.
std::string TermList(const std::vector<Entry>& entries) {
  size_t column = 0;
  for (const Entry& entry : entries) column = std::max(column, Columns(entry.term));
  column = std::min<size_t>(column + 4, 24);
  std::string out;
  for (const Entry& entry : entries) {
    std::string line = "  " + entry.term;
    if (Columns(line) + 2 > column) {
      out += line + '\n';
      line.clear();
    }
    out += line;
    out.append(column - Columns(line), ' ');
    AppendWrapped(SplitWords(entry.text), column, column, &out);
  }
  return out;
}

std::string OptionTerm(const OptionSpec& option) {
  std::string term = option.alias.empty() ? option.name : option.alias + ", " + option.name;
  if (!option.value.empty()) term += " " + option.value;
  return term;
}

std::string OptionList(const std::vector<OptionSpec>& options) {
  std::vector<Entry> entries;
  for (const OptionSpec& option : options) entries.push_back({OptionTerm(option), option.help});
  return TermList(entries);
}

// "nandell-cli organize PHOTO_FOLDER ..." wrapped after `lead` ("usage: " or blanks).
void AppendSynopsis(const std::string& lead, const std::string& head,
                    const std::vector<std::string>& items, std::string* out) {
  *out += lead + head;
  const size_t indent = Columns(lead) + Columns(head) + 1;
  if (items.empty()) {
    *out += '\n';
    return;
  }
  *out += ' ';
  AppendWrapped(items, indent, indent, out);
}

}  // namespace

const ProgramSpec& Program() {
  static const ProgramSpec program = MakeProgram();
  return program;
}

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& command : Program().commands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::vector<OptionSpec> AcceptedOptions(const CommandSpec& command) {
  std::vector<OptionSpec> accepted = command.options;
  auto help = std::find_if(accepted.begin(), accepted.end(), IsHelpOption);
  for (const OptionSpec& option : Program().options) {
    if (option.global) help = accepted.insert(help, option) + 1;
  }
  return accepted;
}

const OptionSpec* FindOption(const std::vector<OptionSpec>& options, const std::string& word) {
  for (const OptionSpec& option : options) {
    if (word == option.name || (!option.alias.empty() && word == option.alias)) return &option;
  }
  return nullptr;
}

std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

bool IsHelpOption(const OptionSpec& option) {
  return option.name == "--help";
}

std::vector<std::string> SynopsisItems(const std::vector<OptionSpec>& options) {
  std::vector<std::string> items;
  for (size_t i = 0; i < options.size(); ++i) {
    const OptionSpec& option = options[i];
    if (IsHelpOption(option)) continue;
    std::string item = "[" + option.name;
    if (!option.value.empty()) item += " " + option.value;
    while (!option.group.empty() && i + 1 < options.size() &&
           options[i + 1].group == option.group) {
      ++i;
      item += " | " + options[i].name;
      if (!options[i].value.empty()) item += " " + options[i].value;
    }
    items.push_back(item + "]");
  }
  return items;
}

std::string UsageText(const CommandSpec* command) {
  const ProgramSpec& program = Program();
  std::string out;
  std::string lead = "usage: ";
  for (const CommandSpec& each : program.commands) {
    if (command != nullptr && command != &each) continue;
    std::vector<std::string> items = SplitWords(each.operands);
    for (const std::string& item : SynopsisItems(each.options)) {
      // An item with blanks ("[--by-day | --by-year]") stays on one line.
      items.push_back(item);
    }
    // Continuation lines start under the first operand.
    std::string head = program.name + " " + each.name;
    AppendSynopsis(lead, head, items, &out);
    lead.assign(lead.size(), ' ');
  }
  if (command == nullptr) {
    const std::vector<std::string> own = SynopsisItems(program.options);
    if (!own.empty()) AppendSynopsis(lead, program.name, own, &out);
  }
  return out;
}

std::string ProgramHelp() {
  const ProgramSpec& program = Program();
  std::string out = UsageText();
  out += Paragraphs(program.description);
  out += "\nCommands:\n";
  std::vector<Entry> commands;
  for (const CommandSpec& command : program.commands) {
    commands.push_back({command.name, command.summary});
  }
  out += TermList(commands);
  out += "\nOptions:\n" + OptionList(program.options);
  out += "\n\"" + program.name + " COMMAND --help\" shows a command's options.\n";
  return out;
}

std::string CommandHelp(const CommandSpec& command) {
  std::string out = UsageText(&command);
  out += Paragraphs(command.description);
  out += "\nOptions:\n" + OptionList(AcceptedOptions(command));
  if (!command.exit_status.empty()) out += "\nExit status:\n" + TermList(command.exit_status);
  return out;
}

bool Arguments::Has(const std::string& name) const {
  return std::any_of(options.begin(), options.end(),
                     [&](const auto& option) { return option.first == name; });
}

std::string Arguments::Value(const std::string& name) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return std::string();
}

bool ParseArguments(const std::vector<OptionSpec>& options, const std::vector<std::string>& args,
                    bool stop_at_operand, Arguments* out, std::string* error) {
  *out = Arguments();
  size_t i = 0;
  bool options_ended = false;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_ended && arg == "--") {
      options_ended = true;
      if (stop_at_operand) {
        ++i;
        break;
      }
      continue;
    }
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      if (stop_at_operand) break;
      out->operands.push_back(arg);
      continue;
    }
    const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string word = arg.substr(0, equals);
    const OptionSpec* option = FindOption(options, word);
    if (option == nullptr) {
      *error = "unknown option '" + arg + "'";
      return false;
    }
    std::string value;
    if (option->value.empty()) {
      if (equals != std::string::npos) {
        *error = "option '" + option->name + "' takes no value";
        return false;
      }
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      *error = "option '" + option->name + "' needs a value";
      return false;
    }
    if (!option->choices.empty() &&
        std::find(option->choices.begin(), option->choices.end(), value) == option->choices.end()) {
      std::string accepted;
      for (const std::string& choice : option->choices)
        accepted += (accepted.empty() ? "" : ", ") + choice;
      *error = "unknown value '" + value + "' for option '" + option->name + "' (" + accepted + ")";
      return false;
    }
    if (IsHelpOption(*option)) {
      out->help = true;
      continue;
    }
    if (!option->group.empty()) {
      std::erase_if(out->options, [&](const auto& given) {
        const OptionSpec* other = FindOption(options, given.first);
        return other != nullptr && other->group == option->group;
      });
    }
    out->options.emplace_back(option->name, value);
  }
  out->consumed = static_cast<int>(i);
  return true;
}

bool OperandCountFits(const CommandSpec& command, const Arguments& args) {
  const int count = static_cast<int>(args.operands.size());
  return count >= command.min_operands &&
         (command.max_operands < 0 || count <= command.max_operands);
}

}  // namespace nandell::cli
