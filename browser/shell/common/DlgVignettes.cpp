#include "DlgVignettes.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <filesystem>
#include <system_error>

#include "Gauge95.h"
#include "HTMLUn2.h"
#include "Htmlview.h"
#include "LocalPath.h"
#include "Setup.h"
#include "Texts.h"
#include "Urlutil.h"
#include "Web.h"
#include "WebFile.h"
#include "ZoomLib.h"

namespace qlon {

namespace fs = std::filesystem;
using viewer::THTMLViewer;

namespace {

// A raised 4-pixel bevel around a sunken black line: the picture sits inside.
QImage MakeFrame(const TThumbnailSize& size) {
  QImage frame(size.Width + 8, size.Height + 8, QImage::Format_RGB32);
  frame.fill(QColor(192, 192, 192));
  QPainter p(&frame);
  const int w = frame.width() - 1, h = frame.height() - 1;
  p.setPen(Qt::white);
  p.drawLine(0, 0, w, 0);
  p.drawLine(0, 0, 0, h);
  p.setPen(QColor(128, 128, 128));
  p.drawLine(1, h, w, h);
  p.drawLine(w, 1, w, h);
  p.setPen(Qt::black);
  p.drawRect(3, 3, size.Width + 1, size.Height + 1);
  return frame;
}

bool IsPage(const TWebFile& r) { return r.IsRetrieved() && !r.IsRedirect() && r.IsHtmlPage(); }

}  // namespace

const TThumbnailSize& ThumbnailSize(int index) { return kThumbnailSizes[index >= 0 && index < 4 ? index : 1]; }

const QImage& ThumbnailFrame(int index) {
  static const std::array<QImage, 4> frames = {MakeFrame(kThumbnailSizes[0]), MakeFrame(kThumbnailSizes[1]),
                                               MakeFrame(kThumbnailSizes[2]), MakeFrame(kThumbnailSizes[3])};
  return frames[size_t(&ThumbnailSize(index) - kThumbnailSizes)];
}

QImage LoadImageWithPalette(const QString& fileName) {
  if (fileName.isEmpty()) return {};
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QImage image = viewer::LoadImageFile(fileName.toStdString());
  QApplication::restoreOverrideCursor();
  return image;
}

bool LoadRecordImage(const TWebFile& record, QImage& picture) {
  std::string path;
  if (IsImage(record))
    path = record.GetLocalPath();
  else if (IsPage(record))
    path = record.GetThumbnailPath();
  std::error_code ec;
  if (path.empty() || !fs::is_regular_file(path, ec)) return false;
  QImage image = LoadImageWithPalette(QString::fromStdString(path));
  if (image.isNull()) return false;
  picture = std::move(image);
  return true;
}

std::unique_ptr<TDlgVignettes> TDlgVignettes::CreateFor(QWidget* owner, TWeb& web, const TSetup& setup,
                                                        std::optional<std::vector<std::string>> urls) {
  auto dlg = std::make_unique<TDlgVignettes>(owner, web, std::move(urls));
  dlg->SizeIndex = setup.ThumbnailSize;
  dlg->Background = setup.ThumbnailBackground;
  return dlg;
}

TDlgVignettes::TDlgVignettes(QWidget* owner, TWeb& web, std::optional<std::vector<std::string>> urls)
    : QDialog(owner),
      Gauge(new controls::TGauge95(this)),
      InfoLabel(new QLabel(this)),
      FileLabel(new QLabel(this)),
      Label1(new QLabel(QString::fromUtf8("Le bouton Annuler arrête la génération des vignettes."), this)),
      CancelBtn(new QPushButton(QString::fromUtf8("&Annuler"), this)),
      BkImage(new QLabel(this)),
      VigImage(new QLabel(this)),
      Web_(web),
      Urls_(std::move(urls)),
      Viewer_(std::make_unique<THTMLViewer>()) {
  setObjectName("DlgVignettes");
  setWindowTitle(QString::fromUtf8("Génération des vignettes..."));
  setModal(true);
  auto* layout = new QGridLayout(this);
  layout->addWidget(BkImage, 0, 0, 4, 1, Qt::AlignCenter);
  layout->addWidget(VigImage, 0, 0, 4, 1, Qt::AlignCenter);
  layout->addWidget(InfoLabel, 0, 1);
  layout->addWidget(FileLabel, 1, 1);
  Gauge->SetAligned(true);
  layout->addWidget(Gauge, 2, 1);
  layout->addWidget(Label1, 3, 1);
  layout->addWidget(CancelBtn, 4, 0, 1, 2, Qt::AlignHCenter);
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });

  // Laid out at the page picture's width, never shown.
  Viewer_->resize(800, 600);
  Viewer_->SetViewImages(true);
  Viewer_->SetUsePalette(true);
  Viewer_->SetDefBackground(0xFFFFFF);
  Viewer_->SetDefFontColor(viewer::clBlack);
  Viewer_->OnBitmapRequest = [this](const QString& name, QImage& bitmap, viewer::Color& color) {
    BitmapRequest(name, bitmap, color);
  };
}

TDlgVignettes::~TDlgVignettes() = default;

void TDlgVignettes::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (Started_) return;
  Started_ = true;
  QTimer::singleShot(0, this, [this] {
    try {
      Generate();
    } catch (const std::exception& e) {
      Running_ = false;
      Error = QString::fromUtf8(e.what());
    }
    if (!Cancelled) accept();
  });
}

