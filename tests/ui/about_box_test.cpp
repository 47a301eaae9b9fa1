// The About box on real widgets: size, close button place, texts and colours, links,
// closing and dragging.
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <string>
#include <vector>

#include "ui/about_box.h"
#include "ui/link_label.h"
#include "ui/png_button.h"
#include "uicore/build_info.h"

using nandell::AboutBox;
using nandell::LinkLabel;

namespace {
std::vector<std::string> g_opened;

QColor TextColor(QLabel* label) {
  return label->palette().color(QPalette::WindowText);
}
}  // namespace

class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    LinkLabel::SetUrlOpener([](const std::string& target) {
      g_opened.push_back(target);
      return true;
    });
  }
  void init() { g_opened.clear(); }

  void SizeAndCloseButtonPlace() {
    AboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(360, 200));
    QCOMPARE(box.CloseButton()->geometry(), QRect(339, 5, 16, 16));
    QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
  }

  void TextsAndColours() {
    AboutBox box;
    QCOMPARE(box.TitleLabel()->text(), QStringLiteral("关于 Nandell"));
    QCOMPARE(TextColor(box.TitleLabel()), QColor(255, 255, 255));
    QStringList texts;
    for (QLabel* label : box.findChildren<QLabel*>()) {
      if (label->isHidden()) continue;
      texts << label->text();
      if (label != box.TitleLabel()) QCOMPARE(TextColor(label), QColor(245, 245, 245));
    }
    QVERIFY(texts.contains(QStringLiteral("Nandell 1.1 版")));
    QVERIFY(texts.contains(QString::fromUtf8(nandell::build_info::kRightsNotice)));
    QVERIFY(texts.contains(QString::fromUtf8(nandell::build_info::kMakerLine)));
    QCOMPARE(box.WebLabel()->text(), QString::fromUtf8(nandell::build_info::kWebAddress));
    QCOMPARE(box.EmailLabel()->text(),
             QStringLiteral("E-Mail: ") + QString::fromUtf8(nandell::build_info::kEmail));
    QCOMPARE(box.MessengerLabel()->text(),
             QStringLiteral("QQ: ") + QString::fromUtf8(nandell::build_info::kMessengerNumber));
  }

  void LinksAreTheProcessWideLabels() {
    AboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(LinkLabel::Instance(3)->Label(), box.WebLabel());
    QCOMPARE(LinkLabel::Instance(2)->Label(), box.EmailLabel());
    QCOMPARE(LinkLabel::Instance(4)->Label(), box.MessengerLabel());
    QCOMPARE(LinkLabel::Instance(2)->LinkTarget(),
             std::string("mailto:") + nandell::build_info::kEmail);
    // Hovering a link does not change its colour in the box.
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(box.WebLabel(), &enter);
    QCOMPARE(TextColor(box.WebLabel()), QColor(245, 245, 245));
    QVERIFY(box.WebLabel()->font().underline());
    // A press on a link opens it, through the window system's hit test.
    const QPoint on_link = box.EmailLabel()->geometry().center();
    QTest::mousePress(box.windowHandle(), Qt::LeftButton, Qt::NoModifier, on_link);
    QTest::mouseRelease(box.windowHandle(), Qt::LeftButton, Qt::NoModifier, on_link);
    QCOMPARE(g_opened.size(), size_t{1});
    QCOMPARE(g_opened[0], std::string("mailto:") + nandell::build_info::kEmail);
  }

  void SecondOpeningAttachesAgain() {
    {
      AboutBox first;
      first.show();
    }
    QVERIFY(LinkLabel::Instance(3)->Label() == nullptr);
    AboutBox second;
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QCOMPARE(LinkLabel::Instance(3)->Label(), second.WebLabel());
    const QPoint on_link = second.WebLabel()->geometry().center();
    QTest::mousePress(second.windowHandle(), Qt::LeftButton, Qt::NoModifier, on_link);
    QTest::mouseRelease(second.windowHandle(), Qt::LeftButton, Qt::NoModifier, on_link);
    QCOMPARE(g_opened, std::vector<std::string>{nandell::build_info::kWebAddress});
  }

  void CloseButtonAccepts() {
    AboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QSignalSpy finished(&box, &QDialog::finished);
    QTest::mouseClick(box.CloseButton(), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QVERIFY(!box.isVisible());
  }

  void EscapeCloses() {
    AboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Escape);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Rejected));
  }

  void EnterCloses() {
    AboutBox box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::keyClick(&box, Qt::Key_Return);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
  }

  void DraggedByBackgroundAndPlainLines() {
    AboutBox box;
    box.move(100, 100);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // A plain line lets the press through to the box.
    QLabel* version = nullptr;
    for (QLabel* label : box.findChildren<QLabel*>()) {
      if (label->text() == QStringLiteral("Nandell 1.1 版")) version = label;
    }
    QVERIFY(version != nullptr);
    const QPoint on_line = version->geometry().center();
    QVERIFY(box.childAt(on_line) == nullptr);
    const QPoint start = box.pos();
    QTest::mousePress(&box, Qt::LeftButton, Qt::NoModifier, on_line);
    QMouseEvent move(QEvent::MouseMove, QPointF(on_line + QPoint(30, 20)),
                     QPointF(box.mapToGlobal(on_line + QPoint(30, 20))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&box, &move);
    QTest::mouseRelease(&box, Qt::LeftButton, Qt::NoModifier, on_line + QPoint(30, 20));
    QCOMPARE(box.pos(), start + QPoint(30, 20));
    QVERIFY(g_opened.empty());
  }
};

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
