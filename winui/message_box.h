#pragma once

// The one place where the Windows window shows a modal message box (MessageBoxW), with a seam
// for tests: every box asked for is recorded, and queued answers stand in for a person.

#include <windows.h>

#include <string>
#include <vector>

namespace nandell::winui {

/// One box as it was asked for.
struct ShownBox {
  std::string caption;
  std::string text;
  UINT type = 0;  ///< MB_* buttons and icon
};

/// Shows a modal box owned by `owner` (may be null) with `caption`, `text` (UTF-8) and `type`
/// (MB_* flags) and returns the button pressed (IDOK, IDYES, ...). With an answer queued the
/// box is recorded but not shown, and that answer returns.
int ShowMessageBox(HWND owner, const std::string& caption, const std::string& text, UINT type);

/// ShowMessageBox with the application's name ("Nandell") as the caption.
int ShowAppMessageBox(HWND owner, const std::string& text, UINT type);

/// Test seam: queues the answer of the next box (first queued, first used).
void QueueMessageBoxAnswer(int answer);
/// The boxes shown since the last ClearShownBoxes, oldest first; ClearShownBoxes also drops
/// answers not used.
const std::vector<ShownBox>& ShownBoxes();
void ClearShownBoxes();

}  // namespace nandell::winui
