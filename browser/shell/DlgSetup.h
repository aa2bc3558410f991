#pragma once
// TDlgSetup: the program's options, on six pages the web tree's tags 4..9
// select, docked in the main window like the other dock forms. The pages
// show the settings (LoadPages) and give them back (StorePages), which saves
// "quillon.ini" and, when cookies are accepted, "cookies.txt".
//
// A setting is written back only when its control no longer shows what was
// loaded, so that a setting another window changed meanwhile (the wizard's
// folder options, for one) is not put back to its old value.
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "DockForm.h"
#include "MainTypes.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace qlon {
class TBrowser;
class TSetup;
}  // namespace qlon

namespace qlon::shell {

class TDlgSetup : public TDockForm {
  Q_OBJECT
 public:
  // The pages, in the order of their hints.
  enum Page { pgPreferences, pgConnection, pgBrowser, pgReport, pgFolders, pgProxy, kPageCount };
  static constexpr int kFirstTag = tpPreferences;
  static constexpr int kLastTag = tpFolders;
  static constexpr const char* kCaption = "Préférences";

  explicit TDlgSetup(TSetup& setup, QWidget* parent = nullptr);
  ~TDlgSetup() override;

  // The page of a web-tree tag tpPreferences..tpFolders, and back; -1 / 0 outside.
  static int PageOfTag(int tag);
  static int TagOfPage(int page);
  // Shows the page of the tag; other tags leave the page as it is.
  void SelectPage(int tag);
  int CurrentPage() const;

  // The settings into the pages.
  void LoadPages();
  // The pages into the settings, then the settings saved. False when a
  // field is refused (nothing is stored then, the page shows the field and
  // the edits stay) or when a file could not be written.
  bool StorePages();

  // The dial-up layer: whether it is there (not until it says so), and the
  // names of its phone-book entries (the stored entry is shown even when it
  // is not among them).
  void SetDialUpAvailable(bool available);
  void SetPhoneBookEntries(const QStringList& names);

  // Given the browser program chosen here; not owned, may stay unset.
  TBrowser* Browser = nullptr;
  // What the pages ask of their surroundings; tests replace them.
  std::function<QString(const QString& start)> AskFolder;
  std::function<QString(const QString& start)> AskProgram;
  std::function<QString(const QString& start)> AskBookmarkFile;

  // Controls, page by page.
  QLabel *TitleLabel, *HintLabel;
  QStackedWidget* Pages;
  // Préférences
  QSpinBox *MaxSocketsSpin, *TryCountSpin, *TimeoutSpin, *AutoSaveCountSpin;
  QComboBox* AgentCombo;
  QLineEdit* EMailEdit;
  QCheckBox* AcceptCookiesCheck;
  // Connexion Internet
  QCheckBox *UseActiveRasCheck, *UseRasCheck, *DefaultIdentCheck, *DisconnectRasCheck;
  QComboBox* ConnexionCombo;
  QLineEdit *RasUserNameEdit, *RasPasswordEdit;
  // Navigateur Web
  QRadioButton *BrowserAutoRadio, *BrowserOtherRadio;
  QComboBox* BrowserCombo;
  QPushButton* BrowserBtn;
  QCheckBox *AutoLaunchCheck, *UseBookmarkCheck, *AutoAddBookmarkCheck;
  QLineEdit *BookmarkFileEdit, *BookmarkFolderEdit;
  QPushButton* BookmarkFileBtn;
  // Compte rendu
  QSpinBox *LigByPageSpin, *ImgLigByPageSpin, *ImgColByPageSpin, *ImgSizeSpin, *ImgSizeMinSpin;
  QCheckBox* ImgRatioCheck;
  QComboBox* ThumbnailSizeCombo;
  // Répertoires
  QLineEdit *WorkPathEdit, *WebPathEdit, *FTPSavePathEdit;
  QPushButton *WorkPathBtn, *WebPathBtn, *FTPSavePathBtn;
  QCheckBox *FTPUseSavePathCheck, *UseWebStructureCheck, *UseShortNameCheck;
  // Serveur proxy
  QCheckBox *HTTPUseProxyCheck, *HTTPProxyUsePasswordCheck, *FTPUseProxyCheck, *UseSameProxyCheck;
  QLineEdit *HTTPProxyAdressEdit, *HTTPProxyUserNameEdit, *HTTPProxyPasswordEdit, *FTPProxyAdressEdit;
  QSpinBox *HTTPProxyPortSpin, *FTPProxyPortSpin;

 private:
  struct TField;
  void buildPages();
  void updateEnabling();
  // Refuses the first field that cannot be stored: shows why, the page and
  // the field. True when all can be stored.
  bool checkPages();
  bool refuse(int page, QWidget* field, const std::string& text);
  std::string chosenBrowser() const;
  // The browser the page shows becomes the one in use.
  void applyBrowser();

  TSetup& setup_;
  std::vector<std::unique_ptr<TField>> fields_;
  bool dialUp_ = false;
};

}  // namespace qlon::shell
