#pragma once

// The folder pickers' tests of a typed path: one component, and the levels below its root.

#include <cstddef>
#include <cstdint>
#include <string>

namespace nandell {

/// Whether one path component is acceptable to a folder picker: not null or empty, no tab,
/// space or period at either end (so "." and ".." are refused), none of " * / : < > ? \ |.
/// Byte by byte; no other character is tested.
bool IsValidFolderName(const char* name);

/// The levels of `path` below its root, which is its first `root_length` characters (ending with
/// `separator`; the caller has checked it): 1 when a component is invalid (IsValidFolderName;
/// two separators in a row make an empty one) or the path ends with a separator, else 0. Unless
/// `check_only`, the levels before the first invalid one are made first (an existing level is
/// no error), and 2 is returned when they are not all folders afterwards.
int32_t CheckOrCreateBelowRoot(const std::string& path, size_t root_length, char separator,
                               bool check_only);

}  // namespace nandell
