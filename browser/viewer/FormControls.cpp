#include "FormControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <algorithm>
#include <cmath>

#include "QtCanvas.h"
#include "SectionList.h"

namespace qlon::viewer {

namespace {

bool HaveWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

QString AttrText(const TAttributeList& a, Attr which) {
  const TAttribute* t = a.Find(which);
  return t ? t->Name : QString();
}

// Enter in a single-field form submits it; the paging keys scroll the
// document instead of the edit box.
class EditKeys : public QObject {
 public:
  EditKeys(TFormControlObj* control, QObject* parent) : QObject(parent), control_(control) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    int key = static_cast<QKeyEvent*>(e)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && control_->MyForm && control_->MyForm->NonHiddenCount == 1) {
      control_->MyForm->SubmitTheForm(QString());
      return true;
    }
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_End || key == Qt::Key_Home) {
      QWidget* panel = control_->MasterList ? control_->MasterList->PaintPanel : nullptr;
      QWidget* viewer = panel && panel->parentWidget() ? panel->parentWidget() : panel;
      if (viewer) QCoreApplication::postEvent(viewer, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
      return true;
    }
    return false;
  }

 private:
  TFormControlObj* control_;
};

// The classic size of a check box or radio button, or the style's indicator
// when that is larger, so that the indicator shows whole.
int IndicatorSide(QWidget* w, QStyle::PixelMetric metric, int least) {
  return w ? std::max(least, w->style()->pixelMetric(metric, nullptr, w)) : least;
}

// List box rows of the height the layout gives them (the height of "A").
class RowHeightDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void SetRowHeight(int height) {
    if (height == height_) return;
    height_ = height;
    emit sizeHintChanged(QModelIndex());
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    if (height_ > 0) s.setHeight(height_);
    return s;
  }

 private:
  int height_ = 0;
};

}  // namespace

ThtmlForm::ThtmlForm(TSectionList* list, const TAttributeList& attributes) : MasterList(list) {
  for (const TAttribute& a : attributes.Items()) {
    if (a.Which == Attr::Method) Method = a.Name.left(4);
    if (a.Which == Attr::Action) Action = a.Name;
  }
}

ThtmlForm& ThtmlForm::Open(TSectionList* list, const TAttributeList& attributes) {
  list->htmlFormList.push_back(std::make_unique<ThtmlForm>(list, attributes));
  list->CurrentForm = list->htmlFormList.back().get();
  return *list->CurrentForm;
}

ThtmlForm::~ThtmlForm() {
  for (TFormControlObj* c : ControlList) c->MyForm = nullptr;
}

void ThtmlForm::InsertControl(TFormControlObj* control) {
  GetInputValue(control);
  ControlList.push_back(control);
  if (!control->IsHidden) ++NonHiddenCount;
}

void ThtmlForm::RemoveControl(TFormControlObj* control) {
  auto it = std::find(ControlList.begin(), ControlList.end(), control);
  if (it == ControlList.end()) return;
  ControlList.erase(it);
  if (!control->IsHidden) --NonHiddenCount;
}

void ThtmlForm::DoRadios(TFormControlObj* radio) {
  for (TFormControlObj* c : ControlList)
    if (c != radio && c->Kind() == ControlKind::Radio && c->Name.compare(radio->Name, Qt::CaseInsensitive) == 0)
      static_cast<TRadioButtonFormControlObj*>(c)->SetChecked(false);
}

void ThtmlForm::GetInputValue(TFormControlObj* control) {
  if (!MasterList || !MasterList->OnFormInputValue) return;
  QString value = control->Value;
  if (MasterList->OnFormInputValue(Action, value, control->Name, int(control->Kind()))) {
    control->Value = value;
    control->ResetToValue();
  }
}

void ThtmlForm::UpdateAllInputValues() {
  if (!MasterList || !MasterList->OnFormInputValue) return;
  for (TFormControlObj* c : ControlList) GetInputValue(c);
}

void ThtmlForm::ResetControls() {
  UpdateAllInputValues();
  for (TFormControlObj* c : ControlList) c->ResetToValue();
}

void ThtmlForm::SubmitTheForm(const QString& buttonText) {
  if (!MasterList || !MasterList->OnFormSubmit) return;
  QStringList results;
  for (TFormControlObj* c : ControlList) {
    QString s;
    for (int i = 0; c->GetSubmission(i, s); ++i)
      if (!s.isEmpty()) results << s;
  }
  if (!buttonText.isEmpty()) results << buttonText;
  MasterList->OnFormSubmit(Action, Method, results);
}

