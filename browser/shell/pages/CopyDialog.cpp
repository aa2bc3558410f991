#include "CopyDialog.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace qlon::shell {

TCopyDialog::TCopyDialog(QWidget* parent)
    : QDialog(parent),
      source_(new QLabel(this)),
      file_(new QLabel(this)),
      progress_(new QProgressBar(this)),
      cancel_(new QPushButton(QString::fromUtf8("Annuler"), this)) {
  setWindowTitle(QString::fromUtf8("Copie..."));
  setModal(true);
  setFixedSize(385, 143);
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(8);
  setFont(font);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  cancel_->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(source_);
  layout->addWidget(file_);
  layout->addWidget(progress_);
  layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  connect(cancel_, &QPushButton::clicked, this, &TCopyDialog::reject);
}

void TCopyDialog::SetCaption(const std::string& caption) { setWindowTitle(QString::fromStdString(caption)); }

void TCopyDialog::SetGauge(int maximum) {
  progress_->setRange(0, std::max(maximum, 0));
  progress_->setValue(0);
}

void TCopyDialog::StepGauge() { progress_->setValue(std::min(progress_->value() + 1, progress_->maximum())); }

void TCopyDialog::ShowFileName(const std::string& text) { file_->setText(QString::fromStdString(text)); }

void TCopyDialog::ShowSource(const std::string& text) { source_->setText(QString::fromStdString(text)); }

void TCopyDialog::ProcessMessages() { QApplication::processEvents(); }

void TCopyDialog::RunModal(TDlgCopy& dialog, const std::function<void()>& walk) {
  dialog_ = &dialog;
  walk_ = walk;
  started_ = false;
  cancelled_ = true;  // until the walk reaches its end
  exec();
  dialog_ = nullptr;
  walk_ = nullptr;
}

void TCopyDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_ || !walk_) return;
  started_ = true;
  // Once, after the window is on screen; a later activation starts nothing.
  QTimer::singleShot(0, this, [this] {
    if (!walk_ || !isVisible()) return;  // closed before the walk began
    running_ = true;
    walk_();
    running_ = false;
    cancelled_ = dialog_ && dialog_->Position() < dialog_->Maximum();
    QDialog::reject();  // a finished walk ends like Cancel
  });
}

void TCopyDialog::reject() {
  if (running_) {
    if (dialog_) dialog_->Cancel();
  } else {
    QDialog::reject();
  }
}

}  // namespace qlon::shell
