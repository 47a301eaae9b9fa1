#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

class QLabel;

namespace nandell {

class LinkLabelFilter;

/// Turns a text label of a dialog into a link: a pointing-hand cursor, its own font
/// (optionally underlined), hover and visited colours, and on a left-button PRESS it opens
/// its link target through the URL opener. The object is not a widget: it is attached to a
/// fresh QLabel each time a dialog is built and keeps its state (visited, hover, colour,
/// target) when that dialog is destroyed. There are four process-wide instances
/// (Instance(1) .. Instance(4)).
class LinkLabel {
 public:
  /// The label's own colours: normal and visited blue, hover green.
  static constexpr QRgb kNormalColor = qRgb(0, 0, 255);
  static constexpr QRgb kVisitedColor = qRgb(0, 0, 255);
  static constexpr QRgb kHoverColor = qRgb(0, 255, 0);

  /// A label whose font is underlined when `underline` is nonzero.
  explicit LinkLabel(int underline);
  ~LinkLabel();
  LinkLabel(const LinkLabel&) = delete;
  LinkLabel& operator=(const LinkLabel&) = delete;

  /// The process-wide instance `n` (1: main window footer, not underlined; 2: About e-mail,
  /// 3: About web address, 4: About messenger number; 2-4 underlined). Null for other n.
  static LinkLabel* Instance(int n);

  /// Attaches to `label` (detaching from any previous one): the label takes our font, our
  /// cursor and our text colour, and starts with mouse input passing through to its parent
  /// (as before SetNotify(1)). Detaches by itself when the label is destroyed.
  void Attach(QLabel* label);
  /// Detaches from the current label, if any; the state is kept.
  void Detach();
  /// The label attached now, or null.
  QLabel* Label() const;

  /// Nonzero: the label takes mouse input (hover, clicks, cursor); 0: input passes to the
  /// parent. No effect without an attached label.
  void SetNotify(int on);
  /// The cursor shown over the label (not owned; copied).
  void SetLinkCursor(const QCursor& cursor);
  /// Sets the link target from `text` (http -> as is; "@" -> "mailto:" + text; "QQ:" ->
  /// messenger link; else cleared). Returns 1 when a target was set, 0 otherwise; an empty
  /// text returns 0 and keeps the previous target.
  int SetLink(std::string text);

  /// The text colour the owning window imposes on the label (as its colour handler does);
  /// when set it wins over the label's own colours. Cleared by Attach.
  void SetParentColor(std::optional<QColor> color);

  /// What a press opens; empty for none.
  const std::string& LinkTarget() const { return link_target_; }
  /// Whether the label was ever pressed (one way, for the life of the process).
  bool IsVisited() const { return visited_; }
  /// Whether the pointer counts as over the label.
  bool IsHover() const { return hover_; }
  /// The label's own colour for its state (normal, hover or visited).
  QColor CurrentColor() const { return current_color_; }
  /// The label's font (application font, underline as constructed).
  QFont Font() const;

  /// Replaces the function that opens link targets (default: QDesktopServices::openUrl).
  /// Tests install a recorder so no real program is started. Returns the previous one.
  using UrlOpener = std::function<bool(const std::string&)>;
  static UrlOpener SetUrlOpener(UrlOpener opener);

 private:
  friend class LinkLabelFilter;
  void OnEnter();
  void OnLeave();
  void OnPress();
  void Redraw();

  QRgb current_color_ = kNormalColor;
  std::string link_target_;
  bool visited_ = false;
  std::optional<QCursor> cursor_;
  bool hover_ = false;
  bool underline_ = false;
  std::optional<QColor> parent_color_;
  QPointer<QLabel> label_;
  QPointer<LinkLabelFilter> filter_;
};

}  // namespace nandell
