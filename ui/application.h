#pragma once

#include <string>

class QApplication;

namespace nandell {

/// Loads Qt's own translation of its standard texts (the buttons of message boxes and dialogs:
/// 确定, 取消, 是, 否) for `language`: "" or "zh_CN" Simplified Chinese, "en" none (Qt's own
/// English); any other value is taken as a Qt locale name. Replaces the translation an earlier
/// call loaded. Looks in Qt's translations folder, then in "translations/" beside the
/// executable. Returns whether a translation is in place (true for "en").
bool LoadQtTranslation(const std::string& language);

/// What every window of the program relies on, done once after the QApplication exists and
/// before the first window: Qt's translation for `language` (see LoadQtTranslation) and the
/// X11 window-position check (see InstallWindowPositionCheck). Returns LoadQtTranslation's
/// result.
bool SetUpApplication(QApplication* app, const std::string& language);

}  // namespace nandell
