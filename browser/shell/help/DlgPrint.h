#pragma once
// TDlgPrint: prints a list of HTML files one after the other as ONE print
// job, through a frame viewer of its own, with a progress window and a
// cancel button. The job goes to the printer selection (a PDF file when one
// is set). Cancelling, or a run that prints nothing, aborts the whole job:
// nothing of it reaches the printer or the output file.
#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace qlon::viewer {
class TFrameViewer;
class TvwPrinter;
}  // namespace qlon::viewer

namespace qlon {

class TDlgPrint : public QDialog {
 public:
  explicit TDlgPrint(QWidget* parent = nullptr);
  ~TDlgPrint() override;

  // Each makes the dialog, prints modally and frees it; the pages printed.
  // Nothing happens for an empty list.
  static int PrintFile(const QString& title, const QString& file, QWidget* parent = nullptr);
  static int PrintFiles(const QString& title, const QStringList& files, QWidget* parent = nullptr);

  QPushButton* BitBtn1 = nullptr;  // "&Annuler"
  QLabel* UrlPrintLabel = nullptr;
  QLabel* PageLabel = nullptr;

  QStringList FileList;
  bool Aborted = false;
  int Printed = 0;        // files printed
  int PrintedPages = 0;   // pages they gave
  QStringList Missing;    // files that could not be read (skipped)
  QString Title;          // the print job's name
  // Why the job could not be printed (the printer refused it), else empty.
  QString Error;
  // Whether the job was ended and kept (false: aborted or empty).
  bool JobEnded() const { return JobEnded_; }

  // Called after each file's labels are shown, before it prints (a test
  // cancels from here).
  std::function<void(TDlgPrint& sender, int fileNumber)> OnFileStart;

  // The page loop; the first show runs it once, then the dialog closes.
  void Run();
  void BitBtn1Click();

  // The name a printed file is shown under.
  static QString DisplayName(const QString& file);

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  std::unique_ptr<viewer::TFrameViewer> Viewer_;
  viewer::TvwPrinter* Job_ = nullptr;
  bool Started_ = false;
  bool Running_ = false;
  bool JobEnded_ = false;
};

}  // namespace qlon
