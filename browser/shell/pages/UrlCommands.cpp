#include "UrlCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>
#include <algorithm>

#include "CopyDialog.h"
#include "DlgPrint.h"
#include "DlgRapportError.h"
#include "DlgSysTree.h"
#include "DlgUrlProp.h"
#include "DlgVignettes.h"
#include "MainTypes.h"
#include "MenusEx.h"
#include "MessageBox.h"
#include "Texts.h"
#include "Urlutil.h"
#include "WUrlList.h"
#include "Web.h"
#include "WebFile.h"
#include "vwPrint.h"

namespace qlon {

namespace fs = std::filesystem;
using controls::TPopupMenuEx;

namespace {

std::unique_ptr<TPopupMenuEx> NewPopup(const char* name) {
  auto menu = std::make_unique<TPopupMenuEx>();
  menu->setObjectName(QString::fromLatin1(name));
  return menu;
}

constexpr const char* kSaveCaption = "Enregister...";
constexpr uint16_t kUpdateFlags = 3;  // capture the missing records, update the others

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }
QString Text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }
// A text from a URL or a file as a menu caption: its "&" are not mnemonics.
QString Caption(const std::string& text) { return QString::fromStdString(text).replace('&', "&&"); }

bool SameUrl(const std::string& a, const std::string& b) {
  return QString::fromStdString(TUrl(a).GetFullUrl()).compare(QString::fromStdString(TUrl(b).GetFullUrl()),
                                                              Qt::CaseInsensitive) == 0;
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

// A capture file that cannot be read or written fails the command, shown,
// and leaves the window running.
void RunSafely(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& e) {
    platform::MessageBox(e.what(), "Erreur", platform::MB_OK | platform::MB_ICONERROR);
  }
}

class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

TUrlCommands::TUrlCommands(TWUrlList& list, IUrlCommandsHost& host, QWidget* dialogParent)
    : list_(list), host_(host), dialogParent_(dialogParent) {
  installDefaultDialogs();
  buildMenus();
}

TUrlCommands::~TUrlCommands() = default;

// ------------------------------------------------------------------ menus

QAction* TUrlCommands::addItem(QMenu* menu, const char* caption, int tag, const Command& command,
                               const char* shortcut) {
  QAction* action = menu->addAction(Text(caption));
  action->setData(tag);
  if (shortcut) action->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
  // The tag is read when the item runs: some items get theirs on opening.
  connect(action, &QAction::triggered, this, [action, command] { RunSafely([&] { command(action->data().toInt()); }); });
  return action;
}

// The commands that several menus offer, the tag saying on which rows.
struct TUrlCommands::TItemCommands {
  Command loadUrl, updateNow, searchOwner, saveAs, print, vignettes, allVignettes, properties;
};

void TUrlCommands::buildMenus() {
  const TItemCommands commands{.loadUrl = [this](int) { LoadUrl(); },
                               .updateNow = [this](int tag) { UpdateNow(tag); },
                               .searchOwner = [this](int) { SearchOwner(); },
                               .saveAs = [this](int tag) { SaveAs(tag); },
                               .print = [this](int tag) { Print(tag); },
                               .vignettes = [this](int tag) { Vignettes(tag); },
                               .allVignettes = [this](int) { AllVignettes(); },
                               .properties = [this](int) { Properties(); }};
  buildRowMenus(commands);
  buildSelectionMenus(commands);
  buildOptionsMenu();
  refreshMenusAsTheyOpen();
}

