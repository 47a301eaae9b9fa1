#pragma once

// The dialogs of the Windows window: a dialog made from a template of the program's resources,
// with one window procedure that hands every message to the object (the design's message maps),
// and the skinned dialog that the main window, the About box and the options window are.

#ifndef _WIN32
#error "winui/ is the Windows window"
#endif

#include <windows.h>

#include <string>
#include <vector>

namespace nandell::winui {

class PngButton;

/// The module whose resources the windows use (the executable's).
HINSTANCE ResourceModule();

/// `text` (UTF-8) as the text of window `window` (UTF-16 at the call).
void SetText(HWND window, const std::string& text);
/// The text of window `window`, as UTF-8.
std::string GetText(HWND window);

/// A modal dialog made from dialog template `template_id`. Messages reach OnMessage; what it
/// does not handle takes the dialog's default course.
class Dialog {
 public:
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  /// Runs the dialog modally over `owner` (may be null) and returns what EndDialog was given,
  /// or -1 when the dialog could not be made.
  INT_PTR DoModal(HWND owner);
  /// The dialog's window while it exists, else null.
  HWND Window() const { return window_; }
  /// Control `id` of the dialog.
  HWND Item(int id) const { return ::GetDlgItem(window_, id); }

 protected:
  explicit Dialog(int template_id) : template_id_(template_id) {}
  /// One message. Returns true when handled, with `*result` the dialog procedure's answer (for
  /// WM_CTLCOLOR* a brush, for WM_INITDIALOG whether the system sets the focus, otherwise the
  /// message's result).
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) = 0;

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  int template_id_;
  HWND window_ = nullptr;
};

/// A caption-less dialog whose face is a skin bitmap: the skin is its background brush and it
/// takes the skin's size; a left press on the background (or a text that lets mouse input
/// through) drags it; the statics draw transparently over the skin in the colour TextColor gives,
/// check and radio boxes over the skin under them; the image buttons registered with AddButton
/// are drawn from their strips over the skin.
class SkinnedDialog : public Dialog {
 public:
  ~SkinnedDialog() override;

  /// The skin's size (0 x 0 until LoadSkin).
  int SkinWidth() const { return skin_width_; }
  int SkinHeight() const { return skin_height_; }

 protected:
  explicit SkinnedDialog(int template_id) : Dialog(template_id) {}

  /// Loads skin bitmap `id` as the background brush and resizes the window to it, keeping its
  /// top-left corner. Returns false (nothing changed) when the bitmap is missing.
  bool LoadSkin(int id);
  /// Attaches `button` to control `id` and draws it over this dialog's skin.
  void AddButton(PngButton& button, int id);
  /// Moves control `id` to (x, y) with the size `width` x `height`, in client pixels.
  void Place(int id, int x, int y, int width, int height);
  /// Invalidates control `id`'s rectangle in the dialog with erase, so that a transparent text
  /// is drawn anew over the skin.
  void RedrawBehind(int id);
  /// The text colour of static `control`.
  virtual COLORREF TextColor(HWND control) = 0;

  /// The skinned dialog's own handling; subclasses call it for what they leave.
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR* result) override;

 private:
  HBRUSH skin_brush_ = nullptr;
  std::vector<PngButton*> buttons_;
  int skin_width_ = 0;
  int skin_height_ = 0;
};

}  // namespace nandell::winui