void ThtmlForm::SetSizes(Canvas& canvas) {
  for (TFormControlObj* c : ControlList) c->SetHeightWidth(canvas);
}

TFormControlObj::TFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : Pos(pos), MasterList(list) {
  Value = AttrText(attributes, Attr::Value);
  Name = AttrText(attributes, Attr::Name);
  if (list) {
    MyForm = list->CurrentForm ? list->CurrentForm : &ThtmlForm::Open(list, TAttributeList());
  }
}

TFormControlObj::~TFormControlObj() {
  if (MyForm) MyForm->RemoveControl(this);
  delete TheControl.data();
}

void TFormControlObj::Adopt(QWidget* widget, int width, int height) {
  Width = width;
  Height = height;
  if (!widget) return;
  widget->setParent(MasterList ? MasterList->PaintPanel : nullptr);
  widget->setGeometry(0, -400, width, height);
  widget->setFont(QtCanvas::MakeFont(ControlFont()));
  widget->hide();
  TheControl = widget;
}

FontDesc TFormControlObj::ControlFont() const {
  return {MasterList ? MasterList->FontName : QStringLiteral("Times New Roman"), PointsToPixels(10), 0};
}

void TFormControlObj::Place(int left, int top) {
  Showing = true;
  if (!TheControl) return;
  if (TheControl->geometry() != QRect(left, top, Width, Height)) TheControl->setGeometry(left, top, Width, Height);
  if (TheControl->isHidden() && MasterList && MasterList->PaintPanel) TheControl->show();
}

QWidget* TFormControlObj::Widget() const { return TheControl.data(); }

void TFormControlObj::Hide() {
  if (TheControl && !TheControl->isHidden()) TheControl->hide();
}

THiddenFormControlObj::THiddenFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : TFormControlObj(list, pos, attributes) {
  IsHidden = true;
}

bool THiddenFormControlObj::GetSubmission(int index, QString& text) {
  if (index != 0) return false;
  text = Name + '=' + Value;
  return true;
}

TEditFormControlObj::TEditFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : TFormControlObj(list, pos, attributes) {
  QLineEdit* edit = HaveWidgets() ? new QLineEdit : nullptr;
  for (const TAttribute& a : attributes.Items()) {
    if (a.Which == Attr::Size) Size = std::max(1, a.Value);
    if (a.Which == Attr::MaxLength && edit && a.Value > 0) edit->setMaxLength(a.Value);
    if (a.Which == Attr::Type && a.Name.compare("password", Qt::CaseInsensitive) == 0 && edit)
      edit->setEchoMode(QLineEdit::Password);
  }
  if (edit) {
    edit->setText(Value);
    edit->installEventFilter(new EditKeys(this, edit));
  }
  Adopt(edit, 120, 20);
}

QString TEditFormControlObj::Text() const {
  auto* e = qobject_cast<QLineEdit*>(TheControl.data());
  return e ? e->text() : Value;
}

void TEditFormControlObj::SetText(const QString& text) {
  if (auto* e = qobject_cast<QLineEdit*>(TheControl.data())) e->setText(text);
}

void TEditFormControlObj::ResetToValue() { SetText(Value); }

bool TEditFormControlObj::GetSubmission(int index, QString& text) {
  if (index != 0) return false;
  text = Name + '=' + Text();
  return true;
}

void TEditFormControlObj::SetHeightWidth(Canvas& canvas) {
  canvas.SetFont(ControlFont());
  Width = AttrSize(canvas.CharWidth(u'A') * (long long)Size + 5);
  if (TheControl) TheControl->resize(Width, Height);
}

TButtonFormControlObj::TButtonFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : TFormControlObj(list, pos, attributes) {
  const TAttribute* type = attributes.Find(Attr::Type);
  IsSubmit = type && type->Name.compare("submit", Qt::CaseInsensitive) == 0;
  if (IsSubmit && !attributes.Find(Attr::Value)) Value = QStringLiteral("Submit");
  QPushButton* b = HaveWidgets() ? new QPushButton(Value) : nullptr;
  if (b) QObject::connect(b, &QPushButton::clicked, b, [this] { Click(); });
  Adopt(b, 75, 25);
}

void TButtonFormControlObj::SetHeightWidth(Canvas& canvas) {
  canvas.SetFont(ControlFont());
  Height = canvas.Metrics().height + 8;
  Width = canvas.TextWidth(Value) + 20;
  if (TheControl) TheControl->resize(Width, Height);
}

void TButtonFormControlObj::Click() {
  if (!MyForm) return;
  if (IsSubmit)
    MyForm->SubmitTheForm(Name.isEmpty() ? QString() : Name + '=' + Value);
  else
    MyForm->ResetControls();
}

