#pragma once

// Files that belong together (KeepTogether): a photo and its sidecars (XMP, AAE, THM, Takeout
// JSON), a raw file beside its JPEG or HEIC, the movie of a Live Photo beside its still. They
// are found by name among the files of one folder (the listing the walk reads anyway) and are
// dated, placed, journaled and undone as one group.

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/sidecar.h"

namespace nandell {

/// What a file is to its group.
enum class MemberRole {
  kPrincipal,  ///< The still (JPEG, HEIC), or without one the file its sidecars belong to.
  kRaw,        ///< A raw file beside the still.
  kMovie,      ///< A .mov or .mp4 beside the still.
  kSidecar,    ///< A sidecar of one of the others.
};

/// One file of a group.
struct GroupMember {
  std::string name;  ///< As listed.
  MemberRole role = MemberRole::kPrincipal;
  /// An XMP or Takeout sidecar: how its name follows the name of the member `owner`. Without
  /// it the member is named by the principal's stem (raw files, movies, .aae, .thm).
  std::optional<Sidecar> form;
  size_t owner = 0;
};

/// Files of one folder that go as one: the principal first, then raw files, movies, sidecars.
struct FileGroup {
  std::vector<GroupMember> members;
};

/// The groups among the files of one folder. Names compared without letter case; a stem is a
/// name up to its last ".". A still (.jpg, .jpeg, .heic, .heif) takes the raw files (.crw .cr2
/// .cr3 .nef .arw .dng .raf .orf .rw2 .pef .srw) and movies (.mov, .mp4) of its stem; any file
/// that is not a sidecar takes its sidecars: NAME.EXT.xmp, NAME.xmp and Takeout's JSON
/// (SidecarIndex), NAME.aae and NAME.thm. A sidecar belongs to the first group that names it; a
/// file with nothing to take goes alone.
class FolderGroups {
 public:
  /// Groups `names` (every file of the folder, as listed), whose XMP and JSON names `sidecars`
  /// holds. Names beginning with "." or "~" (which the walk never takes) are left out.
  FolderGroups(const std::vector<std::string>& names, const SidecarIndex& sidecars);

  /// The group of the file `name`, or null when it goes alone.
  const FileGroup* GroupOf(const std::string& name) const;

 private:
  std::vector<FileGroup> groups_;
  std::unordered_map<std::string, size_t> group_of_;  // by name as listed
};

/// The names the members of `group` take in its target folder when its principal takes the name
/// `placed`: their own when that is the principal's own; else the stem of `placed` for the
/// principal's (IMG_0001_1.CR2 beside IMG_0001_1.JPG), and each sidecar its form's name for the
/// new name of the member it belongs to (IMG_0001_1.JPG.xmp).
std::vector<std::string> MemberNames(const FileGroup& group, const std::string& placed);

}  // namespace nandell
