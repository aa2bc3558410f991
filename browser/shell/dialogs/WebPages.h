#pragma once
// The pages of the capture configuration wizard (TDlgWeb). Each page makes
// its own controls, in the order Tab visits them, keeps what only its
// controls decide (a limit's number editable while its box is on, which
// tree buttons apply to the selection), and shows or takes its part of the
// capture's options. What the buttons do, the checks and the writing into
// the capture are the wizard's.
#include <QWidget>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace qlon {
class TOptions;
class TWeb;
}  // namespace qlon

namespace qlon::shell {

class TFiltersView;
class TMimeTree;

// A page joins the wizard's stack before it makes its controls, as the
// wizard's own controls are made in reading order.
class TWebPage : public QWidget {
 public:
  explicit TWebPage(QStackedWidget* stack);
};

// "URL de départ": the first start entry and the web's title.
class TWebUrlPage : public TWebPage {
 public:
  explicit TWebUrlPage(QStackedWidget* stack);
  QComboBox* UrlCombo;
  QLineEdit *UserNameEdit, *PasswordEdit, *TitleEdit;
  QPushButton *CheckUrlBtn, *OpenUrlButton, *BrowserUrlBut;
  QString Url() const;
};

// "Destination": the capture's folder and how files are named in it.
class TWebPathPage : public TWebPage {
 public:
  explicit TWebPathPage(QStackedWidget* stack);
  QLineEdit* PathEdit;
  QPushButton* BrowseBtn;
  QLabel* FixedLabel;  // why the folder of a saved capture cannot be edited
  QCheckBox *UseWebStructureCheck, *UseShortNameCheck;
  // A capture on disk keeps its folder; one that holds files its structure.
  void Fix(bool folderFixed, bool structureFixed);
  void Show(const TOptions& options);
  void Take(TOptions& options) const;
};

// "Configuration": the profile the options came from.
class TWebProfilePage : public TWebPage {
 public:
  explicit TWebProfilePage(QStackedWidget* stack);
  QComboBox* DefaultCombo;
  // The profiles offered, the current one selected (the first when unknown).
  void Fill(const std::vector<std::string>& names, const std::string& current);
  void Take(TOptions& options) const;
};

// "Exploration": how far links are followed.
class TWebExplorePage : public TWebPage {
 public:
  explicit TWebExplorePage(QStackedWidget* stack);
  QCheckBox *InternalPathLimitCheck, *ExternalPathLimitCheck, *DomainMachineNotCheck;
  QSpinBox *InternalLinkDepthUpDown, *ExternalWebDepthUpDown, *ExternalLinkDepthUpDown;
  void Show(const TOptions& options);
  void Take(TOptions& options) const;
};

// "Types de fichiers": the MIME types captured, edited in the options' list.
class TWebMimePage : public TWebPage {
 public:
  explicit TWebMimePage(QStackedWidget* stack);
  TMimeTree* WMimeList;
  QPushButton *MimeAddBtn, *MimePropBtn, *MimeDeleteBtn, *MimeAllBtn;
  QCheckBox *ExtensionFilterCheck, *NewMimeValidStateCheck;
  void Show(TOptions& options);
  void Take(TOptions& options) const;
  // Properties and Delete act on the selected type, Delete on one not in use.
  void UpdateButtons();
};

// "Limitations": the capture's size limits, each on while its box is.
class TWebLimitsPage : public TWebPage {
 public:
  explicit TWebLimitsPage(QStackedWidget* stack);
  QCheckBox *MaxFileCountCheck, *MaxDiskSizeCheck, *MinFileSizeCheck, *MaxFileSizeCheck;
  QSpinBox *MaxFileCountEdit, *MaxDiskSizeEdit, *MinFileSizeEdit, *MaxFileSizeEdit;
  void Show(const TOptions& options);
  void Take(TOptions& options) const;
};

// "Filtres": the address filters, edited in the options' tree.
class TWebFiltersPage : public TWebPage {
 public:
  explicit TWebFiltersPage(QStackedWidget* stack);
  TFiltersView* FiltersTreeView;
  QPushButton *FilterAddBtn, *FilterEditBtn, *FilterDeleteBtn, *FilterClearBtn;
  // The popup marks of the tree, with the mark each sets.
  std::vector<std::pair<QAction*, int>> MarkActions;
  void Show(TOptions& options, TWeb* web);
  void Take() const;
  // Modify and Delete act on the selected node, never the root.
  void UpdateButtons();
};

// "Autres options": links, kinds of files and the capture's duration.
class TWebOtherPage : public TWebPage {
 public:
  explicit TWebOtherPage(QStackedWidget* stack);
  QCheckBox *RealLinkCheck, *SuppressLinkCheck, *RefLimitCheck, *BackgroundOnlyCheck, *DownloadFTPCheck,
      *DownLoadVrmlCheck, *DownLoadAppletJavaCheck, *VignetteCheck, *NotExploreFrameCheck, *MaxTimeCheck;
  QSpinBox* MaxTimeUpDown;
  void Show(const TOptions& options);
  void Take(TOptions& options) const;
};

// The wizard's pages, in the order of its page list.
struct TWebPages {
  TWebUrlPage* Url = nullptr;
  TWebPathPage* Path = nullptr;
  TWebProfilePage* Profile = nullptr;
  TWebExplorePage* Explore = nullptr;
  TWebMimePage* Mime = nullptr;
  TWebLimitsPage* Limits = nullptr;
  TWebFiltersPage* Filters = nullptr;
  TWebOtherPage* Other = nullptr;
};

}  // namespace qlon::shell
