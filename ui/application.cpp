#include "ui/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/process.h"
#include "platform/translate.h"
#include "ui/window_position.h"

namespace nandell {
namespace {

// The one translator of Qt's texts, installed on the application while it holds a language.
QTranslator* QtTranslator() {
  static QTranslator* translator = new QTranslator(QCoreApplication::instance());
  return translator;
}

}  // namespace

bool LoadQtTranslation(const std::string& language) {
  if (QCoreApplication::instance() == nullptr) return false;
  QTranslator* translator = QtTranslator();
  QCoreApplication::removeTranslator(translator);
  Language chosen = Language::kChinese;
  ParseLanguage(language, &chosen);
  if (chosen == Language::kEnglish) return true;
  const QStringList folders = {
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
      QString::fromStdString(ExecutableDir()) + QStringLiteral("translations")};
  for (const QString& folder : folders) {
    if (translator->load(QLocale(QStringLiteral("zh_CN")), QStringLiteral("qtbase"),
                         QStringLiteral("_"), folder)) {
      QCoreApplication::installTranslator(translator);
      return true;
    }
  }
  return false;
}

bool SetUpLanguage(const std::string& language, const std::string& locale_dir, std::string* error) {
  Language chosen = Language::kChinese;
  ParseLanguage(language, &chosen);
  std::string problem;
  // The application has set the process's locale from the environment by now; SetLanguage
  // puts the message locale back to what the choice needs.
  if (!SetLanguage(chosen, locale_dir, &problem)) {
    if (error != nullptr) *error = problem;
    LoadQtTranslation("");
    return false;
  }
  if (!LoadQtTranslation(language)) {
    if (error != nullptr) *error = "Qt's Chinese translation (qtbase_zh_CN.qm) is missing";
    return false;
  }
  return true;
}

bool SetUpApplication(QApplication* app, const std::string& language, std::string* error) {
  InstallWindowPositionCheck(app);
  return SetUpLanguage(language, "", error);
}

}  // namespace nandell