// The menus of the current row, one for each kind of list.
void TUrlCommands::buildRowMenus(const TItemCommands& c) {
  UrlPopup = NewPopup("UrlPopup");
  addItem(UrlPopup.get(), "&Charger cette URL dans le navigateur...", 0, c.loadUrl);
  addItem(UrlPopup.get(), "&Réactualiser", 0, c.updateNow);
  addItem(UrlPopup.get(), "R&echercher les pages propriétaires de cette URL...", 0, c.searchOwner);
  addItem(UrlPopup.get(), "Enregistrer sous...", 0, c.saveAs);
  UrlPopup->addSeparator();
  addItem(UrlPopup.get(), "&Propriétés...", 0, c.properties);

  PagePopup = NewPopup("PagePopup");
  addItem(PagePopup.get(), "&Charger cette page dans le navigateur...", 0, c.loadUrl);
  addItem(PagePopup.get(), "R&echercher les pages propriétaires de cette page...", 0, c.searchOwner);
  addItem(PagePopup.get(), "Créer un nouveau web à partir de cette page...", 0, [this](int) { PageNewWeb(); });
  addItem(PagePopup.get(), "Enregistrer la page sous...", 0, c.saveAs);
  addItem(PagePopup.get(), "&Imprimer la page...", 0, c.print, "Ctrl+I");
  PagePopup->addSeparator();
  addItem(PagePopup.get(), "Créer la vignette HTML...", 0, c.vignettes);
  addItem(PagePopup.get(), "Générer toutes les vignettes des pages...", 0, c.allVignettes, "Ctrl+V");
  PagePopup->addSeparator();
  addItem(PagePopup.get(), "&Propriétés...", 0, c.properties);

  ImagePopup = NewPopup("ImagePopup");
  addItem(ImagePopup.get(), "&Charger cette image dans le navigateur...", 0, c.loadUrl);
  addItem(ImagePopup.get(), "Rechercher les pages contenant cette image....", 0, c.searchOwner);
  addItem(ImagePopup.get(), "Enregistrer l'image sous...", 0, c.saveAs);
  addItem(ImagePopup.get(), "Imprimer l'image...", 0, c.print);
  addItem(ImagePopup.get(), "C&opier dans le presse-papiers", 0, [this](int) { ImageCopy(); }, "Ctrl+C");
  ImagePopup->addSeparator();
  addItem(ImagePopup.get(), "&Propriétés...", 0, c.properties);

  ErreurPopup = NewPopup("ErreurPopup");
  addItem(ErreurPopup.get(), "&Rechercher les pages contenant cette erreur...", 0, c.searchOwner);
  addItem(ErreurPopup.get(), "Créer un rapport d'erreurs...", 0, [this](int) { ErrorReport(); })
      ->setObjectName("ErreurPopupRapport");
  ErreurPopup->addSeparator();
  addItem(ErreurPopup.get(), "&Propriétés..", 0, c.properties);

  FilteredPopup = NewPopup("FilteredPopup");
  addItem(FilteredPopup.get(), "&Charger ce lien dans le navigateur...", 0, c.loadUrl);
  addItem(FilteredPopup.get(), "&Rechercher les pages contenant ce lien ignoré...", 0, c.searchOwner);
  FilteredPopupInclude = FilteredPopup->addMenu(Text("&Inclure "));
  FilteredPopupInclude->setObjectName("FilteredPopupInclude");
  N15 = FilteredPopup->addSeparator();
  N15->setObjectName("N15");
  FilteredPopupUnFiltered = addItem(FilteredPopup.get(), "", 0, [this](int tag) { UnFiltered(tag); });
  FilteredPopupUnFiltered->setObjectName("FilteredPopupUnFiltered");
  FilteredPopupUnFiltered->setVisible(false);  // until a filtered row offers it
  N15->setVisible(false);
  addItem(FilteredPopup.get(), "&Propriétés...", 0, c.properties);

}

