#pragma once

#include <QString>

class QFontMetrics;

namespace nandell {

/// The elision mark put where folders or characters were left out.
inline constexpr char16_t kEllipsis = u'\u2026';

/// `path` as it fits in `width` pixels of `metrics`: whole when it fits; else with the folders
/// in the middle replaced by "…" ("/home/…/2024年春节/"), keeping the first folder and as many
/// of the last ones (then of the first ones) as fit; cut in the middle character by character
/// when even the first and the last folder do not fit around "…".
QString ElidePath(const QString& path, const QFontMetrics& metrics, int width);

/// One line of a run's message as it fits in `width`: the text before the path ("复制到: ")
/// is kept and the path elided by ElidePath; a line without a path, or whose text before the
/// path does not fit, is cut at its end.
QString ElideMessageLine(const QString& line, const QFontMetrics& metrics, int width);

/// A run's message for a message area `width` pixels wide: carriage returns dropped, every line
/// made to fit with ElideMessageLine; a failure line "SOURCE -> TARGET" that does not fit is
/// shown as two lines, "SOURCE" and "-> TARGET".
QString ElideMessage(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace nandell
