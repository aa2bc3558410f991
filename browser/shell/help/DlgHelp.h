#pragma once
// TDlgHelp: the program's HTML help pages in a viewer, as a dockable form
// (docked in the main window's help frame, or a free window). One help
// window exists at a time, made on first use by ShowHelp.
//
// Topic numbers name pages: 0 is "index.htm"; otherwise the first decimal
// digit d1 is the chapter "Chap<d1>.htm", and further digits, up to a 0,
// the anchor "#<d1>.<d2>.<d3>..." (123 gives Chap1.htm#1.2.3, 203 gives
// Chap2.htm#2).
#include <QStringList>
#include <functional>

#include "DockForm.h"

class QAction;
class QFrame;
class QLabel;
class QToolButton;

namespace qlon {

namespace viewer {
class THTMLViewer;
}
namespace controls {
class TPopupMenuEx;
}

// What the help window asks of the main window.
class IHelpHost {
 public:
  virtual ~IHelpHost() = default;
  // The panel the help docks into.
  virtual QWidget* HelpFrame() = 0;
  // The docked help shows another file (the main window selects its node).
  virtual void HelpPageChanged(const QString& file) = 0;
};

class TDlgHelp : public TDockForm {
 public:
  // The host name of the maker's site: links to it open the home page in
  // the user's web browser.
  static constexpr const char* kMakerHost = "www.quillon98.example";

  explicit TDlgHelp(QWidget* parent = nullptr);
  ~TDlgHelp() override;

  // "file#anchor": loads the file when it is not the one shown (nothing
  // when it does not exist) and scrolls to the anchor.
  void OpenPage(const QString& name);
  void MenuPrintPageClick();
  void MenuAllPrintClick();

  // Called with the current file when the page changes (set when docked).
  std::function<void(const QString& file)> OnPageChange;
  // The print dialog; true when the user confirmed (the printer selection
  // is then set).
  std::function<bool(QWidget* parent)> ConfirmPrint;
  // Prints the files as one job (the capture-printing dialog by default).
  std::function<void(const QString& title, const QStringList& files)> Print;
  // Opens an address in the web browser.
  std::function<void(const std::string& address)> OpenAddress;

  QFrame* BkPanel;
  QLabel* CaptionImage;
  QLabel* EtapeLabel;
  QLabel* InfoLabel;
  QFrame* HelpPanel;
  QLabel* PaletteImage;
  QToolButton* PrintBtn;
  controls::TPopupMenuEx* PrintPopupMenu;
  QAction* MenuPrintPage;
  QAction* MenuAllPrint;
  viewer::THTMLViewer* Viewer;
};

// The topics the program opens by number (the help's chapters 1 to 5 are
// topics 1 to 5). Every topic a window opens is named here, so that a test
// can check each against the pages shipped.
enum THelpTopic : int {
  htIndex = 0,      // "index.htm", the contents
  htGlossary = 52,  // "Chap5.htm#5.2"
};
struct THelpTopicName {
  const char* Name;
  THelpTopic Topic;
};
inline constexpr THelpTopicName kHelpTopics[] = {{"htIndex", htIndex}, {"htGlossary", htGlossary}};

// The folder of the help pages: the program folder + "help/" unless set.
QString HelpFolder();
void SetHelpFolder(const QString& folder);
// The page of a topic number, in the help folder.
QString HelpTopicPage(int topic);

// The main window (nullptr: none, the help is always a free window).
void SetHelpHost(IHelpHost* host);
// The help window, nullptr before the first ShowHelp.
TDlgHelp* HelpWindow();
// Makes the window on first use (docked in the host's help frame or free),
// moves it between docked and free as asked, opens the page and shows it.
void ShowHelp(const QString& page, bool docked);
// html: ShowHelp on the topic's page; otherwise the platform help file
// "Aide.hlp" of the help folder at that topic, or the topic's page when
// there is no such file (the program ships its help as pages only).
void ShowHelpTopic(int topic, bool docked, bool html);
// Frees the help window (at program end).
void FreeHelp();

}  // namespace qlon
