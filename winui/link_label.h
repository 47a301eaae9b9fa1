#pragma once

// A static text of a dialog made a link: the maker's web address, e-mail address or messenger
// number, opened through the shell on a press.

#include <windows.h>

#include <cstdint>
#include <string>

namespace nandell::winui {

/// Turns a static control into a link: a pointing-hand cursor, its own font (the system's GUI
/// font, optionally underlined), hover and visited colours, and on a left-button PRESS it opens
/// its link target through the program launcher (platform/process.h: ShellExecuteExW "open", or
/// what a test installed). The object outlives the dialogs: it is attached to a fresh control
/// each time one is built and keeps its state (visited, hover, colour, target) when that
/// control goes. There are four process-wide instances (Instance(1) .. Instance(4)).
class LinkLabel {
 public:
  /// The label's own colours: normal and visited blue, hover green.
  static constexpr COLORREF kNormalColor = RGB(0, 0, 255);
  static constexpr COLORREF kVisitedColor = RGB(0, 0, 255);
  static constexpr COLORREF kHoverColor = RGB(0, 255, 0);

  /// A label whose font is underlined when the low byte of `underline` is nonzero.
  explicit LinkLabel(int underline);
  ~LinkLabel();
  LinkLabel(const LinkLabel&) = delete;
  LinkLabel& operator=(const LinkLabel&) = delete;

  /// The process-wide instance `n` (1: main window footer, not underlined; 2: About e-mail,
  /// 3: About web address, 4: About messenger number; 2-4 underlined). Null for other n.
  static LinkLabel* Instance(int n);
  /// The instance attached to `control`, or null.
  static LinkLabel* AttachedTo(HWND control);

  /// Attaches to static `control` (subclassing it, giving it the label's font); detaches from
  /// the previous one. Detaches by itself when the control is destroyed.
  void Attach(HWND control);
  void Detach();
  /// The control attached now, or null.
  HWND Window() const { return window_; }

  /// Nonzero: adds SS_NOTIFY (the label takes mouse input); 0 removes it (input passes to the
  /// parent).
  void SetNotify(int32_t on);
  /// The cursor shown over the label (not owned).
  void SetLinkCursor(HCURSOR cursor) { cursor_ = cursor; }
  /// Sets the link target from `text` (LinkTargetFor); returns 1 when a target was set.
  int32_t SetLink(std::string text);

  /// The colour step of the parent's WM_CTLCOLORSTATIC: the label's font and colour into `dc`,
  /// transparent background.
  void CtlColor(HDC dc) const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR id, DWORD_PTR self);
  void Redraw();
  LRESULT OnMouseMove(WPARAM wparam, LPARAM lparam);

  COLORREF current_color_ = kNormalColor;
  std::string link_target_;
  int32_t visited_ = 0;
  HCURSOR cursor_ = nullptr;
  int32_t hover_ = 0;
  HFONT font_ = nullptr;
  HWND window_ = nullptr;
};

}  // namespace nandell::winui
