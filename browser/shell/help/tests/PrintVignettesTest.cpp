// Printing a capture's pages as one job, and the thumbnails of its pages.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <optional>
#include <set>

#include "../../engine/tests/CaptureFixture.h"
#include "CaptureFixture.h"
#include "DlgPrint.h"
#include "PdfText.h"
#include "DlgVignettes.h"
#include "Htmlview.h"
#include "PictureBytes.h"
#include "ZoomLib.h"
#include "vwPrint.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

using test::PdfPages;

std::string Lines(const std::string& prefix, int n) {
  std::string html = "<html><body>";
  for (int i = 1; i <= n; ++i) html += prefix + std::to_string(1000 + i) + " une ligne de texte<br>";
  return html + "</body></html>";
}

std::set<std::string> FilesUnder(const fs::path& folder) {
  std::set<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files.insert(fs::relative(e.path(), folder).generic_string());
  return files;
}

class DlgPrintTest : public ::testing::Test {
 protected:
  DlgPrintTest() {
    saved_ = viewer::PrinterSelection();
    viewer::PrinterSelection().OutputFile = QString::fromStdString(Pdf().string());
    viewer::PrinterSelection().Resolution = 150;
    cap.Page("http://h.example/", "index.htm", Lines("Alpha", 150));
    cap.Page("http://h.example/b.htm", "b.htm", "<p>Second document Beta</p>");
    cap.Page("http://h.example/c/c.htm", "c/c.htm", "<p>Third document Gamma</p>");
  }
  ~DlgPrintTest() override { viewer::PrinterSelection() = saved_; }
  fs::path Pdf() const { return cap.dir.path() / "out.pdf"; }
  QString File(const char* local) const { return QString::fromStdString((cap.Folder() / local).string()); }

  test::TestCapture cap;
  viewer::PrinterSetup saved_;
};

TEST_F(DlgPrintTest, AllFilesGoIntoOneJob) {
  TDlgPrint dlg;
  dlg.Title = "Ma capture";
  dlg.FileList = {File("index.htm"), File("b.htm"), File("c/c.htm")};
  std::vector<QString> pageLabels, urlLabels;
  dlg.OnFileStart = [&](TDlgPrint& d, int) {
    pageLabels.push_back(d.PageLabel->text());
    urlLabels.push_back(d.UrlPrintLabel->text());
  };
  dlg.exec();
  EXPECT_EQ(dlg.Printed, 3);
  EXPECT_TRUE(dlg.JobEnded());
  EXPECT_EQ(pageLabels, (std::vector<QString>{"Page HTML 1 / 3", "Page HTML 2 / 3", "Page HTML 3 / 3"}));
  EXPECT_EQ(urlLabels.back(), "Impression de c.htm");
  ASSERT_GE(dlg.PrintedPages, 4) << "the long page takes several pages, each other file one";
  EXPECT_EQ(FilesUnder(cap.dir.path()).count("out.pdf"), 1u);

  auto pages = PdfPages(Pdf());
  if (!pages) GTEST_SKIP() << "pdftotext not installed";
  ASSERT_EQ(pages->size(), dlg.PrintedPages);
  EXPECT_TRUE(pages->front().contains("Alpha1001"));
  EXPECT_TRUE(pages->at(pages->size() - 2).contains("Beta")) << "each file starts on a page of its own";
  EXPECT_FALSE(pages->at(pages->size() - 2).contains("Alpha"));
  EXPECT_TRUE(pages->back().contains("Gamma"));
  int alphaLines = 0;
  for (const QString& page : *pages) alphaLines += int(page.count("une ligne"));
  EXPECT_EQ(alphaLines, 150) << "no line lost or printed twice across page breaks";
}

