#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

namespace nandell::tools {

/// Lets the window system (and the folder model) settle for `ms` milliseconds before a
/// picture is taken.
inline void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(20);
  }
}

}  // namespace nandell::tools
