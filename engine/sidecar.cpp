#include "engine/sidecar.h"

#include <algorithm>
#include <string_view>

#include "platform/text.h"

namespace nandell {
namespace {

// Takeout cuts the name of a sidecar before ".json" to this many characters.
constexpr size_t kTakeoutNameCharacters = 46;

bool EndsWithIgnoringCase(std::string_view text, std::string_view tail) {
  return text.size() > tail.size() &&
         EqualsIgnoringAsciiCase(text.substr(text.size() - tail.size()), tail);
}

// The first `characters` characters of the UTF-8 text `text`.
std::string FirstCharacters(const std::string& text, size_t characters) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == characters) {
      return text.substr(0, i);
    }
  }
  return text;
}

// The length of a "(N)" that ends `stem` (N one to three digits), or 0.
size_t DuplicateMarkLength(std::string_view stem) {
  if (stem.size() < 3 || stem.back() != ')') return 0;
  size_t open = stem.size() - 2;
  while (open > 0 && stem[open] >= '0' && stem[open] <= '9') --open;
  const size_t digits = stem.size() - 2 - open;
  if (stem[open] != '(' || digits < 1 || digits > 3 || open == 0) return 0;
  return stem.size() - open;
}

// Takeout's name before ".json" of the sidecar of `form` for the file `name`.
std::string TakeoutName(const std::string& name, SidecarForm form) {
  const char* suffix = form == SidecarForm::kTakeoutSupplement ? ".supplemental-metadata" : "";
  return FirstCharacters(name + suffix, kTakeoutNameCharacters);
}

}  // namespace

std::string SidecarNameFor(const Sidecar& sidecar, const std::string& name) {
  const size_t own_dot = sidecar.name.rfind('.');
  const std::string extension =
      own_dot == std::string::npos ? std::string() : sidecar.name.substr(own_dot);
  switch (sidecar.form) {
    case SidecarForm::kXmpOfName:
      return name + extension;
    case SidecarForm::kXmpOfStem: {
      const size_t dot = name.rfind('.');
      return (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + extension;
    }
    case SidecarForm::kTakeout:
    case SidecarForm::kTakeoutSupplement:
      return TakeoutName(name, sidecar.form) + extension;
  }
  return name + extension;
}

void SidecarIndex::Add(const std::string& name) {
  if (EndsWithIgnoringCase(name, ".xmp") || EndsWithIgnoringCase(name, ".json")) {
    names_[AsciiLower(name)].push_back(name);
  }
}

std::vector<Sidecar> SidecarIndex::SidecarsOf(const std::string& name) const {
  std::vector<Sidecar> found;
  if (names_.empty()) return found;
  const auto look_up = [&](const std::string& candidate, SidecarKind kind, SidecarForm form) {
    const auto it = names_.find(AsciiLower(candidate));
    if (it == names_.end()) return;
    const std::vector<std::string>& spellings = it->second;
    const auto same = std::find(spellings.begin(), spellings.end(), candidate);
    const std::string& listed = same != spellings.end() ? *same : spellings.front();
    if (std::none_of(found.begin(), found.end(),
                     [&](const Sidecar& sidecar) { return sidecar.name == listed; })) {
      found.push_back({listed, kind, form});
    }
  };
  const size_t dot = name.rfind('.');
  const bool has_extension = dot != std::string::npos && dot > 0;
  look_up(name + ".xmp", SidecarKind::kXmp, SidecarForm::kXmpOfName);
  if (has_extension) {
    look_up(name.substr(0, dot) + ".xmp", SidecarKind::kXmp, SidecarForm::kXmpOfStem);
  }

  // Takeout: the name itself, and for NAME(N).EXT the name NAME.EXT with (N) after the cut.
  std::vector<std::pair<std::string, std::string>> bases = {{name, ""}};
  const size_t mark = has_extension ? DuplicateMarkLength(std::string_view(name).substr(0, dot))
                                    : DuplicateMarkLength(name);
  if (mark > 0) {
    const size_t stem_end = (has_extension ? dot : name.size()) - mark;
    bases.emplace_back(name.substr(0, stem_end) + (has_extension ? name.substr(dot) : ""),
                       name.substr(stem_end, mark));
  }
  for (const auto& [base, duplicate] : bases) {
    for (const SidecarForm form : {SidecarForm::kTakeout, SidecarForm::kTakeoutSupplement}) {
      look_up(TakeoutName(base, form) + duplicate + ".json", SidecarKind::kTakeoutJson, form);
    }
  }
  return found;
}

}  // namespace nandell
