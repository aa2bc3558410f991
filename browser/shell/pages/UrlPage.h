#pragma once
// TUrlPage: the main window's URL page (UrlsFrame), shown on the views
// mvUrls (a URL list of the current web), mvSearch (the same under the
// search pane) and mvPicture (the preview picture alone).
//
//   UrlsFrame
//     UrlTopFrame      the action button of the list's category (UrlActionBtn,
//                      PageActionBtn or ImageActionBtn), MarquageButton,
//                      UrlOptionsBtn; a right click beside them opens the
//                      list's options too
//     SearchPanel      on mvSearch only
//     UrlSplitter
//       UrlListFrame   UrlList
//       ImageFrame     ImageWallFrame with Image (a picture), VignetteFrame
//                      with VignetteImage (a page's thumbnail)
//     FullImagePanel   never shown
//
// The preview follows the list's current row: a picture under the images,
// the thumbnail beside the pages, when the view-frame option is on; on
// mvPicture the picture fills the page. Requests come in bursts: each one
// restarts ViewTimer (250 ms) and only the last is served; one for what is
// shown already is ignored. A picture larger than its frame is scaled down
// keeping its ratio, except on mvPicture with the ratio option off.
//
// While its list fills, the page's StatusHint is the category's progress
// text; otherwise it has nothing to say (the window then shows the web's
// folder).
#include <QFrame>
#include <QImage>
#include <QString>
#include <memory>
#include <string>

#include "MainTypes.h"
#include "SearchPane.h"
#include "Types.h"
#include "UrlCommands.h"

class QLabel;
class QSplitter;
class QTimer;
class QToolButton;
class QVBoxLayout;

namespace qlon {
class TSetup;
class TWUrlList;
class TWebFile;
}  // namespace qlon

namespace qlon::shell {

// What the page needs of the main window: what its commands and its search
// pane need, and the window's state and status bar.
class IUrlPageHost : public IUrlCommandsHost, public ISearchHost {
 public:
  // The view and the web-tree tag of the page shown (TMainWin::View, PageTag).
  virtual TMainView View() = 0;
  virtual TWebTreePage PageTag() = 0;
  // The list fills: position 0 of `total` begins, -1 ends.
  virtual void ShowListProgress(int position, int total) = 0;
  // The list's rows changed order: the web tree's images follow it.
  virtual void ListOrderChanged() = 0;
};

class TUrlPage : public QFrame {
  Q_OBJECT
 public:
  // Dialogs of its commands open over `dialogParent` (the main window).
  TUrlPage(IUrlPageHost& host, TSetup& setup, QWidget* dialogParent, QWidget* parent = nullptr);
  ~TUrlPage() override;

  // TMainWin::ShowView's part: the page shown for mvUrls, mvSearch and
  // mvPicture, hidden for the others.
  void ShowView(TMainView view);
  // The search pane, the preview's layout and the action button of the
  // list's category, for the view shown.
  void SetupUrlPage();
  void ShowPreview(const std::string& url, const std::string& file);
  // Forgets what the preview shows and previews the current row again.
  void RestartPreview();
  void ReleasePreview();
  void FitImage();
  // The view-frame option (the window's Options menu and the list's own).
  void OptionsMenuViewFrameClick(bool checked);
  // The preview's height into the settings (while shown), and back.
  void SaveLayout();
  void RestoreLayout();
  // Before the window goes: the list no longer calls back.
  void Detach();

  QString StatusHint() const { return fillText_; }
  const std::string& ShownUrl() const { return shownUrl_; }
  const QImage& Picture() const { return picture_; }

  // Components the main window drives, named as the form's.
  TWUrlList* UrlList = nullptr;
  TSearchPane* SearchPanel = nullptr;
  std::unique_ptr<TUrlCommands> UrlCommands;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The action and option buttons above the list.
  void buildTopButtons(QVBoxLayout* urls);
  // The list, its search panel and, below them, the picture and thumbnail.
  void buildListAndImages(QVBoxLayout* urls);
  void attachCommands(QWidget* dialogParent);
  void connectList();
  void ViewTimerTimer();
  void ShowPicture(const QString& file);
  void UrlListWebFileClick(TWebFile& record);
  void UrlListWebFileDblClick(TWebFile& record);
  void UrlListStyleChanging(TWUrlListStyle style);
  void UrlListSortChange();
  void UrlListProgress(int position, int total);
  void ActionBtnEnter(QToolButton* button);

  IUrlPageHost& host_;
  TSetup& setup_;
  QFrame *UrlTopFrame, *UrlListFrame, *ImageFrame, *ImageWallFrame, *VignetteFrame, *FullImagePanel;
  QToolButton *UrlActionBtn, *PageActionBtn, *ImageActionBtn, *MarquageButton, *UrlOptionsBtn;
  QLabel *Image, *VignetteImage;
  QSplitter* UrlSplitter;
  QTimer* ViewTimer;
  std::string previewUrl_, previewFile_;  // what the view timer is to show
  std::string shownUrl_, shownFile_;      // what the preview shows
  QImage picture_;                        // the preview picture at its own size
  QString fillText_;                      // while the list fills
};

}  // namespace qlon::shell
