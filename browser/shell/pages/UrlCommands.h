#pragma once
// TUrlCommands: the popup menus of the main window's URL list and the
// commands behind them, run on the list's capture (the current web).
//
// Every command item carries a tag (QAction::data) that says what it acts on:
//   0  the grid's current row (the row under the cursor)
//   1  the selected rows
//   2  the marked rows
// The un-filter item carries the filtered state it lifts (11..21) and the
// include items the part of the link's URL they let through (-2 host,
// -1 the file, n the directory n levels deep).
//
// Menus by list style:
//   rows      usHtml PagePopup, usImages ImagePopup, usErrors ErreurPopup,
//             usFiltered FilteredPopup, any other UrlPopup
//   selection usHtml PageSelectionPopup, usImages ImageSelectionPopup, else UrlSelectionPopup
//   marked    usHtml PageMarquagePopup, usImages ImageMarquagePopup, else UrlMarquagePopup
// A row menu enables its items only while the list has rows; the marked-row
// menu only while rows are marked, and MarquagePopup then carries copies of
// its items.
//
// What the main window must do for a command goes through IUrlCommandsHost;
// the dialogs a command opens are replaceable functions, so tests answer them.
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Types.h"

class QAction;
class QMenu;

namespace qlon {

class ICopyView;
class TSetup;
class TWUrlList;
class TWeb;
class TWebFile;

namespace controls {
class TPopupMenuEx;
}
namespace shell {
class TDlgUrlProp;
}

// The main window's side of the URL commands (TMainWin implements it).
class IUrlCommandsHost {
 public:
  virtual ~IUrlCommandsHost() = default;
  virtual TSetup& Setup() = 0;
  // The search pane on the text (kind 1: the pages that link to a URL).
  virtual void SearchFor(const std::string& text, int kind) = 0;
  // A URL or a local file in the default browser.
  virtual void OpenInBrowser(const std::string& address) = 0;
  // A capture run of these URLs (flags: TCaptureFlags).
  virtual void RunCapture(uint16_t flags, const std::vector<std::string>& urls) = 0;
  virtual void SelectTreePage(int tag) = 0;
  virtual void RefreshState() = 0;
  // The wizard of a new web on the address with its identity; the web is
  // made beside the open one, which stays (TWebSession::New).
  virtual void NewWebFrom(const std::string& url, const std::string& user, const std::string& password) = 0;
  virtual void ShowPreview(const std::string& url, const std::string& file) = 0;
  // Forgets what the preview shows and previews the list's current row again.
  virtual void RestartPreview() = 0;
  // The web's capture options changed: the configuration dialog, when shown, reloads.
  virtual void WebOptionsChanged() = 0;
};

class TUrlCommands : public QObject {
  Q_OBJECT
 public:
  enum Target { tgCurrent = 0, tgSelected = 1, tgMarked = 2 };
  static constexpr int kIncludeHost = -2;
  static constexpr int kIncludeFile = -1;

  TUrlCommands(TWUrlList& list, IUrlCommandsHost& host, QWidget* dialogParent = nullptr);
  ~TUrlCommands() override;

  controls::TPopupMenuEx* PopupForStyle(TWUrlListStyle style) const;
  controls::TPopupMenuEx* SelectionPopup(TWUrlListStyle style) const;
  controls::TPopupMenuEx* MarkedPopup(TWUrlListStyle style) const;
  // Gives the grid the row menu of each of its styles.
  void AttachToList();
  // The enabling of every menu for the list as it is now (after a page change).
  void RefreshPopups();
  void RefreshRowPopup(QMenu* menu);
  void RefreshFilteredPopup();
  void RefreshMarking();

  // Commands.
  void LoadUrl();
  void UpdateNow(int tag);
  void SearchOwner();
  void PageNewWeb();
  void AddStartUrl();
  void DeleteUrl();
  void Vignettes(int tag);
  void AllVignettes();
  void SaveAs(int tag);
  void Print(int tag);
  void ImageCopy();
  void Properties();
  void ErrorReport();
  void UnFiltered(int tag);
  void Include(int tag);
  void MarkAll();
  void CancelMarks();
  void InvertMarks();
  void RefreshList();
  // A URL clicked in a list of URLs: a retrieved record is previewed.
  void UrlListBoxClick(const std::string& url);

  // The URLs a command acts on: tag 0 the current row, 1 the selected rows
  // (the current row when none is), 2 the marked rows.
  std::vector<std::string> TargetUrls(int tag) const;
  // The folder the last several-file save went to.
  const QString& SaveFolder() const { return saveFolder_; }

  // The menus, named as the form's.
  std::unique_ptr<controls::TPopupMenuEx> UrlPopup, PagePopup, ImagePopup, ErreurPopup, FilteredPopup;
  std::unique_ptr<controls::TPopupMenuEx> UrlSelectionPopup, PageSelectionPopup, ImageSelectionPopup;
  std::unique_ptr<controls::TPopupMenuEx> UrlMarquagePopup, PageMarquagePopup, ImageMarquagePopup;
  std::unique_ptr<controls::TPopupMenuEx> MarquagePopup, UrlOptionsPopup;
  QMenu* FilteredPopupInclude = nullptr;
  QAction* FilteredPopupUnFiltered = nullptr;
  QAction* N15 = nullptr;  // sets the un-filter item apart; shown with it
  QAction *MarquagePopupFlagAll = nullptr, *MarquagePopupCancel = nullptr, *MarquagePopupInvert = nullptr;
  QMenu* OptionsMenuColonne = nullptr;
  // The main window connects the two option items (its settings and layout).
  QAction *OptionsMenuUpdateList = nullptr, *OptionsMenuViewLastImage = nullptr, *OptionsMenuViewFrame = nullptr;

  // Dialogs; tests replace them. Empty answers and false mean cancelled.
  std::function<QString(const QString& caption, const QString& start)> AskFolder;
  std::function<QString(const QString& caption, const QString& preset)> AskSaveFile;
  std::function<bool()> AskPrinter;  // fills the printer selection
  std::function<void(const QString& title, const QStringList& files)> RunPrint;
  // urls: the pages; none for every page of the capture.
  std::function<void(TWeb& web, std::optional<std::vector<std::string>> urls)> RunVignettes;
  std::function<bool(shell::TDlgUrlProp& dlg)> RunUrlPropDialog;  // true when the record was written
  std::function<bool(TWeb& web)> RunErrorReport;  // false when cancelled
  std::function<std::unique_ptr<ICopyView>()> MakeCopyView;

 private:
  using Command = std::function<void(int tag)>;
  QAction* addItem(QMenu* menu, const char* caption, int tag, const Command& command, const char* shortcut = nullptr);
  struct TItemCommands;
  void buildMenus();
  void buildRowMenus(const TItemCommands& commands);
  void buildSelectionMenus(const TItemCommands& commands);
  void buildOptionsMenu();
  void refreshMenusAsTheyOpen();
  void installDefaultDialogs();
  void rebuildInclude(const TWebFile& record);
  void rebuildColumnMenu();
  bool currentRecord(TWebFile& record) const;
  int effectiveTarget(int tag) const;
  void forEachTarget(int tag, const std::function<bool(TWebFile&)>& callback);
  int targetCount(int tag) const;
  void saveOne(TWebFile& record);
  void saveSeveral(int tag);
  QString filterActionCaption(const TWebFile& record) const;

  TWUrlList& list_;
  IUrlCommandsHost& host_;
  QWidget* dialogParent_;
  QString saveFolder_;
};

}  // namespace qlon
