#include "DlgStop.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace qlon {

TDlgStop::TDlgStop(QWidget* parent)
    : QDialog(parent),
      CheckBox(new QCheckBox(QString::fromUtf8("Terminer les captures de fichiers en cours"), this)),
      OKBtn(new QPushButton(QString::fromUtf8("&OK"), this)),
      CancelBtn(new QPushButton(QString::fromUtf8("&Annuler"), this)) {
  setWindowTitle(QString::fromUtf8("Arrêt de la capture"));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(CheckBox);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  layout->addLayout(buttons);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

bool TDlgStop::FinishTransfers() const { return CheckBox->isChecked(); }

}  // namespace qlon
