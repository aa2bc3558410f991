#include "MainMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <utility>

namespace qlon::shell {

namespace {

QToolButton* NewToolButton(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setText(text);
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  b->setAutoRaise(true);
  return b;
}

QAction* NewAction(QMenu* menu, const char* name, const QString& text) {
  QAction* a = menu->addAction(text);
  a->setObjectName(name);
  return a;
}

// A command's caption as a tip says it: without its mnemonic and its "...".
QString TipOf(const QAction* command) {
  QString text = command->text();
  text.replace(QLatin1String("&&"), QString(QChar(0x1)));
  text.remove(QLatin1Char('&'));
  text.replace(QChar(0x1), QLatin1Char('&'));
  if (text.endsWith(QLatin1String("..."))) text.chop(3);
  return text.trimmed();
}

}  // namespace

TMainMenus::TMainMenus(QMainWindow& window) {
  BuildMenus(window);
  BuildToolBar(window);
}

void TMainMenus::BuildMenus(QMainWindow& window) {
  MenuFile = window.menuBar()->addMenu("&Fichier");
  MenuFile->setObjectName("MenuFile");
  MenuFileNew = NewAction(MenuFile, "MenuFileNew", "&Nouveau");
  MenuFileOpen = NewAction(MenuFile, "MenuFileOpen", "&Ouvrir");
  MenuFileSave = NewAction(MenuFile, "MenuFileSave", "&Enregistrer");
  MenuFileSave->setShortcut(QKeySequence("Ctrl+E"));
  MenuFileClose = NewAction(MenuFile, "MenuFileClose", "&Fermer");
  // The recent webs go after this separator (tag -1).
  MenuFileRecent = MenuFile->addSeparator();
  MenuFileRecent->setData(-1);
  MenuFile->addSeparator();
  MenuFileExit = NewAction(MenuFile, "MenuFileExit", "&Quitter");

  MenuWeb = window.menuBar()->addMenu("&Web");
  MenuWeb->setObjectName("MenuWeb");
  MenuWebReset = NewAction(MenuWeb, "MenuWebReset", "&Réinitialiser...");
  MenuWebDelete = NewAction(MenuWeb, "MenuWebDelete", "&Supprimer");
  MenuWeb->addSeparator();
  MenuWebCopy = NewAction(MenuWeb, "MenuWebCopy", "&Copier...");
  MenuWebMove = NewAction(MenuWeb, "MenuWebMove", "&Déplacer...");
  MenuWebRemoveAloneLinks = NewAction(MenuWeb, "MenuWebRemoveAloneLinks", "Supprimer les &liens isolés");
  MenuWeb->addSeparator();
  MenuWebAddBookmark = NewAction(MenuWeb, "MenuWebAddBookmark", "&Ajouter aux signets");
  MenuWebAddWebShortcut = NewAction(MenuWeb, "MenuWebAddWebShortcut", "Créer un racc&ourci de capture");

  MenuCapture = window.menuBar()->addMenu("&Capture");
  MenuCapture->setObjectName("MenuCapture");
  MenuCaptureStart = NewAction(MenuCapture, "MenuCaptureStart", "&Démarrer...");
  MenuCaptureStop = NewAction(MenuCapture, "MenuCaptureStop", "&Arrêter...");
  MenuCaptureResolveLinks = NewAction(MenuCapture, "MenuCaptureResolveLinks", "&Résoudre les liens");
  MenuCapture->addSeparator();
  MenuCaptureConfig = NewAction(MenuCapture, "MenuCaptureConfig", "&Options...");
  MenuSaveProfile = NewAction(MenuCapture, "MenuSaveProfile", "&Profils...");

  MenuHtmlPage = window.menuBar()->addMenu("&Pages");
  MenuHtmlPage->setObjectName("MenuHtmlPage");
  MenuHTMLPageSommaire = NewAction(MenuHtmlPage, "MenuHTMLPageSommaire", "&Sommaire");
  MenuHtmlPageHtml = NewAction(MenuHtmlPage, "MenuHtmlPageHtml", "Index des pages &HTML");
  MenuHtmlPageImages = NewAction(MenuHtmlPage, "MenuHtmlPageImages", "Index des &images");
  MenuHtmlPageBookmark = NewAction(MenuHtmlPage, "MenuHtmlPageBookmark", "Si&gnets");

  OptionsMenu = window.menuBar()->addMenu("&Options");
  OptionsMenu->setObjectName("OptionsMenu");
  MenuConfigCfg = NewAction(OptionsMenu, "MenuConfigCfg", "&Préférences...");
  OptionsMenuUpdateList = NewAction(OptionsMenu, "OptionsMenuUpdateList", "&Mettre à jour la liste");
  OptionsMenuUpdateList->setShortcut(QKeySequence(Qt::Key_F5));
  OptionsMenu->addSeparator();
  OptionsMenuViewFrame = NewAction(OptionsMenu, "OptionsMenuViewFrame", "&Aperçu");
  OptionsMenuViewLastImage = NewAction(OptionsMenu, "OptionsMenuViewLastImage", "Voir la &dernière image capturée");
  KeepImageRatioCheck = NewAction(OptionsMenu, "KeepImageRatioCheck", "&Conserver les proportions des images");
  for (QAction* a : {OptionsMenuViewFrame, OptionsMenuViewLastImage, KeepImageRatioCheck}) a->setCheckable(true);

  MenuHelp = window.menuBar()->addMenu("&Aide");
  MenuHelp->setObjectName("MenuHelp");
  MenuHelpIndex = NewAction(MenuHelp, "MenuHelpIndex", "&Sommaire");
  MenuHelpGlossary = NewAction(MenuHelp, "MenuHelpGlossary", "&Glossaire");
  MenuHelpFAQ = NewAction(MenuHelp, "MenuHelpFAQ", "&Questions fréquentes");
  MenuHelp->addSeparator();
  MenuHelpPrintAll = NewAction(MenuHelp, "MenuHelpPrintAll", "&Imprimer toute l'aide");
  MenuHelpPrintCurrentPage = NewAction(MenuHelp, "MenuHelpPrintCurrentPage", "Imprimer la &page");
  MenuHelp->addSeparator();
  MenuHelpAbout = NewAction(MenuHelp, "MenuHelpAbout", "&A propos de Quillon 98...");
}

void TMainMenus::BuildToolBar(QMainWindow& window) {
  QToolBar* bar = window.addToolBar("Outils");
  bar->setObjectName("ToolBar");
  bar->setMovable(false);
  NewBtn = NewToolButton(bar, "NewBtn", "Nouveau");
  CaptureBtn = NewToolButton(bar, "CaptureBtn", "Capturer");
  StopBtn = NewToolButton(bar, "StopBtn", "Arrêter");
  BrowserBtn = NewToolButton(bar, "BrowserBtn", "Navigateur");
  BrowserPopup = new QMenu(BrowserBtn);
  BrowserPopup->setObjectName("BrowserPopup");
  BrowserBtn->setMenu(BrowserPopup);
  BrowserBtn->setPopupMode(QToolButton::MenuButtonPopup);
  BrowserPopupLoadIndex = NewAction(BrowserPopup, "BrowserPopupLoadIndex", "Page de &départ du web");
  BrowserPopupLoadSommaire = NewAction(BrowserPopup, "BrowserPopupLoadSommaire", "&Sommaire du web");
  BrowserPopupLoadBookmarks = NewAction(BrowserPopup, "BrowserPopupLoadBookmarks", "Si&gnets...");
  BrowserPopup->addSeparator();
  BrowserPopupLoadUrl = NewAction(BrowserPopup, "BrowserPopupLoadUrl", "Voir l'&URL sélectionnée");
  BrowserPopupSelect = NewAction(BrowserPopup, "BrowserPopupSelect", "&Choisir le navigateur...");
  ConsulterBtn = NewToolButton(bar, "ConsulterBtn", "Consulter");
  PageSommaireBut = NewToolButton(bar, "PageSommaireBut", "Sommaire");
  QuitButton = NewToolButton(bar, "QuitButton", "Quitter");
  // The three main buttons share one place; the mode shows one of them.
  for (QToolButton* b : {NewBtn, CaptureBtn, StopBtn}) mainButtons_.push_back(bar->addWidget(b));
  bar->addSeparator();
  for (QToolButton* b : {BrowserBtn, ConsulterBtn, PageSommaireBut}) bar->addWidget(b);
  bar->addSeparator();
  bar->addWidget(QuitButton);
  // Each button says which command it runs.
  const std::pair<QToolButton*, const QAction*> commands[] = {
      {NewBtn, MenuFileNew},          {CaptureBtn, MenuCaptureStart},       {StopBtn, MenuCaptureStop},
      {BrowserBtn, BrowserPopupLoadUrl}, {ConsulterBtn, MenuHTMLPageSommaire}, {PageSommaireBut, MenuHTMLPageSommaire},
      {QuitButton, MenuFileExit}};
  for (const auto& [button, command] : commands) button->setToolTip(TipOf(command));
}

void TMainMenus::ShowMode(TMainMode mode) {
  // A tool bar shows its widgets by their actions, in the order of the modes.
  for (TMainMode m : {mmNoWeb, mmWebOpen, mmRunning}) mainButtons_[m]->setVisible(m == mode);
}

void TMainMenus::Enable(const TMenuState& state) {
  const bool idle = state.WebOpen && state.Mode == mmWebOpen;
  for (QAction* a : {MenuFileSave, MenuFileClose, MenuWebReset, MenuWebDelete, MenuWebCopy, MenuWebMove,
                     MenuWebRemoveAloneLinks, MenuCaptureStart, MenuCaptureResolveLinks, MenuWebAddBookmark,
                     MenuWebAddWebShortcut, MenuSaveProfile})
    a->setEnabled(idle);
  MenuCaptureConfig->setEnabled(state.WebOpen);
  MenuHTMLPageSommaire->setEnabled(state.HomePage);
  MenuHtmlPageHtml->setEnabled(state.HtmlIndex);
  MenuHtmlPageImages->setEnabled(state.ImageIndex);
  MenuHtmlPageBookmark->setEnabled(state.WebOpen && state.BookmarkFile);
  MenuFileNew->setEnabled(state.Mode != mmRunning);
  MenuFileOpen->setEnabled(state.Mode != mmRunning);
  MenuCaptureStop->setEnabled(state.Mode == mmRunning);
  ConsulterBtn->setEnabled(state.HomePage);
  PageSommaireBut->setEnabled(state.HomePage);
  OptionsMenuUpdateList->setEnabled(state.WebOpen && state.ListShown);
}

void TMainMenus::ShowRecent(const QStringList& titles, const std::function<void(int index)>& open) {
  for (QAction* a : MenuFile->actions())
    if (a->data().toInt() > 0) delete a;
  const QList<QAction*> actions = MenuFile->actions();
  const qsizetype at = actions.indexOf(MenuFileRecent);
  QAction* before = at + 1 < actions.size() ? actions[at + 1] : nullptr;
  for (int n = 1; n <= std::min<int>(kRecentShown, int(titles.size())); ++n) {
    auto* a = new QAction(QString("&%1 %2").arg(n).arg(QString(titles[n - 1]).replace('&', "&&")), MenuFile);
    a->setObjectName(QString("w%1").arg(n));
    a->setData(n);
    QObject::connect(a, &QAction::triggered, MenuFile, [open, n] { open(n - 1); });
    MenuFile->insertAction(before, a);
  }
}

}  // namespace qlon::shell
