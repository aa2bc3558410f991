#include "DlgSysTree.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "DNewFolder.h"
#include "FormUtil.h"
#include "OkCancelRow.h"
#include "TextFit.h"

namespace qlon::controls {

QString WithTrailingSlash(const QString& path) {
  return path.isEmpty() || path.endsWith('/') ? path : path + '/';
}

TDlgDir::TDlgDir(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Sélection d'un répertoire");
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  auto* v = new QVBoxLayout(this);
  PathLabel = new QLabel;
  PathLabel->setMinimumWidth(10);
  v->addWidget(PathLabel);
  SystemTreeView = new TSystemTreeView;
  SystemTreeView->SetScrollBars(WGrid::ssBoth);
  v->addWidget(SystemTreeView, 1);
  const TOkCancelRow buttons = MakeOkCancelRow(this);
  NewFolderBtn = new QPushButton("&Nouveau dossier...");
  OKBtn = buttons.Ok;
  CancelBtn = buttons.Cancel;
  buttons.Layout->insertWidget(0, NewFolderBtn);
  v->addLayout(buttons.Layout);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(NewFolderBtn, &QPushButton::clicked, this, &TDlgDir::NewFolderClick);
  SystemTreeView->OnChange = [this](TSystemTreeView*, TWTreeNode* n) { selectionChanged(n); };
  RunNewFolder = [](TDlgNewFolder& d) { return d.exec(); };
  resize(319, 348);
  CenterWidget(this);
  selectionChanged(nullptr);
}

void TDlgDir::SetPath(const QString& path) { path_ = WithTrailingSlash(path); }

QString TDlgDir::GetPath() const { return WithTrailingSlash(path_); }

bool TDlgDir::Execute() { return exec() == QDialog::Accepted; }

void TDlgDir::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  if (!path_.isEmpty() && SystemTreeView->SelectPath(path_)) SystemTreeView->setFocus();
  selectionChanged(SystemTreeView->GetSelectedNode());
}

void TDlgDir::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  updatePathLabel();
}

void TDlgDir::updatePathLabel() {
  const QString folder = TSystemTreeView::PathOf(SystemTreeView->GetSelectedNode());
  PathLabel->setText(FitTextEllipsis(PathLabel->fontMetrics(), folder, PathLabel->width(), true));
}

void TDlgDir::selectionChanged(TWTreeNode* node) {
  updatePathLabel();
  NewFolderBtn->setEnabled(node && !TSystemTreeView::PathOf(node).isEmpty());
}

void TDlgDir::done(int result) {
  // Cancel too: the selected folder becomes the path.
  const QString folder = SystemTreeView->SelectedPath();
  if (!folder.isEmpty()) path_ = WithTrailingSlash(folder);
  QDialog::done(result);
}

void TDlgDir::NewFolderClick() {
  TWTreeNode* node = SystemTreeView->GetSelectedNode();
  const QString folder = TSystemTreeView::PathOf(node);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
  TDlgNewFolder dlg(this);
  dlg.CurrentFolderLabel->setText(folder);
  dlg.Edit->clear();
  if (RunNewFolder(dlg) != QDialog::Accepted) return;
  const QString name = dlg.Edit->text();
  if (QFileInfo::exists(WithTrailingSlash(folder) + name)) {
    SystemTreeView->SelectPath(path_);
    return;
  }
  // A failure (a bad name, no permission) leaves the dialog as it was.
  if (SystemTreeView->CreateFolder(node, name)) SystemTreeView->setFocus();
}

}  // namespace qlon::controls