void TDlgVignettes::CancelBtnClick() {
  Cancelled = true;
  QDialog::reject();
}

void TDlgVignettes::reject() { CancelBtnClick(); }

std::vector<TDlgVignettes::Page> TDlgVignettes::CollectPages() {
  std::vector<Page> pages;
  auto add = [&](const TWebFile& r, const std::string& url) {
    if (!IsPage(r)) return;
    Page p{url, r.GetLocalPath(), r.GetThumbnailPath()};
    if (!p.Local.empty() && !p.Thumb.empty()) pages.push_back(std::move(p));
  };
  if (Urls_) {
    for (const std::string& url : *Urls_) {
      TWebFile r(&Web_);
      const std::string full = TUrl(url).GetFullUrl();
      if (Web_.FindUrl(full, r)) add(r, full);
    }
  } else {
    Web_.ForEach([&](TWebFile& r) {
      add(r, r.FullUrl);
      return true;
    });
  }
  return pages;
}

void TDlgVignettes::Generate() {
  if (Running_) return;
  Running_ = true;
  Written_ = 0;
  InfoLabel->setText(QString::fromUtf8(kThumbnailProgressTexts[0]));
  QApplication::processEvents();
  const fs::path folder = Web_.GetFolder();
  const std::vector<Page> pages = folder.empty() ? std::vector<Page>{} : CollectPages();
  PageCount_ = int(pages.size());
  Gauge->SetMinValue(0);
  Gauge->SetProgress(0);
  Gauge->SetMaxValue(PageCount_);
  const viewer::ZoomEntryPoints& zoom = viewer::Zoom();
  const TThumbnailSize& size = ThumbnailSize(SizeIndex);
  BkImage->setPixmap(QPixmap::fromImage(ThumbnailFrame(SizeIndex)));
  if (!pages.empty() && zoom.SaveToGIF && CreateLocalFolder(folder, "thumb")) {
    for (const Page& page : pages) {
      if (Cancelled) break;
      InfoLabel->setText(QString::fromUtf8(kThumbnailProgressTexts[1]));
      FileLabel->setText(QString::fromStdString(page.Url));
      PageUrl_ = page.Url;
      bool loaded = true;
      try {
        Viewer_->LoadFromFile(QString::fromStdString(page.Local));
      } catch (const std::exception&) {
        loaded = false;  // a page gone from the folder, or unreadable: no thumbnail
      }
      QApplication::processEvents();
      if (Cancelled) break;
      if (loaded) {
        InfoLabel->setText(QString::fromUtf8(kThumbnailProgressTexts[2]));
        QImage picture = Viewer_->MakePageBitmap(size.Width, size.Height, Background, true, 1);
        if (!picture.isNull()) {
          VigImage->setPixmap(QPixmap::fromImage(picture));
          if (WriteThumbnail(picture, page.Thumb)) ++Written_;
        }
      }
      Gauge->SetProgress(Gauge->Progress() + 1);
      QApplication::processEvents();
    }
  }
  PageUrl_.clear();
  Running_ = false;
}

bool TDlgVignettes::WriteThumbnail(const QImage& picture, const std::string& path) {
  const fs::path folder = Web_.GetFolder();
  const fs::path target(path);
  // The thumbnail path comes from the page's checked local name; its folders
  // are made through the same check.
  std::error_code ec;
  const fs::path relative = target.parent_path().lexically_relative(folder);
  if (relative.empty() || *relative.begin() != "thumb" || !CreateLocalFolder(folder, relative.generic_string()))
    return false;
  // Written beside under another name first: no half file under the real one.
  const fs::path part = target.string() + ".part";
  if (!viewer::Zoom().SaveToGIF(&picture, part.c_str())) {
    fs::remove(part, ec);
    return false;
  }
  fs::rename(part, target, ec);
  if (ec) fs::remove(part, ec);
  return !ec;
}

QString TDlgVignettes::CaptureFileOf(const std::string& url) {
  TWebFile r(&Web_);
  if (!Web_.FindUrl(TUrl(url).GetFullUrl(), r)) return {};
  return QString::fromStdString(r.GetLocalPath());
}

void TDlgVignettes::BitmapRequest(const QString& name, QImage& bitmap, uint32_t& color) {
  QString path;
  if (!viewer::HasForeignScheme(name)) {
    path = Viewer_->ExpandName(name);
    // A page saved before its links were rewritten still names its pictures
    // relative to its URL.
    std::error_code ec;
    if (!fs::exists(path.toStdString(), ec) && !PageUrl_.empty()) {
      const QString inCapture =
          CaptureFileOf(TUrl::CreateRelative(name.trimmed().toStdString(), PageUrl_).GetFullUrl());
      if (!inCapture.isEmpty()) path = inCapture;
    }
  } else {
    path = CaptureFileOf(name.trimmed().toStdString());
    if (path.isEmpty()) path = Viewer_->ExpandName(name);
  }
  bitmap = LoadImageWithPalette(path);
  color = viewer::kNoColor;
  if (!bitmap.isNull() && path.endsWith(".gif", Qt::CaseInsensitive)) {
    viewer::Color transparent = 0;
    if (viewer::GetGifTransparentColor(path.toStdString(), transparent)) color = transparent;
  }
}

}  // namespace qlon
