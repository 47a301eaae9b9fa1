#pragma once

// The folder picker of the Windows window: the shell's browse-for-folder dialog with an edit
// box of its own above the tree, whose text OK takes, tests and offers to create.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace nandell::winui {

/// Chooses a folder with SHBrowseForFolderW (classic layout, BIF_RETURNONLYFSDIRS |
/// BIF_STATUSTEXT): the status line is hidden and an edit box takes its place above the tree.
/// The edit box follows the tree selection (a selection without a drive path empties it and
/// disables OK) and may be typed into (OK is enabled exactly while it is not empty); OK takes
/// its text, tests it (ConfirmFolder) and offers to create a missing folder with all its
/// levels; the dialog stays open until an acceptable folder is given or the user cancels.
class FolderPicker {
 public:
  /// The shell's ids inside its classic browse dialog, and the picker's edit box.
  static constexpr int kTreeId = 14145;
  static constexpr int kStatusId = 14147;
  static constexpr int kEditId = 14148;

  /// `caption`: the dialog's caption (null: the shell's); `title`: the line above the tree
  /// (null: none); `initial_folder`: selected at opening (null: the current directory; empty:
  /// none); `owner`: the owning window (may be null). The texts are copied.
  FolderPicker(const char* caption, const char* title, const char* initial_folder, HWND owner);
  FolderPicker(const FolderPicker&) = delete;
  FolderPicker& operator=(const FolderPicker&) = delete;

  /// Runs the dialog modally. Returns 1 when a folder was accepted, -1 otherwise (Cancel, the
  /// close box, Escape, or no shell allocator).
  int32_t DoModal();
  /// The edit box's text as last read; after DoModal returned 1 the accepted folder as it
  /// stood: a drive path without a trailing "\", a drive root as "X:\".
  std::string GetPath() const { return path_; }

  /// Tests `path`: 0 accepted (the folder exists, now or after creation), -1 the user declined
  /// to create it, 1 invalid, 2 creation failed. Shows the invalid / cannot-create message or
  /// the creation question (the English boxes captioned "Nandell") over `owner`.
  static int32_t ConfirmFolder(const std::string& path, HWND owner);
  /// 0 valid (and, unless `check_only`, existing after creating every missing level), 1 invalid
  /// (null; not a drive letter, ":" and "\" first; an invalid component; a trailing "\" other
  /// than a drive root's), 2 a level could not be created or the drive root does not exist.
  static int32_t CheckOrCreatePath(const char* path, bool check_only);

 private:
  static int CALLBACK BrowseCallback(HWND browse, UINT message, LPARAM item, LPARAM self);
  static LRESULT CALLBACK HookProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                        UINT_PTR id, DWORD_PTR self);
  void OnInitialized(HWND browse);
  void OnSelectionChanged(LPARAM item);

  std::optional<std::wstring> caption_;
  std::optional<std::wstring> title_;
  std::optional<std::wstring> initial_folder_;
  std::string path_;
  HWND owner_ = nullptr;
  HWND browse_ = nullptr;
  HWND edit_ = nullptr;
  int32_t accepted_ = 0;
};

}  // namespace nandell::winui
