#pragma once

// The folder pickers' test of one component of a typed path.

namespace nandell {

/// Whether one path component is acceptable to a folder picker: not null or empty, no tab,
/// space or period at either end (so "." and ".." are refused), none of " * / : < > ? \ |.
/// Byte by byte; no other character is tested.
bool IsValidFolderName(const char* name);

}  // namespace nandell
