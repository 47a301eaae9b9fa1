#pragma once

#include <QString>
#include <cstdint>

#include "ui/skinned_dialog.h"

class QLabel;

namespace nandell {

class PngButton;

/// A skinned window beside the main window (the options, the preview, the history): frameless,
/// the size of its skin, its title on the dark band and the close cross (strip 145) in its
/// top-right corner; the cross and Escape close it (reject).
class PanelWindow : public SkinnedDialog {
  Q_OBJECT

 public:
  /// Colours over the skin: the title on the band, the texts, and the notes.
  static constexpr QRgb kTitleColor = qRgb(255, 255, 255);
  static constexpr QRgb kTextColor = qRgb(31, 107, 129);
  static constexpr QRgb kNoteColor = qRgb(104, 128, 146);

  /// The window painted with skin `skin_id` and titled `title` (shown as it is, on a line
  /// `title_width` wide; half the window's width when 0).
  PanelWindow(uint32_t skin_id, const QString& title, QWidget* parent, int title_width = 0);

  /// The close cross.
  PngButton* CloseButton() const { return close_; }

 protected:
  /// A plain text at (x, y), `w` wide and one line high, that lets the mouse through.
  QLabel* AddText(const QString& text, int x, int y, int w, QRgb color, bool bold = false);
  /// A button of strip `strip` named `name` (its artwork carries the words).
  PngButton* AddButton(uint32_t strip, const QString& name);

 private:
  PngButton* close_ = nullptr;
};

}  // namespace nandell
