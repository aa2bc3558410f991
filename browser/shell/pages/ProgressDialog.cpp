#include "ProgressDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "Gauge95.h"
#include "TextFit.h"
#include "Utils.h"

namespace qlon::shell {

TProgressDialog::TProgressDialog(const QString& caption, const QString& cancelText, QWidget* parent)
    : QDialog(parent),
      state_(new QLabel(this)),
      file_(new QLabel(this)),
      gauge_(new controls::TGauge95(this)),
      cancel_(new QPushButton(cancelText, this)) {
  setWindowTitle(caption);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(state_);
  // A long file name would widen the window past the screen, and the gauge's
  // filled boxes with it: the label takes the width it is given.
  file_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(file_);
  gauge_->SetAligned(true);
  layout->addWidget(gauge_);
  layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  cancel_->setDefault(true);
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
}

void TProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  // After the window is on screen, as the form's activation did.
  QTimer::singleShot(0, this, [this] { Start(); });
}

void TProgressDialog::Start() {
  running_ = true;
  int result = 0;
  try {
    result = Work();
  } catch (const Exception& e) {
    error_ = e.what();
  }
  running_ = false;
  done(result);
}

void TProgressDialog::reject() {
  if (running_)
    CancelWork();
  else
    QDialog::reject();
}

void TProgressDialog::ShowState(const std::string& text) { state_->setText(QString::fromStdString(text)); }

void TProgressDialog::ShowFile(const std::string& name) {
  fileName_ = QString::fromStdString(name);
  fitFileLabel();
}

void TProgressDialog::fitFileLabel() {
  const QString shown = controls::FitPathEllipsis(file_->fontMetrics(), fileName_, file_->contentsRect().width());
  file_->setText(shown);
  file_->setToolTip(shown == fileName_ ? QString() : fileName_);
}

void TProgressDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  fitFileLabel();
}

void TProgressDialog::SetGauge(int maximum) {
  gauge_->SetMinValue(0);
  gauge_->SetProgress(0);
  gauge_->SetMaxValue(std::max(maximum, 0));
}

void TProgressDialog::StepGauge() { gauge_->SetProgress(gauge_->Progress() + 1); }

void TProgressDialog::ProcessMessages() { QApplication::processEvents(); }

}  // namespace qlon::shell