// The menus of the selected rows (tag 1), of the marked rows (tag 2), and
// the marking itself.
void TUrlCommands::buildSelectionMenus(const TItemCommands& c) {
  UrlSelectionPopup = NewPopup("UrlSelectionPopup");
  addItem(UrlSelectionPopup.get(), "&Réactualiser la sélection...", 1, c.updateNow);
  addItem(UrlSelectionPopup.get(), "Enregistrer la sélection sous...", 1, c.saveAs);

  PageSelectionPopup = NewPopup("PageSelectionPopup");
  addItem(PageSelectionPopup.get(), "&Réactualiser la sélection", 1, c.updateNow);
  addItem(PageSelectionPopup.get(), "Enregistrer la sélection sous...", 1, c.saveAs);
  addItem(PageSelectionPopup.get(), "&Imprimer la sélection", 1, c.print, "Ctrl+I");
  PageSelectionPopup->addSeparator();
  addItem(PageSelectionPopup.get(), "Créer les vignettes HTML à partir de la sélection...", 1, c.vignettes);
  addItem(PageSelectionPopup.get(), "Générer toutes les vignettes des pages...", 0, c.allVignettes, "Ctrl+V");

  ImageSelectionPopup = NewPopup("ImageSelectionPopup");
  addItem(ImageSelectionPopup.get(), "Enregistrer la sélection sous...", 1, c.saveAs);
  addItem(ImageSelectionPopup.get(), "Imprimer la sélection", 1, c.print);

  UrlMarquagePopup = NewPopup("UrlMarquagePopup");
  addItem(UrlMarquagePopup.get(), "&Réactualiser les liens marqués", 2, c.updateNow);
  addItem(UrlMarquagePopup.get(), "Enregistrer sous...", 2, c.saveAs);

  PageMarquagePopup = NewPopup("PageMarquagePopup");
  addItem(PageMarquagePopup.get(), "&Réactualiser les pages marquées", 2, c.updateNow);
  addItem(PageMarquagePopup.get(), "Enregistrer les pages marquées sous...", 2, c.saveAs);
  addItem(PageMarquagePopup.get(), "&Imprimer les pages marquées", 2, c.print);
  addItem(PageMarquagePopup.get(), "Créer les vignettes HTML à partir des pages marquées...", 2, c.vignettes);

  ImageMarquagePopup = NewPopup("ImageMarquagePopup");
  addItem(ImageMarquagePopup.get(), "Enregistrer les images marquées sous...", 2, c.saveAs);
  addItem(ImageMarquagePopup.get(), "Imprimer les images marquées", 2, c.print);

  MarquagePopup = NewPopup("MarquagePopup");
  MarquagePopupFlagAll = addItem(MarquagePopup.get(), "Tout marquer", 0, [this](int) { MarkAll(); });
  MarquagePopupCancel = addItem(MarquagePopup.get(), "&Annuler le marquage", 0, [this](int) { CancelMarks(); }, "Ctrl+A");
  MarquagePopupInvert = addItem(MarquagePopup.get(), "&Inverser le marquage", 0, [this](int) { InvertMarks(); });
  MarquagePopupFlagAll->setObjectName("MarquagePopupFlagAll");
  MarquagePopupCancel->setObjectName("MarquagePopupCancel");
  MarquagePopupInvert->setObjectName("MarquagePopupInvert");

}

// The list's options: its columns, F5 and the two view checks.
void TUrlCommands::buildOptionsMenu() {
  UrlOptionsPopup = NewPopup("UrlOptionsPopup");
  OptionsMenuColonne = UrlOptionsPopup->addMenu(Text("&Colonne"));
  OptionsMenuColonne->setObjectName("OptionsMenuColonne");
  OptionsMenuUpdateList = addItem(UrlOptionsPopup.get(), "&Rafraîchir ", 0, [this](int) { RefreshList(); }, "F5");
  OptionsMenuViewLastImage = UrlOptionsPopup->addAction(Text("&Affichage automatique de la dernière image capturée"));
  UrlOptionsPopup->addSeparator();
  OptionsMenuViewFrame = UrlOptionsPopup->addAction(Text("&Fenêtre d'aperçu"));
  OptionsMenuUpdateList->setObjectName("OptionsMenuUpdateList");
  // F5 of the window is the Options menu's; this one only reads it.
  OptionsMenuUpdateList->setShortcutContext(Qt::WidgetShortcut);
  OptionsMenuViewLastImage->setObjectName("OptionsMenuViewLastImage");
  OptionsMenuViewFrame->setObjectName("OptionsMenuViewFrame");
  OptionsMenuViewLastImage->setCheckable(true);
  OptionsMenuViewFrame->setCheckable(true);

}

