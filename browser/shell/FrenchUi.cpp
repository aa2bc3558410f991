#include "FrenchUi.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace qlon::shell {

bool InstallFrenchUi(QCoreApplication& app) {
  const QLocale french(QLocale::French, QLocale::France);
  QLocale::setDefault(french);
  // Debian ships the translation of the framework's base module apart from
  // the libraries (qt6-translations-l10n).
  for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                QCoreApplication::applicationDirPath() + "/translations"}) {
    auto* translator = new QTranslator(&app);
    if (translator->load(french, "qtbase", "_", folder)) {
      QCoreApplication::installTranslator(translator);
      return true;
    }
    delete translator;
  }
  return false;
}

}  // namespace qlon::shell