TEST_F(DlgPrintTest, CancelAbortsTheWholeJob) {
  TDlgPrint dlg;
  dlg.FileList = {File("index.htm"), File("b.htm"), File("c/c.htm")};
  dlg.OnFileStart = [](TDlgPrint& d, int number) {
    if (number == 2) d.BitBtn1->click();
  };
  dlg.exec();
  EXPECT_TRUE(dlg.Aborted);
  EXPECT_EQ(dlg.Printed, 1);
  EXPECT_FALSE(dlg.JobEnded());
  EXPECT_FALSE(fs::exists(Pdf())) << "an aborted job leaves no output";
  const auto files = FilesUnder(cap.dir.path());
  for (const std::string& f : files) EXPECT_EQ(f.find("out.pdf"), std::string::npos) << f;
}

TEST_F(DlgPrintTest, MissingFilesAreSkippedAndEmptyListsPrintNothing) {
  EXPECT_EQ(TDlgPrint::PrintFiles("vide", {}), 0);
  EXPECT_FALSE(fs::exists(Pdf()));
  const int printed = TDlgPrint::PrintFiles("deux", {File("b.htm"), File("gone.htm"), File("c/c.htm")});
  EXPECT_EQ(printed, 2);
  auto pages = PdfPages(Pdf());
  if (!pages) GTEST_SKIP() << "pdftotext not installed";
  ASSERT_EQ(pages->size(), 2);
  EXPECT_TRUE(pages->back().contains("Gamma"));

  fs::remove(Pdf());
  EXPECT_EQ(TDlgPrint::PrintFile("rien", File("gone.htm")), 0);
  EXPECT_FALSE(fs::exists(Pdf())) << "a job with nothing printed is not spooled";
}

TEST_F(DlgPrintTest, APrinterThatRefusesTheJobEndsTheDialog) {
  viewer::PrinterSelection().OutputFile.clear();
  viewer::PrinterSelection().PrinterName = "no such printer here";
  TDlgPrint dlg;
  dlg.FileList = {File("b.htm")};
  EXPECT_EQ(dlg.exec(), QDialog::Accepted);
  EXPECT_FALSE(dlg.Error.isEmpty());
  EXPECT_EQ(dlg.PrintedPages, 0);
  EXPECT_FALSE(dlg.JobEnded());
}

using test::BmpPicture;

// How much of the picture is close to the colour (0..1).
double Share(const QImage& image, QColor colour) {
  int n = 0;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < rgb.height(); ++y)
    for (int x = 0; x < rgb.width(); ++x) {
      const QColor c = rgb.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 &&
          std::abs(c.blue() - colour.blue()) < 40)
        ++n;
    }
  return double(n) / (rgb.width() * rgb.height());
}

class DlgVignettesTest : public ::testing::Test {
 protected:
  DlgVignettesTest() {
    // The picture is named by its capture URL; the page by a name relative
    // to its URL that is not where the capture keeps the picture.
    cap.Add("http://h.example/img/red.bmp", fsRetrieved, "image/bmp", "img/red.bmp", BmpPicture(800, 600, Qt::red));
    cap.Add("http://h.example/a/blue.bmp", fsRetrieved, "image/bmp", "pictures/blue.bmp", BmpPicture(800, 600, Qt::blue));
    cap.Page("http://h.example/", "index.htm",
             "<body style=\"margin:0\"><img src=\"http://h.example/img/red.bmp\" width=800 height=600></body>");
    cap.Page("http://h.example/a/", "a/index.htm", "<body><img src=\"blue.bmp\" width=800 height=600></body>");
    cap.Page("http://h.example/text.htm", "text.htm", "<p>Du texte seulement</p>");
    cap.Add("http://h.example/failed.htm", fsError, "text/html", "failed.htm", "<p>x</p>");
    cap.Add("http://h.example/evil.htm", fsRetrieved, "text/html", "../evil.htm", "<p>outside</p>");
    before_ = FilesUnder(cap.Folder());
  }
  ~DlgVignettesTest() override { viewer::RebindZoom(""); }