// Each menu's enabling is brought up to date as it opens.
void TUrlCommands::refreshMenusAsTheyOpen() {
  for (TPopupMenuEx* menu : {UrlPopup.get(), PagePopup.get(), ImagePopup.get(), ErreurPopup.get()})
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { RefreshRowPopup(menu); });
  connect(FilteredPopup.get(), &QMenu::aboutToShow, this, [this] { RefreshFilteredPopup(); });
  for (TPopupMenuEx* menu : {UrlSelectionPopup.get(), PageSelectionPopup.get(), ImageSelectionPopup.get(),
                             UrlMarquagePopup.get(), PageMarquagePopup.get(), ImageMarquagePopup.get(),
                             MarquagePopup.get()})
    connect(menu, &QMenu::aboutToShow, this, [this] { RefreshMarking(); });
  connect(OptionsMenuColonne, &QMenu::aboutToShow, this, [this] { rebuildColumnMenu(); });
}

void TUrlCommands::installDefaultDialogs() {
  AskFolder = [this](const QString& caption, const QString& start) {
    controls::TDlgDir dlg(dialogParent_);
    dlg.setWindowTitle(caption);
    dlg.SetPath(start);
    return dlg.Execute() ? dlg.GetPath() : QString();
  };
  AskSaveFile = [this](const QString& caption, const QString& preset) {
    return QFileDialog::getSaveFileName(dialogParent_, caption, preset);
  };
  AskPrinter = [this] {
    QPrinter printer;
    QPrintDialog dlg(&printer, dialogParent_);
    if (dlg.exec() != QDialog::Accepted) return false;
    viewer::PrinterSetup& selection = viewer::PrinterSelection();
    selection.PrinterName = printer.printerName();
    selection.OutputFile = printer.outputFileName();
    selection.Resolution = printer.resolution();
    return true;
  };
  RunPrint = [this](const QString& title, const QStringList& files) {
    TDlgPrint::PrintFiles(title, files, dialogParent_);
  };
  RunVignettes = [this](TWeb& web, std::optional<std::vector<std::string>> urls) {
    TDlgVignettes::CreateFor(dialogParent_, web, host_.Setup(), std::move(urls))->exec();
  };
  RunUrlPropDialog = [](shell::TDlgUrlProp& dlg) { return dlg.exec() == QDialog::Accepted; };
  RunErrorReport = [this](TWeb& web) {
    shell::TDlgRapportError dlg(&web, dialogParent_);
    return dlg.exec() == QDialog::Accepted;
  };
  MakeCopyView = [this]() -> std::unique_ptr<ICopyView> {
    return std::make_unique<shell::TCopyDialog>(dialogParent_);
  };
}

TPopupMenuEx* TUrlCommands::PopupForStyle(TWUrlListStyle style) const {
  switch (style) {
    case usHtml:
      return PagePopup.get();
    case usImages:
      return ImagePopup.get();
    case usErrors:
      return ErreurPopup.get();
    case usFiltered:
      return FilteredPopup.get();
    default:
      return UrlPopup.get();
  }
}

TPopupMenuEx* TUrlCommands::SelectionPopup(TWUrlListStyle style) const {
  return style == usHtml     ? PageSelectionPopup.get()
         : style == usImages ? ImageSelectionPopup.get()
                             : UrlSelectionPopup.get();
}

TPopupMenuEx* TUrlCommands::MarkedPopup(TWUrlListStyle style) const {
  return style == usHtml     ? PageMarquagePopup.get()
         : style == usImages ? ImageMarquagePopup.get()
                             : UrlMarquagePopup.get();
}

void TUrlCommands::AttachToList() {
  for (int s = usHtml; s <= usFiltered; ++s)
    list_.SetStylePopup(TWUrlListStyle(s), PopupForStyle(TWUrlListStyle(s)));
}

void TUrlCommands::RefreshPopups() {
  for (QMenu* menu : {UrlPopup.get(), PagePopup.get(), ImagePopup.get(), ErreurPopup.get()}) RefreshRowPopup(menu);
  RefreshFilteredPopup();
  RefreshMarking();
}

void TUrlCommands::RefreshRowPopup(QMenu* menu) {
  const bool rows = list_.List().Count() > 0;
  for (QAction* action : menu->actions())
    if (!action->isSeparator()) action->setEnabled(rows);
}

