#include "UrlPage.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "CapturedFile.h"
#include "DlgVignettes.h"
#include "MenusEx.h"
#include "Setup.h"
#include "Texts.h"
#include "Urlutil.h"
#include "WUrlList.h"
#include "WaitCursor.h"
#include "Web.h"

namespace qlon::shell {

namespace fs = std::filesystem;

namespace {

constexpr int kMinPreviewHeight = 80;

QFrame* NewFrame(QWidget* parent, const char* name) {
  auto* f = new QFrame(parent);
  f->setObjectName(name);
  return f;
}

QToolButton* NewButton(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setText(text);
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  b->setAutoRaise(true);
  b->setPopupMode(QToolButton::InstantPopup);
  return b;
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

}  // namespace

TUrlPage::TUrlPage(IUrlPageHost& host, TSetup& setup, QWidget* dialogParent, QWidget* parent)
    : QFrame(parent), host_(host), setup_(setup) {
  setObjectName("UrlsFrame");
  auto* urls = new QVBoxLayout(this);
  urls->setContentsMargins(0, 0, 0, 0);
  UrlTopFrame = NewFrame(this, "UrlTopFrame");
  auto* top = new QHBoxLayout(UrlTopFrame);
  top->setContentsMargins(0, 0, 0, 0);
  UrlActionBtn = NewButton(UrlTopFrame, "UrlActionBtn", "Actions");
  PageActionBtn = NewButton(UrlTopFrame, "PageActionBtn", "Actions");
  ImageActionBtn = NewButton(UrlTopFrame, "ImageActionBtn", "Actions");
  MarquageButton = NewButton(UrlTopFrame, "MarquageButton", "Marquage");
  // The list's options, also on a right click beside the list.
  UrlOptionsBtn = NewButton(UrlTopFrame, "UrlOptionsBtn", "Options");
  for (QToolButton* b : {UrlActionBtn, PageActionBtn, ImageActionBtn, MarquageButton}) top->addWidget(b);
  top->addStretch();
  top->addWidget(UrlOptionsBtn);
  urls->addWidget(UrlTopFrame);
  UrlList = new TWUrlList(usHtml, usFiltered);
  UrlList->setObjectName("UrlList");
  SearchPanel = new TSearchPane(host_, *UrlList, this);
  SearchPanel->hide();
  urls->addWidget(SearchPanel);
  UrlSplitter = new QSplitter(Qt::Vertical, this);
  UrlListFrame = NewFrame(UrlSplitter, "UrlListFrame");
  auto* listLayout = new QVBoxLayout(UrlListFrame);
  listLayout->setContentsMargins(0, 0, 0, 0);
  listLayout->addWidget(UrlList);
  ImageFrame = NewFrame(UrlSplitter, "ImageFrame");
  auto* imageLayout = new QHBoxLayout(ImageFrame);
  imageLayout->setContentsMargins(0, 0, 0, 0);
  ImageWallFrame = NewFrame(ImageFrame, "ImageWallFrame");
  ImageWallFrame->setFrameShape(QFrame::Panel);
  ImageWallFrame->setFrameShadow(QFrame::Sunken);
  // The picture is placed by FitImage, not by a layout.
  Image = new QLabel(ImageWallFrame);
  Image->setObjectName("Image");
  Image->setAlignment(Qt::AlignCenter);
  VignetteFrame = NewFrame(ImageFrame, "VignetteFrame");
  VignetteImage = new QLabel(VignetteFrame);
  VignetteImage->setObjectName("VignetteImage");
  VignetteImage->setAlignment(Qt::AlignCenter);
  VignetteImage->setCursor(Qt::PointingHandCursor);
  (new QVBoxLayout(VignetteFrame))->addWidget(VignetteImage);
  imageLayout->addWidget(ImageWallFrame, 1);
  imageLayout->addWidget(VignetteFrame);
  UrlSplitter->addWidget(UrlListFrame);
  UrlSplitter->addWidget(ImageFrame);
  // List and preview keep the proportion last left as the window changes.
  UrlSplitter->setStretchFactor(0, 1);
  UrlSplitter->setStretchFactor(1, 1);
  urls->addWidget(UrlSplitter, 1);
  FullImagePanel = NewFrame(this, "FullImagePanel");
  urls->addWidget(FullImagePanel);

  ViewTimer = new QTimer(this);
  ViewTimer->setObjectName("ViewTimer");
  ViewTimer->setInterval(250);
  ViewTimer->setSingleShot(true);
  connect(ViewTimer, &QTimer::timeout, this, &TUrlPage::ViewTimerTimer);

  UrlCommands = std::make_unique<TUrlCommands>(*UrlList, host_, dialogParent);
  UrlCommands->AttachToList();
  MarquageButton->setMenu(UrlCommands->MarquagePopup.get());
  UrlOptionsBtn->setMenu(UrlCommands->UrlOptionsPopup.get());
  for (QWidget* w : {static_cast<QWidget*>(UrlTopFrame), static_cast<QWidget*>(ImageFrame)}) {
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { UrlCommands->UrlOptionsPopup->popup(w->mapToGlobal(at)); });
  }
  UrlActionBtn->setMenu(UrlCommands->UrlPopup.get());
  PageActionBtn->setMenu(UrlCommands->PagePopup.get());
  ImageActionBtn->setMenu(UrlCommands->ImagePopup.get());
  connect(UrlCommands->OptionsMenuViewFrame, &QAction::triggered, this, &TUrlPage::OptionsMenuViewFrameClick);
  connect(UrlCommands->OptionsMenuViewLastImage, &QAction::triggered, this,
          [this](bool checked) { setup_.ViewLastImageFlag = checked; });

