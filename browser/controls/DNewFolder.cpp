#include "DNewFolder.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "FormUtil.h"

namespace qlon::controls {

TDlgNewFolder::TDlgNewFolder(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Nouveau dossier...");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("Dossier Actuel :"), 0, 0);
  CurrentFolderLabel = new QLabel;
  CurrentFolderLabel->setMinimumWidth(10);
  grid->addWidget(CurrentFolderLabel, 0, 1);
  grid->addWidget(new QLabel("Nom du dossier à créer :"), 1, 0);
  Edit = new QLineEdit;
  grid->addWidget(Edit, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  OKBtn = new QPushButton("&OK");
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton("&Annuler");
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  grid->addLayout(buttons, 2, 0, 1, 2);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  connect(Edit, &QLineEdit::textChanged, this, &TDlgNewFolder::editChanged);
  resize(306, 127);
  CenterWidget(this);
  editChanged();
  Edit->setFocus();
}

void TDlgNewFolder::editChanged() { OKBtn->setEnabled(!Edit->text().isEmpty()); }

}  // namespace qlon::controls