TCheckBoxFormControlObj::TCheckBoxFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : TFormControlObj(list, pos, attributes) {
  if (!attributes.Find(Attr::Value)) Value = QStringLiteral("On");
  IsChecked = attributes.Find(Attr::Checked) != nullptr;
  OnBaseline = true;
  QCheckBox* c = HaveWidgets() ? new QCheckBox : nullptr;
  if (c) c->setChecked(IsChecked);
  Adopt(c, IndicatorSide(c, QStyle::PM_IndicatorWidth, 13), IndicatorSide(c, QStyle::PM_IndicatorHeight, 13));
}

bool TCheckBoxFormControlObj::Checked() const {
  auto* c = qobject_cast<QCheckBox*>(TheControl.data());
  return c ? c->isChecked() : IsChecked;
}

void TCheckBoxFormControlObj::SetChecked(bool on) {
  if (auto* c = qobject_cast<QCheckBox*>(TheControl.data())) c->setChecked(on);
}

void TCheckBoxFormControlObj::ResetToValue() { SetChecked(IsChecked); }

bool TCheckBoxFormControlObj::GetSubmission(int index, QString& text) {
  if (index != 0 || !Checked()) return false;
  text = Name + '=' + Value;
  return true;
}

TRadioButtonFormControlObj::TRadioButtonFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : TFormControlObj(list, pos, attributes) {
  IsChecked = attributes.Find(Attr::Checked) != nullptr;
  OnBaseline = true;
  QRadioButton* r = HaveWidgets() ? new QRadioButton : nullptr;
  if (r) {
    // Exclusivity is the form's, by name, not the panel's.
    r->setAutoExclusive(false);
    r->setChecked(IsChecked);
    QObject::connect(r, &QRadioButton::clicked, r, [this] { Click(); });
  }
  Adopt(r, IndicatorSide(r, QStyle::PM_ExclusiveIndicatorWidth, 13),
        IndicatorSide(r, QStyle::PM_ExclusiveIndicatorHeight, 14));
}

bool TRadioButtonFormControlObj::Checked() const {
  auto* r = qobject_cast<QRadioButton*>(TheControl.data());
  return r ? r->isChecked() : IsChecked;
}

void TRadioButtonFormControlObj::SetChecked(bool on) {
  if (auto* r = qobject_cast<QRadioButton*>(TheControl.data())) r->setChecked(on);
}

void TRadioButtonFormControlObj::Click() {
  SetChecked(true);
  if (MyForm) MyForm->DoRadios(this);
}

void TRadioButtonFormControlObj::ResetToValue() { SetChecked(IsChecked); }

bool TRadioButtonFormControlObj::GetSubmission(int index, QString& text) {
  if (index != 0 || !Checked()) return false;
  text = Name + '=' + Value;
  return true;
}

