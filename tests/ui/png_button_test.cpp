// The image button on real widgets: slice choice by state, sizes, clicks, missing strips.
#include <QApplication>
#include <QBuffer>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "ui/png_button.h"
#include "ui/resources.h"

using nandell::PngButton;

namespace {

// Distinct colours for the strip's columns: slice 1 red, 2 green, 3 blue, 4 grey; the
// remainder (a width not divisible by 4) magenta.
const QColor kSliceColors[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                               QColor(128, 128, 128)};
const QColor kRemainder(255, 0, 255);

// A PNG strip `width` x `height` whose slices (width / 4 each) are solid colours, with a
// transparent one-pixel column at the left of every slice.
QByteArray MakeStrip(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(kRemainder);
  const int slice = width / 4;
  QPainter painter(&image);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (int i = 0; i < 4; ++i) {
    painter.fillRect(i * slice, 0, slice, height, kSliceColors[i]);
    painter.fillRect(i * slice, 0, 1, height, Qt::transparent);
  }
  painter.end();
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

// What the button draws over a white background.
QImage Render(PngButton& button) {
  QImage image(button.size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  button.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
  return image;
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos = QPoint(5, 5)) {
  QMouseEvent event(type, QPointF(pos), QPointF(widget->mapToGlobal(pos)), Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

void SendEnter(QWidget* widget) {
  QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(widget->mapToGlobal(QPoint(5, 5))));
  QApplication::sendEvent(widget, &event);
}

void SendLeave(QWidget* widget) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(widget, &event);
}

}  // namespace

class PngButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void ShippedStripsHaveTheirSizes_data() {
    QTest::addColumn<uint>("id");
    QTest::addColumn<QSize>("slice");
    QTest::newRow("options 134") << 134u << QSize(16, 16);
    QTest::newRow("about 135") << 135u << QSize(16, 16);
    QTest::newRow("close 136") << 136u << QSize(38, 34);
    QTest::newRow("minimize 137") << 137u << QSize(38, 34);
    QTest::newRow("photo folder 138") << 138u << QSize(155, 52);
    QTest::newRow("output folder 140") << 140u << QSize(155, 52);
    QTest::newRow("organize 141") << 141u << QSize(155, 52);
    QTest::newRow("stop 142") << 142u << QSize(24, 24);
    QTest::newRow("About close 145") << 145u << QSize(16, 16);
  }
  void ShippedStripsHaveTheirSizes() {
    QFETCH(uint, id);
    QFETCH(QSize, slice);
    QWidget parent;
    PngButton button(&parent);
    button.setGeometry(30, 40, 75, 23);
    button.LoadPng(id);
    QVERIFY(button.HasImage());
    QCOMPARE(button.size(), slice);
    QCOMPARE(button.ImageWidth(), slice.width() * 4);
    // The top-left corner is kept.
    QCOMPARE(button.pos(), QPoint(30, 40));
    // The strip carries transparency.
    const QImage strip = nandell::ResourceImage(id);
    QVERIFY(strip.hasAlphaChannel());
  }

  void SliceFollowsHoverAndPressedWins() {
    PngButton button;
    QVERIFY(button.LoadPngData(MakeStrip(80, 10)));
    QCOMPARE(button.size(), QSize(20, 10));
    QCOMPARE(Render(button).pixelColor(10, 5), kSliceColors[0]);

    SendEnter(&button);
    QVERIFY(button.IsHover());
    QCOMPARE(Render(button).pixelColor(10, 5), kSliceColors[1]);

    button.setDown(true);  // held down while hovered: the pressed slice
    QCOMPARE(button.SliceOffset(), 40);
    QCOMPARE(Render(button).pixelColor(10, 5), kSliceColors[2]);

    button.setDown(false);
    SendLeave(&button);
    QVERIFY(!button.IsHover());
    QCOMPARE(Render(button).pixelColor(10, 5), kSliceColors[0]);
  }

  void HoverFollowsThePointer() {
    QWidget window;
    window.resize(200, 100);
    auto* button = new PngButton(&window);
    button->move(50, 30);
    button->LoadPngData(MakeStrip(80, 10));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseMove(window.windowHandle(), QPoint(5, 5));
    QVERIFY(!button->IsHover());
    QTest::mouseMove(window.windowHandle(), QPoint(55, 35));
    QTRY_VERIFY(button->IsHover());
    QCOMPARE(button->SliceOffset(), 20);
    QTest::mousePress(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(55, 35));
    QCOMPARE(button->SliceOffset(), 40);
    QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(55, 35));
    QTest::mouseMove(window.windowHandle(), QPoint(150, 80));
    QTRY_VERIFY(!button->IsHover());
    QCOMPARE(button->SliceOffset(), 0);
  }

