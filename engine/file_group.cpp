#include "engine/file_group.h"

#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "platform/text.h"

namespace nandell {
namespace {

enum class Kind { kStill, kRaw, kMovie, kSidecar, kOther };

constexpr std::string_view kStills[] = {"jpg", "jpeg", "heic", "heif"};
constexpr std::string_view kRaws[] = {"crw", "cr2", "cr3", "nef", "arw", "dng",
                                      "raf", "orf", "rw2", "pef", "srw"};
constexpr std::string_view kMovies[] = {"mov", "mp4"};
constexpr std::string_view kSidecars[] = {"xmp", "aae", "thm", "json"};
// Sidecars named after the stem alone, found here rather than by SidecarIndex.
constexpr std::string_view kStemSidecars[] = {"aae", "thm"};

// Where the extension of `name` begins (its last "."), or the name's end when it has none; a
// "." that begins the name starts no extension.
size_t StemLength(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? name.size() : dot;
}

template <size_t N>
bool OneOf(std::string_view extension, const std::string_view (&list)[N]) {
  return std::find(std::begin(list), std::end(list), extension) != std::end(list);
}

Kind KindOf(const std::string& lower_name) {
  const size_t stem = StemLength(lower_name);
  if (stem == lower_name.size()) return Kind::kOther;
  const std::string_view extension = std::string_view(lower_name).substr(stem + 1);
  if (OneOf(extension, kStills)) return Kind::kStill;
  if (OneOf(extension, kRaws)) return Kind::kRaw;
  if (OneOf(extension, kMovies)) return Kind::kMovie;
  if (OneOf(extension, kSidecars)) return Kind::kSidecar;
  return Kind::kOther;
}

}  // namespace

FolderGroups::FolderGroups(const std::vector<std::string>& names, const SidecarIndex& sidecars) {
  // The files that are not sidecars by their lower-cased stem, in the order listed; .aae and
  // .thm names by their lower-cased form.
  std::vector<std::string> stems;
  std::unordered_map<std::string, std::vector<std::pair<size_t, Kind>>> by_stem;
  std::unordered_map<std::string, size_t> stem_sidecars;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (name.empty() || name[0] == '.' || name[0] == '~') continue;
    const std::string lower = AsciiLower(name);
    const Kind kind = KindOf(lower);
    if (kind == Kind::kSidecar) {
      stem_sidecars.try_emplace(lower, i);
      continue;
    }
    std::string stem = lower.substr(0, StemLength(lower));
    auto& files = by_stem[stem];
    if (files.empty()) stems.push_back(std::move(stem));
    files.emplace_back(i, kind);
  }
  std::unordered_set<std::string> claimed;  // sidecars given to a group
  for (const std::string& stem : stems) {
    const auto& files = by_stem[stem];
    // The first still takes the raw files and movies of its stem; every other file goes with
    // its own sidecars only.
    std::vector<FileGroup> found;
    const auto still = std::find_if(files.begin(), files.end(),
                                    [](const auto& file) { return file.second == Kind::kStill; });
    if (still != files.end()) {
      FileGroup group;
      group.members.push_back({names[still->first], MemberRole::kPrincipal, std::nullopt, 0});
      for (const MemberRole role : {MemberRole::kRaw, MemberRole::kMovie}) {
        const Kind kind = role == MemberRole::kRaw ? Kind::kRaw : Kind::kMovie;
        for (const auto& [index, file_kind] : files) {
          if (file_kind == kind) group.members.push_back({names[index], role, std::nullopt, 0});
        }
      }
      found.push_back(std::move(group));
    }
    for (const auto& [index, kind] : files) {
      if (still == files.end() ||
          (kind != Kind::kRaw && kind != Kind::kMovie && index != still->first)) {
        found.push_back({{{names[index], MemberRole::kPrincipal, std::nullopt, 0}}});
      }
    }
    for (FileGroup& group : found) {
      const size_t files_in_group = group.members.size();
      for (size_t owner = 0; owner < files_in_group; ++owner) {
        for (const Sidecar& sidecar : sidecars.SidecarsOf(group.members[owner].name)) {
          if (!claimed.insert(sidecar.name).second) continue;
          group.members.push_back({sidecar.name, MemberRole::kSidecar, sidecar, owner});
        }
      }
      for (const std::string_view extension : kStemSidecars) {
        const auto it = stem_sidecars.find(stem + "." + std::string(extension));
        if (it == stem_sidecars.end() || !claimed.insert(names[it->second]).second) {
          continue;
        }
        group.members.push_back({names[it->second], MemberRole::kSidecar, std::nullopt, 0});
      }
      if (group.members.size() < 2) continue;
      for (const GroupMember& member : group.members) group_of_[member.name] = groups_.size();
      groups_.push_back(std::move(group));
    }
  }
}

const FileGroup* FolderGroups::GroupOf(const std::string& name) const {
  const auto it = group_of_.find(name);
  return it == group_of_.end() ? nullptr : &groups_[it->second];
}

std::vector<std::string> MemberNames(const FileGroup& group, const std::string& placed) {
  std::vector<std::string> names;
  names.reserve(group.members.size());
  const std::string& principal = group.members.front().name;
  if (placed == principal) {
    for (const GroupMember& member : group.members) names.push_back(member.name);
    return names;
  }
  // The principal's stem is replaced by the placed name's in every name that follows it.
  const size_t old_stem = StemLength(principal);
  const std::string new_stem = placed.substr(0, placed.size() - (principal.size() - old_stem));
  for (const GroupMember& member : group.members) {
    if (member.form) {
      names.push_back(SidecarNameFor(*member.form, names[member.owner]));
    } else if (&member == &group.members.front()) {
      names.push_back(placed);
    } else {
      names.push_back(new_stem + member.name.substr(std::min(old_stem, member.name.size())));
    }
  }
  return names;
}

}  // namespace nandell