TListBoxFormControlObj::TListBoxFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes,
                                               bool combo)
    : TFormControlObj(list, pos, attributes) {
  if (const TAttribute* s = attributes.Find(Attr::Size)) LBSize = s->Value;
  Multiple = attributes.Find(Attr::Multiple) != nullptr;
  if (combo) return;
  QListWidget* lb = HaveWidgets() ? new QListWidget : nullptr;
  if (lb) {
    lb->setSelectionMode(Multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    lb->setItemDelegate(new RowHeightDelegate(lb));
    lb->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // it would cover the last row
  }
  Adopt(lb, 100, 60);
}

void TListBoxFormControlObj::AddOption(const QString& text, const QString& value, bool selected) {
  Options.push_back({text, value, selected});
  Longest = std::max(Longest, int(text.size()));
  if (auto* lb = qobject_cast<QListWidget*>(TheControl.data())) lb->addItem(text);
  if (auto* cb = qobject_cast<QComboBox*>(TheControl.data())) cb->addItem(text);
}

void TListBoxFormControlObj::ResetToValue() {
  auto* lb = qobject_cast<QListWidget*>(TheControl.data());
  if (!lb) return;
  lb->clear();
  for (const TOptionObj& o : Options) lb->addItem(o.Text);
  for (int i = 0; i < int(Options.size()); ++i) lb->item(i)->setSelected(Options[i].Selected);
}

bool TListBoxFormControlObj::IsSelected(int index) const {
  auto* lb = qobject_cast<QListWidget*>(TheControl.data());
  if (lb) return index < lb->count() && lb->item(index)->isSelected();
  return Options[index].Selected;
}

void TListBoxFormControlObj::SetSelected(int index, bool on) {
  if (auto* lb = qobject_cast<QListWidget*>(TheControl.data()); lb && index < lb->count())
    lb->item(index)->setSelected(on);
}

bool TListBoxFormControlObj::GetSubmission(int index, QString& text) {
  // One entry per option index; options that are not submitted give an
  // empty text, which the form skips.
  if (index < 0 || index >= int(Options.size())) return false;
  text.clear();
  if (IsSelected(index)) {
    bool counts = Multiple;
    if (!Multiple) {
      int first = 0;
      while (first < int(Options.size()) && !IsSelected(first)) ++first;
      counts = first == index;
    }
    if (counts) text = Name + '=' + Options[index].Value;
  }
  return true;
}

int TListBoxFormControlObj::Rows() const {
  if (LBSize == -1) return std::clamp(int(Options.size()), 1, 8);
  return std::max(1, LBSize);
}

void TListBoxFormControlObj::SetHeightWidth(Canvas& canvas) {
  canvas.SetFont(ControlFont());
  const int row = canvas.Metrics().height;
  Height = AttrSize(row * (long long)Rows());
  Width = AttrSize(canvas.CharWidth(u'A') * (long long)Longest + 15);
  if (auto* lb = qobject_cast<QListWidget*>(TheControl.data())) {
    // The rows inside the style's frame, their text inside the margins the style keeps beside it.
    static_cast<RowHeightDelegate*>(lb->itemDelegate())->SetRowHeight(row);
    const int textMargin = lb->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lb) + 1;
    Height = AttrSize(Height + 2LL * lb->frameWidth());
    Width = AttrSize(Width + 2LL * (lb->frameWidth() + textMargin));
    lb->resize(Width, Height);
  }
}

TComboFormControlObj::TComboFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : TListBoxFormControlObj(list, pos, attributes, true) {
  QComboBox* cb = HaveWidgets() ? new QComboBox : nullptr;
  if (cb) cb->setEditable(false);
  Adopt(cb, 100, 22);
}

int TComboFormControlObj::Chosen() const {
  auto* cb = qobject_cast<QComboBox*>(TheControl.data());
  if (cb) return cb->currentIndex();
  for (int i = 0; i < int(Options.size()); ++i)
    if (Options[i].Selected) return i;
  return Options.empty() ? -1 : 0;
}

void TComboFormControlObj::Choose(int index) {
  if (auto* cb = qobject_cast<QComboBox*>(TheControl.data())) cb->setCurrentIndex(index);
}

void TComboFormControlObj::ResetToValue() {
  auto* cb = qobject_cast<QComboBox*>(TheControl.data());
  if (!cb) return;
  cb->clear();
  int chosen = 0;
  for (int i = 0; i < int(Options.size()); ++i) {
    cb->addItem(Options[i].Text);
    if (Options[i].Selected) chosen = i;
  }
  cb->setCurrentIndex(Options.empty() ? -1 : chosen);
}

bool TComboFormControlObj::GetSubmission(int index, QString& text) {
  int chosen = Chosen();
  if (index != 0 || chosen < 0 || chosen >= int(Options.size())) return false;
  text = Name + '=' + Options[chosen].Value;
  return true;
}

void TComboFormControlObj::SetHeightWidth(Canvas& canvas) {
  canvas.SetFont(ControlFont());
  Width = AttrSize(canvas.CharWidth(u'A') * (long long)Longest + 30);
  if (TheControl) TheControl->resize(Width, Height);
}

TTextAreaFormControlObj::TTextAreaFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes)
    : TFormControlObj(list, pos, attributes) {
  for (const TAttribute& a : attributes.Items()) {
    if (a.Which == Attr::Cols) Cols = std::max(1, a.Value);
    if (a.Which == Attr::Rows) Rows = std::max(1, a.Value);
  }
  QPlainTextEdit* m = HaveWidgets() ? new QPlainTextEdit : nullptr;
  if (m) {
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
  }
  Adopt(m, 200, 80);
}

QString TTextAreaFormControlObj::Text() const {
  auto* m = qobject_cast<QPlainTextEdit*>(TheControl.data());
  return m ? m->toPlainText() : TheText;
}

void TTextAreaFormControlObj::SetText(const QString& text) {
  if (auto* m = qobject_cast<QPlainTextEdit*>(TheControl.data())) {
    m->setPlainText(text);
    m->moveCursor(QTextCursor::Start);
  }
}

void TTextAreaFormControlObj::ResetToValue() { SetText(TheText); }

