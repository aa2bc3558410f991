#include "SetupPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "DlgSysTree.h"
#include "DlgVignettes.h"
#include "Setup.h"

namespace qlon::shell {

namespace fs = std::filesystem;

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }
QCheckBox* NewCheck(QWidget* parent, const char* text) { return new QCheckBox(Text(text), parent); }
// The pages share the main window with its menu bar: their keys are not
// the menus' (F, W, C, P, O, A), and a page's browse buttons have a key each.
QPushButton* NewButton(QWidget* parent, const char* caption) { return new QPushButton(Text(caption), parent); }

QLineEdit* NewPassword(QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setEchoMode(QLineEdit::Password);
  return edit;
}

QSpinBox* NewSpin(QWidget* parent, int min, int max) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(min, max);
  return spin;
}

// A row of a field with the button that browses for it; the label's
// shortcut goes to the field.
void AddRowWithButton(QFormLayout* form, const char* text, QLineEdit* edit, QPushButton* button) {
  auto* row = new QHBoxLayout;
  row->addWidget(edit, 1);
  row->addWidget(button);
  QLabel* label = nullptr;
  if (*text) {
    label = new QLabel(Text(text), edit->parentWidget());
    label->setBuddy(edit);
  }
  form->addRow(label, row);
}

bool HasBlank(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7F; });
}

bool IsAbsolute(const QLineEdit* edit) { return QDir::isAbsolutePath(edit->text().trimmed()); }

// quillon.ini keeps no blank around a value.
TRefusal CheckPassword(QLineEdit* edit, const std::string& kept) {
  const QString typed = edit->text();
  if (typed.toStdString() != kept && typed != typed.trimmed())
    return {edit, "Le mot de passe ne peut ni commencer ni finir par un espace."};
  return {};
}

bool IsBadHost(const QLineEdit* edit) { return TrimmedText(edit).empty() || HasBlank(TrimmedText(edit)); }

}  // namespace

