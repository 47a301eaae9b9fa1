#include "ui/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/process.h"
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
  if (language == "en") return true;
  const QString name = QString::fromStdString(language.empty() ? "zh_CN" : language);
  const QStringList folders = {
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
      QString::fromStdString(ExecutableDir()) + QStringLiteral("translations")};
  for (const QString& folder : folders) {
    if (translator->load(QLocale(name), QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
      QCoreApplication::installTranslator(translator);
      return true;
    }
  }
  return false;
}

bool SetUpApplication(QApplication* app, const std::string& language) {
  InstallWindowPositionCheck(app);
  return LoadQtTranslation(language);
}

}  // namespace nandell