bool TTextAreaFormControlObj::GetSubmission(int index, QString& text) {
  QString all = Text();
  all.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace('\r', '\n');
  if (all.endsWith('\n')) all.chop(1);
  if (all.isEmpty()) return false;
  QStringList lines = all.split('\n');
  if (index < 0 || index >= lines.size()) return false;
  text = Name + '=' + lines[index];
  return true;
}

void TTextAreaFormControlObj::SetHeightWidth(Canvas& canvas) {
  canvas.SetFont(ControlFont());
  Width = AttrSize(canvas.CharWidth(u'A') * (long long)Cols + 5);
  Height = AttrSize(canvas.Metrics().height * (long long)Rows + 5);
  if (auto* m = qobject_cast<QPlainTextEdit*>(TheControl.data())) {
    // Rows lines as the memo spaces them, when that takes more than the
    // formula gives, inside the style's frame and the two scroll bars.
    QTextDocument* doc = m->document();
    int line = int(std::ceil(doc->documentLayout()->blockBoundingRect(doc->firstBlock()).height()));
    long long lines = line * (long long)Rows + (long long)std::ceil(2 * doc->documentMargin());
    Height = AttrSize(std::max<long long>(Height, lines) + 2 * m->frameWidth() +
                      m->horizontalScrollBar()->sizeHint().height());
    Width = AttrSize(Width + 2LL * m->frameWidth() + m->verticalScrollBar()->sizeHint().width());
    m->resize(Width, Height);
  }
}

bool CoversPanel(const QWidget* panel, const QRect& clip) {
  return !panel || (clip.top() <= 1 && clip.bottom() >= panel->height() - 1);
}

ControlKind InputKind(const TAttributeList& attributes) {
  const TAttribute* t = attributes.Find(Attr::Type);
  QString type = t ? t->Name.toLower() : QString();
  if (type == "hidden") return ControlKind::Hidden;
  if (type == "submit" || type == "reset" || type == "button") return ControlKind::Button;
  if (type == "checkbox") return ControlKind::CheckBox;
  if (type == "radio") return ControlKind::Radio;
  return ControlKind::Edit;
}

ControlKind SelectKind(const TAttributeList& attributes) {
  const TAttribute* size = attributes.Find(Attr::Size);
  return attributes.Find(Attr::Multiple) || (size && size->Value > 1) ? ControlKind::ListBox : ControlKind::Combo;
}

std::shared_ptr<TFormControlObj> CreateFormControl(ControlKind kind, TSectionList* list, int pos,
                                                   const TAttributeList& a) {
  std::shared_ptr<TFormControlObj> c;
  switch (kind) {
    case ControlKind::Hidden: c = std::make_shared<THiddenFormControlObj>(list, pos, a); break;
    case ControlKind::Edit: c = std::make_shared<TEditFormControlObj>(list, pos, a); break;
    case ControlKind::Button: c = std::make_shared<TButtonFormControlObj>(list, pos, a); break;
    case ControlKind::Radio: c = std::make_shared<TRadioButtonFormControlObj>(list, pos, a); break;
    case ControlKind::CheckBox: c = std::make_shared<TCheckBoxFormControlObj>(list, pos, a); break;
    case ControlKind::Combo: c = std::make_shared<TComboFormControlObj>(list, pos, a); break;
    case ControlKind::ListBox: c = std::make_shared<TListBoxFormControlObj>(list, pos, a); break;
    case ControlKind::TextArea: c = std::make_shared<TTextAreaFormControlObj>(list, pos, a); break;
  }
  if (c->MyForm) c->MyForm->InsertControl(c.get());
  return c;
}

TFormControlList::Controls::const_iterator TFormControlList::FirstAtOrAfter(int pos) const {
  return std::lower_bound(Items.begin(), Items.end(), pos, [](const auto& c, int p) { return c->Pos < p; });
}

TFormControlObj* TFormControlList::FindControl(int pos) const {
  auto it = FirstAtOrAfter(pos);
  return it != Items.end() && (*it)->Pos == pos ? it->get() : nullptr;
}

int TFormControlList::GetHeightAt(int pos, bool& onBaseline) const {
  TFormControlObj* c = FindControl(pos);
  if (!c) return -1;
  onBaseline = c->OnBaseline;
  return c->Height;
}

int TFormControlList::GetWidthAt(int pos) const {
  TFormControlObj* c = FindControl(pos);
  return c ? c->Width : -1;
}

int TFormControlList::GetControlCountAt(int pos) const {
  auto it = FirstAtOrAfter(pos);
  return it != Items.end() ? (*it)->Pos - pos : 9999;
}

}  // namespace qlon::viewer
