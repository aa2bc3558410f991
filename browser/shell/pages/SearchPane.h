#pragma once
// TSearchPane: the search pane of the main window (SearchPanel). It finds
// records of the current web by URL, or pages by their links, titles or
// text, and lists the hits in the main window's URL grid.
//
// Kinds (SearchTypeCB, in this order):
//   0 URLs          the record's URL against the pattern, over the whole web
//                   or one site (SetSite)
//   1 owner pages   the pages with a link whose former URL (OLDREF of a
//                   rewritten link, else the link resolved against the page)
//                   matches
//   2 titles, 3 text, 4 both
// Patterns take the wildcards * and ?, case is ignored. A URL or link must
// match whole when the pattern has wildcards and contain it when it has
// none; a title or text run needs only to contain a match somewhere.
//
// The search runs on the GUI thread and lets events run after every record,
// so the button stops it (the stop flag is read between records). Pressing
// it again with the same pattern and kind goes on from where it stopped,
// keeping the rows found; a changed pattern or kind, another web, or a
// search that ran to its end starts over. Pages whose local file is missing
// or larger than kMaxPageBytes are not scanned.
//
// The main window must not free the web while Searching(): StopSearch()
// ends the run at its next record (a run also ends when the current web
// changes).
#include <QFrame>
#include <QVariantAnimation>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_set>

#include "MainTypes.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace qlon {
class TWeb;
class TWebFile;
class TWUrlList;
namespace controls {
class TW95Meter;
}
}  // namespace qlon

namespace qlon::shell {

// What the pane needs of the main window (a test fake implements it).
class ISearchHost {
 public:
  virtual ~ISearchHost() = default;
  virtual TWeb* CurrentWeb() = 0;
  virtual std::filesystem::path WorkFolder() = 0;
  // Selects the web tree's page of the tag (kSearchTreePage: "Recherche").
  virtual void SelectTreePage(int tag) = 0;
  // Posts kSearchStartMessage to the main window; its handler calls
  // SearchStartBtnClick.
  virtual void PostSearchStart() = 0;
  virtual void RefreshStatusHints() = 0;
};

// The search state of the main window.
struct TSearchInfo {
  bool Searching = false;
  bool Stop = false;
  bool NewSearch = true;  // the pattern or kind changed since the last run
  std::string SiteUrl;    // restricts a URL search to one site; empty: the whole web
  int Position = 0;       // records (kind 0) or pages done when the last run stopped
  std::string LastPattern;
  int LastKind = -1;
};

// The small animation shown while a search runs: a magnifying glass
// circling over a page.
class TSearchAnimation : public QWidget {
  Q_OBJECT
 public:
  explicit TSearchAnimation(QWidget* parent = nullptr);
  void Start();
  void Stop();
  bool Active() const { return animation_.state() == QAbstractAnimation::Running; }
  QSize sizeHint() const override { return {32, 32}; }

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QVariantAnimation animation_;
};

class TSearchPane : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kKindCount = 5;
  static constexpr int kHistoryMax = 40;
  static constexpr const char* kHistoryFile = "srhistory.lst";
  static constexpr int kSearchTreePage = tpSearch;
  static constexpr uint32_t kSearchStartMessage = 0x0400 + 4098;  // WM_USER + 4098
  // Larger pages are not scanned: no page a person reads is that big, and
  // the scanner holds a whole page in memory.
  static constexpr int64_t kMaxPageBytes = int64_t(16) << 20;

  TSearchPane(ISearchHost& host, TWUrlList& urlList, QWidget* parent = nullptr);
  ~TSearchPane() override;

  // Main-window creation and destruction: the kinds, an empty pattern, the
  // history loaded from (saved to) srhistory.lst in the work folder.
  void Setup();
  bool Save();

  // Starts a search as the other commands do (kind 1: the pages linking to a URL).
  void SearchFor(const QString& text, int kind);
  // Showing the pane sets the URL grid up for the kind; hiding it lets the
  // grid fill its styles again.
  void ShowPane(bool visible);

  void SearchTextComboChange();
  void SearchTypeCBChange();
  void SearchStartBtnClick();
  void RunSearch(const std::string& pattern, int kind);
  void StopSearch() { info_.Stop = true; }
  // The next URL searches look in that site only (any URL of it names it)
  // until it is set again or a search runs in another web; empty: the whole
  // web.
  void SetSite(const std::string& url);

  const TSearchInfo& Info() const { return info_; }
  bool Searching() const { return info_.Searching; }
  QStringList History() const;

  QComboBox* SearchTypeCB = nullptr;
  QComboBox* SearchTextCombo = nullptr;
  QPushButton* SearchStartBtn = nullptr;
  QLabel* InfoLabel = nullptr;
  controls::TW95Meter* SearchMeter = nullptr;
  TSearchAnimation* AnimateSearch = nullptr;

 private:
  void addToHistory(const QString& pattern);
  // The walks of one run; false when it stopped before the end.
  bool searchUrls(TWeb& web, const std::string& pattern);
  bool searchPages(TWeb& web, const std::string& pattern, int kind);
  // Lets events run; false when the run must end (stop asked, web changed).
  bool letEventsRun(TWeb& web);
  void addHit(const TWebFile& record);

  ISearchHost& host_;
  TWUrlList& urlList_;
  TSearchInfo info_;
  bool resumable_ = false;         // the last run stopped before its end
  TWeb* searchedWeb_ = nullptr;    // the web of the last run
  bool startPending_ = false;      // SearchFor during a run: start when it ends
  std::unordered_set<std::string> listed_;  // the rows a continued run started with
};

}  // namespace qlon::shell
