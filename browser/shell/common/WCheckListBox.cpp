#include "WCheckListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>

#include "TextFit.h"

namespace qlon {

namespace {

// Hands every row to the list's DrawItem, at the list's fixed height.
class CheckItemDelegate : public QStyledItemDelegate {
 public:
  explicit CheckItemDelegate(TWCheckListBox* list) : QStyledItemDelegate(list), list_(list) {}
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    p->save();
    p->setFont(list_->font());
    list_->DrawItem(*p, index.row(), option.rect, option.state & QStyle::State_Selected,
                    option.state & QStyle::State_HasFocus);
    p->restore();
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width() + TWCheckListBox::kTextIndent,
            TWCheckListBox::kItemHeight};
  }

 private:
  TWCheckListBox* list_;
};

}  // namespace

TWCheckListBox::TWCheckListBox(QWidget* parent) : QListWidget(parent) {
  setUniformItemSizes(true);
  setItemDelegate(new CheckItemDelegate(this));
}

bool TWCheckListBox::Checked(int index) const {
  const QListWidgetItem* it = index >= 0 ? item(index) : nullptr;
  return it && it->data(Qt::UserRole).toBool();
}

void TWCheckListBox::SetChecked(int index, bool value) {
  QListWidgetItem* it = index >= 0 ? item(index) : nullptr;
  if (!it) return;
  it->setData(Qt::UserRole, value);
  viewport()->update(visualItemRect(it));
}

int TWCheckListBox::CheckedCount() const {
  int n = 0;
  for (int i = 0; i < count(); ++i) n += Checked(i) ? 1 : 0;
  return n;
}

void TWCheckListBox::DrawItem(QPainter& p, int index, const QRect& rect, bool selected, bool focused) {
  const QListWidgetItem* it = index >= 0 ? item(index) : nullptr;
  const QPalette& pal = palette();
  p.fillRect(rect, pal.color(QPalette::Base));
  if (!it) return;
  const bool enabled = it->flags() & Qt::ItemIsEnabled;

  QStyleOptionButton box;
  box.rect = QRect(rect.left(), rect.top() + (rect.height() - kCheckSize) / 2, kCheckSize, kCheckSize);
  box.state = (Checked(index) ? QStyle::State_On : QStyle::State_Off) | (enabled ? QStyle::State_Enabled : QStyle::State_None);
  style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &p, this);

  QRect text = rect.adjusted(kTextIndent, 0, 0, 0);
  if (selected && enabled) p.fillRect(text, pal.color(QPalette::Highlight));
  const QString shown = controls::FitTextEllipsis(p.fontMetrics(), it->text(), text.width(), false);
  // The highlight text colour only over the highlight: a focused row that
  // is not selected keeps its base background, where it would not show.
  p.setPen(selected && enabled ? pal.color(QPalette::HighlightedText) : QColor(Qt::black));
  p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, shown);
  if (focused) {
    QStyleOptionFocusRect f;
    f.rect = rect;
    f.palette = pal;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &f, &p, this);
  }
}

void TWCheckListBox::mousePressEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  if (QListWidgetItem* it = itemAt(pos)) {
    const QRect r = visualItemRect(it);
    if ((it->flags() & Qt::ItemIsEnabled) && QRect(r.topLeft(), QSize(kCheckSize, kCheckSize)).contains(pos))
      SetChecked(row(it), !Checked(row(it)));
  }
  QListWidget::mousePressEvent(e);
}

void TWCheckListBox::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Space && e->modifiers() == Qt::NoModifier && currentRow() >= 0) {
    if (currentItem()->flags() & Qt::ItemIsEnabled) SetChecked(currentRow(), !Checked(currentRow()));
    return;
  }
  QListWidget::keyPressEvent(e);
}

}  // namespace qlon