QString TUrlCommands::filterActionCaption(const TWebFile& record) const {
  const int state = record.GetState();
  QString caption = Text(FilterActionText(state));
  if (caption.isEmpty() || !caption.contains("%s")) return caption;
  const TUrl url(record.FullUrl);
  std::string value;
  switch (state) {
    case fsFilteredMime:
      value = GetContentType(record);
      break;
    case fsFilteredStartDirectory: {
      // The directory the start address keeps the capture in.
      const TWeb* web = list_.Web();
      value = web && !web->StartEntries.empty() ? TUrl(web->StartEntries.front().Url).GetDirectoryUrl()
                                                : url.GetDirectoryUrl();
      break;
    }
    case fsFilteredDomainMachine:
      value = "XXX." + url.GetDomain();
      break;
    default:
      value = url.GetDirectoryUrl();
      break;
  }
  return caption.replace("%s", Caption(value));
}

void TUrlCommands::RefreshFilteredPopup() {
  RefreshRowPopup(FilteredPopup.get());
  FilteredPopupInclude->clear();
  FilteredPopupUnFiltered->setVisible(false);
  N15->setVisible(false);
  TWebFile record(list_.Web());
  if (list_.MarkedCount() >= 2) {
    for (QAction* action : FilteredPopup->actions()) action->setEnabled(false);
    return;
  }
  if (!currentRecord(record)) return;
  const QString caption = record.IsFiltered() ? filterActionCaption(record) : QString();
  if (!caption.isEmpty()) {
    FilteredPopupUnFiltered->setText(caption);
    FilteredPopupUnFiltered->setData(int(record.GetState()));
    FilteredPopupUnFiltered->setVisible(true);
    N15->setVisible(true);
  }
  rebuildInclude(record);
}

void TUrlCommands::rebuildInclude(const TWebFile& record) {
  const TWebFileState state = record.GetState();
  const bool offered = state == fsFilteredExternalWebDepth || state == fsFilteredExternalLinkDirectory ||
                       state == fsFilteredExternalLinkDepth;
  if (offered) {
    auto add = [this](const QString& name, const QString& caption, int tag) {
      QAction* item = FilteredPopupInclude->addAction(caption);
      item->setObjectName(name);
      item->setData(tag);
      connect(item, &QAction::triggered, this, [this, tag] { RunSafely([&] { Include(tag); }); });
    };
    const TUrl url(record.FullUrl);
    if (!url.FileName.empty()) add("MenuInclude_N1", Caption(url.FileName), kIncludeFile);
    for (int n = int(url.Segments.size()) - 1; n >= 1; --n) {
      std::string path;
      for (int i = 1; i <= n; ++i) path += url.Segments[size_t(i)];
      add("MenuInclude_" + QString::number(n), Caption(path), n);
    }
    add("MenuInclude_N2", Caption(url.Host), kIncludeHost);
  }
  FilteredPopupInclude->menuAction()->setEnabled(!FilteredPopupInclude->isEmpty());
}

void TUrlCommands::RefreshMarking() {
  const bool marked = list_.MarkedCount() > 0;
  QMenu* markedMenu = MarkedPopup(list_.Style());
  for (QAction* action : markedMenu->actions()) action->setEnabled(marked);

  const int current = list_.CurrentIndex();
  const bool currentMarked = current >= 0 && (list_.List().Flags(current) & TUrlList::rfMarked);
  MarquagePopupInvert->setText(list_.SelectedCount() > 1 ? Text("Inverser le marquage (barre d'espace)")
                               : currentMarked           ? Text("Supprimer la marque (barre d'espace)")
                                                         : Text("Mettre une marque (barre d'espace)"));
  const QList<QAction*> actions = MarquagePopup->actions();
  for (qsizetype i = 3; i < actions.size(); ++i) {
    MarquagePopup->removeAction(actions[i]);
    delete actions[i];
  }
  if (!marked) return;
  MarquagePopup->addSeparator()->setObjectName("MarquagePopupExtMenu");
  int n = 0;
  for (QAction* original : markedMenu->actions()) {
    if (original->isSeparator()) continue;
    QAction* copy = MarquagePopup->addAction(original->text());
    copy->setObjectName("MarquagePopupExtMenu" + QString::number(n++));
    copy->setData(original->data());
    copy->setEnabled(original->isEnabled());
    connect(copy, &QAction::triggered, original, &QAction::trigger);
  }
}

