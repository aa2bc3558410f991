#include "DWorkDir.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>

#include <algorithm>

#include "DlgSysTree.h"
#include "FormUtil.h"
#include "MessageBox.h"

namespace qlon::controls {

using namespace qlon::platform;

QString TDlgWorkPath::DefaultWorkFolder() { return QDir::homePath() + "/Quillon/Webs/"; }

TDlgWorkPath::TDlgWorkPath(QString defaultFolder, QWidget* parent)
    : QDialog(parent), default_(std::move(defaultFolder)) {
  setWindowTitle("Initialisation de Quillon");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  auto* v = new QVBoxLayout(this);
  v->addWidget(new QLabel("Répertoire de travail :"));
  auto* row = new QHBoxLayout;
  WorkPathEdit = new QLineEdit;
  BrowseBtn = new QPushButton("&Parcourir...");
  BrowseBtn->setFocusPolicy(Qt::ClickFocus);
  // Wide enough for the proposed folder, whose start says where it is.
  WorkPathEdit->setMinimumWidth(
      std::min(WorkPathEdit->fontMetrics().horizontalAdvance(default_ + "MM") + 12, 640));
  row->addWidget(WorkPathEdit, 1);
  row->addWidget(BrowseBtn);
  v->addLayout(row);
  WholePathLabel = new QLabel;
  WholePathLabel->setTextFormat(Qt::PlainText);
  WholePathLabel->hide();
  v->addWidget(WholePathLabel);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  OKBtn = new QPushButton("&OK");
  OKBtn->setDefault(true);
  buttons->addWidget(OKBtn);
  v->addLayout(buttons);
  connect(OKBtn, &QPushButton::clicked, this, &TDlgWorkPath::accept);
  connect(BrowseBtn, &QPushButton::clicked, this, &TDlgWorkPath::BrowseClick);
  connect(WorkPathEdit, &QLineEdit::textChanged, this, &TDlgWorkPath::editChanged);
  RunDirDialog = [](TDlgDir& d) { return d.Execute(); };
  CenterWidget(this);
  editChanged();
}

void TDlgWorkPath::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  // Only the first time: coming back from the folder dialog must keep its choice.
  if (shown_) return;
  shown_ = true;
  WorkPathEdit->setText(default_);
  // Its start says where it is.
  WorkPathEdit->setCursorPosition(0);
  ShowWholePath();
}

void TDlgWorkPath::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  ShowWholePath();
}

void TDlgWorkPath::ShowWholePath() {
  const QString path = WorkPathEdit->text();
  WorkPathEdit->setToolTip(path);
  QStyleOptionFrame frame;
  frame.initFrom(WorkPathEdit);
  frame.lineWidth = WorkPathEdit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, WorkPathEdit);
  // The edit keeps a small margin on each side of its text.
  const int fieldRoom =
      WorkPathEdit->style()->subElementRect(QStyle::SE_LineEditContents, &frame, WorkPathEdit).width() - 4;
  const QFontMetrics fm = WholePathLabel->fontMetrics();
  const bool cut = WorkPathEdit->fontMetrics().horizontalAdvance(path) > fieldRoom;
  WholePathLabel->setToolTip(path);
  WholePathLabel->setVisible(cut);
  if (!cut) return;
  // Lines as wide as the dialog, broken after a "/" (inside a name only
  // when the name alone is wider).
  const QMargins margins = layout()->contentsMargins();
  const int room = std::max(width() - margins.left() - margins.right(), fm.averageCharWidth() * 8);
  QStringList lines{QString()};
  const QStringList parts = path.split('/');
  for (qsizetype i = 0; i < parts.size(); ++i) {
    QString piece = i + 1 < parts.size() ? parts[i] + '/' : parts[i];
    if (piece.isEmpty()) continue;
    if (!lines.last().isEmpty() && fm.horizontalAdvance(lines.last() + piece) > room) lines << QString();
    while (fm.horizontalAdvance(lines.last() + piece) > room) {
      int fit = 1;
      while (fit < piece.size() && fm.horizontalAdvance(lines.last() + piece.left(fit + 1)) <= room) ++fit;
      lines.last() += piece.left(fit);
      piece.remove(0, fit);
      lines << QString();
    }
    lines.last() += piece;
  }
  WholePathLabel->setText(lines.join('\n'));
}

void TDlgWorkPath::editChanged() {
  const QString t = WorkPathEdit->text();
  OKBtn->setEnabled(!t.isEmpty() && t.endsWith('/'));
  ShowWholePath();
}

void TDlgWorkPath::BrowseClick() {
  TDlgDir dlg(this);
  dlg.SetPath(WorkPathEdit->text());
  if (RunDirDialog(dlg)) WorkPathEdit->setText(dlg.GetPath());
}

bool TDlgWorkPath::CanClose() {
  WorkPath = WorkPathEdit->text();
  if (WorkPath.isEmpty() || !WorkPath.endsWith('/')) return false;
  if (QFileInfo(WorkPath).isDir()) return true;
  if (MessageBox("Voulez vous le créer?", "Répertoire inexistant", MB_YESNO | MB_ICONQUESTION) != IDYES)
    return false;
  if (QDir().mkpath(WorkPath) && QFileInfo(WorkPath).isDir()) return true;
  MessageBox(("Impossible de créer le répertoire " + WorkPath).toStdString(), "Répertoire inexistant",
             MB_OK | MB_ICONHAND);
  return false;
}

void TDlgWorkPath::accept() {
  if (CanClose()) QDialog::accept();
}

void TDlgWorkPath::closeEvent(QCloseEvent* e) { e->ignore(); }

}  // namespace qlon::controls
