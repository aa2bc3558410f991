#include "DockForm.h"

#include <QEvent>

namespace qlon {

TDockForm::TDockForm(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), SavedFlags_(flags) {}

TDockForm::~TDockForm() {
  if (DockParent_) DockParent_->removeEventFilter(this);
}

Qt::WindowFlags TDockForm::CreateParams() const {
  if (Docked_ && DockParent_) return Qt::Widget;
  return SavedFlags_;
}

void TDockForm::SetDocked(bool docked, QWidget* parent, TAlign align) {
  if (docked == Docked_) return;
  const bool visible = isVisible();
  if (docked) {
    if (!parent || parent == this) return;
    SavedFlags_ = windowFlags();
    SavedParent_ = parentWidget();
    SavedBounds_ = geometry();
    DockParent_ = parent;
    Docked_ = true;
    setParent(DockParent_, CreateParams());
    Align_ = align;
    DockParent_->installEventFilter(this);
    ApplyAlign();
  } else {
    if (DockParent_) DockParent_->removeEventFilter(this);
    Docked_ = false;
    Align_ = alNone;
    DockParent_ = nullptr;
    setParent(SavedParent_, CreateParams());
    setGeometry(SavedBounds_);
  }
  // Re-parenting hides a widget; it stays shown as it was.
  if (visible) show();
}

void TDockForm::ApplyAlign() {
  if (!Docked_ || !DockParent_) return;
  const QRect host = DockParent_->rect();
  QRect r = geometry();
  switch (Align_) {
    case alNone:
      return;
    case alTop:
      r = QRect(0, 0, host.width(), r.height());
      break;
    case alBottom:
      r = QRect(0, host.height() - r.height(), host.width(), r.height());
      break;
    case alLeft:
      r = QRect(0, 0, r.width(), host.height());
      break;
    case alRight:
      r = QRect(host.width() - r.width(), 0, r.width(), host.height());
      break;
    case alClient:
      r = host;
      break;
  }
  setGeometry(r);
}

bool TDockForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == DockParent_ && event->type() == QEvent::Resize) ApplyAlign();
  return QWidget::eventFilter(watched, event);
}

}  // namespace qlon
