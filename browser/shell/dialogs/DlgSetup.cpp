#include "DlgSetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "DlgSysTree.h"
#include "MessageBox.h"
#include "Setup.h"
#include "Texts.h"
#include "WBrowser.h"

namespace qlon::shell {

// The settings the pages edit. Load shows each setting and remembers it;
// Store writes a control's value only when it differs from what was shown.
class TDlgSetup::TFields {
 public:
  template <class Read, class Write, class Shown, class Show>
  void Bind(Read read, Write write, Shown shown, Show show) {
    using V = std::decay_t<decltype(read())>;
    auto loaded = std::make_shared<V>();
    fields_.push_back({[=] { show(*loaded = read()); },
                       [=] {
                         const V value = shown();
                         if (value == *loaded) return;
                         write(value);
                         *loaded = value;
                       }});
  }
  void Check(bool& field, QCheckBox* box) {
    Bind([&field] { return field; }, [&field](bool v) { field = v; }, [box] { return box->isChecked(); },
         [box](bool v) { box->setChecked(v); });
  }
  void Spin(int& field, QSpinBox* spin) {
    Bind([&field] { return field; }, [&field](int v) { field = v; }, [spin] { return spin->value(); },
         [spin](int v) { spin->setValue(v); });
  }
  // Texts are kept without surrounding blanks; a password is refused with
  // them (checkPages) rather than cut silently.
  void Text(std::string& field, QLineEdit* edit) {
    Bind([&field] { return field; }, [&field](const std::string& v) { field = v; },
         [edit] { return TrimmedText(edit); },
         [edit](const std::string& v) { edit->setText(QString::fromStdString(v)); });
  }
  void Folder(std::string& field, QLineEdit* edit) {
    Bind([&field] { return FolderSetting(field); }, [&field](const std::string& v) { field = v; },
         [edit] { return FolderSetting(edit); },
         [edit](const std::string& v) { edit->setText(QString::fromStdString(v)); });
  }
  void LoadAll() const {
    for (const auto& field : fields_) field.Load();
  }
  void StoreAll() const {
    for (const auto& field : fields_) field.Store();
  }

