#pragma once

#include <string>

class QApplication;

namespace nandell {

/// Loads Qt's own translation of its standard texts (the buttons of message boxes and dialogs:
/// 确定, 取消, 是, 否) for the language setting `language`: "en" none (Qt's own English), any
/// other value Simplified Chinese, as the program's own texts (ParseLanguage) do. Replaces the
/// translation an earlier call loaded. Looks in Qt's translations folder, then in
/// "translations/" beside the executable. Returns whether a translation is in place (true for
/// "en").
bool LoadQtTranslation(const std::string& language);

/// Chooses the language of every text for the setting `language` (Config.ini's Language: "en"
/// English, anything else the designed Chinese): the program's texts (SetLanguage, the catalog
/// looked for in `locale_dir`, or where SetLanguage looks when it is empty) and Qt's
/// (LoadQtTranslation). Returns false with `error` filled when the program's English catalog
/// or Qt's Chinese translation is missing; what is missing stays in the designed language.
bool SetUpLanguage(const std::string& language, const std::string& locale_dir, std::string* error);

/// What every window of the program relies on, done once after the QApplication exists and
/// before the first window: the language (SetUpLanguage with the usual catalog folders) and
/// the X11 window-position check (see InstallWindowPositionCheck). Returns SetUpLanguage's
/// result, its error in `error` when given.
bool SetUpApplication(QApplication* app, const std::string& language, std::string* error = nullptr);

}  // namespace nandell