  // The pages' thumbnails at the size of the settings.
  int Run(std::optional<std::vector<std::string>> urls = std::nullopt, int size = 1) {
    setup_.ThumbnailSize = size;
    auto dlg = TDlgVignettes::CreateFor(nullptr, cap.web, setup_, std::move(urls));
    dlg->exec();
    EXPECT_FALSE(dlg->Cancelled);
    pages_ = dlg->PageCount();
    return dlg->Written();
  }
  // Files the run added to the capture folder.
  std::set<std::string> Added() const {
    std::set<std::string> now = FilesUnder(cap.Folder()), added;
    for (const std::string& f : now)
      if (!before_.count(f)) added.insert(f);
    return added;
  }
  QImage Thumb(const char* name) const { return QImage(QString::fromStdString((cap.Folder() / name).string())); }

  test::TestCapture cap;
  std::set<std::string> before_;
  int pages_ = 0;
  test::TempRoot root_;
  test::WorkFolder prompt_{(root_.path() / "work").string()};
  TSetup setup_{&prompt_, ProgramFolder()};
};

TEST_F(DlgVignettesTest, EveryRetrievedPageGetsItsOwnThumbnail) {
  EXPECT_EQ(Run(), 3);
  EXPECT_EQ(pages_, 3) << "pages only: no picture, no failed page, no name outside the folder";
  EXPECT_EQ(Added(), (std::set<std::string>{"thumb/index.gif", "thumb/a/index.gif", "thumb/text.gif"}))
      << "same-named pages keep apart; nothing written beside the thumbnails";
  EXPECT_FALSE(fs::exists(cap.dir.path() / "evil.gif"));
  EXPECT_FALSE(fs::exists(cap.dir.path() / "thumb"));

  const QImage red = Thumb("thumb/index.gif"), blue = Thumb("thumb/a/index.gif"), text = Thumb("thumb/text.gif");
  ASSERT_FALSE(red.isNull());
  EXPECT_EQ(test::ReadFileBytes(cap.Folder() / "thumb/index.gif").substr(0, 6), "GIF89a");
  EXPECT_EQ(red.size(), QSize(100, 75));
  EXPECT_GT(Share(red, Qt::red), 0.9) << "the picture found through its capture URL";
  EXPECT_GT(Share(blue, Qt::blue), 0.5) << "a relative name resolved against the page's URL";
  EXPECT_GT(Share(text, Qt::white), 0.9);
  EXPECT_LT(Share(text, Qt::white), 1.0) << "the text is drawn";

  // The preview reads them back.
  QImage picture;
  EXPECT_TRUE(LoadRecordImage(*cap.Find("http://h.example/a/"), picture));
  EXPECT_EQ(picture.size(), QSize(100, 75));
  EXPECT_TRUE(LoadRecordImage(*cap.Find("http://h.example/img/red.bmp"), picture));
  EXPECT_EQ(picture.size(), QSize(800, 600));
  EXPECT_FALSE(LoadRecordImage(*cap.Find("http://h.example/failed.htm"), picture));
}

TEST_F(DlgVignettesTest, SizesAndSelection) {
  EXPECT_EQ(Run(std::vector<std::string>{"http://h.example/text.htm", "http://h.example/img/red.bmp",
                                         "http://h.example/failed.htm", "http://h.example/unknown.htm"},
                3),
            1);
  EXPECT_EQ(Added(), std::set<std::string>{"thumb/text.gif"});
  EXPECT_EQ(Thumb("thumb/text.gif").size(), QSize(160, 120));
  EXPECT_EQ(Run(std::vector<std::string>{"http://h.example/text.htm"}, 0), 1);
  EXPECT_EQ(Thumb("thumb/text.gif").size(), QSize(80, 60)) << "a new run replaces the thumbnail";
  EXPECT_EQ(Run(std::vector<std::string>{}, 2), 0);

  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ThumbnailFrame(i).size(), QSize(kThumbnailSizes[i].Width + 8, kThumbnailSizes[i].Height + 8));
  }
  EXPECT_EQ(ThumbnailSize(9).Width, 100);
  EXPECT_EQ(ThumbnailSize(-1).Height, 75);
}

TEST_F(DlgVignettesTest, WithoutZoomNothingIsWritten) {
  viewer::RebindZoom((cap.dir.path() / "no-zoom-here").string());
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(pages_, 3);
  EXPECT_TRUE(Added().empty());
}

