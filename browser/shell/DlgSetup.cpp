#include "DlgSetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
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
#include <tuple>

#include "DlgSysTree.h"
#include "DlgVignettes.h"
#include "MessageBox.h"
#include "Setup.h"
#include "Texts.h"
#include "WBrowser.h"

namespace qlon::shell {

namespace fs = std::filesystem;

// One setting and the control that edits it: Load shows the setting and
// remembers it, Store writes the control's value only when it differs from
// what was shown.
struct TDlgSetup::TField {
  std::function<void()> Load;
  std::function<void()> Store;
};

namespace {

constexpr int kBrowserListMax = 11;  // BrowserList keys "0" to "10"

QString Utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

std::string Trimmed(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

// A folder as the settings keep it: with its trailing "/"; empty stays empty.
std::string Folder(const std::string& path) {
  return controls::WithTrailingSlash(QString::fromStdString(path).trimmed()).toStdString();
}
std::string Folder(const QLineEdit* edit) { return Folder(edit->text().toStdString()); }

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
    label = new QLabel(QString::fromUtf8(text), edit->parentWidget());
    label->setBuddy(edit);
  }
  form->addRow(label, row);
}

bool HasBlank(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7F; });
}

}  // namespace

TDlgSetup::TDlgSetup(TSetup& setup, QWidget* parent) : TDockForm(parent), setup_(setup) {
  setWindowTitle(QString::fromUtf8(kCaption));
  AskFolder = [this](const QString& start) {
    controls::TDlgDir dlg(this);
    dlg.SetPath(start);
    return dlg.Execute() ? dlg.GetPath() : QString();
  };
  AskProgram = [this](const QString& start) { return QFileDialog::getOpenFileName(this, QString(), start); };
  AskBookmarkFile = [this](const QString& start) {
    return QFileDialog::getSaveFileName(this, QString(), start, QStringLiteral("*.htm *.html;;*"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
  buildPages();
  LoadPages();
  SelectPage(kFirstTag);
}

TDlgSetup::~TDlgSetup() = default;

int TDlgSetup::PageOfTag(int tag) {
  switch (tag) {
    case tpPreferences: return pgPreferences;
    case tpProxy: return pgProxy;
    case tpBrowser: return pgBrowser;
    case tpConnection: return pgConnection;
    case tpReport: return pgReport;
    case tpFolders: return pgFolders;
    default: return -1;
  }
}

int TDlgSetup::TagOfPage(int page) {
  for (int tag = kFirstTag; tag <= kLastTag; ++tag)
    if (PageOfTag(tag) == page) return tag;
  return 0;
}

void TDlgSetup::SelectPage(int tag) {
  const int page = PageOfTag(tag);
  if (page < 0) return;
  Pages->setCurrentIndex(page);
  TitleLabel->setText(Utf8(TextAt(kPageTitles, tag)));
  HintLabel->setText(Utf8(TextAt(kOptionsHints, page)));
}

int TDlgSetup::CurrentPage() const { return Pages->currentIndex(); }

void TDlgSetup::buildPages() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 6, 6, 6);
  TitleLabel = new QLabel(this);
  QFont bold = TitleLabel->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.2);
  TitleLabel->setFont(bold);
  HintLabel = new QLabel(this);
  outer->addWidget(TitleLabel);
  outer->addWidget(HintLabel);
  Pages = new QStackedWidget(this);
  outer->addWidget(Pages, 1);

  // The docked frame is 440 x 380: a longer page scrolls in it.
  auto newPage = [this] {
    auto* scroll = new QScrollArea(Pages);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* page = new QWidget(scroll);
    scroll->setWidget(page);
    Pages->addWidget(scroll);
    return page;
  };
  auto check = [](QWidget* parent, const char* text) { return new QCheckBox(QString::fromUtf8(text), parent); };
  // The pages share the main window with its menu bar: their keys are not
  // the menus' (F, W, C, P, O, A), and a page's browse buttons have a key each.
  auto button = [](QWidget* parent, const char* caption) {
    return new QPushButton(QString::fromUtf8(caption), parent);
  };
  auto password = [](QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
  };
  auto text = [](const char* s) { return QString::fromUtf8(s); };

  {  // Préférences
    QWidget* page = newPage();
    auto* form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    MaxSocketsSpin = NewSpin(page, 1, TSetup::kMaxSocketsLimit);
    TryCountSpin = NewSpin(page, 0, 99);
    TimeoutSpin = NewSpin(page, 1, 3600);
    AutoSaveCountSpin = NewSpin(page, 1, 100000);
    AutoSaveCountSpin->setSuffix(QString::fromUtf8(" fichiers"));
    AgentCombo = new QComboBox(page);
    EMailEdit = new QLineEdit(page);
    EMailEdit->setMinimumWidth(180);
    AcceptCookiesCheck = check(page, "Accepter les coo&kies");
    form->addRow(text("Connexions &simultanées :"), MaxSocketsSpin);
    form->addRow(text("Nombre de &tentatives :"), TryCountSpin);
    form->addRow(text("&Délai d'attente (secondes) :"), TimeoutSpin);
    form->addRow(text("&Enregistrer la capture tous les :"), AutoSaveCountSpin);
    form->addRow(text("&Identité :"), AgentCombo);
    form->addRow(text("E-&mail (FTP anonyme) :"), EMailEdit);
    form->addRow(AcceptCookiesCheck);
  }
  {  // Connexion Internet
    QWidget* page = newPage();
    auto* form = new QFormLayout(page);
    UseActiveRasCheck = check(page, "Utiliser la connexion acti&ve");
    UseRasCheck = check(page, "&Etablir une connexion par l'accès réseau à distance");
    ConnexionCombo = new QComboBox(page);
    DefaultIdentCheck = check(page, "Utiliser l'&identification de la connexion");
    RasUserNameEdit = new QLineEdit(page);
    RasPasswordEdit = password(page);
    DisconnectRasCheck = check(page, "&Raccrocher à la fin de la capture");
    form->addRow(UseActiveRasCheck);
    form->addRow(UseRasCheck);
    form->addRow(text("Co&nnexion :"), ConnexionCombo);
    form->addRow(DefaultIdentCheck);
    form->addRow(text("Nom d'&utilisateur :"), RasUserNameEdit);
    form->addRow(text("&Mot de passe :"), RasPasswordEdit);
    form->addRow(DisconnectRasCheck);
  }
  {  // Navigateur Web
    QWidget* page = newPage();
    auto* v = new QVBoxLayout(page);
    BrowserAutoRadio = new QRadioButton(text("Navigateur Web par &défaut"), page);
    BrowserOtherRadio = new QRadioButton(text("Au&tre navigateur :"), page);
    BrowserCombo = new QComboBox(page);
    BrowserCombo->setEditable(true);
    BrowserBtn = button(page, "Pa&rcourir...");
    AutoLaunchCheck = check(page, "Afficher le &sommaire à la fin de la capture");
    v->addWidget(BrowserAutoRadio);
    v->addWidget(BrowserOtherRadio);
    auto* row = new QHBoxLayout;
    row->addWidget(BrowserCombo, 1);
    row->addWidget(BrowserBtn);
    v->addLayout(row);
    v->addWidget(AutoLaunchCheck);
    auto* marks = new QGroupBox(text("Signets"), page);
    auto* form = new QFormLayout(marks);
    UseBookmarkCheck = check(marks, "Ajouter les Webs capturés aux si&gnets");
    AutoAddBookmarkCheck = check(marks, "Ajouter le signet auto&matiquement");
    BookmarkFileEdit = new QLineEdit(marks);
    BookmarkFileBtn = button(marks, "Parco&urir...");
    BookmarkFolderEdit = new QLineEdit(marks);
    form->addRow(UseBookmarkCheck);
    form->addRow(AutoAddBookmarkCheck);
    AddRowWithButton(form, "F&ichier de signets :", BookmarkFileEdit, BookmarkFileBtn);
    form->addRow(text("Dossier des sig&nets :"), BookmarkFolderEdit);
    v->addWidget(marks);
    v->addStretch();
    connect(BrowserBtn, &QPushButton::clicked, this, [this] {
      const QString program = AskProgram ? AskProgram(BrowserCombo->currentText()) : QString();
      if (program.isEmpty()) return;
      BrowserCombo->setEditText(program);
      BrowserOtherRadio->setChecked(true);
      applyBrowser();
    });
    // A browser chosen opens the next page already, not once the page is left.
    for (QRadioButton* radio : {BrowserAutoRadio, BrowserOtherRadio})
      connect(radio, &QRadioButton::clicked, this, [this] { applyBrowser(); });
    connect(BrowserCombo, &QComboBox::activated, this, [this] { applyBrowser(); });
    connect(BrowserCombo->lineEdit(), &QLineEdit::editingFinished, this, [this] { applyBrowser(); });
    connect(BookmarkFileBtn, &QPushButton::clicked, this, [this] {
      const QString file = AskBookmarkFile ? AskBookmarkFile(BookmarkFileEdit->text()) : QString();
      if (!file.isEmpty()) BookmarkFileEdit->setText(file);
    });
  }
  {  // Compte rendu
    QWidget* page = newPage();
    auto* form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    LigByPageSpin = NewSpin(page, 1, 1000);
    ImgLigByPageSpin = NewSpin(page, 1, 100);
    ImgColByPageSpin = NewSpin(page, 1, 100);
    ImgSizeSpin = NewSpin(page, 8, 1024);
    ImgSizeMinSpin = NewSpin(page, 0, 1024);
    ImgRatioCheck = check(page, "Conserver les p&roportions des images");
    ThumbnailSizeCombo = new QComboBox(page);
    for (const TThumbnailSize& size : kThumbnailSizes)
      ThumbnailSizeCombo->addItem(QStringLiteral("%1 x %2").arg(size.Width).arg(size.Height));
    form->addRow(text("&Liens par page d'index :"), LigByPageSpin);
    form->addRow(text("Lignes d'&images par page :"), ImgLigByPageSpin);
    form->addRow(text("Colo&nnes d'images par page :"), ImgColByPageSpin);
    form->addRow(text("&Taille des images (pixels) :"), ImgSizeSpin);
    form->addRow(text("Taille &minimum des images listées :"), ImgSizeMinSpin);
    form->addRow(ImgRatioCheck);
    form->addRow(text("Taille des &vignettes :"), ThumbnailSizeCombo);
  }
  {  // Répertoires
    QWidget* page = newPage();
    auto* form = new QFormLayout(page);
    WorkPathEdit = new QLineEdit(page);
    WorkPathBtn = button(page, "Pa&rcourir...");
    WebPathEdit = new QLineEdit(page);
    WebPathBtn = button(page, "Parco&urir...");
    FTPUseSavePathCheck = check(page, "&Enregistrer les fichiers FTP dans le répertoire :");
    FTPSavePathEdit = new QLineEdit(page);
    FTPSavePathBtn = button(page, "Parcour&ir...");
    UseWebStructureCheck = check(page, "Respecter la &structure des sites Web");
    UseShortNameCheck = check(page, "Utiliser des noms de fichiers cour&ts (8.3)");
    form->setRowWrapPolicy(QFormLayout::WrapAllRows);
    AddRowWithButton(form, "Répertoire des Webs &locaux :", WorkPathEdit, WorkPathBtn);
    AddRowWithButton(form, "Répertoire des &nouvelles captures :", WebPathEdit, WebPathBtn);
    form->addRow(FTPUseSavePathCheck);
    AddRowWithButton(form, "", FTPSavePathEdit, FTPSavePathBtn);
    form->addRow(UseWebStructureCheck);
    form->addRow(UseShortNameCheck);
    for (auto [edit, btn] : {std::pair{WorkPathEdit, WorkPathBtn}, std::pair{WebPathEdit, WebPathBtn},
                             std::pair{FTPSavePathEdit, FTPSavePathBtn}})
      connect(btn, &QPushButton::clicked, this, [this, edit = edit] {
        const QString folder = AskFolder ? AskFolder(edit->text()) : QString();
        if (!folder.isEmpty()) edit->setText(folder);
      });
  }
  {  // Serveur proxy
    QWidget* page = newPage();
    auto* v = new QVBoxLayout(page);
    auto* http = new QGroupBox(text("HTTP"), page);
    auto* httpForm = new QFormLayout(http);
    HTTPUseProxyCheck = check(http, "Utiliser un serveur proxy &HTTP");
    HTTPProxyAdressEdit = new QLineEdit(http);
    HTTPProxyPortSpin = NewSpin(http, 1, 65535);
    HTTPProxyUsePasswordCheck = check(http, "Le serveur proxy demande une &identification");
    HTTPProxyUserNameEdit = new QLineEdit(http);
    HTTPProxyPasswordEdit = password(http);
    httpForm->addRow(HTTPUseProxyCheck);
    httpForm->addRow(text("Adr&esse :"), HTTPProxyAdressEdit);
    httpForm->addRow(text("Po&rt :"), HTTPProxyPortSpin);
    httpForm->addRow(HTTPProxyUsePasswordCheck);
    httpForm->addRow(text("Nom d'&utilisateur :"), HTTPProxyUserNameEdit);
    httpForm->addRow(text("&Mot de passe :"), HTTPProxyPasswordEdit);
    auto* ftp = new QGroupBox(text("FTP"), page);
    auto* ftpForm = new QFormLayout(ftp);
    FTPUseProxyCheck = check(ftp, "Utiliser un &serveur proxy FTP");
    UseSameProxyCheck = check(ftp, "Utiliser &le même serveur proxy que pour HTTP");
    FTPProxyAdressEdit = new QLineEdit(ftp);
    FTPProxyPortSpin = NewSpin(ftp, 1, 65535);
    ftpForm->addRow(FTPUseProxyCheck);
    ftpForm->addRow(UseSameProxyCheck);
    ftpForm->addRow(text("A&dresse :"), FTPProxyAdressEdit);
    ftpForm->addRow(text("Por&t :"), FTPProxyPortSpin);
    v->addWidget(http);
    v->addWidget(ftp);
    v->addStretch();
  }

  for (QCheckBox* box : {UseRasCheck, DefaultIdentCheck, UseBookmarkCheck, FTPUseSavePathCheck, HTTPUseProxyCheck,
                         HTTPProxyUsePasswordCheck, FTPUseProxyCheck, UseSameProxyCheck})
    connect(box, &QCheckBox::toggled, this, [this] { updateEnabling(); });
  connect(BrowserOtherRadio, &QRadioButton::toggled, this, [this] { updateEnabling(); });

  // The settings the pages edit.
  auto bind = [this](auto read, auto write, auto shown, auto show) {
    using V = std::decay_t<decltype(read())>;
    auto loaded = std::make_shared<V>();
    fields_.push_back(std::make_unique<TField>(TField{[=] { show(*loaded = read()); },
                                                      [=] {
                                                        const V value = shown();
                                                        if (value == *loaded) return;
                                                        write(value);
                                                        *loaded = value;
                                                      }}));
  };
  auto bindCheck = [&](bool& field, QCheckBox* box) {
    bind([&field] { return field; }, [&field](bool v) { field = v; }, [box] { return box->isChecked(); },
         [box](bool v) { box->setChecked(v); });
  };
  auto bindSpin = [&](int& field, QSpinBox* spin) {
    bind([&field] { return field; }, [&field](int v) { field = v; }, [spin] { return spin->value(); },
         [spin](int v) { spin->setValue(v); });
  };
  // Texts are kept without surrounding blanks; a password is refused with
  // them (checkPages) rather than cut silently.
  auto bindText = [&](std::string& field, QLineEdit* edit) {
    bind([&field] { return field; }, [&field](const std::string& v) { field = v; }, [edit] { return Trimmed(edit); },
         [edit](const std::string& v) { edit->setText(QString::fromStdString(v)); });
  };
  auto bindFolder = [&](std::string& field, QLineEdit* edit) {
    bind([&field] { return Folder(field); }, [&field](const std::string& v) { field = v; },
         [edit] { return Folder(edit); },
         [edit](const std::string& v) { edit->setText(QString::fromStdString(v)); });
  };

  TSetup& s = setup_;
  bindSpin(s.MaxSockets, MaxSocketsSpin);
  bindSpin(s.TryCount, TryCountSpin);
  bindSpin(s.Timeout, TimeoutSpin);
  bindSpin(s.AutoSaveCount, AutoSaveCountSpin);
  bind([&s] { return s.AgentIdentity; }, [&s](int v) { s.SetAgentIdentity(v); },
       [this] { return AgentCombo->currentIndex(); },
       [this, &s](int v) {
         AgentCombo->clear();
         for (int i = 0; i < s.AgentCount(); ++i) AgentCombo->addItem(QString::fromStdString(s.Agent(i).Name));
         AgentCombo->setCurrentIndex(v);
       });
  bindText(s.EMail, EMailEdit);
  bindCheck(s.AcceptCookies, AcceptCookiesCheck);

  bindCheck(s.UseActiveRas, UseActiveRasCheck);
  bindCheck(s.UseRas, UseRasCheck);
  bind([&s] { return s.RasConnexion; }, [&s](const std::string& v) { s.RasConnexion = v; },
       [this] { return ConnexionCombo->currentText().toStdString(); },
       [this](const std::string& v) {
         const QString name = QString::fromStdString(v);
         if (!name.isEmpty() && ConnexionCombo->findText(name) < 0) ConnexionCombo->addItem(name);
         ConnexionCombo->setCurrentIndex(ConnexionCombo->findText(name));
       });
  bindCheck(s.DefaultIdent, DefaultIdentCheck);
  bindText(s.RasUserName, RasUserNameEdit);
  bindText(s.RasPassword, RasPasswordEdit);
  bindCheck(s.DisconnectRas, DisconnectRasCheck);

  // The browser: the default one, or a program of the list, which then goes
  // first in it.
  bind([&s] { return s.BrowserAuto; },
       [this, &s](bool v) {
         s.BrowserAuto = v;
         const std::string program = v ? FindDefaultBrowser() : chosenBrowser();
         if (!v) s.BrowserExeName = program;
         if (Browser && !program.empty()) Browser->SetPath(program);
       },
       [this] { return BrowserAutoRadio->isChecked(); },
       [this](bool v) { (v ? BrowserAutoRadio : BrowserOtherRadio)->setChecked(true); });
  bind([this, &s] {
         if (Browser && !s.BrowserAuto) return Browser->GetPath();
         return s.BrowserList.empty() ? std::string() : s.BrowserList.front();
       },
       [this, &s](const std::string& v) {
         if (v.empty()) return;
         std::erase(s.BrowserList, v);
         s.BrowserList.insert(s.BrowserList.begin(), v);
         if (s.BrowserList.size() > kBrowserListMax) s.BrowserList.resize(kBrowserListMax);
         if (!s.BrowserAuto) s.BrowserExeName = v;
         if (Browser && !s.BrowserAuto) Browser->SetPath(v);
       },
       [this] { return chosenBrowser(); },
       [this, &s](const std::string& v) {
         BrowserCombo->clear();
         for (const std::string& program : s.BrowserList) BrowserCombo->addItem(QString::fromStdString(program));
         BrowserCombo->setEditText(QString::fromStdString(v));
       });
  bindCheck(s.AutoLaunch, AutoLaunchCheck);
  bindCheck(s.UseBookmark, UseBookmarkCheck);
  bindCheck(s.AutoAddBookmark, AutoAddBookmarkCheck);
  bindText(s.BookmarkFile, BookmarkFileEdit);
  bindText(s.BookmarkFolder, BookmarkFolderEdit);

  bindSpin(s.Sommaire.LigByPage, LigByPageSpin);
  bindSpin(s.Sommaire.ImgLigByPage, ImgLigByPageSpin);
  bindSpin(s.Sommaire.ImgColByPage, ImgColByPageSpin);
  bindSpin(s.Sommaire.ImgSize, ImgSizeSpin);
  bindSpin(s.Sommaire.ImgSizeMin, ImgSizeMinSpin);
  bindCheck(s.Sommaire.ImgRatio, ImgRatioCheck);
  bind([&s] { return s.ThumbnailSize; }, [&s](int v) { s.ThumbnailSize = v; },
       [this] { return ThumbnailSizeCombo->currentIndex(); },
       [this](int v) { ThumbnailSizeCombo->setCurrentIndex(v); });

  // The work folder is the program's, found through win.ini at start.
  bind([&s] { return s.WorkPath; },
       [&s](const std::string& v) {
         s.WorkPath = v;
         StoreWorkPath(v);
       },
       [this] { return Folder(WorkPathEdit); },
       [this](const std::string& v) { WorkPathEdit->setText(QString::fromStdString(v)); });
  bindFolder(s.WebPath, WebPathEdit);
  bindCheck(s.FTPUseSavePath, FTPUseSavePathCheck);
  bindFolder(s.FTPSavePath, FTPSavePathEdit);
  bindCheck(s.UseWebStructure, UseWebStructureCheck);
  bindCheck(s.UseShortName, UseShortNameCheck);

  bindCheck(s.HTTPUseProxy, HTTPUseProxyCheck);
  bindText(s.HTTPProxyAdress, HTTPProxyAdressEdit);
  bindSpin(s.HTTPProxyPort, HTTPProxyPortSpin);
  bindCheck(s.HTTPProxyUsePasswordFlag, HTTPProxyUsePasswordCheck);
  bindText(s.HTTPProxyUserName, HTTPProxyUserNameEdit);
  bindText(s.HTTPProxyPassword, HTTPProxyPasswordEdit);
  bindCheck(s.FTPUseProxy, FTPUseProxyCheck);
  bindCheck(s.UseSameProxy, UseSameProxyCheck);
  bindText(s.FTPProxyAdress, FTPProxyAdressEdit);
  bindSpin(s.FTPProxyPort, FTPProxyPortSpin);
}

