#pragma once
// HTML forms as real Qt controls placed into the document's paint panel at
// the positions the text layout gives them. A text section holds the
// placeholder kControlChar for each control and owns the control object; the
// form groups its controls (not owned), asks the host for initial values,
// resets them and builds the submission text.
//
// Sizes are kept here (Width, Height), computed from the canvas metrics, so
// layout never depends on a widget's own size hints; the widget follows them.
// Without a QApplication (layout benchmarks) no widget is made.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "Canvas.h"
#include "HTMLUn2.h"

class QWidget;

namespace qlon::viewer {

class TSectionList;
class TFormControlObj;

// The kind codes handed to the host's input-value hook.
enum class ControlKind { Hidden = 0, Edit = 1, Button = 2, Radio = 3, CheckBox = 4, Combo = 5, ListBox = 6, TextArea = 7 };

class ThtmlForm {
 public:
  TSectionList* MasterList;
  QString Method = QStringLiteral("GET");
  QString Action;
  std::vector<TFormControlObj*> ControlList;
  int NonHiddenCount = 0;

  ThtmlForm(TSectionList* list, const TAttributeList& attributes);
  ~ThtmlForm();
  // A new form in the list's form list, made the open form.
  static ThtmlForm& Open(TSectionList* list, const TAttributeList& attributes);

  void InsertControl(TFormControlObj* control);
  void RemoveControl(TFormControlObj* control);
  void DoRadios(TFormControlObj* radio);
  void GetInputValue(TFormControlObj* control);
  void UpdateAllInputValues();
  void ResetControls();
  void SubmitTheForm(const QString& buttonText);
  void SetSizes(Canvas& canvas);
};

class TFormControlObj {
 public:
  int Pos = 0;
  TSectionList* MasterList = nullptr;
  ThtmlForm* MyForm = nullptr;
  QString Value, Name;
  bool OnBaseline = false;
  QPointer<QWidget> TheControl;
  bool Showing = false;
  int Width = 0, Height = 0;
  bool IsHidden = false;  // kept apart from Kind(): the destructor needs it

  virtual ~TFormControlObj();
  TFormControlObj(const TFormControlObj&) = delete;
  TFormControlObj& operator=(const TFormControlObj&) = delete;

  virtual ControlKind Kind() const = 0;
  virtual void ResetToValue() {}                                   // 0
  virtual bool GetSubmission(int, QString&) { return false; }      // 1
  virtual void SetHeightWidth(Canvas&) {}                          // 2

  // Puts the widget at (left, top) of the paint panel and shows it.
  void Place(int left, int top);
  void Hide();
  QWidget* Widget() const;

 protected:
  TFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  // Takes ownership of the widget: parented to the paint panel, off screen until placed.
  void Adopt(QWidget* widget, int width, int height);
  FontDesc ControlFont() const;
  friend class ThtmlForm;
};

class THiddenFormControlObj : public TFormControlObj {
 public:
  THiddenFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  ControlKind Kind() const override { return ControlKind::Hidden; }
  bool GetSubmission(int index, QString& text) override;
};

class TEditFormControlObj : public TFormControlObj {
 public:
  int Size = 20;
  TEditFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  ControlKind Kind() const override { return ControlKind::Edit; }
  void ResetToValue() override;
  bool GetSubmission(int index, QString& text) override;
  void SetHeightWidth(Canvas& canvas) override;
  QString Text() const;
  void SetText(const QString& text);
};

class TButtonFormControlObj : public TFormControlObj {
 public:
  bool IsSubmit = false;
  TButtonFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  ControlKind Kind() const override { return ControlKind::Button; }
  void SetHeightWidth(Canvas& canvas) override;
  void Click();
};

class TCheckBoxFormControlObj : public TFormControlObj {
 public:
  bool IsChecked = false;
  TCheckBoxFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  ControlKind Kind() const override { return ControlKind::CheckBox; }
  void ResetToValue() override;
  bool GetSubmission(int index, QString& text) override;
  bool Checked() const;
  void SetChecked(bool on);
};

class TRadioButtonFormControlObj : public TFormControlObj {
 public:
  bool IsChecked = false;
  TRadioButtonFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  ControlKind Kind() const override { return ControlKind::Radio; }
  void ResetToValue() override;
  bool GetSubmission(int index, QString& text) override;
  bool Checked() const;
  void SetChecked(bool on);
  void Click();
};

struct TOptionObj {
  QString Text, Value;
  bool Selected = false;
};

class TListBoxFormControlObj : public TFormControlObj {
 public:
  int LBSize = -1;
  int Longest = 3;
  bool Multiple = false;
  std::vector<TOptionObj> Options;
  TListBoxFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes, bool combo = false);
  ControlKind Kind() const override { return ControlKind::ListBox; }
  void AddOption(const QString& text, const QString& value, bool selected);
  void ResetToValue() override;
  bool GetSubmission(int index, QString& text) override;
  void SetHeightWidth(Canvas& canvas) override;
  // The rows shown: SIZE, or the option count kept within 1 .. 8.
  int Rows() const;
  bool IsSelected(int index) const;
  void SetSelected(int index, bool on);
};

class TComboFormControlObj : public TListBoxFormControlObj {
 public:
  TComboFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  ControlKind Kind() const override { return ControlKind::Combo; }
  void ResetToValue() override;
  bool GetSubmission(int index, QString& text) override;
  void SetHeightWidth(Canvas& canvas) override;
  int Chosen() const;
  void Choose(int index);
};

class TTextAreaFormControlObj : public TFormControlObj {
 public:
  int Cols = 30, Rows = 5;
  QString TheText;
  TTextAreaFormControlObj(TSectionList* list, int pos, const TAttributeList& attributes);
  ControlKind Kind() const override { return ControlKind::TextArea; }
  void ResetToValue() override;
  bool GetSubmission(int index, QString& text) override;
  void SetHeightWidth(Canvas& canvas) override;
  QString Text() const;
  void SetText(const QString& text);
};

// Whether a drawing clipped to the rectangle repaints the panel's whole height
// (its 1-pixel top margin aside); only such a drawing may hide the controls it
// did not place, since a partial repaint after a scroll places only a strip.
bool CoversPanel(const QWidget* panel, const QRect& clip);

// The kind an INPUT's TYPE makes, and a SELECT's (a list box with MULTIPLE or SIZE > 1).
ControlKind InputKind(const TAttributeList& attributes);
ControlKind SelectKind(const TAttributeList& attributes);
// A control of the kind, inserted into the open form (made when none is open).
std::shared_ptr<TFormControlObj> CreateFormControl(ControlKind kind, TSectionList* list, int pos,
                                                   const TAttributeList& attributes);

// The controls of one section, in position order. A print copy shares them.
class TFormControlList {
 public:
  using Controls = std::vector<std::shared_ptr<TFormControlObj>>;
  Controls Items;
  // The first control at or after the position (Items.end() when none).
  Controls::const_iterator FirstAtOrAfter(int pos) const;
  TFormControlObj* FindControl(int pos) const;
  int GetHeightAt(int pos, bool& onBaseline) const;
  int GetWidthAt(int pos) const;
  int GetControlCountAt(int pos) const;
};

}  // namespace qlon::viewer
