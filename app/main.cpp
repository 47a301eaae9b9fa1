// The GUI program: the settings store, the application, the link labels and the log come up
// in that order, the main window runs modally, and the store writes Config.ini last, when
// the process exits.
#include <QApplication>
#include <string>

#include "log/msgx.h"
#include "platform/translate.h"
#include "settings/settings_store.h"
#include "ui/application.h"
#include "ui/link_label.h"
#include "ui/main_window.h"
#include "ui/resources.h"

int main(int argc, char** argv) {
  // First the settings store: it makes the executable's folder the current directory and
  // loads Config.ini. It lives until the process exits and saves itself then.
  nandell::SettingsStore& settings = nandell::Settings();
  // The language of the texts (Language of Config.ini) is chosen before the application starts
  // any thread of its own, since English changes the environment (LANGUAGE); SetUpApplication
  // chooses it again once the application has set the locale from the environment.
  nandell::Language language = nandell::Language::kChinese;
  nandell::ParseLanguage(settings.Language, &language);
  std::string language_error;
  nandell::SetLanguage(language, "", &language_error);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Nandell"));
  QApplication::setDesktopFileName(QStringLiteral("nandell"));
  nandell::InitResources();
  QApplication::setWindowIcon(nandell::AppIcon());
  // Qt's own texts (the standard buttons) in the program's language, and window positions
  // that match the X server's under window managers that reparent.
  const bool language_ready = nandell::SetUpApplication(&app, settings.Language, &language_error);

  // The four process-wide link labels, then the log object.
  for (int n = 1; n <= 4; ++n) nandell::LinkLabel::Instance(n);
  nandell::MsgX();
  if (!language_ready) nandell::MsgX().Log(language_error.c_str(), 0, __LINE__, "main.cpp");

  {
    // The whole life of the user interface; the window hands its folders and switch back
    // to the store when it closes.
    nandell::MainWindow window(settings);
    window.exec();
  }
  return 0;
}
