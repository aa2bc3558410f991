#pragma once
// TDlgVignettes: renders the first screen of captured pages into small
// pictures and writes them as GIF files under the capture's "thumb" folder,
// each at the place its page's local name gives (so that pages of the same
// name in different folders keep their own thumbnail). Without the zoom
// library no picture can be made and nothing is written.
//
// Also the program's picture loader for captured images: LoadImageWithPalette
// and LoadRecordImage.
#include <QDialog>
#include <QImage>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace qlon::viewer {
class THTMLViewer;
}
namespace qlon::controls {
class TGauge95;
}

namespace qlon {

class TSetup;
class TWeb;
class TWebFile;

struct TThumbnailSize {
  int Width, Height;
  const char* Frame;  // the name of its frame picture
};
inline constexpr TThumbnailSize kThumbnailSizes[4] = {
    {80, 60, "FRAME_80X60"}, {100, 75, "FRAME_100X75"}, {133, 100, "FRAME_133X100"}, {160, 120, "FRAME_160X120"}};
// The setting's index (out of range: the default, 100 x 75) as a size.
const TThumbnailSize& ThumbnailSize(int index);
// The frame drawn around a thumbnail of that size (made once, kept until exit).
const QImage& ThumbnailFrame(int index);

// The picture of a file, null when it cannot be read; the busy cursor shows
// meanwhile.
QImage LoadImageWithPalette(const QString& fileName);
// An image record's local file, or a retrieved page's thumbnail, into picture.
bool LoadRecordImage(const TWebFile& record, QImage& picture);

class TDlgVignettes : public QDialog {
 public:
  // urls: the pages chosen (their records must be retrieved HTML pages);
  // none: every such page of the capture. The size and background are the
  // settings' ([Thumbnail] Size and BackgroundFlag).
  static std::unique_ptr<TDlgVignettes> CreateFor(QWidget* owner, TWeb& web, const TSetup& setup,
                                                  std::optional<std::vector<std::string>> urls = std::nullopt);
  TDlgVignettes(QWidget* owner, TWeb& web, std::optional<std::vector<std::string>> urls);
  ~TDlgVignettes() override;

  controls::TGauge95* Gauge = nullptr;
  QLabel* InfoLabel = nullptr;
  QLabel* FileLabel = nullptr;
  QLabel* Label1 = nullptr;
  QPushButton* CancelBtn = nullptr;
  QLabel* BkImage = nullptr;
  QLabel* VigImage = nullptr;

  int SizeIndex = 1;        // [Thumbnail] Size
  bool Background = false;  // [Thumbnail] BackgroundFlag: the page's own background
  bool Cancelled = false;
  // Why the generation stopped early (the capture could not be read), else empty.
  QString Error;
  // Thumbnails written by the last run, and the pages it had to do.
  int Written() const { return Written_; }
  int PageCount() const { return PageCount_; }

  viewer::THTMLViewer& Viewer() { return *Viewer_; }

  // The generation; the first show runs it once, then the dialog closes
  // unless it was cancelled.
  void Generate();
  void CancelBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  struct Page {
    std::string Url, Local, Thumb;
  };

  TWeb& Web_;
  std::optional<std::vector<std::string>> Urls_;
  std::unique_ptr<viewer::THTMLViewer> Viewer_;
  std::string PageUrl_;  // the page being loaded: relative picture names resolve against it
  bool Started_ = false;
  bool Running_ = false;
  int Written_ = 0;
  int PageCount_ = 0;

  std::vector<Page> CollectPages();
  // The viewer's picture request: a capture URL becomes its local file.
  void BitmapRequest(const QString& name, QImage& bitmap, uint32_t& color);
  QString CaptureFileOf(const std::string& url);
  bool WriteThumbnail(const QImage& picture, const std::string& path);
};

}  // namespace qlon
