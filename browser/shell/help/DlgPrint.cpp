#include "DlgPrint.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "FramView.h"
#include "Htmlview.h"
#include "vwPrint.h"

namespace qlon {

using viewer::TvwPrinter;

TDlgPrint::TDlgPrint(QWidget* parent)
    : QDialog(parent),
      BitBtn1(new QPushButton(QString::fromUtf8("&Annuler"), this)),
      UrlPrintLabel(new QLabel(QString::fromUtf8("Impression de %s"), this)),
      PageLabel(new QLabel(QString::fromUtf8("Page %s"), this)),
      Viewer_(std::make_unique<viewer::TFrameViewer>()) {
  setObjectName("DlgPrint");
  setWindowTitle(QString::fromUtf8("Impression en cours..."));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(UrlPrintLabel);
  layout->addWidget(PageLabel);
  layout->addWidget(BitBtn1, 0, Qt::AlignHCenter);
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
  // The viewer lays the pages out; it is never shown.
  Viewer_->resize(800, 600);
}

TDlgPrint::~TDlgPrint() = default;

int TDlgPrint::PrintFile(const QString& title, const QString& file, QWidget* parent) {
  return PrintFiles(title, QStringList{file}, parent);
}

int TDlgPrint::PrintFiles(const QString& title, const QStringList& files, QWidget* parent) {
  if (files.isEmpty()) return 0;
  TDlgPrint dlg(parent);
  dlg.Title = title;
  dlg.FileList = files;
  dlg.exec();
  return dlg.PrintedPages;
}

QString TDlgPrint::DisplayName(const QString& file) { return QFileInfo(file).fileName(); }

void TDlgPrint::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Once: a re-activation while the loop lets events run must not print twice.
  if (Started_) return;
  Started_ = true;
  QTimer::singleShot(0, this, [this] {
    try {
      Run();
    } catch (const std::exception& e) {
      Error = QString::fromUtf8(e.what());  // the job was aborted; the caller shows why
    }
    accept();
  });
}

void TDlgPrint::Run() {
  Running_ = true;
  Aborted = false;
  JobEnded_ = false;
  const int total = int(FileList.size());
  Printed = 0;
  PrintedPages = 0;
  TvwPrinter job;
  job.Title = Title;
  Job_ = &job;
  TvwPrinter* previous = viewer::SetPrinter(&job);
  int number = 0;
  try {
    while (!Aborted && !FileList.isEmpty()) {
      const QString file = FileList.takeFirst();
      ++number;
      PageLabel->setText(QString::fromUtf8("Page HTML %1 / %2").arg(number).arg(total));
      UrlPrintLabel->setText(QString::fromUtf8("Impression de %1").arg(DisplayName(file)));
      if (OnFileStart) OnFileStart(*this, number);
      QApplication::processEvents();
      if (Aborted) break;
      if (!job.Printing) job.BeginDoc();
      try {
        Viewer_->LoadFromFile(file);
      } catch (const viewer::EInOutError&) {
        // An unreadable file is left out; the others still print.
        Missing << file;
        continue;
      }
      QApplication::processEvents();
      if (Aborted) break;
      PrintedPages += Viewer_->Print(1, 9999, job);
      QApplication::processEvents();
      ++Printed;
    }
  } catch (...) {
    viewer::SetPrinter(previous);
    Job_ = nullptr;
    Running_ = false;
    if (job.Printing) job.Abort();
    throw;
  }
  viewer::SetPrinter(previous);
  Job_ = nullptr;
  if (job.Printing) {
    if (PrintedPages > 0 && !Aborted) {
      job.EndDoc();
      JobEnded_ = true;
    } else {
      job.Abort();
    }
  }
  Running_ = false;
}

void TDlgPrint::BitBtn1Click() {
  Aborted = true;
  // Stops the file being printed at its next page too.
  if (Job_ && Job_->Printing) Job_->Aborted = true;
}

// Escape and the close box cancel while printing.
void TDlgPrint::reject() {
  if (Running_)
    BitBtn1Click();
  else
    QDialog::reject();
}

}  // namespace qlon
