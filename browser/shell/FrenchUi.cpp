#include "FrenchUi.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QTranslator>
#include <QTreeView>

#include <iterator>
#include <string_view>

#include "Setup.h"

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
    // A capture file is the program's own kind, which the system may not know.
    if (index.column() == 2 && !files->isDir(source) &&
        files->fileInfo(source).suffix().compare(QLatin1String("web"), Qt::CaseInsensitive) == 0)
      return QString::fromUtf8(kWebFileDescription);
    if (index.column() == 3) return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    return QIdentityProxyModel::data(index, role);
  }
};

// The detail columns wide enough for their caption and for what they show
// (a date with its year; the kind of a capture file), as the dialog opens.
void FitDetailColumns(QFileDialog& dialog) {
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (!view || !view->model()) return;
  QHeaderView* header = view->header();
  const QFontMetrics fm = view->fontMetrics();
  const int pad = 3 * fm.averageCharWidth() + header->style()->pixelMetric(QStyle::PM_HeaderMargin) * 2 + 8;
  const QString samples[] = {QLocale().formattedDataSize(999 * 1024 * 1024, 1, QLocale::DataSizeTraditionalFormat),
                             QString::fromUtf8(kWebFileDescription),
                             QLocale().toString(QDateTime(QDate(2026, 12, 31), QTime(23, 59)), QLocale::ShortFormat)};
  for (int column = 1; column <= 3; ++column) {
    const QString caption = view->model()->headerData(column, Qt::Horizontal).toString();
    const int need = std::max(fm.horizontalAdvance(caption), fm.horizontalAdvance(samples[column - 1])) + pad;
    if (header->sectionSize(column) < need) header->resizeSection(column, need);
  }
  // The dialog wide enough to show them beside the names, as far as the
  // screen allows; on a small screen the names give up some of their room.
  int hidden = header->length() - view->viewport()->width();
  if (hidden <= 0) return;
  const QRect screen = dialog.screen() ? dialog.screen()->availableGeometry() : QRect();
  const int width = screen.isValid() ? std::min(dialog.width() + hidden, screen.width() - 20) : dialog.width() + hidden;
  if (width > dialog.width()) {
    hidden -= width - dialog.width();
    dialog.resize(width, dialog.height());
  }
  if (hidden > 0) {
    const int names = std::max(header->sectionSize(0) - hidden, 16 * fm.averageCharWidth());
    header->resizeSection(0, names);
  }
}

// Gives every file dialog of the program that layer, the dialogs the
// framework's static functions build included, before they first show.
class TFrenchFileDialogs : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dialog = qobject_cast<QFileDialog*>(watched);
    if (!dialog) return false;
    if (event->type() == QEvent::Polish && !dialog->proxyModel()) dialog->setProxyModel(new TFrenchFileModel(dialog));
    if (event->type() == QEvent::Show) FitDetailColumns(*dialog);
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