  UrlList->OnWebFileClick = [this](TWUrlList*, TWebFile& record) { UrlListWebFileClick(record); };
  UrlList->OnWebFileDblClick = [this](TWUrlList*, TWebFile& record) { UrlListWebFileDblClick(record); };
  UrlList->OnStyleChanging = [this](TWUrlList*, TWUrlListStyle style) { UrlListStyleChanging(style); };
  UrlList->OnSortChange = [this](TWUrlList*) { UrlListSortChange(); };
  UrlList->Onchange = [this](TWUrlList*) {
    UrlListSortChange();
    if (host_.PageTag() >= tpPages && host_.PageTag() <= tpImage) host_.RefreshStatusHints();
  };
  UrlList->OnProgress = [this](TWUrlList*, int position, int total) { UrlListProgress(position, total); };
  for (QObject* o : {static_cast<QObject*>(UrlActionBtn), static_cast<QObject*>(PageActionBtn),
                     static_cast<QObject*>(ImageActionBtn), static_cast<QObject*>(ImageWallFrame),
                     static_cast<QObject*>(Image), static_cast<QObject*>(VignetteImage)})
    o->installEventFilter(this);
}

TUrlPage::~TUrlPage() { Detach(); }

void TUrlPage::Detach() {
  ViewTimer->stop();
  // The list keeps pointers to the menus and calls back into the page.
  for (int s = usHtml; s <= usFiltered; ++s) UrlList->SetStylePopup(TWUrlListStyle(s), nullptr);
  for (QToolButton* b : {UrlActionBtn, PageActionBtn, ImageActionBtn, MarquageButton, UrlOptionsBtn})
    b->setMenu(nullptr);
  UrlList->OnWebFileClick = UrlList->OnWebFileDblClick = nullptr;
  UrlList->OnStyleChanging = nullptr;
  UrlList->OnSortChange = UrlList->Onchange = nullptr;
  UrlList->OnProgress = nullptr;
  UrlCommands.reset();
}

bool TUrlPage::eventFilter(QObject* watched, QEvent* e) {
  switch (e->type()) {
    case QEvent::Resize:
      if (watched == ImageWallFrame) FitImage();
      break;
    case QEvent::Enter:
      if (auto* b = qobject_cast<QToolButton*>(watched)) ActionBtnEnter(b);
      break;
    case QEvent::MouseButtonDblClick:
      if (watched == Image) {
        TWebFile record(host_.CurrentWeb());
        if (host_.CurrentWeb() && UrlList->CurrentRecord(record)) UrlListWebFileDblClick(record);
        return true;
      }
      break;
    case QEvent::MouseButtonPress:
      if (watched == VignetteImage && UrlCommands) {
        UrlCommands->LoadUrl();
        return true;
      }
      break;
    default:
      break;
  }
  return QFrame::eventFilter(watched, e);
}

// ---------------------------------------------------------------- the page

void TUrlPage::ShowView(TMainView view) {
  FullImagePanel->hide();
  const bool list = view == mvUrls || view == mvSearch;
  if (!list && view != mvPicture) {
    hide();
    return;
  }
  // The picture alone, or the list with its buttons.
  UrlTopFrame->setVisible(list);
  UrlListFrame->setVisible(list);
  show();
  if (list) SetupUrlPage();
}

void TUrlPage::SetupUrlPage() {
  const TMainView view = host_.View();
  if ((view == mvSearch) == SearchPanel->isHidden()) SearchPanel->ShowPane(view == mvSearch);
  // The preview: the page's thumbnail beside the list of pages, the
  // picture under the images, the picture alone on an image node.
  const bool picture = view == mvPicture || (view == mvUrls && UrlList->Style() == usImages);
  const bool thumbnail = view == mvUrls && UrlList->Style() == usHtml;
  ImageFrame->setVisible(view == mvPicture || ((picture || thumbnail) && setup_.ViewFrameFlag));
  ImageWallFrame->setVisible(picture);
  VignetteFrame->setVisible(thumbnail);
  if (view == mvPicture) {
    // Only the preview: the list and its splitter share are given to it.
    UrlSplitter->setSizes({0, std::max(1, UrlSplitter->height())});
  } else if (const QList<int> sizes = UrlSplitter->sizes();
             sizes.value(0) == 0 || (ImageFrame->isVisibleTo(this) && sizes.value(1) < kMinPreviewHeight)) {
    // Back from the picture alone, or a preview too low to show anything.
    const int total = std::max(3, UrlSplitter->height());
    UrlSplitter->setSizes({total * 2 / 3, total - total * 2 / 3});
  }
  // The action button of the category; the others hidden and disabled.
  QToolButton* action = UrlList->Style() == usHtml     ? PageActionBtn
                        : UrlList->Style() == usImages ? ImageActionBtn
                                                       : UrlActionBtn;
  for (QToolButton* b : {UrlActionBtn, PageActionBtn, ImageActionBtn}) {
    b->setVisible(b == action && view == mvUrls);
    b->setEnabled(b == action && view == mvUrls);
  }
  MarquageButton->setEnabled(UrlList->HasMarks());
  FitImage();
}

void TUrlPage::SaveLayout() {
  if (ImageFrame->isVisible()) setup_.ImageFrameHeight = ImageFrame->height();
}

void TUrlPage::RestoreLayout() {
  if (setup_.ImageFrameHeight > 0) UrlSplitter->setSizes({std::max(1, setup_.Height), setup_.ImageFrameHeight});
}

void TUrlPage::OptionsMenuViewFrameClick(bool checked) {
  setup_.ViewFrameFlag = checked;
  SetupUrlPage();
  const TWUrlListStyle style = UrlList->Style();
  if (style >= usHtml && style <= usImages) RestartPreview();
}

// ---------------------------------------------------------------- the list

void TUrlPage::UrlListWebFileClick(TWebFile& record) {
  host_.RefreshStatusHints();
  const TWUrlListStyle style = UrlList->Style();
  if ((style == usHtml || style == usFile || style == usImages) && host_.PageTag() != tpImage)
    ShowPreview(record.FullUrl, {});
}

void TUrlPage::UrlListWebFileDblClick(TWebFile& record) {
  const std::string local = record.IsRetrieved() ? record.GetLocalPath() : std::string();
  if (!local.empty() && !record.IsHtmlPage() && IsFile(local))
    OpenCapturedFile(local);  // never run: data types only
  else if (!local.empty() && IsFile(local))
    host_.OpenInBrowser(PathToFileUrl(local));
  else
    host_.OpenInBrowser(record.FullUrl);
}

void TUrlPage::UrlListStyleChanging(TWUrlListStyle style) {
  // The grid takes the row menu of each style from the URL commands.
  MarquageButton->setEnabled(style != usErrors && style != usFiltered);
}

void TUrlPage::UrlListSortChange() {
  if (host_.View() == mvUrls && UrlList->Style() == usImages) host_.ListOrderChanged();
}

void TUrlPage::UrlListProgress(int position, int total) {
  if (host_.PageTag() < tpPages || host_.PageTag() > tpImage) return;
  if (position <= 0) {
    const std::string_view text =
        position < 0 ? std::string_view() : TextAt(kUrlListProgressTexts, UrlList->Style() - 1);
    fillText_ = QString::fromUtf8(text.data(), qsizetype(text.size()));
    host_.RefreshStatusHints();
  }
  host_.ShowListProgress(position, total);
}

void TUrlPage::ActionBtnEnter(QToolButton* button) {
  if (!UrlCommands) return;
  const TWUrlListStyle style = button == PageActionBtn ? usHtml : button == ImageActionBtn ? usImages : usFile;
  button->setMenu(UrlList->SelectedCount() > 0 ? UrlCommands->SelectionPopup(style)
                                               : UrlCommands->PopupForStyle(style));
}

// ---------------------------------------------------------------- preview

void TUrlPage::ShowPreview(const std::string& url, const std::string& file) {
  ViewTimer->stop();
  previewUrl_ = url;
  previewFile_ = file;
  ViewTimer->start();
}

void TUrlPage::RestartPreview() {
  shownUrl_.clear();
  shownFile_.clear();
  TWebFile record(host_.CurrentWeb());
  if (UrlList->CurrentRecord(record)) ShowPreview(record.FullUrl, {});
}

void TUrlPage::ViewTimerTimer() {
  ViewTimer->stop();
  if (!previewFile_.empty() && previewFile_ == shownFile_) return;
  if (!shownUrl_.empty() && shownUrl_ == previewUrl_) return;
  if (TWeb* web = host_.CurrentWeb()) {
    if (!previewUrl_.empty()) {
      TWebFile record(web);
      if (web->FindUrl(previewUrl_, record)) {
        if (IsImage(record)) {
          ShowPicture(QString::fromStdString(record.GetLocalPath()));
        } else {
          VignetteImage->clear();
          VignetteImage->hide();
          if (QImage thumb; LoadRecordImage(record, thumb)) {
            VignetteImage->setPixmap(QPixmap::fromImage(thumb));
            VignetteImage->show();
          }
        }
      }
    } else {
      ShowPicture(QString::fromStdString(previewFile_));
    }
  }
  shownUrl_ = previewUrl_;
  shownFile_ = previewFile_;
}

void TUrlPage::ReleasePreview() {
  ViewTimer->stop();
  picture_ = QImage();
  Image->clear();
  Image->hide();
  VignetteImage->clear();
  shownUrl_.clear();
  shownFile_.clear();
}

void TUrlPage::ShowPicture(const QString& file) {
  picture_ = QImage();
  Image->clear();
  VignetteImage->clear();
  if (file.isEmpty()) return;
  QImage loaded = LoadImageWithPalette(file);
  if (loaded.isNull()) return;
  picture_ = std::move(loaded);
  Image->setPixmap(QPixmap::fromImage(picture_));
  FitImage();
}

void TUrlPage::FitImage() {
  if (!host_.CurrentWeb() || picture_.isNull()) return;
  const QRect wall = ImageWallFrame->contentsRect();
  const int W = std::max(1, wall.width()), H = std::max(1, wall.height());
  const int w = picture_.width(), h = picture_.height();
  TWaitCursor wait;
  if ((!setup_.KeepImageRatioFlag && host_.View() == mvPicture) || (w <= W && h <= H)) {
    // Natural size, centred in the frame.
    Image->setScaledContents(false);
    Image->setAlignment(Qt::AlignCenter);
    Image->setGeometry(wall);
  } else {
    int width, height;
    if (int64_t(H) * w <= int64_t(W) * h) {
      width = int(int64_t(H) * w / h);
      height = H;
    } else {
      width = W;
      height = int(int64_t(h) * W / w);
    }
    // Offsets inside the frame's border (the contents rectangle already
    // leaves it out).
    const int left = width < W ? (W - width) / 2 : 0;
    const int top = height < H ? (H - height) / 2 : 0;
    Image->setScaledContents(true);
    Image->setGeometry(wall.left() + left, wall.top() + top, width, height);
  }
  Image->show();
}

}  // namespace qlon::shell