std::string TrimmedText(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

std::string FolderSetting(const std::string& path) {
  return controls::WithTrailingSlash(QString::fromStdString(path).trimmed()).toStdString();
}
std::string FolderSetting(const QLineEdit* edit) { return FolderSetting(edit->text().toStdString()); }

TSetupPage::TSetupPage(QStackedWidget* stack) {
  auto* scroll = new QScrollArea(stack);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidget(this);
  stack->addWidget(scroll);
}

TSetupPreferencesPage::TSetupPreferencesPage(QStackedWidget* stack) : TSetupPage(stack) {
  auto* form = new QFormLayout(this);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  MaxSocketsSpin = NewSpin(this, 1, TSetup::kMaxSocketsLimit);
  TryCountSpin = NewSpin(this, 0, 99);
  TimeoutSpin = NewSpin(this, 1, 3600);
  AutoSaveCountSpin = NewSpin(this, 1, 100000);
  AutoSaveCountSpin->setSuffix(QString::fromUtf8(" fichiers"));
  AgentCombo = new QComboBox(this);
  EMailEdit = new QLineEdit(this);
  EMailEdit->setMinimumWidth(180);
  AcceptCookiesCheck = NewCheck(this, "Accepter les coo&kies");
  form->addRow(Text("Connexions &simultanées :"), MaxSocketsSpin);
  form->addRow(Text("Nombre de &tentatives :"), TryCountSpin);
  form->addRow(Text("&Délai d'attente (secondes) :"), TimeoutSpin);
  form->addRow(Text("&Enregistrer la capture tous les :"), AutoSaveCountSpin);
  form->addRow(Text("&Identité :"), AgentCombo);
  form->addRow(Text("E-&mail (FTP anonyme) :"), EMailEdit);
  form->addRow(AcceptCookiesCheck);
}

TSetupConnectionPage::TSetupConnectionPage(QStackedWidget* stack) : TSetupPage(stack) {
  auto* form = new QFormLayout(this);
  UseActiveRasCheck = NewCheck(this, "Utiliser la connexion acti&ve");
  UseRasCheck = NewCheck(this, "&Etablir une connexion par l'accès réseau à distance");
  ConnexionCombo = new QComboBox(this);
  DefaultIdentCheck = NewCheck(this, "Utiliser l'&identification de la connexion");
  RasUserNameEdit = new QLineEdit(this);
  RasPasswordEdit = NewPassword(this);
  DisconnectRasCheck = NewCheck(this, "&Raccrocher à la fin de la capture");
  form->addRow(UseActiveRasCheck);
  form->addRow(UseRasCheck);
  form->addRow(Text("Co&nnexion :"), ConnexionCombo);
  form->addRow(DefaultIdentCheck);
  form->addRow(Text("Nom d'&utilisateur :"), RasUserNameEdit);
  form->addRow(Text("&Mot de passe :"), RasPasswordEdit);
  form->addRow(DisconnectRasCheck);
  for (QCheckBox* box : {UseRasCheck, DefaultIdentCheck})
    connect(box, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
}

void TSetupConnectionPage::UpdateEnabling() {
  UseRasCheck->setEnabled(DialUp);
  const bool dial = DialUp && UseRasCheck->isChecked();
  ConnexionCombo->setEnabled(dial);
  DefaultIdentCheck->setEnabled(dial);
  RasUserNameEdit->setEnabled(dial && !DefaultIdentCheck->isChecked());
  RasPasswordEdit->setEnabled(RasUserNameEdit->isEnabled());
}

TRefusal TSetupConnectionPage::Check(const TSetup& s) const { return CheckPassword(RasPasswordEdit, s.RasPassword); }

TSetupBrowserPage::TSetupBrowserPage(QStackedWidget* stack) : TSetupPage(stack) {
  auto* v = new QVBoxLayout(this);
  BrowserAutoRadio = new QRadioButton(Text("Navigateur Web par &défaut"), this);
  BrowserOtherRadio = new QRadioButton(Text("Au&tre navigateur :"), this);
  BrowserCombo = new QComboBox(this);
  BrowserCombo->setEditable(true);
  BrowserBtn = NewButton(this, "Pa&rcourir...");
  AutoLaunchCheck = NewCheck(this, "Afficher le &sommaire à la fin de la capture");
  v->addWidget(BrowserAutoRadio);
  v->addWidget(BrowserOtherRadio);
  auto* row = new QHBoxLayout;
  row->addWidget(BrowserCombo, 1);
  row->addWidget(BrowserBtn);
  v->addLayout(row);
  v->addWidget(AutoLaunchCheck);
  auto* marks = new QGroupBox(Text("Signets"), this);
  auto* form = new QFormLayout(marks);
  UseBookmarkCheck = NewCheck(marks, "Ajouter les Webs capturés aux si&gnets");
  AutoAddBookmarkCheck = NewCheck(marks, "Ajouter le signet auto&matiquement");
  BookmarkFileEdit = new QLineEdit(marks);
  BookmarkFileBtn = NewButton(marks, "Parco&urir...");
  BookmarkFolderEdit = new QLineEdit(marks);
  form->addRow(UseBookmarkCheck);
  form->addRow(AutoAddBookmarkCheck);
  AddRowWithButton(form, "F&ichier de signets :", BookmarkFileEdit, BookmarkFileBtn);
  form->addRow(Text("Dossier des sig&nets :"), BookmarkFolderEdit);
  v->addWidget(marks);
  v->addStretch();
  connect(UseBookmarkCheck, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
  connect(BrowserOtherRadio, &QRadioButton::toggled, this, [this] { UpdateEnabling(); });
}

std::string TSetupBrowserPage::ChosenBrowser() const { return BrowserCombo->currentText().trimmed().toStdString(); }

void TSetupBrowserPage::UpdateEnabling() {
  BrowserCombo->setEnabled(BrowserOtherRadio->isChecked());
  const bool marks = UseBookmarkCheck->isChecked();
  for (QWidget* w :
       std::initializer_list<QWidget*>{AutoAddBookmarkCheck, BookmarkFileEdit, BookmarkFileBtn, BookmarkFolderEdit})
    w->setEnabled(marks);
}

TRefusal TSetupBrowserPage::Check(const TSetup& s) const {
  const std::string file = TrimmedText(BookmarkFileEdit);
  if (file != s.BookmarkFile && !file.empty() && !IsAbsolute(BookmarkFileEdit))
    return {BookmarkFileEdit, "Vous devez indiquer le chemin complet du fichier de signets."};
  const bool newBrowser = s.BrowserAuto || s.BrowserList.empty() || ChosenBrowser() != s.BrowserList.front();
  if (BrowserOtherRadio->isChecked() && newBrowser && !QFileInfo(QString::fromStdString(ChosenBrowser())).isFile())
    return {BrowserCombo, "Le navigateur " + ChosenBrowser() + " n'existe pas."};
  return {};
}

TSetupReportPage::TSetupReportPage(QStackedWidget* stack) : TSetupPage(stack) {
  auto* form = new QFormLayout(this);
  form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  LigByPageSpin = NewSpin(this, 1, 1000);
  ImgLigByPageSpin = NewSpin(this, 1, 100);
  ImgColByPageSpin = NewSpin(this, 1, 100);
  ImgSizeSpin = NewSpin(this, 8, 1024);
  ImgSizeMinSpin = NewSpin(this, 0, 1024);
  ImgRatioCheck = NewCheck(this, "Conserver les p&roportions des images");
  ThumbnailSizeCombo = new QComboBox(this);
  for (const TThumbnailSize& size : kThumbnailSizes)
    ThumbnailSizeCombo->addItem(QStringLiteral("%1 x %2").arg(size.Width).arg(size.Height));
  form->addRow(Text("&Liens par page d'index :"), LigByPageSpin);
  form->addRow(Text("Lignes d'&images par page :"), ImgLigByPageSpin);
  form->addRow(Text("Colo&nnes d'images par page :"), ImgColByPageSpin);
  form->addRow(Text("&Taille des images (pixels) :"), ImgSizeSpin);
  form->addRow(Text("Taille &minimum des images listées :"), ImgSizeMinSpin);
  form->addRow(ImgRatioCheck);
  form->addRow(Text("Taille des &vignettes :"), ThumbnailSizeCombo);
}

TSetupFoldersPage::TSetupFoldersPage(QStackedWidget* stack) : TSetupPage(stack) {
  auto* form = new QFormLayout(this);
  WorkPathEdit = new QLineEdit(this);
  WorkPathBtn = NewButton(this, "Pa&rcourir...");
  WebPathEdit = new QLineEdit(this);
  WebPathBtn = NewButton(this, "Parco&urir...");
  FTPUseSavePathCheck = NewCheck(this, "&Enregistrer les fichiers FTP dans le répertoire :");
  FTPSavePathEdit = new QLineEdit(this);
  FTPSavePathBtn = NewButton(this, "Parcour&ir...");
  UseWebStructureCheck = NewCheck(this, "Respecter la &structure des sites Web");
  UseShortNameCheck = NewCheck(this, "Utiliser des noms de fichiers cour&ts (8.3)");
  form->setRowWrapPolicy(QFormLayout::WrapAllRows);
  AddRowWithButton(form, "Répertoire des Webs &locaux :", WorkPathEdit, WorkPathBtn);
  AddRowWithButton(form, "Répertoire des &nouvelles captures :", WebPathEdit, WebPathBtn);
  form->addRow(FTPUseSavePathCheck);
  AddRowWithButton(form, "", FTPSavePathEdit, FTPSavePathBtn);
  form->addRow(UseWebStructureCheck);
  form->addRow(UseShortNameCheck);
  connect(FTPUseSavePathCheck, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
}

void TSetupFoldersPage::UpdateEnabling() {
  FTPSavePathEdit->setEnabled(FTPUseSavePathCheck->isChecked());
  FTPSavePathBtn->setEnabled(FTPSavePathEdit->isEnabled());
}

TRefusal TSetupFoldersPage::Check(const TSetup& s) const {
  const QString work = WorkPathEdit->text().trimmed();
  if (FolderSetting(WorkPathEdit) != FolderSetting(s.WorkPath)) {
    if (!IsAbsolute(WorkPathEdit))
      return {WorkPathEdit, "Vous devez indiquer le chemin complet du répertoire des Webs locaux."};
    std::error_code ec;
    fs::create_directories(work.toStdString(), ec);
    if (!QFileInfo(work).isDir() || !QFileInfo(work).isWritable())
      return {WorkPathEdit, "Impossible d'utiliser le répertoire " + work.toStdString()};
  }
  if (FolderSetting(WebPathEdit) != FolderSetting(s.WebPath) && !WebPathEdit->text().trimmed().isEmpty() &&
      !IsAbsolute(WebPathEdit))
    return {WebPathEdit, "Vous devez indiquer le chemin complet du répertoire des nouvelles captures."};
  if (FTPUseSavePathCheck->isChecked() &&
      (!s.FTPUseSavePath || FolderSetting(FTPSavePathEdit) != FolderSetting(s.FTPSavePath)) &&
      !IsAbsolute(FTPSavePathEdit))
    return {FTPSavePathEdit, "Vous devez indiquer le chemin complet du répertoire des fichiers FTP."};
  return {};
}

TSetupProxyPage::TSetupProxyPage(QStackedWidget* stack) : TSetupPage(stack) {
  auto* v = new QVBoxLayout(this);
  auto* http = new QGroupBox(Text("HTTP"), this);
  auto* httpForm = new QFormLayout(http);
  HTTPUseProxyCheck = NewCheck(http, "Utiliser un serveur proxy &HTTP");
  HTTPProxyAdressEdit = new QLineEdit(http);
  HTTPProxyPortSpin = NewSpin(http, 1, 65535);
  HTTPProxyUsePasswordCheck = NewCheck(http, "Le serveur proxy demande une &identification");
  HTTPProxyUserNameEdit = new QLineEdit(http);
  HTTPProxyPasswordEdit = NewPassword(http);
  httpForm->addRow(HTTPUseProxyCheck);
  httpForm->addRow(Text("Adr&esse :"), HTTPProxyAdressEdit);
  httpForm->addRow(Text("Po&rt :"), HTTPProxyPortSpin);
  httpForm->addRow(HTTPProxyUsePasswordCheck);
  httpForm->addRow(Text("Nom d'&utilisateur :"), HTTPProxyUserNameEdit);
  httpForm->addRow(Text("&Mot de passe :"), HTTPProxyPasswordEdit);
  auto* ftp = new QGroupBox(Text("FTP"), this);
  auto* ftpForm = new QFormLayout(ftp);
  FTPUseProxyCheck = NewCheck(ftp, "Utiliser un &serveur proxy FTP");
  UseSameProxyCheck = NewCheck(ftp, "Utiliser &le même serveur proxy que pour HTTP");
  FTPProxyAdressEdit = new QLineEdit(ftp);
  FTPProxyPortSpin = NewSpin(ftp, 1, 65535);
  ftpForm->addRow(FTPUseProxyCheck);
  ftpForm->addRow(UseSameProxyCheck);
  ftpForm->addRow(Text("A&dresse :"), FTPProxyAdressEdit);
  ftpForm->addRow(Text("Por&t :"), FTPProxyPortSpin);
  v->addWidget(http);
  v->addWidget(ftp);
  v->addStretch();
  for (QCheckBox* box : {HTTPUseProxyCheck, HTTPProxyUsePasswordCheck, FTPUseProxyCheck, UseSameProxyCheck})
    connect(box, &QCheckBox::toggled, this, [this] { UpdateEnabling(); });
}

void TSetupProxyPage::UpdateEnabling() {
  const bool http = HTTPUseProxyCheck->isChecked();
  HTTPProxyAdressEdit->setEnabled(http);
  HTTPProxyPortSpin->setEnabled(http);
  HTTPProxyUsePasswordCheck->setEnabled(http);
  HTTPProxyUserNameEdit->setEnabled(http && HTTPProxyUsePasswordCheck->isChecked());
  HTTPProxyPasswordEdit->setEnabled(HTTPProxyUserNameEdit->isEnabled());
  const bool ftp = FTPUseProxyCheck->isChecked();
  UseSameProxyCheck->setEnabled(ftp);
  FTPProxyAdressEdit->setEnabled(ftp && !UseSameProxyCheck->isChecked());
  FTPProxyPortSpin->setEnabled(FTPProxyAdressEdit->isEnabled());
}

TRefusal TSetupProxyPage::Check(const TSetup& s) const {
  if (TRefusal password = CheckPassword(HTTPProxyPasswordEdit, s.HTTPProxyPassword)) return password;
  if (HTTPUseProxyCheck->isChecked() && (!s.HTTPUseProxy || TrimmedText(HTTPProxyAdressEdit) != s.HTTPProxyAdress) &&
      IsBadHost(HTTPProxyAdressEdit))
    return {HTTPProxyAdressEdit, "L'adresse du serveur proxy HTTP est incorrecte."};
  const bool ftpProxy = FTPUseProxyCheck->isChecked() && !UseSameProxyCheck->isChecked();
  if (ftpProxy && (!s.FTPUseProxy || s.UseSameProxy || TrimmedText(FTPProxyAdressEdit) != s.FTPProxyAdress) &&
      IsBadHost(FTPProxyAdressEdit))
    return {FTPProxyAdressEdit, "L'adresse du serveur proxy FTP est incorrecte."};
  return {};
}

}  // namespace qlon::shell
