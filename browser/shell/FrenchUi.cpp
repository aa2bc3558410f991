#include "FrenchUi.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <iterator>
#include <string_view>

namespace qlon::shell {

namespace {

struct TWord {
  std::string_view Context, Source, French;
};

// Words of the framework that its French catalog lacks (a context the
// framework renamed after the catalog was made). The file dialogs' "Type"
// column reads them.
constexpr TWord kMissingWords[] = {
    {"QAbstractFileIconProvider", "Folder", "Dossier"},
    {"QAbstractFileIconProvider", "File", "Fichier"},
    {"QAbstractFileIconProvider", "%1 File", "Fichier %1"},
    {"QAbstractFileIconProvider", "Drive", "Disque"},
};

class TMissingWords : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                    int /*n*/) const override {
    if (!context || !source) return {};
    for (const TWord& w : kMissingWords)
      if (w.Context == context && w.Source == source)
        return QString::fromUtf8(w.French.data(), qsizetype(w.French.size()));
    return {};
  }
  bool isEmpty() const override { return false; }
};

// The file dialogs' list writes sizes and dates in the system's locale (on
// most machines with no language set, "10 Dec 2026" and "bytes"): this
// layer over it writes them as the program's own windows do.
class TFrenchFileModel : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || !files || !index.isValid()) return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    if (index.column() == 1 && !files->isDir(source))
      return QLocale().formattedDataSize(files->size(source), 1, QLocale::DataSizeTraditionalFormat);
    if (index.column() == 3) return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    return QIdentityProxyModel::data(index, role);
  }
};

// Gives every file dialog of the program that layer, the dialogs the
// framework's static functions build included, before they first show.
class TFrenchFileDialogs : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Polish)
      if (auto* dialog = qobject_cast<QFileDialog*>(watched); dialog && !dialog->proxyModel())
        dialog->setProxyModel(new TFrenchFileModel(dialog));
    return false;
  }
};

}  // namespace

bool InstallFrenchUi(QCoreApplication& app) {
  const QLocale french(QLocale::French, QLocale::France);
  QLocale::setDefault(french);
  if (qobject_cast<QApplication*>(&app)) app.installEventFilter(new TFrenchFileDialogs(&app));
  // Searched after the catalog below (the last installed is asked first,
  // and the catalog has none of these words).
  QCoreApplication::installTranslator(new TMissingWords(&app));
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
