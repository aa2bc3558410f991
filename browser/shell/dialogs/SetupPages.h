#pragma once
// The pages of the program's options (TDlgSetup). Each page makes its own
// controls in the order Tab visits them, keeps which of them apply (a
// proxy's address only while its proxy is used), and refuses what the user
// typed that cannot be stored. Which setting each control shows, the
// storing and the saving are the dialog's.
#include <QWidget>
#include <string>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace qlon {
class TSetup;
}

namespace qlon::shell {

// A text setting as kept: without surrounding blanks.
std::string TrimmedText(const QLineEdit* edit);
// A folder as the settings keep it: with its trailing "/"; empty stays empty.
std::string FolderSetting(const std::string& path);
std::string FolderSetting(const QLineEdit* edit);

// Why a page refuses to be stored, and the field to correct; none when
// Field is null.
struct TRefusal {
  QWidget* Field = nullptr;
  std::string Text;
  explicit operator bool() const { return Field != nullptr; }
};

// A page in its scroll area (the docked frame is 440 x 380: a longer page
// scrolls in it), which joins the stack before the page makes its controls.
class TSetupPage : public QWidget {
 public:
  explicit TSetupPage(QStackedWidget* stack);
};

// The checks look only at what the user changed: a doubtful value the
// settings already hold (a file edited by hand) must not block every later
// store.

// "Préférences": connections, retries, identity.
class TSetupPreferencesPage : public TSetupPage {
 public:
  explicit TSetupPreferencesPage(QStackedWidget* stack);
  QSpinBox *MaxSocketsSpin, *TryCountSpin, *TimeoutSpin, *AutoSaveCountSpin;
  QComboBox* AgentCombo;
  QLineEdit* EMailEdit;
  QCheckBox* AcceptCookiesCheck;
};

// "Connexion Internet": the dial-up connection.
class TSetupConnectionPage : public TSetupPage {
 public:
  explicit TSetupConnectionPage(QStackedWidget* stack);
  QCheckBox *UseActiveRasCheck, *UseRasCheck, *DefaultIdentCheck, *DisconnectRasCheck;
  QComboBox* ConnexionCombo;
  QLineEdit *RasUserNameEdit, *RasPasswordEdit;
  bool DialUp = false;  // the dial-up layer is there
  void UpdateEnabling();
  TRefusal Check(const TSetup& setup) const;
};

// "Navigateur Web": the browser program and the bookmarks.
class TSetupBrowserPage : public TSetupPage {
 public:
  explicit TSetupBrowserPage(QStackedWidget* stack);
  QRadioButton *BrowserAutoRadio, *BrowserOtherRadio;
  QComboBox* BrowserCombo;
  QPushButton* BrowserBtn;
  QCheckBox *AutoLaunchCheck, *UseBookmarkCheck, *AutoAddBookmarkCheck;
  QLineEdit *BookmarkFileEdit, *BookmarkFolderEdit;
  QPushButton* BookmarkFileBtn;
  std::string ChosenBrowser() const;
  void UpdateEnabling();
  TRefusal Check(const TSetup& setup) const;
};

// "Compte rendu": the summary pages and the thumbnails.
class TSetupReportPage : public TSetupPage {
 public:
  explicit TSetupReportPage(QStackedWidget* stack);
  QSpinBox *LigByPageSpin, *ImgLigByPageSpin, *ImgColByPageSpin, *ImgSizeSpin, *ImgSizeMinSpin;
  QCheckBox* ImgRatioCheck;
  QComboBox* ThumbnailSizeCombo;
};

// "Répertoires": where webs and FTP files go, and how files are named.
class TSetupFoldersPage : public TSetupPage {
 public:
  explicit TSetupFoldersPage(QStackedWidget* stack);
  QLineEdit *WorkPathEdit, *WebPathEdit, *FTPSavePathEdit;
  QPushButton *WorkPathBtn, *WebPathBtn, *FTPSavePathBtn;
  QCheckBox *FTPUseSavePathCheck, *UseWebStructureCheck, *UseShortNameCheck;
  void UpdateEnabling();
  // A new work folder is made here, to know that it can be used.
  TRefusal Check(const TSetup& setup) const;
};

// "Serveur proxy": the HTTP and FTP proxies.
class TSetupProxyPage : public TSetupPage {
 public:
  explicit TSetupProxyPage(QStackedWidget* stack);
  QCheckBox *HTTPUseProxyCheck, *HTTPProxyUsePasswordCheck, *FTPUseProxyCheck, *UseSameProxyCheck;
  QLineEdit *HTTPProxyAdressEdit, *HTTPProxyUserNameEdit, *HTTPProxyPasswordEdit, *FTPProxyAdressEdit;
  QSpinBox *HTTPProxyPortSpin, *FTPProxyPortSpin;
  void UpdateEnabling();
  TRefusal Check(const TSetup& setup) const;
};

// The dialog's pages, in the order of their hints.
struct TSetupPages {
  TSetupPreferencesPage* Preferences = nullptr;
  TSetupConnectionPage* Connection = nullptr;
  TSetupBrowserPage* Browser = nullptr;
  TSetupReportPage* Report = nullptr;
  TSetupFoldersPage* Folders = nullptr;
  TSetupProxyPage* Proxy = nullptr;
};

}  // namespace qlon::shell