TEST_F(DlgVignettesTest, CancelStopsAndKeepsTheDialogResult) {
  auto dlg = TDlgVignettes::CreateFor(nullptr, cap.web, setup_);
  // Cancelled as the first page starts loading.
  dlg->Viewer().OnProcessing = [&](viewer::THTMLViewer&, bool on) {
    if (on && !dlg->Cancelled) dlg->CancelBtn->click();
  };
  EXPECT_EQ(dlg->exec(), QDialog::Rejected);
  EXPECT_TRUE(dlg->Cancelled);
  EXPECT_EQ(dlg->Written(), 0);
  EXPECT_TRUE(Added().empty());
}

// Each thumbnail against the page drawn before its reduction to 256 colours:
// blank and flat areas keep their exact colour, photographs stay close.
TEST_F(DlgVignettesTest, ThumbnailsMatchThePageBeforeReduction) {
  QImage photo(320, 240, QImage::Format_RGB32);
  for (int y = 0; y < photo.height(); ++y)
    for (int x = 0; x < photo.width(); ++x)
      photo.setPixel(x, y, qRgb(40 + x * 180 / 320, 60 + y * 150 / 240, 128 + int(90 * std::sin(x / 25.0 + y / 40.0))));
  cap.Add("http://h.example/p1.jpg", fsRetrieved, "image/jpeg", "p1.jpg", test::ImageBytes(photo, "JPG"));
  cap.Add("http://h.example/p2.jpg", fsRetrieved, "image/jpeg", "p2.jpg",
          test::ImageBytes(photo.mirrored(true, false), "JPG"));
  cap.Page("http://h.example/line.htm", "line.htm", "<p>Une seule ligne de texte sur la page.</p>");
  cap.Page("http://h.example/photos.htm", "photos.htm",
           "<body><h1>Photographies</h1><img src=\"p1.jpg\" width=320 height=240> "
           "<img src=\"p2.jpg\" width=320 height=240><p>Légende sous les photographies.</p></body>");
  cap.Page("http://h.example/banner.htm", "banner.htm",
           "<body bgcolor=\"#CCDDFF\"><h2>Un fond bleu pâle</h2><img src=\"p1.jpg\" width=160 height=120></body>");
  for (const char* url : {"http://h.example/line.htm", "http://h.example/photos.htm", "http://h.example/banner.htm"})
    for (int size = 0; size < 4; ++size)
      for (bool background : {false, true}) {
        setup_.ThumbnailSize = size;
        setup_.ThumbnailBackground = background;
        auto dlg = TDlgVignettes::CreateFor(nullptr, cap.web, setup_, std::vector<std::string>{url});
        dlg->exec();
        ASSERT_EQ(dlg->Written(), 1) << url;
        const TThumbnailSize& want = kThumbnailSizes[size];
        // The dialog's viewer still holds the page: drawn again, unreduced.
        const QImage page = dlg->Viewer()
                                .MakePageBitmap(want.Width, want.Height, background, false, 1)
                                .convertToFormat(QImage::Format_RGB32);
        const QImage thumb =
            QImage(QString::fromStdString(cap.Find(url)->GetThumbnailPath())).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(thumb.size(), page.size()) << url;
        const QRgb flat =
            background && std::string(url).ends_with("banner.htm") ? qRgb(0xCC, 0xDD, 0xFF) : qRgb(255, 255, 255);
        int flatPixels = 0, changed = 0;
        double error = 0;
        for (int y = 0; y < page.height(); ++y)
          for (int x = 0; x < page.width(); ++x) {
            const QRgb a = page.pixel(x, y), b = thumb.pixel(x, y);
            if (a == flat) ++flatPixels, changed += a != b;
            error += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
          }
        const std::string what = std::string(url) + " size " + std::to_string(size) + (background ? " bg" : "");
        EXPECT_GT(flatPixels, page.width() * page.height() / 4) << what;
        EXPECT_EQ(changed, 0) << what << ": a blank area is dotted";
        EXPECT_LT(error / (3.0 * page.width() * page.height()), 4.0) << what;
      }
}

}  // namespace
}  // namespace qlon
