// libFuzzer target over one media reader, chosen when the target is built
// (NANDELL_FUZZ_READER: ReadIsoMediaDates, ReadRiffDates, ReadTiffFileDates or ReadPngDates),
// reading arbitrary bytes as a file. Every text it leaves must be a short date text, and
// every read must stay inside the bytes (AddressSanitizer checks that).
#include <cstdint>
#include <cstdio>
#include <string>

#include "exif/exif_reader.h"
#include "exif/media_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nandell::MemoryByteSource source(data, size);
  nandell::MediaDates dates;
  std::string error;
  const bool ok = NANDELL_FUZZ_READER(source, &dates, &error);
  // A fault is always named; texts are cut to their bounds.
  if (!ok && error.empty()) __builtin_trap();
  if (dates.date_time_original.size() > 19) __builtin_trap();
  for (const std::string* text : {&dates.creation_date, &dates.user_data_day, &dates.user_data_date,
                                  &dates.riff_date, &dates.nikon_date}) {
    if (text->size() > 64 || text->find('\0') != std::string::npos) __builtin_trap();
  }
  return 0;
}