 private:
  struct TField {
    std::function<void()> Load;
    std::function<void()> Store;
  };
  std::vector<TField> fields_;
};

namespace {

constexpr int kBrowserListMax = 11;  // BrowserList keys "0" to "10"

QString Utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

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
  fields_ = std::make_unique<TFields>();
  buildFrame();
  buildPages();
  connectBrowserPage();
  connectFoldersPage();
  bindPreferencesAndConnection();
  bindBrowser();
  bindReportAndFolders();
  bindProxy();
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
  Stack->setCurrentIndex(page);
  TitleLabel->setText(Utf8(TextAt(kPageTitles, tag)));
  HintLabel->setText(Utf8(TextAt(kOptionsHints, page)));
}

int TDlgSetup::CurrentPage() const { return Stack->currentIndex(); }

void TDlgSetup::buildFrame() {
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
  Stack = new QStackedWidget(this);
  outer->addWidget(Stack, 1);
}

void TDlgSetup::buildPages() {
  Pages.Preferences = new TSetupPreferencesPage(Stack);
  Pages.Connection = new TSetupConnectionPage(Stack);
  Pages.Browser = new TSetupBrowserPage(Stack);
  Pages.Report = new TSetupReportPage(Stack);
  Pages.Folders = new TSetupFoldersPage(Stack);
  Pages.Proxy = new TSetupProxyPage(Stack);
}

void TDlgSetup::connectBrowserPage() {
  TSetupBrowserPage* page = Pages.Browser;
  connect(page->BrowserBtn, &QPushButton::clicked, this, [this, page] {
    const QString program = AskProgram ? AskProgram(page->BrowserCombo->currentText()) : QString();
    if (program.isEmpty()) return;
    page->BrowserCombo->setEditText(program);
    page->BrowserOtherRadio->setChecked(true);
    applyBrowser();
  });
  // A browser chosen opens the next page already, not once the page is left.
  for (QRadioButton* radio : {page->BrowserAutoRadio, page->BrowserOtherRadio})
    connect(radio, &QRadioButton::clicked, this, [this] { applyBrowser(); });
  connect(page->BrowserCombo, &QComboBox::activated, this, [this] { applyBrowser(); });
  connect(page->BrowserCombo->lineEdit(), &QLineEdit::editingFinished, this, [this] { applyBrowser(); });
  connect(page->BookmarkFileBtn, &QPushButton::clicked, this, [this, page] {
    const QString file = AskBookmarkFile ? AskBookmarkFile(page->BookmarkFileEdit->text()) : QString();
    if (!file.isEmpty()) page->BookmarkFileEdit->setText(file);
  });
}

void TDlgSetup::connectFoldersPage() {
  const TSetupFoldersPage* page = Pages.Folders;
  for (auto [edit, btn] :
       {std::pair{page->WorkPathEdit, page->WorkPathBtn}, std::pair{page->WebPathEdit, page->WebPathBtn},
        std::pair{page->FTPSavePathEdit, page->FTPSavePathBtn}})
    connect(btn, &QPushButton::clicked, this, [this, edit = edit] {
      const QString folder = AskFolder ? AskFolder(edit->text()) : QString();
      if (!folder.isEmpty()) edit->setText(folder);
    });
}

void TDlgSetup::bindPreferencesAndConnection() {
  TSetup& s = setup_;
  TFields& f = *fields_;
  f.Spin(s.MaxSockets, Pages.Preferences->MaxSocketsSpin);
  f.Spin(s.TryCount, Pages.Preferences->TryCountSpin);
  f.Spin(s.Timeout, Pages.Preferences->TimeoutSpin);
  f.Spin(s.AutoSaveCount, Pages.Preferences->AutoSaveCountSpin);
  f.Bind([&s] { return s.AgentIdentity; }, [&s](int v) { s.SetAgentIdentity(v); },
         [this] { return Pages.Preferences->AgentCombo->currentIndex(); },
         [this, &s](int v) {
           Pages.Preferences->AgentCombo->clear();
           for (int i = 0; i < s.AgentCount(); ++i)
             Pages.Preferences->AgentCombo->addItem(QString::fromStdString(s.Agent(i).Name));
           Pages.Preferences->AgentCombo->setCurrentIndex(v);
         });
  f.Text(s.EMail, Pages.Preferences->EMailEdit);
  f.Check(s.AcceptCookies, Pages.Preferences->AcceptCookiesCheck);

  f.Check(s.UseActiveRas, Pages.Connection->UseActiveRasCheck);
  f.Check(s.UseRas, Pages.Connection->UseRasCheck);
  f.Bind([&s] { return s.RasConnexion; }, [&s](const std::string& v) { s.RasConnexion = v; },
         [this] { return Pages.Connection->ConnexionCombo->currentText().toStdString(); },
         [this](const std::string& v) {
           const QString name = QString::fromStdString(v);
           if (!name.isEmpty() && Pages.Connection->ConnexionCombo->findText(name) < 0)
             Pages.Connection->ConnexionCombo->addItem(name);
           Pages.Connection->ConnexionCombo->setCurrentIndex(Pages.Connection->ConnexionCombo->findText(name));
         });
  f.Check(s.DefaultIdent, Pages.Connection->DefaultIdentCheck);
  f.Text(s.RasUserName, Pages.Connection->RasUserNameEdit);
  f.Text(s.RasPassword, Pages.Connection->RasPasswordEdit);
  f.Check(s.DisconnectRas, Pages.Connection->DisconnectRasCheck);
}

void TDlgSetup::bindBrowser() {
  TSetup& s = setup_;
  TFields& f = *fields_;
  // The browser: the default one, or a program of the list, which then goes
  // first in it.
  f.Bind(
      [&s] { return s.BrowserAuto; },
      [this, &s](bool v) {
        s.BrowserAuto = v;
        const std::string program = v ? FindDefaultBrowser() : Pages.Browser->ChosenBrowser();
        if (!v) s.BrowserExeName = program;
        if (Browser && !program.empty()) Browser->SetPath(program);
      },
      [this] { return Pages.Browser->BrowserAutoRadio->isChecked(); },
      [this](bool v) { (v ? Pages.Browser->BrowserAutoRadio : Pages.Browser->BrowserOtherRadio)->setChecked(true); });
  f.Bind(
      [this, &s] {
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
      [this] { return Pages.Browser->ChosenBrowser(); },
      [this, &s](const std::string& v) {
        Pages.Browser->BrowserCombo->clear();
        for (const std::string& program : s.BrowserList)
          Pages.Browser->BrowserCombo->addItem(QString::fromStdString(program));
        Pages.Browser->BrowserCombo->setEditText(QString::fromStdString(v));
      });
  f.Check(s.AutoLaunch, Pages.Browser->AutoLaunchCheck);
  f.Check(s.UseBookmark, Pages.Browser->UseBookmarkCheck);
  f.Check(s.AutoAddBookmark, Pages.Browser->AutoAddBookmarkCheck);
  f.Text(s.BookmarkFile, Pages.Browser->BookmarkFileEdit);
  f.Text(s.BookmarkFolder, Pages.Browser->BookmarkFolderEdit);
}

void TDlgSetup::bindReportAndFolders() {
  TSetup& s = setup_;
  TFields& f = *fields_;
  f.Spin(s.Sommaire.LigByPage, Pages.Report->LigByPageSpin);
  f.Spin(s.Sommaire.ImgLigByPage, Pages.Report->ImgLigByPageSpin);
  f.Spin(s.Sommaire.ImgColByPage, Pages.Report->ImgColByPageSpin);
  f.Spin(s.Sommaire.ImgSize, Pages.Report->ImgSizeSpin);
  f.Spin(s.Sommaire.ImgSizeMin, Pages.Report->ImgSizeMinSpin);
  f.Check(s.Sommaire.ImgRatio, Pages.Report->ImgRatioCheck);
  f.Bind([&s] { return s.ThumbnailSize; }, [&s](int v) { s.ThumbnailSize = v; },
         [this] { return Pages.Report->ThumbnailSizeCombo->currentIndex(); },
         [this](int v) { Pages.Report->ThumbnailSizeCombo->setCurrentIndex(v); });

  // The work folder is the program's, found through win.ini at start.
  f.Bind([&s] { return s.WorkPath; },
         [&s](const std::string& v) {
           s.WorkPath = v;
           StoreWorkPath(v);
         },
         [this] { return FolderSetting(Pages.Folders->WorkPathEdit); },
         [this](const std::string& v) { Pages.Folders->WorkPathEdit->setText(QString::fromStdString(v)); });
  f.Folder(s.WebPath, Pages.Folders->WebPathEdit);
  f.Check(s.FTPUseSavePath, Pages.Folders->FTPUseSavePathCheck);
  f.Folder(s.FTPSavePath, Pages.Folders->FTPSavePathEdit);
  f.Check(s.UseWebStructure, Pages.Folders->UseWebStructureCheck);
  f.Check(s.UseShortName, Pages.Folders->UseShortNameCheck);
}

void TDlgSetup::bindProxy() {
  TSetup& s = setup_;
  TFields& f = *fields_;
  f.Check(s.HTTPUseProxy, Pages.Proxy->HTTPUseProxyCheck);
  f.Text(s.HTTPProxyAdress, Pages.Proxy->HTTPProxyAdressEdit);
  f.Spin(s.HTTPProxyPort, Pages.Proxy->HTTPProxyPortSpin);
  f.Check(s.HTTPProxyUsePasswordFlag, Pages.Proxy->HTTPProxyUsePasswordCheck);
  f.Text(s.HTTPProxyUserName, Pages.Proxy->HTTPProxyUserNameEdit);
  f.Text(s.HTTPProxyPassword, Pages.Proxy->HTTPProxyPasswordEdit);
  f.Check(s.FTPUseProxy, Pages.Proxy->FTPUseProxyCheck);
  f.Check(s.UseSameProxy, Pages.Proxy->UseSameProxyCheck);
  f.Text(s.FTPProxyAdress, Pages.Proxy->FTPProxyAdressEdit);
  f.Spin(s.FTPProxyPort, Pages.Proxy->FTPProxyPortSpin);
}

void TDlgSetup::applyBrowser() {
  if (!Browser) return;
  const TSetupBrowserPage& page = *Pages.Browser;
  const std::string program = page.BrowserAutoRadio->isChecked() ? FindDefaultBrowser() : page.ChosenBrowser();
  // An unknown program is refused when the page is left; the browser in use stays meanwhile.
  if (!program.empty() && program != Browser->GetPath() && QFileInfo(QString::fromStdString(program)).isFile())
    Browser->SetPath(program);
}

void TDlgSetup::SetDialUpAvailable(bool available) {
  Pages.Connection->DialUp = available;
  if (!available) Pages.Connection->UseRasCheck->setChecked(false);
  updateEnabling();
}

void TDlgSetup::SetPhoneBookEntries(const QStringList& names) {
  QComboBox* combo = Pages.Connection->ConnexionCombo;
  const QString current = combo->currentText();
  const QSignalBlocker block(combo);
  combo->clear();
  combo->addItems(names);
  if (!current.isEmpty() && combo->findText(current) < 0) combo->addItem(current);
  combo->setCurrentIndex(combo->findText(current));
}

void TDlgSetup::updateEnabling() {
  Pages.Connection->UpdateEnabling();
  Pages.Browser->UpdateEnabling();
  Pages.Folders->UpdateEnabling();
  Pages.Proxy->UpdateEnabling();
}

void TDlgSetup::LoadPages() {
  fields_->LoadAll();
  if (!Pages.Connection->DialUp) Pages.Connection->UseRasCheck->setChecked(false);
  updateEnabling();
}

bool TDlgSetup::checkPages() {
  const std::pair<int, TRefusal> checks[] = {{pgFolders, Pages.Folders->Check(setup_)},
                                             {pgBrowser, Pages.Browser->Check(setup_)},
                                             {pgConnection, Pages.Connection->Check(setup_)},
                                             {pgProxy, Pages.Proxy->Check(setup_)}};
  for (const auto& [page, refusal] : checks) {
    if (!refusal) continue;
    SelectPage(TagOfPage(page));
    platform::MessageBox(refusal.Text, kCaption, platform::MB_OK | platform::MB_ICONERROR);
    refusal.Field->setFocus();
    return false;
  }
  return true;
}

bool TDlgSetup::StorePages() {
  if (!checkPages()) return false;
  const bool accepted = setup_.AcceptCookies;
  fields_->StoreAll();
  // Cookies not accepted at start were never read: read them before the
  // store is saved over their file.
  if (setup_.AcceptCookies && !accepted) setup_.LoadCookies();
  return setup_.SaveSettings();
}

}  // namespace qlon::shell