void TUrlCommands::rebuildColumnMenu() {
  OptionsMenuColonne->clear();
  OptionsMenuColonne->addAction(Text("Colonne"))->setEnabled(false);
  OptionsMenuColonne->addSeparator();
  // The grid's own items, acting on its current column.
  list_.SetColumnMenuColumn(list_.Col());
  OptionsMenuColonne->addActions(list_.ColumnMenu()->actions());
}

// ---------------------------------------------------------------- targets

bool TUrlCommands::currentRecord(TWebFile& record) const { return list_.Web() && list_.CurrentRecord(record); }

int TUrlCommands::effectiveTarget(int tag) const {
  // The row under the cursor stands for the selection when none is made.
  if (tag == tgMarked) return tgMarked;
  return tag == tgSelected && list_.SelectedCount() > 0 ? tgSelected : tgCurrent;
}

void TUrlCommands::forEachTarget(int tag, const std::function<bool(TWebFile&)>& callback) {
  switch (effectiveTarget(tag)) {
    case tgMarked:
      list_.ForEachMarked(callback);
      break;
    case tgSelected:
      list_.ForEachSelected(callback);
      break;
    default: {
      TWebFile record(list_.Web());
      if (currentRecord(record)) callback(record);
    }
  }
}

int TUrlCommands::targetCount(int tag) const {
  switch (effectiveTarget(tag)) {
    case tgMarked:
      return list_.MarkedCount();
    case tgSelected:
      return list_.SelectedCount();
    default:
      return list_.CurrentIndex() >= 0 ? 1 : 0;
  }
}

std::vector<std::string> TUrlCommands::TargetUrls(int tag) const {
  std::vector<std::string> urls;
  const TUrlList& rows = list_.List();
  const int target = effectiveTarget(tag);
  if (target == tgCurrent) {
    if (list_.CurrentIndex() >= 0) urls.push_back(rows.Url(list_.CurrentIndex()));
    return urls;
  }
  const uint8_t flag = target == tgMarked ? TUrlList::rfMarked : TUrlList::rfSelected;
  for (int i = 0; i < rows.Count(); ++i)
    if (rows.Flags(i) & flag) urls.push_back(rows.Url(i));
  return urls;
}

// --------------------------------------------------------------- commands

void TUrlCommands::LoadUrl() {
  TWebFile record(list_.Web());
  if (!currentRecord(record)) return;
  const std::string local = record.GetLocalName().empty() ? std::string() : record.GetLocalPath();
  host_.OpenInBrowser(local.empty() ? record.FullUrl : PathToFileUrl(local));
}

void TUrlCommands::UpdateNow(int tag) {
  // The row under the cursor stands for the marks when several rows are marked.
  const std::vector<std::string> urls = TargetUrls(tag == tgCurrent && list_.MarkedCount() >= 2 ? tgMarked : tag);
  if (!urls.empty()) host_.RunCapture(kUpdateFlags, urls);
}

void TUrlCommands::SearchOwner() {
  TWebFile record(list_.Web());
  if (currentRecord(record)) host_.SearchFor(record.FullUrl, 1);
}

void TUrlCommands::PageNewWeb() {
  TWebFile record(list_.Web());
  if (!currentRecord(record)) return;
  std::string user, password;
  record.GetIdentity(user, password);
  host_.NewWebFrom(record.FullUrl, user, password);
}

void TUrlCommands::AddStartUrl() {
  TWeb* web = list_.Web();
  TWebFile record(web);
  if (!currentRecord(record)) return;
  const auto& entries = web->StartEntries;
  if (std::none_of(entries.begin(), entries.end(),
                   [&](const TStartEntry& e) { return SameUrl(e.Url, record.FullUrl); })) {
    TStartEntry entry;
    entry.Url = record.FullUrl;
    record.GetIdentity(entry.User, entry.Password);
    web->StartEntries.push_back(entry);
  }
  record.SetStartUrl(true);
  record.SaveChanges();
  list_.WebFileChanged(record);
}

