#pragma once

// Sidecars: the files beside a photo that hold its date, found by name among the entries of
// its folder (the listing that the walk reads anyway), and read only to a bound.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace nandell {

/// The most bytes of a sidecar that are read; a larger one is read to here.
inline constexpr size_t kSidecarReadBound = 256 * 1024;

/// What a sidecar is written in.
enum class SidecarKind { kXmp, kTakeoutJson };

/// How a sidecar's name is made from its file's name NAME.EXT.
enum class SidecarForm {
  kXmpOfName,         ///< NAME.EXT.xmp
  kXmpOfStem,         ///< NAME.xmp
  kTakeout,           ///< NAME.EXT.json (Takeout's cut and "(N)" forms included)
  kTakeoutSupplement  ///< NAME.EXT.supplemental-metadata.json (cut likewise)
};

/// A sidecar of a file: its name in the file's folder, what it is and how it is named.
struct Sidecar {
  std::string name;
  SidecarKind kind = SidecarKind::kXmp;
  SidecarForm form = SidecarForm::kXmpOfName;
};

/// The name that `sidecar` (of some file) has for the file `name` in its form: NAME.EXT.xmp,
/// NAME.xmp, or Takeout's NAME.EXT.json or NAME.EXT.supplemental-metadata.json cut to 46
/// characters before ".json"; the extension in the letter case of the sidecar's own.
std::string SidecarNameFor(const Sidecar& sidecar, const std::string& name);

/// The names of one folder that may be sidecars (ending in ".xmp" or ".json", any letter case).
class SidecarIndex {
 public:
  /// Takes the entry `name` of the folder when it may be a sidecar; other names are passed over.
  void Add(const std::string& name);

  /// The sidecars of the file `name` in the order they are tried, each once: NAME.EXT.xmp and
  /// NAME.xmp; then Takeout's NAME.EXT.json and NAME.EXT.supplemental-metadata.json, each
  /// before ".json" cut to its first 46 characters, and for a name NAME(N).EXT also those of
  /// NAME.EXT with "(N)" before ".json". A name of the folder in the same letter case is
  /// taken before one that differs only in case.
  std::vector<Sidecar> SidecarsOf(const std::string& name) const;

 private:
  // The name as listed, by its ASCII-lower-cased form; every spelling of one form.
  std::unordered_map<std::string, std::vector<std::string>> names_;
};

}  // namespace nandell
