#pragma once

// The folder pickers' tests of a typed path: one component, and the levels below its root.

#include <cstddef>
#include <cstdint>
#include <functional>
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

/// How a folder picker talks to the user about a typed path: `ask` shows a Yes/No question and
/// returns true for Yes; `tell` shows an error message with an OK button. Both in English, as
/// designed, in boxes captioned with the application's name.
struct FolderDialogue {
  std::function<bool(const std::string& question)> ask;
  std::function<void(const std::string& message)> tell;
};

/// A folder picker's test of `path` on OK, with `check_or_create` its platform's rules
/// (CheckOrCreatePath: 0 valid, 1 invalid, 2 not made): 0 accepted (the folder exists, now or
/// after creation), -1 the user declined to create it, 1 invalid, 2 creation failed. An invalid
/// path is told "The folder:\n\nPATH\n\nis invalid. Please reenter."; a missing folder (or a
/// file of that name) is asked "...does not exist. Do you want the folder to be created?" and,
/// after Yes, made with every missing level; one that cannot be is told "...can not be created.
/// Please double check.".
int32_t ConfirmFolderPath(const std::string& path,
                          const std::function<int32_t(const char*, bool)>& check_or_create,
                          const FolderDialogue& dialogue);

}  // namespace nandell
