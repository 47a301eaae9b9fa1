#pragma once

class QCoreApplication;
class QWidget;
class QWindow;

namespace nandell {

/// Keeps Qt's record of where each top-level window stands equal to the X server's.
///
/// Under a reparenting window manager (openbox), Qt learns a new window's position from the
/// manager's first configure notice by asking the server where the window is at the moment it
/// handles that notice. When the manager has by then put the window into its new frame but
/// not yet placed the frame, the answer is the frame's start at (0,0), and no later notice
/// corrects it: dialogs are then centred over the wrong place and the first drag of a
/// frameless window jumps by the error. Installed on the application, this asks the server
/// again whenever a top-level window is exposed and corrects Qt's record when it differs.
/// Does nothing on platforms other than X11 (xcb).
void InstallWindowPositionCheck(QCoreApplication* app);

/// Asks the X server where `window`'s top-left corner stands and, when Qt's record differs,
/// corrects the record (the window does not move). Returns true when a correction was made.
/// False on other platforms, for windows without a native window, and when nothing differs.
bool CorrectWindowPosition(QWindow* window);

/// Places top-level `dialog` so that its own area (without the frame a window manager may add)
/// is centred over `over`'s window (null: over the screen), kept on that screen. Call it before the
/// dialog is mapped (its show event) so that it appears there.
void CentreOver(QWidget* dialog, const QWidget* over);

}  // namespace nandell
