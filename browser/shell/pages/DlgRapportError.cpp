#include "DlgRapportError.h"

#include <QApplication>
#include <QPushButton>

#include "Gauge95.h"

namespace qlon::shell {

TDlgRapportError::TDlgRapportError(TWeb* web, QWidget* parent)
    : TProgressDialog(QString::fromUtf8("Compte rendu des erreurs..."), QString::fromUtf8("&Interrompre"), parent),
      web_(web) {
  resize(383, 137);
  setFont(QFont("Arial"));
  Gauge()->SetBoxCount(29);
  if (web_) report_ = std::make_unique<TRapportError>(*web_, *this);
}

int TDlgRapportError::Work() {
  if (!report_) return Rejected;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  int result = rrCancelled;
  try {
    result = report_->Run();
  } catch (...) {
    QApplication::restoreOverrideCursor();
    throw;
  }
  QApplication::restoreOverrideCursor();
  return result == rrFinished ? Accepted : Rejected;
}

void TDlgRapportError::CancelWork() {
  if (report_) report_->Cancel();
}

}  // namespace qlon::shell