void TDlgSetup::applyBrowser() {
  if (!Browser) return;
  const std::string program = BrowserAutoRadio->isChecked() ? FindDefaultBrowser() : chosenBrowser();
  // An unknown program is refused when the page is left; the browser in use stays meanwhile.
  if (!program.empty() && program != Browser->GetPath() && QFileInfo(QString::fromStdString(program)).isFile())
    Browser->SetPath(program);
}

std::string TDlgSetup::chosenBrowser() const { return BrowserCombo->currentText().trimmed().toStdString(); }

void TDlgSetup::SetDialUpAvailable(bool available) {
  dialUp_ = available;
  if (!available) UseRasCheck->setChecked(false);
  updateEnabling();
}

void TDlgSetup::SetPhoneBookEntries(const QStringList& names) {
  const QString current = ConnexionCombo->currentText();
  const QSignalBlocker block(ConnexionCombo);
  ConnexionCombo->clear();
  ConnexionCombo->addItems(names);
  if (!current.isEmpty() && ConnexionCombo->findText(current) < 0) ConnexionCombo->addItem(current);
  ConnexionCombo->setCurrentIndex(ConnexionCombo->findText(current));
}

void TDlgSetup::updateEnabling() {
  UseRasCheck->setEnabled(dialUp_);
  const bool dial = dialUp_ && UseRasCheck->isChecked();
  ConnexionCombo->setEnabled(dial);
  DefaultIdentCheck->setEnabled(dial);
  RasUserNameEdit->setEnabled(dial && !DefaultIdentCheck->isChecked());
  RasPasswordEdit->setEnabled(RasUserNameEdit->isEnabled());
  BrowserCombo->setEnabled(BrowserOtherRadio->isChecked());
  const bool marks = UseBookmarkCheck->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{AutoAddBookmarkCheck, BookmarkFileEdit, BookmarkFileBtn,
                                                    BookmarkFolderEdit})
    w->setEnabled(marks);
  FTPSavePathEdit->setEnabled(FTPUseSavePathCheck->isChecked());
  FTPSavePathBtn->setEnabled(FTPSavePathEdit->isEnabled());
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

