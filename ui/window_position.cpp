#include "ui/window_position.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

#if NANDELL_HAVE_XCB
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#endif

namespace nandell {
namespace {

// Watches the expose events of every window of the application.
class WindowPositionCheck : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose) {
      auto* window = qobject_cast<QWindow*>(watched);
      if (window != nullptr && window->isTopLevel() && window->isExposed())
        CorrectWindowPosition(window);
    }
    return false;
  }
};

}  // namespace

void InstallWindowPositionCheck(QCoreApplication* app) {
  static const QString kName = QStringLiteral("nandell-window-position-check");
  if (app == nullptr || app->findChild<QObject*>(kName, Qt::FindDirectChildrenOnly) != nullptr)
    return;
  auto* check = new WindowPositionCheck(app);
  check->setObjectName(kName);
  app->installEventFilter(check);
}

bool CorrectWindowPosition(QWindow* window) {
#if NANDELL_HAVE_XCB
  auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (gui == nullptr || window == nullptr || window->handle() == nullptr) return false;
  auto* x11 = gui->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return false;
  // Qt's window coordinates are the server's only without high-DPI scaling.
  if (window->devicePixelRatio() != 1.0) return false;
  xcb_connection_t* connection = x11->connection();
  const auto id = static_cast<xcb_window_t>(window->winId());
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr);
  if (geometry == nullptr) return false;
  const xcb_window_t root = geometry->root;
  std::free(geometry);
  xcb_translate_coordinates_reply_t* place = xcb_translate_coordinates_reply(
      connection, xcb_translate_coordinates(connection, id, root, 0, 0), nullptr);
  if (place == nullptr) return false;
  const QPoint actual(place->dst_x, place->dst_y);
  std::free(place);
  if (actual == window->position()) return false;
  // Asking for the place the window already has moves nothing; Qt takes it as its record at
  // once, and the manager's answer to the request confirms it.
  window->setPosition(actual);
  return true;
#else
  (void)window;
  return false;
#endif
}

void CentreOver(QWidget* dialog, const QWidget* over) {
  if (dialog == nullptr || !dialog->isWindow()) return;
  const QScreen* screen = over != nullptr ? over->window()->screen() : dialog->screen();
  if (over == nullptr && screen == nullptr) return;
  const QRect target = over != nullptr ? over->window()->geometry() : screen->availableGeometry();
  QPoint place = target.topLeft() + QPoint((target.width() - dialog->width()) / 2,
                                           (target.height() - dialog->height()) / 2);
  // Never off the screen the window stands on.
  if (screen != nullptr) {
    const QRect area = screen->availableGeometry();
    place.setX(std::clamp(place.x(), area.left(),
                          std::max(area.left(), area.right() + 1 - dialog->width())));
    place.setY(std::clamp(place.y(), area.top(),
                          std::max(area.top(), area.bottom() + 1 - dialog->height())));
  }
  // The geometry of a window is its own area's, frame aside (a move would place the frame).
  dialog->setGeometry(QRect(place, dialog->size()));
}

}  // namespace nandell
