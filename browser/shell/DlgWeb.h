#pragma once
// TDlgWeb: the capture configuration wizard ("Configuration de la
// Capture"). It edits a working copy of a capture's options page by page and
// writes it, with the start address, title and destination, into the
// capture on OK; Cancel leaves the capture as it was. Docked in the main
// window, or run as a modal dialog (mode bit 0).
//
// Destination. A new web's folder follows its start address (the folder of
// new captures + the address's short name, numbered when taken) until the
// user edits it. A capture that has its file on disk keeps its folder here:
// only the Move command of the Web menu takes its files along.
#include <QStringList>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "DockForm.h"
#include "Options.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace qlon {
class TSetup;
class TWeb;
}  // namespace qlon

namespace qlon::shell {

class TFiltersView;
class TMimeTree;

class TDlgWeb : public TDockForm {
  Q_OBJECT
 public:
  enum Page { pgUrl, pgPath, pgProfile, pgExplore, pgMime, pgLimits, pgFilters, pgOther, kPageCount };
  static constexpr int kHistoryMax = 40;
  static constexpr const char* kHistoryFile = "uhistory.lst";
  static constexpr const char* kUrlErrorCaption = "Erreur dans l'Url";

  explicit TDlgWeb(TSetup& setup, QWidget* parent = nullptr);
  ~TDlgWeb() override;

  // Shows the settings of the web, or of a new one for nullptr (not owned).
  void LoadWeb(TWeb* web);
  TWeb* Web() const { return web_; }
  TOptions& WorkingOptions() { return options_; }

  // Pages, one at a time.
  int CurrentPage() const;
  // Leaving the address page checks the address first; false when refused.
  bool GoToPage(int page);
  bool NextPage() { return GoToPage(CurrentPage() + 1); }
  bool PrevPage() { return GoToPage(CurrentPage() - 1); }
  static QString PageTitle(int page);

  // The start-address check: the index of its text in the URL check table
  // (1 when the address is accepted).
  static int CheckUrlText(std::string_view url);
  // Checks the address field, showing a refusal; an accepted address goes
  // first in the history, which is saved.
  bool CheckStartUrl();
  const QStringList& History() const { return history_; }

  // Makes the HTML page of the addresses found in a text file, beside it
  // (same name with ".htm", or a free name when that one is taken); the
  // page's path, or empty when none was found.
  static std::filesystem::path MakeUrlPage(const std::filesystem::path& textFile);
  // "&Fichier...": starts from a file (a text file of addresses is turned
  // into a page first, after the user agreed).
  void OpenUrlFile(const std::filesystem::path& file);
  void ChooseProfile(const QString& name);

  // Writes the wizard into the capture: the defaults of the settings, the
  // first start entry (the others stay), title, folder and options. False
  // (nothing written) when the start address or the folder is refused.
  bool ApplyTo(TWeb& web);
  // OK, and OK-and-capture: applies to the loaded web (a new web is left to
  // OnAccepted), closes a modal form and asks for the capture.
  bool OKClick(bool andCapture = false);
  void CancelClick();
  // Runs the form as a modal dialog, the focus in the address; true when
  // closed with OK. Escape is Annuler there.
  bool ExecuteModal();

  // The capture file chosen on the destination page (folder + "local.web").
  std::filesystem::path CaptureFile() const;
  std::string CaptureFolder() const;
  // A new web's folder: base + the address's short name + "/", with a
  // number appended while that folder exists and is not empty.
  static std::string DefaultFolder(const std::string& base, const std::string& url);

  quint16 Mode = 0;  // bit 0: modal
  bool CaptureRequested = false;
  // After OK, with the form's state; false keeps the form open.
  std::function<bool(TDlgWeb&)> OnAccepted;
  std::function<void()> OnStartCapture;
  // What the form asks of its surroundings; tests replace them.
  std::function<bool(QDialog&)> RunDialog;
  std::function<QString()> AskUrlFile;
  std::function<QString(const QString& start)> AskFolder;
  // The page the user's browser shows (the browser link by default).
  std::function<bool(std::string& address, std::string& title)> BrowserCurrentPage;
  std::function<void(const std::string& url)> VerifyUrl;

  // Controls, named as the form's.
  QListWidget* PageList;
  QLabel* HintLabel;
  QLabel* TitleLine;
  QStackedWidget* Pages;
  QPushButton *PrevBtn, *NextBtn, *OKBtn, *OKCaptureBtn, *CancelBtn;
  QComboBox* UrlCombo;
  QLineEdit *UserNameEdit, *PasswordEdit, *Url_TitleEdit;
  QPushButton *CheckUrlBtn, *OpenUrlButton, *BrowserUrlBut;
  QLineEdit* Path_PathEdit;
  QPushButton* Path_BrowseBtn;
  QCheckBox *Path_UseWebStructureCheck, *Path_UseShortNameCheck;
  QLabel* Path_FixedLabel;  // why the folder of a saved capture cannot be edited
  QComboBox* Profile_DefaultCombo;
  QCheckBox *Explore_InternalPathLimitCheck, *Explore_ExternalPathLimitCheck, *DomainMachineNotCheck;
  QSpinBox *Explore_InternalLinkDepthUpDown, *Explore_ExternalWebDepthUpDown, *Explore_ExternalLinkDepthUpDown;
  TMimeTree* WMimeList;
  QPushButton *MimeAddBtn, *MimePropBtn, *MimeDeleteBtn, *MimeAllBtn;
  QCheckBox *ExtensionFilterCheck, *NewMimeValidStateCheck;
  QCheckBox *MaxFileCountCheck, *MaxDiskSizeCheck, *MinFileSizeCheck, *MaxFileSizeCheck;
  QSpinBox *MaxFileCountEdit, *MaxDiskSizeEdit, *MinFileSizeEdit, *MaxFileSizeEdit;
  TFiltersView* FiltersTreeView;
  QPushButton *FilterAddBtn, *FilterEditBtn, *FilterDeleteBtn, *FilterClearBtn;
  QCheckBox *RealLinkCheck, *SuppressLinkCheck, *RefLimitCheck, *BackgroundOnlyCheck, *DownloadFTPCheck,
      *DownLoadVrmlCheck, *DownLoadAppletJavaCheck, *VignetteCheck, *NotExploreFrameCheck, *MaxTimeCheck;
  QSpinBox* MaxTimeUpDown;

  // The MIME and filter page buttons.
  void MimeAddClick();
  void MimePropClick();
  void MimeDeleteClick();
  void FilterAddClick();
  void FilterEditClick();
  void FilterDeleteClick();
  void FilterClearClick();
  // The popup marks of the selected filter node: 2 exclude, 1 include, 0 none.
  void FilterMarkClick(int mark);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildPages();
  void loadHistory();
  void saveHistory() const;
  void toControls();
  void fromControls();
  void refillProfiles();
  bool runDialog(QDialog& dlg);
  void showPage(int page);
  void followStartUrl();
  // "&Url courante du navigateur" only while a browser tells its page.
  void refreshBrowserButton();
  // The tree pages' buttons follow what is selected.
  void updateTreeButtons();

  TSetup& setup_;
  TWeb* web_ = nullptr;
  TOptions options_;
  QStringList history_;
  bool closedWithOk_ = false;
  bool pathEdited_ = false;  // the user chose the new web's folder
};

}  // namespace qlon::shell
