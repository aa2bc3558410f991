#include "ResolveDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "Gauge95.h"
#include "Utils.h"

namespace qlon::controls {

TResolveDialog::TResolveDialog(TWeb& web, const TSommaireParam& param, QWidget* parent,
                               std::filesystem::path templates)
    : QDialog(parent),
      walk_(web, *this, param, std::move(templates)),
      state_(new QLabel(this)),
      file_(new QLabel(this)),
      gauge_(new TGauge95(this)),
      cancel_(new QPushButton(QString::fromUtf8("Annuler"), this)) {
  setWindowTitle(QString::fromUtf8("Résolution des liens"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(state_);
  layout->addWidget(file_);
  gauge_->SetAligned(true);
  layout->addWidget(gauge_);
  layout->addWidget(cancel_, 0, Qt::AlignHCenter);
  connect(cancel_, &QPushButton::clicked, this, [this] { walk_.Cancel(); });
}

void TResolveDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  // After the window is on screen, as the form's activation did.
  QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TResolveDialog::FormActivate() {
  running_ = true;
  int result = 0;
  try {
    result = walk_.Run();
  } catch (const Exception& e) {
    error_ = e.what();
  }
  running_ = false;
  done(result);
}

// Escape and the close box cancel the walk; the window closes when it ends.
void TResolveDialog::reject() {
  if (running_)
    walk_.Cancel();
  else
    QDialog::reject();
}

void TResolveDialog::ShowState(const std::string& text) { state_->setText(QString::fromStdString(text)); }

void TResolveDialog::ShowFile(const std::string& name) { file_->setText(QString::fromStdString(name)); }

void TResolveDialog::SetGauge(int maximum) {
  gauge_->SetMinValue(0);
  gauge_->SetProgress(0);
  gauge_->SetMaxValue(std::max(maximum, 0));
}

void TResolveDialog::StepGauge() { gauge_->SetProgress(gauge_->Progress() + 1); }

void TResolveDialog::ProcessMessages() { QApplication::processEvents(); }

}  // namespace qlon::controls
