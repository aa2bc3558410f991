#include "DNewFolder.h"

#include <algorithm>

#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "FormUtil.h"
#include "TextFit.h"

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

void TDlgNewFolder::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const QString folder = CurrentFolderLabel->toolTip().isEmpty() ? CurrentFolderLabel->text() : CurrentFolderLabel->toolTip();
  const QFontMetrics fm = CurrentFolderLabel->fontMetrics();
  const int missing = fm.horizontalAdvance(folder) - CurrentFolderLabel->contentsRect().width();
  if (missing > 0) {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const int room = s ? s->availableGeometry().width() - 40 : width() + missing;
    resize(std::min(width() + missing + 2, std::max(room, width())), height());
    if (QWidget* layoutHost = CurrentFolderLabel->parentWidget(); layoutHost && layoutHost->layout())
      layoutHost->layout()->activate();
  }
  const int have = CurrentFolderLabel->contentsRect().width();
  if (fm.horizontalAdvance(folder) > have) {
    CurrentFolderLabel->setText(FitPathEllipsis(fm, folder, have));
    CurrentFolderLabel->setToolTip(folder);
  }
}

void TDlgNewFolder::editChanged() { OKBtn->setEnabled(!Edit->text().isEmpty()); }

}  // namespace qlon::controls
