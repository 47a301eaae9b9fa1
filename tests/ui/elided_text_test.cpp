// Paths and run messages shortened to a width: which folders stay, where "…" goes, and that
// every line fits.
#include <QApplication>
#include <QFontMetrics>
#include <QTest>

#include "ui/elided_text.h"
#include "ui/skinned_dialog.h"

using nandell::ElideMessage;
using nandell::ElidePath;

class ElidedTextTest : public QObject {
  Q_OBJECT

 private:
  QFontMetrics metrics_{nandell::TemplateFont()};
  int Width(const QString& text) const { return metrics_.horizontalAdvance(text); }

 private slots:
  void Paths_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("room");      // the width is this text's, plus 2 pixels
    QTest::addColumn<QString>("expected");  // empty: cut character by character
    const QString spring = QStringLiteral("/home/me/Photos/2024年春节/");
    QTest::newRow("fits") << spring << spring << spring;
    QTest::newRow("first and last folder") << spring << "/home/…/2024年春节/"
                                           << "/home/…/2024年春节/";
    QTest::newRow("one more folder at the end") << spring << "/home/…/Photos/2024年春节/"
                                                << "/home/…/Photos/2024年春节/";
    QTest::newRow("the start grows when the end cannot") << "/a/b/a-folder-with-a-long-name/c/"
                                                         << "/a/b/…/c/"
                                                         << "/a/b/…/c/";
    QTest::newRow("a file") << "/home/me/pics/a.jpg"
                            << "/home/…/a.jpg"
                            << "/home/…/a.jpg";
    QTest::newRow("one long name") << "/" + QStringLiteral("很长的名字").repeated(12) + "/"
                                   << "/很长的名字很长的名字很长的名字/"
                                   << "";
  }
  void Paths() {
    QFETCH(QString, path);
    QFETCH(QString, room);
    QFETCH(QString, expected);
    const int width = Width(room) + 2;
    const QString shown = ElidePath(path, metrics_, width);
    QVERIFY2(Width(shown) <= width, qPrintable(shown));
    if (!expected.isEmpty()) {
      QCOMPARE(shown, expected);
    } else {
      QVERIFY2(shown.contains(QChar(nandell::kEllipsis)), qPrintable(shown));
      QCOMPARE(shown.front(), path.front());
      QCOMPARE(shown.back(), path.back());
    }
  }

  void Messages_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("lines");  // each line's start, in order
    const QString deep = QStringLiteral("/home/me/存档/照片库/2023年全家去海南岛旅行/相机/");
    QTest::newRow("copied") << "复制文件(3): " + deep +
                                   "a.jpg\r\n\r\n复制到: /out/2023年/2023-07-01/a.jpg\r\n"
                            << QStringList{"复制文件(3): /home/", "", "复制到: /out/", ""};
    QTest::newRow("failed, two lines")
        << "复制文件失败: " + deep + "a.jpg -> " + deep + "out/2023-07-01/a.jpg\r\n"
        << QStringList{"复制文件失败: /home/", "-> /home/", ""};
    QTest::newRow("summary") << QStringLiteral("\r\n\r\n整理文件 12 个, 失败 0 个")
                             << QStringList{"", "", "整理文件 12 个, 失败 0 个"};
  }
  void Messages() {
    QFETCH(QString, message);
    QFETCH(QStringList, lines);
    const int width = 311;
    const QStringList shown = ElideMessage(message, metrics_, width).split('\n');
    QCOMPARE(shown.size(), lines.size());
    for (int i = 0; i < shown.size(); ++i) {
      QVERIFY2(shown[i].startsWith(lines[i]), qPrintable(shown[i]));
      QVERIFY2(Width(shown[i]) <= width, qPrintable(shown[i]));
    }
    // The file's name is kept at the end of every shortened path line.
    for (const QString& line : shown)
      if (line.contains(QChar(nandell::kEllipsis)))
        QVERIFY2(line.endsWith("a.jpg"), qPrintable(line));
  }
};

QTEST_MAIN(ElidedTextTest)
#include "elided_text_test.moc"