void TDlgSetup::LoadPages() {
  for (const auto& field : fields_) field->Load();
  if (!dialUp_) UseRasCheck->setChecked(false);
  updateEnabling();
}

bool TDlgSetup::refuse(int page, QWidget* field, const std::string& text) {
  SelectPage(TagOfPage(page));
  platform::MessageBox(text, kCaption, platform::MB_OK | platform::MB_ICONERROR);
  field->setFocus();
  return false;
}

// Only what the user changed is checked: a doubtful value the settings
// already hold (a file edited by hand) must not block every later store.
bool TDlgSetup::checkPages() {
  const TSetup& s = setup_;
  const auto absolute = [](const QLineEdit* edit) { return QDir::isAbsolutePath(edit->text().trimmed()); };
  const QString work = WorkPathEdit->text().trimmed();
  if (Folder(WorkPathEdit) != Folder(s.WorkPath)) {
    if (!absolute(WorkPathEdit))
      return refuse(pgFolders, WorkPathEdit, "Vous devez indiquer le chemin complet du répertoire des Webs locaux.");
    std::error_code ec;
    fs::create_directories(work.toStdString(), ec);
    if (!QFileInfo(work).isDir() || !QFileInfo(work).isWritable())
      return refuse(pgFolders, WorkPathEdit, "Impossible d'utiliser le répertoire " + work.toStdString());
  }
  if (Folder(WebPathEdit) != Folder(s.WebPath) && !WebPathEdit->text().trimmed().isEmpty() && !absolute(WebPathEdit))
    return refuse(pgFolders, WebPathEdit,
                  "Vous devez indiquer le chemin complet du répertoire des nouvelles captures.");
  if (FTPUseSavePathCheck->isChecked() && (!s.FTPUseSavePath || Folder(FTPSavePathEdit) != Folder(s.FTPSavePath)) &&
      !absolute(FTPSavePathEdit))
    return refuse(pgFolders, FTPSavePathEdit, "Vous devez indiquer le chemin complet du répertoire des fichiers FTP.");
  if (Trimmed(BookmarkFileEdit) != s.BookmarkFile && !Trimmed(BookmarkFileEdit).empty() && !absolute(BookmarkFileEdit))
    return refuse(pgBrowser, BookmarkFileEdit, "Vous devez indiquer le chemin complet du fichier de signets.");
  const bool newBrowser = s.BrowserAuto || s.BrowserList.empty() || chosenBrowser() != s.BrowserList.front();
  if (BrowserOtherRadio->isChecked() && newBrowser && !QFileInfo(QString::fromStdString(chosenBrowser())).isFile())
    return refuse(pgBrowser, BrowserCombo, "Le navigateur " + chosenBrowser() + " n'existe pas.");
  // quillon.ini keeps no blank around a value.
  for (auto [edit, kept, page] : {std::tuple{HTTPProxyPasswordEdit, &s.HTTPProxyPassword, pgProxy},
                                  std::tuple{RasPasswordEdit, &s.RasPassword, pgConnection}}) {
    const QString typed = edit->text();
    if (typed.toStdString() != *kept && typed != typed.trimmed())
      return refuse(page, edit, "Le mot de passe ne peut ni commencer ni finir par un espace.");
  }
  const auto badHost = [](const QLineEdit* edit) { return Trimmed(edit).empty() || HasBlank(Trimmed(edit)); };
  if (HTTPUseProxyCheck->isChecked() && (!s.HTTPUseProxy || Trimmed(HTTPProxyAdressEdit) != s.HTTPProxyAdress) &&
      badHost(HTTPProxyAdressEdit))
    return refuse(pgProxy, HTTPProxyAdressEdit, "L'adresse du serveur proxy HTTP est incorrecte.");
  const bool ftpProxy = FTPUseProxyCheck->isChecked() && !UseSameProxyCheck->isChecked();
  if (ftpProxy && (!s.FTPUseProxy || s.UseSameProxy || Trimmed(FTPProxyAdressEdit) != s.FTPProxyAdress) &&
      badHost(FTPProxyAdressEdit))
    return refuse(pgProxy, FTPProxyAdressEdit, "L'adresse du serveur proxy FTP est incorrecte.");
  return true;
}

bool TDlgSetup::StorePages() {
  if (!checkPages()) return false;
  const bool accepted = setup_.AcceptCookies;
  for (const auto& field : fields_) field->Store();
  // Cookies not accepted at start were never read: read them before the
  // store is saved over their file.
  if (setup_.AcceptCookies && !accepted) setup_.LoadCookies();
  return setup_.SaveSettings();
}

}  // namespace qlon::shell