void TUrlCommands::DeleteUrl() {
  TWeb* web = list_.Web();
  TWebFile record(web);
  if (!currentRecord(record)) return;
  auto& entries = web->StartEntries;
  const auto entry = std::find_if(entries.begin(), entries.end(),
                                  [&](const TStartEntry& e) { return SameUrl(e.Url, record.FullUrl); });
  if (entry == entries.end()) return;
  if (platform::MessageBox("Voulez-vous supprimer l'URL de départ " + record.FullUrl + " ?",
                           std::string(TextAt(kMessageCaptions, 2)),
                           platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
    return;
  entries.erase(entry);
  // Its file goes with it; GetLocalPath never names a file outside the capture folder.
  const std::string local = record.GetLocalPath();
  web->DeleteRecord(record);
  std::error_code ec;
  if (IsRegularFile(local)) fs::remove(local, ec);
  list_.Reload();
}

void TUrlCommands::Vignettes(int tag) {
  TWeb* web = list_.Web();
  if (!web) return;
  // The row item makes the thumbnails of the selection, as the selection item does.
  RunVignettes(*web, TargetUrls(tag == tgMarked ? tgMarked : tgSelected));
  host_.RestartPreview();
}

void TUrlCommands::AllVignettes() {
  TWeb* web = list_.Web();
  if (!web) return;
  RunVignettes(*web, std::nullopt);
  host_.RestartPreview();
}

void TUrlCommands::SaveAs(int tag) {
  if (!list_.Web()) return;
  if (tag == tgCurrent) {
    TWebFile record(list_.Web());
    if (currentRecord(record)) saveOne(record);
  } else {
    saveSeveral(tag);
  }
}

void TUrlCommands::saveOne(TWebFile& record) {
  const std::string source = record.GetLocalPath();
  if (!IsRegularFile(source)) return;
  const QString target = AskSaveFile(Text(kSaveCaption), QString::fromStdString(source));
  if (target.isEmpty()) return;
  std::error_code ec;
  // Saving the file onto itself: nothing to do (a copy would empty it).
  if (fs::equivalent(source, target.toStdString(), ec)) return;
  BusyCursor busy;
  if (!CopyFile(source, target.toStdString()))
    platform::MessageBox("Impossible d'enregistrer " + target.toStdString(), kSaveCaption,
                         platform::MB_OK | platform::MB_ICONERROR);
}

void TUrlCommands::saveSeveral(int tag) {
  const QString folder = AskFolder(Text(kSaveCaption), saveFolder_);
  if (folder.isEmpty()) return;
  saveFolder_ = folder;
  const fs::path target = folder.toStdString();
  std::unique_ptr<ICopyView> view = MakeCopyView ? MakeCopyView() : nullptr;
  TDlgCopy copy(view.get());
  copy.SetCaption("Enregistrer sous...");
  copy.SetDestination(folder.toStdString());
  std::vector<std::string> failed;
  copy.Execute(
      targetCount(tag), [&](const std::function<bool(TWebFile&)>& step) { forEachTarget(tag, step); },
      [&](TWebFile& record) {
        const std::string source = record.GetLocalPath();
        if (!IsRegularFile(source)) return true;
        copy.ShowFileName(record.GetFileName());
        copy.ShowSource(fs::path(source).parent_path().string());
        // Files of the same name (from other folders, or there before) are
        // kept: the copy takes the next free name.
        const std::string name = ReserveUniqueName(target, record.GetFileName(), "");
        if (name.empty() || !CopyFile(source, target / name)) {
          std::error_code ec;
          if (!name.empty()) fs::remove(target / name, ec);
          failed.push_back(record.GetFileName());
        }
        return true;
      });
  if (!failed.empty()) {
    std::string names;
    for (const std::string& name : failed) names += "\n" + name;
    platform::MessageBox("Impossible d'enregistrer :" + names, kSaveCaption, platform::MB_OK | platform::MB_ICONERROR);
  }
}

void TUrlCommands::Print(int tag) {
  TWeb* web = list_.Web();
  if (!web || !AskPrinter()) return;
  QString title;
  QStringList files;
  if (tag == tgCurrent) {
    TWebFile record(web);
    if (!currentRecord(record)) return;
    title = QString::fromStdString(record.GetTitle());
    files << QString::fromStdString(record.GetLocalPath());
  } else {
    title = QString::fromStdString(web->GetTitle());
    forEachTarget(tag, [&](TWebFile& record) {
      files << QString::fromStdString(record.GetLocalPath());
      return true;
    });
  }
  files.removeAll(QString());
  if (!files.isEmpty()) RunPrint(title, files);
}

void TUrlCommands::ImageCopy() {
  // The picture of the row itself: the preview may still show the row before.
  TWebFile record(list_.Web());
  QImage picture;
  if (currentRecord(record) && LoadRecordImage(record, picture)) QApplication::clipboard()->setImage(picture);
}

void TUrlCommands::Properties() {
  TWeb* web = list_.Web();
  TWebFile record(web);
  if (!currentRecord(record)) return;
  shell::TDlgUrlProp dlg(*web, record, dialogParent_);
  // The URL may have changed with the rest: the rows are read again.
  if (RunUrlPropDialog(dlg)) list_.Reload();
}

void TUrlCommands::ErrorReport() {
  TWeb* web = list_.Web();
  if (!web || !RunErrorReport(*web)) return;
  if (platform::MessageBox("Voulez-vous voir le rapport des erreurs ?", "Rapport des erreurs",
                           platform::MB_YESNO | platform::MB_ICONQUESTION) == platform::IDYES)
    host_.OpenInBrowser(PathToFileUrl((fs::path(web->GetFolder()) / "Index" / "_Rapport.htm").string()));
}

void TUrlCommands::UnFiltered(int tag) {
  TWeb* web = list_.Web();
  TWebFile record(web);
  if (!currentRecord(record)) return;
  TOptions& options = web->Options;
  switch (tag) {
    case fsFilteredProtocol:
      options.DownloadFTPFlag = true;
      break;
    case fsFilteredMime:
    case fsFilteredExtension:
      // The record's own type; the shared "Defaut" item is not the web's to change.
      if (TMimeItem* item = options.MimeList().GetItem(record.GetMimeIndex() - 1)) item->SetEnabled(true);
      break;
    case fsFilteredSize:
      host_.SelectTreePage(tpSizeLimits);
      return;
    case fsFilteredExternalWebDepth:
    case fsFilteredInternalLinkDepth:
    case fsFilteredExternalLinkDepth:
      host_.SelectTreePage(tpExploration);
      return;
    case fsFilteredExternalLinkDirectory:
      // Its item offers to stop limiting links to their directory.
      options.ExternalPathLimit = false;
      break;
    case fsFilteredStartDirectory:
      options.InternalPathLimit = false;
      break;
    case fsFilteredExclusion:
      host_.SelectTreePage(tpFilters);
      return;
    case fsFilteredDomainMachine:
      options.CheckDomainMachineFlag = false;
      break;
    default:
      return;
  }
  host_.WebOptionsChanged();
}

void TUrlCommands::Include(int tag) {
  TWeb* web = list_.Web();
  TWebFile record(web);
  if (!currentRecord(record)) return;
  const TUrl url(record.FullUrl);
  const std::string allowed = tag == kIncludeHost   ? url.GetSiteUrl()
                              : tag == kIncludeFile ? url.GetDirectoryUrl() + url.FileName
                                                    : url.GetUrlToLevel(tag);
  if (web->Options.Filters().Add(allowed, kFilterAllowed)) host_.WebOptionsChanged();
}

void TUrlCommands::MarkAll() {
  list_.MarkAll();
  RefreshMarking();
}

void TUrlCommands::CancelMarks() {
  list_.ClearMarks();
  RefreshMarking();
}

void TUrlCommands::InvertMarks() {
  list_.Invert();
  RefreshMarking();
}

void TUrlCommands::RefreshList() { list_.Reload(); }

void TUrlCommands::UrlListBoxClick(const std::string& url) {
  TWebFile record(list_.Web());
  if (list_.Web() && list_.Web()->FindUrl(url, record) && record.GetState() == fsRetrieved)
    host_.ShowPreview(url, "");
}

}  // namespace qlon
