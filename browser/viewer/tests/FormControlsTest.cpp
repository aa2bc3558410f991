#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QWidget>

#include "FormControls.h"
#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

using test::Attrs;
using test::Doc;

struct FormDoc : Doc {
  QWidget panel;
  QStringList submitted;
  int submits = 0;
  TSection* section = nullptr;
  FormDoc() {
    list.PaintPanel = &panel;
    list.OnFormSubmit = [this](const QString&, const QString&, const QStringList& r) {
      submitted = r;
      ++submits;
    };
    section = &Para(u"");
  }
  template <typename T>
  T* Control(ControlKind kind, const TAttributeList& a) {
    return static_cast<T*>(section->AddFormControl(kind, a));
  }
  void Enter(TFormControlObj* c) {
    QKeyEvent e(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(c->Widget(), &e);
  }
};

TEST(Forms, CheckBoxSubmitsOnlyWhenChecked) {
  FormDoc d;
  auto* c = d.Control<TCheckBoxFormControlObj>(ControlKind::CheckBox, Attrs({{Attr::Name, "agree"}}));
  d.list.CurrentForm->SubmitTheForm({});
  EXPECT_TRUE(d.submitted.isEmpty());
  c->SetChecked(true);
  d.list.CurrentForm->SubmitTheForm("go=Send");
  EXPECT_EQ(d.submitted, (QStringList{"agree=On", "go=Send"}));
}

TEST(Forms, EnterSubmitsOnlyASingleFieldForm) {
  FormDoc d;
  ThtmlForm::Open(&d.list, Attrs({{Attr::Action, "find"}, {Attr::Method, "POST-IT"}}));
  EXPECT_EQ(d.list.CurrentForm->Method, "POST");
  auto* q = d.Control<TEditFormControlObj>(ControlKind::Edit, Attrs({{Attr::Name, "q"}, {Attr::Value, "cats"}}));
  d.Control<THiddenFormControlObj>(ControlKind::Hidden, Attrs({{Attr::Name, "h"}, {Attr::Value, "1"}}));
  d.Enter(q);
  EXPECT_EQ(d.submits, 1);
  EXPECT_EQ(d.submitted, (QStringList{"q=cats", "h=1"}));
  ThtmlForm::Open(&d.list, {});
  auto* a = d.Control<TEditFormControlObj>(ControlKind::Edit, Attrs({{Attr::Name, "a"}}));
  d.Control<TEditFormControlObj>(ControlKind::Edit, Attrs({{Attr::Name, "b"}}));
  d.Enter(a);
  EXPECT_EQ(d.submits, 1);
}

TEST(Forms, RadiosAreExclusiveByNameWithinTheirForm) {
  FormDoc d;
  auto* r1 = d.Control<TRadioButtonFormControlObj>(ControlKind::Radio, Attrs({{Attr::Name, "c"}, {Attr::Value, "1"}, {Attr::Checked, ""}}));
  auto* r2 = d.Control<TRadioButtonFormControlObj>(ControlKind::Radio, Attrs({{Attr::Name, "C"}, {Attr::Value, "2"}}));
  auto* other = d.Control<TRadioButtonFormControlObj>(ControlKind::Radio, Attrs({{Attr::Name, "x"}, {Attr::Checked, ""}}));
  ThtmlForm::Open(&d.list, {});
  auto* elsewhere = d.Control<TRadioButtonFormControlObj>(ControlKind::Radio, Attrs({{Attr::Name, "c"}, {Attr::Checked, ""}}));
  static_cast<QRadioButton*>(r2->Widget())->click();
  EXPECT_FALSE(r1->Checked());
  EXPECT_TRUE(r2->Checked());
  EXPECT_TRUE(other->Checked());
  EXPECT_TRUE(elsewhere->Checked());
  r2->MyForm->ResetControls();
  EXPECT_TRUE(r1->Checked());
  EXPECT_FALSE(r2->Checked());
}

TEST(Forms, ListBoxRowsTextAreaLinesAndHostValues) {
  FormDoc d;
  d.list.OnFormInputValue = [](const QString&, QString& value, const QString& name, int kind) {
    if (name != "who" || kind != int(ControlKind::Edit)) return false;
    value = "host";
    return true;
  };
  auto* many = d.Control<TListBoxFormControlObj>(ControlKind::ListBox, Attrs({{Attr::Name, "l"}, {Attr::Multiple, ""}}));
  for (int i = 0; i < 12; ++i) many->AddOption(QString("opt%1").arg(i), QString::number(i), i == 2 || i == 5);
  auto* one = d.Control<TListBoxFormControlObj>(ControlKind::ListBox, Attrs({{Attr::Size, "0"}}));
  one->AddOption("x", "x", false);
  auto* ta = d.Control<TTextAreaFormControlObj>(ControlKind::TextArea, Attrs({{Attr::Name, "t"}, {Attr::Cols, "10"}}));
  ta->TheText = "l1\nl2\nl3\n";
  auto* who = d.Control<TEditFormControlObj>(ControlKind::Edit, Attrs({{Attr::Name, "who"}, {Attr::Value, "doc"}}));
  d.list.CurrentForm->ResetControls();
  EXPECT_EQ(who->Text(), "host");
  EXPECT_EQ(many->Rows(), 8);
  EXPECT_EQ(one->Rows(), 1);  // SIZE=0 still shows a row
  d.Layout(800);
  // The rows and columns of the formulas inside the widgets' frames (and the memo's bars).
  QListWidget* list = qobject_cast<QListWidget*>(many->Widget());
  const int frame = list->frameWidth();
  const int textMargin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
  EXPECT_EQ(many->Height, 13 * 8 + 2 * frame);
  EXPECT_EQ(many->Width, 6 * 5 + 15 + 2 * (frame + textMargin));
  QSize memo = qobject_cast<QPlainTextEdit*>(ta->Widget())->maximumViewportSize();
  EXPECT_EQ(memo.width(), 6 * 10 + 5);
  EXPECT_GE(memo.height(), 13 * 5 + 5);
  d.list.CurrentForm->SubmitTheForm({});
  EXPECT_EQ(d.submitted, (QStringList{"l=2", "l=5", "t=l1", "t=l2", "t=l3", "who=host"}));
}

TEST(Forms, ControlsArePlacedByTheLayoutAndHiddenWhenScrolledAway) {
  FormDoc d;
  d.section->AddText(u"ab");
  auto* edit = d.Control<TEditFormControlObj>(ControlKind::Edit, Attrs({{Attr::Size, "20"}}));
  auto* box = d.Control<TCheckBoxFormControlObj>(ControlKind::CheckBox, {});
  d.panel.resize(800, 600);
  d.panel.show();
  d.Layout(800);
  EXPECT_EQ(edit->Width, 125);
  ASSERT_EQ(d.section->Lines.size(), 1u);
  EXPECT_EQ(d.section->Lines[0].SpaceBefore, 2);
  d.Draw(10);
  EXPECT_EQ(edit->Widget()->geometry(), QRect(26, 0, 125, 20));
  EXPECT_EQ(box->Widget()->geometry().topLeft(), QPoint(151, 16 - box->Height));  // on the baseline
  EXPECT_TRUE(edit->Widget()->isVisible());
  d.list.SetYOffset(500);
  d.Draw(10, QRect(0, 500, 800, 100));  // a strip exposed by the scroll: others stay
  EXPECT_TRUE(edit->Widget()->isVisible());
  d.Draw(10, QRect(0, 0, 800, 600));
  EXPECT_FALSE(edit->Widget()->isVisible());
  // A printing pass draws the controls instead of moving them.
  d.list.SetYOffset(0);
  d.list.Printing = true;
  d.Draw(10);
  EXPECT_EQ(d.canvas.CallsOf(RecordingCanvas::Op::Widget).size(), 2u);
}

TEST(Forms, SubmitButtonAndHiddenOnlyForm) {
  FormDoc d;
  d.Control<THiddenFormControlObj>(ControlKind::Hidden, Attrs({{Attr::Name, "k"}, {Attr::Value, "v"}}));
  auto* b = d.Control<TButtonFormControlObj>(ControlKind::Button, Attrs({{Attr::Type, "SUBMIT"}, {Attr::Name, "go"}}));
  EXPECT_EQ(b->Value, "Submit");
  b->Click();
  EXPECT_EQ(d.submitted, (QStringList{"k=v", "go=Submit"}));
  EXPECT_EQ(InputKind(Attrs({{Attr::Type, "Radio"}})), ControlKind::Radio);
  EXPECT_EQ(SelectKind(Attrs({{Attr::Size, "3"}})), ControlKind::ListBox);
  EXPECT_EQ(SelectKind({}), ControlKind::Combo);
}

}  // namespace
}  // namespace qlon::viewer