  void DisabledButtonNeverShowsTheGreyedSlice() {
    PngButton button;
    button.LoadPngData(MakeStrip(80, 10));
    button.setEnabled(false);
    QCOMPARE(Render(button).pixelColor(10, 5), kSliceColors[0]);
    SendEnter(&button);
    QCOMPARE(Render(button).pixelColor(10, 5), kSliceColors[1]);
  }

  void StripWidthNotDivisibleByFourTruncates() {
    PngButton button;
    button.LoadPngData(MakeStrip(66, 12));
    QCOMPARE(button.SliceWidth(), 16);
    QCOMPARE(button.size(), QSize(16, 12));
    QCOMPARE(button.SliceOffset(), 0);
    SendEnter(&button);
    QCOMPARE(button.SliceOffset(), 16);
    QCOMPARE(Render(button).pixelColor(8, 6), kSliceColors[1]);
    button.setDown(true);
    QCOMPARE(button.SliceOffset(), 32);
    QCOMPARE(Render(button).pixelColor(15, 6), kSliceColors[2]);
  }

  void PaintsNothingButTheArtwork() {
    PngButton button;
    button.LoadPngData(MakeStrip(80, 10));
    // Column 0 of the slice is transparent: the white underneath stays.
    QCOMPARE(Render(button).pixelColor(0, 5), QColor(Qt::white));
    QVERIFY(!button.autoFillBackground());
  }

  void DoubleClickGivesTwoClicks() {
    QWidget window;
    auto* button = new PngButton(&window);
    button->LoadPngData(MakeStrip(80, 10));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    SendMouse(button, QEvent::MouseButtonPress);
    SendMouse(button, QEvent::MouseButtonRelease);
    SendMouse(button, QEvent::MouseButtonDblClick);
    QVERIFY(button->isDown());
    SendMouse(button, QEvent::MouseButtonRelease);
    QCOMPARE(clicks.count(), 2);
  }

  void MissingStripKeepsSizeDrawsNothingStillWorks() {
    QWidget window;
    auto* button = new PngButton(&window);
    button->setGeometry(10, 10, 75, 23);
    button->LoadPng(9999);
    QVERIFY(!button->HasImage());
    QCOMPARE(button->geometry(), QRect(10, 10, 75, 23));
    const QImage image = Render(*button);
    for (int x = 0; x < image.width(); x += 7) {
      QCOMPARE(image.pixelColor(x, 11), QColor(Qt::white));
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
  }

  void ResourceHelperReadsBytesById() {
    uint32_t size = 0;
    QCOMPARE(nandell::CGlobal::LoadResourceData(138, nullptr, nullptr), 0u);
    const uint32_t length = nandell::CGlobal::LoadResourceData(138, nullptr, &size);
    QVERIFY(length > 0);
    QCOMPARE(size, length);
    // A destination too small gets nothing; a large enough one gets the PNG signature.
    QByteArray small(8, 'x');
    uint32_t capacity = 8;
    QCOMPARE(nandell::CGlobal::LoadResourceData(138, small.data(), &capacity), length);
    QCOMPARE(small, QByteArray(8, 'x'));
    QCOMPARE(capacity, length);
    QByteArray whole(static_cast<qsizetype>(length), '\0');
    capacity = length;
    QCOMPARE(nandell::CGlobal::LoadResourceData(138, whole.data(), &capacity, "png"), length);
    QVERIFY(whole.startsWith("\x89PNG"));
    // Missing: 0, size untouched.
    capacity = 77;
    QCOMPARE(nandell::CGlobal::LoadResourceData(139, nullptr, &capacity), 0u);
    QCOMPARE(capacity, 77u);
    // The skins by type.
    QCOMPARE(nandell::ResourceImage(129, "bitmap").size(), QSize(622, 416));
    QCOMPARE(nandell::ResourceImage(144, "bitmap").size(), QSize(360, 200));
    QVERIFY(!nandell::AppIcon().isNull());
  }

  void UndecodableBytesLeaveTheButtonAlone() {
    PngButton button;
    button.resize(40, 20);
    QVERIFY(!button.LoadPngData(QByteArray("not a png at all")));
    QVERIFY(!button.HasImage());
    QCOMPARE(button.size(), QSize(40, 20));
  }
};

QTEST_MAIN(PngButtonTest)
#include "png_button_test.moc"
