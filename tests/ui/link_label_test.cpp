// The link label on real widgets: link rules, colours by state, opening on press, and the
// process-wide state that outlives the dialogs.
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "ui/link_label.h"
#include "ui/resources.h"
#include "uicore/build_info.h"

using nandell::LinkLabel;

namespace {

std::vector<std::string> g_opened;

const std::string kSite = nandell::build_info::kWebHost;

// A top-level window holding one label at (20, 20), shown.
struct Window {
  Window() {
    widget = std::make_unique<QWidget>();
    widget->resize(300, 100);
    label = new QLabel(QStringLiteral("http://www.nandell.example.com"), widget.get());
    label->setGeometry(20, 20, 200, 20);
    widget->show();
  }
  std::unique_ptr<QWidget> widget;
  QLabel* label;
};

QColor TextColor(QLabel* label) {
  return label->palette().color(QPalette::WindowText);
}

// A left press delivered through the window system, so the widget under the point gets it.
void PressAt(QWidget* window, QPoint pos) {
  QTest::mousePress(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, pos);
}
void ReleaseAt(QWidget* window, QPoint pos) {
  QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, pos);
}

}  // namespace

class LinkLabelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    LinkLabel::SetUrlOpener([](const std::string& target) {
      g_opened.push_back(target);
      return false;
    });
  }
  void init() { g_opened.clear(); }

  void SetLinkRules_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("target");
    const QString site = QString::fromStdString(kSite);
    QTest::newRow("web address") << "http://www.nandell.example.com" << 1
                                 << "http://www.nandell.example.com";
    QTest::newRow("http anywhere wins over @")
        << "mail me@x.example or http://a.example" << 1 << "mail me@x.example or http://a.example";
    QTest::newRow("e-mail with prefix text")
        << "E-Mail: a@b.example" << 1 << "mailto:E-Mail: a@b.example";
    QTest::newRow("messenger") << "QQ:12345" << 1
                               << "tencent://message/?uin=12345&Site=" + site + "&Menu=yes";
    QTest::newRow("messenger keeps the blank")
        << "QQ: 12345" << 1 << "tencent://message/?uin= 12345&Site=" + site + "&Menu=yes";
    QTest::newRow("HTTP is case-sensitive") << "HTTP://X.EXAMPLE" << 0 << "";
    QTest::newRow("nothing matches") << "just text" << 0 << "";
  }
  void SetLinkRules() {
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(QString, target);
    LinkLabel label(1);
    label.SetLink("http://previous.example");
    QCOMPARE(label.SetLink(text.toStdString()), result);
    QCOMPARE(QString::fromStdString(label.LinkTarget()), target);
  }

  void EmptyTextKeepsTheTarget() {
    LinkLabel label(0);
    QCOMPARE(label.SetLink("a@b.example"), 1);
    QCOMPARE(label.SetLink(""), 0);
    QCOMPARE(label.LinkTarget(), std::string("mailto:a@b.example"));
  }

  void FourInstancesWithTheirUnderline() {
    QVERIFY(LinkLabel::Instance(0) == nullptr);
    QVERIFY(LinkLabel::Instance(5) == nullptr);
    QVERIFY(!LinkLabel::Instance(1)->Font().underline());
    for (int n : {2, 3, 4}) QVERIFY(LinkLabel::Instance(n)->Font().underline());
    QVERIFY(LinkLabel::Instance(2) != LinkLabel::Instance(3));
  }

  void CursorIsThePointingHand() {
    const QCursor cursor = nandell::LinkCursor();
    QCOMPARE(cursor.hotSpot(), QPoint(12, 1));
    QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
    // The hot spot is on the fingertip, not on a transparent pixel.
    QVERIFY(cursor.pixmap().toImage().pixelColor(12, 2).alpha() > 0);
  }

  void ColoursFollowHoverAndVisited() {
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.widget.get()));
    LinkLabel link(1);
    link.Attach(w.label);
    link.SetNotify(1);
    link.SetLink("http://www.nandell.example.com");
    QCOMPARE(TextColor(w.label), QColor(0, 0, 255));
    QVERIFY(w.label->font().underline());

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(w.label, &enter);
    QVERIFY(link.IsHover());
    QCOMPARE(link.CurrentColor(), QColor(0, 255, 0));
    QCOMPARE(TextColor(w.label), QColor(0, 255, 0));

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w.label, &leave);
    QVERIFY(!link.IsHover());
    QCOMPARE(TextColor(w.label), QColor(0, 0, 255));

    PressAt(w.widget.get(), QPoint(30, 30));
    QVERIFY(link.IsVisited());
    // Visited: the visited colour with and without hover.
    QApplication::sendEvent(w.label, &enter);
    QCOMPARE(link.CurrentColor(), QColor(LinkLabel::kVisitedColor));
    ReleaseAt(w.widget.get(), QPoint(30, 30));
  }

  void HoverByRealPointerMoves() {
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.widget.get()));
    LinkLabel link(1);
    link.Attach(w.label);
    link.SetNotify(1);
    QTest::mouseMove(w.widget->windowHandle(), QPoint(5, 80));
    QTest::mouseMove(w.widget->windowHandle(), QPoint(30, 30));
    QTRY_VERIFY(link.IsHover());
    QCOMPARE(TextColor(w.label), QColor(0, 255, 0));
    QTest::mouseMove(w.widget->windowHandle(), QPoint(5, 80));
    QTRY_VERIFY(!link.IsHover());
    QCOMPARE(TextColor(w.label), QColor(0, 0, 255));
  }

  void OpensOnPressNotRelease() {
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.widget.get()));
    LinkLabel link(1);
    link.Attach(w.label);
    link.SetNotify(1);
    link.SetLink("QQ:10000");
    PressAt(w.widget.get(), QPoint(30, 30));
    QCOMPARE(g_opened.size(), size_t{1});
    QCOMPARE(g_opened[0], "tencent://message/?uin=10000&Site=" + kSite + "&Menu=yes");
    ReleaseAt(w.widget.get(), QPoint(30, 30));
    QCOMPARE(g_opened.size(), size_t{1});
    // A double click opens the link once, not twice.
    QTest::mouseDClick(w.widget->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
    QCOMPARE(g_opened.size(), size_t{2});
  }

  void ClicksPassToTheParentBeforeSetNotify() {
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.widget.get()));
    LinkLabel link(1);
    link.Attach(w.label);
    link.SetLink("http://www.nandell.example.com");
    QVERIFY(w.widget->childAt(30, 30) == nullptr);
    PressAt(w.widget.get(), QPoint(30, 30));
    ReleaseAt(w.widget.get(), QPoint(30, 30));
    QVERIFY(g_opened.empty());
    QVERIFY(!link.IsVisited());
    link.SetNotify(1);
    QCOMPARE(w.widget->childAt(30, 30), w.label);
  }

  void NoTargetOnlyChangesColour() {
    Window w;
    QVERIFY(QTest::qWaitForWindowExposed(w.widget.get()));
    LinkLabel link(0);
    link.Attach(w.label);
    link.SetNotify(1);
    link.SetLink("plain words");
    PressAt(w.widget.get(), QPoint(30, 30));
    ReleaseAt(w.widget.get(), QPoint(30, 30));
    QVERIFY(g_opened.empty());
    QVERIFY(link.IsVisited());
  }

  void ParentColourWinsOverTheLabels() {
    Window w;
    LinkLabel link(1);
    link.Attach(w.label);
    link.SetNotify(1);
    link.SetParentColor(QColor(245, 245, 245));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(w.label, &enter);
    QCOMPARE(link.CurrentColor(), QColor(0, 255, 0));
    QCOMPARE(TextColor(w.label), QColor(245, 245, 245));
  }

  void StateSurvivesTheDialog() {
    LinkLabel* link = LinkLabel::Instance(3);
    {
      Window first;
      QVERIFY(QTest::qWaitForWindowExposed(first.widget.get()));
      link->Attach(first.label);
      link->SetNotify(1);
      link->SetLink("http://www.nandell.example.com");
      PressAt(first.widget.get(), QPoint(30, 30));
      ReleaseAt(first.widget.get(), QPoint(30, 30));
      QCOMPARE(link->Label(), first.label);
    }
    QVERIFY(link->Label() == nullptr);  // detached by the label's destruction
    QVERIFY(link->IsVisited());
    Window second;
    QVERIFY(QTest::qWaitForWindowExposed(second.widget.get()));
    link->Attach(second.label);
    link->SetNotify(1);
    QCOMPARE(link->Label(), second.label);
    QVERIFY(link->IsVisited());
    QCOMPARE(link->LinkTarget(), std::string("http://www.nandell.example.com"));
    PressAt(second.widget.get(), QPoint(30, 30));
    ReleaseAt(second.widget.get(), QPoint(30, 30));
    QCOMPARE(g_opened.size(), size_t{2});
  }
};

QTEST_MAIN(LinkLabelTest)
#include "link_label_test.moc"
