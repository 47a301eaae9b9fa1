#include "ui/elided_text.h"

#include <QFontMetrics>
#include <QStringList>

#include <algorithm>

namespace nandell {
namespace {

bool Fits(const QString& text, const QFontMetrics& metrics, int width) {
  return metrics.horizontalAdvance(text) <= width;
}

}  // namespace

QString ElidePath(const QString& path, const QFontMetrics& metrics, int width) {
  if (Fits(path, metrics, width)) return path;
  // "/home/me/a/b/" splits into "", "home", "me", "a", "b", "": the empty ends stand for the
  // leading and the trailing "/". Shown: parts [0, head] and [tail, end), "…" between.
  const QStringList parts = path.split(QLatin1Char('/'));
  const int last = static_cast<int>(parts.size()) - 1;
  int tail = parts.back().isEmpty() ? last - 1 : last;  // the last folder or file name
  int head = parts.front().isEmpty() ? 1 : 0;           // the first folder
  auto shown = [&parts, last](int h, int t) {
    return parts.mid(0, h + 1).join(QLatin1Char('/')) + QLatin1Char('/') + QChar(kEllipsis) +
           QLatin1Char('/') + parts.mid(t, last - t + 1).join(QLatin1Char('/'));
  };
  if (tail - head < 2 || !Fits(shown(head, tail), metrics, width))
    return metrics.elidedText(path, Qt::ElideMiddle, width);
  // The end of a path says most about it: the last folders first, then the first ones; at
  // least one folder always stays left out.
  for (;;) {
    if (tail - 1 - head >= 2 && Fits(shown(head, tail - 1), metrics, width)) {
      --tail;
    } else if (tail - (head + 1) >= 2 && Fits(shown(head + 1, tail), metrics, width)) {
      ++head;
    } else {
      return shown(head, tail);
    }
  }
}

QString ElideMessageLine(const QString& line, const QFontMetrics& metrics, int width) {
  if (Fits(line, metrics, width)) return line;
  const qsizetype slash = line.indexOf(QLatin1Char('/'));
  const QString lead = slash < 0 ? QString() : line.left(slash);
  const int mark = metrics.horizontalAdvance(QChar(kEllipsis));
  // The lead and the path measured apart can be narrower than the two shaped as one line
  // (kerning, fallback fonts): give the path less room until the whole line fits.
  for (int room = width - metrics.horizontalAdvance(lead); slash >= 0 && room > mark * 4;
       room -= std::max(1, mark / 2)) {
    const QString shown = lead + ElidePath(line.mid(slash), metrics, room);
    if (Fits(shown, metrics, width)) return shown;
  }
  return metrics.elidedText(line, Qt::ElideRight, width);
}

QString ElideMessage(const QString& text, const QFontMetrics& metrics, int width) {
  QString plain = text;
  plain.remove(QLatin1Char('\r'));
  QStringList shown;
  for (const QString& line : plain.split(QLatin1Char('\n'))) {
    const qsizetype arrow = line.indexOf(QStringLiteral(" -> "));
    if (arrow >= 0 && !Fits(line, metrics, width)) {
      shown << ElideMessageLine(line.left(arrow), metrics, width)
            << ElideMessageLine(line.mid(arrow + 1), metrics, width);
    } else {
      shown << ElideMessageLine(line, metrics, width);
    }
  }
  return shown.join(QLatin1Char('\n'));
}

}  // namespace nandell
