#include "SettingsPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QToolTip>

#include "DiagnosticsDialog.h"
#include "HalftonePreviews.h"
#include "MessageBox.h"
#include "PageMessages.h"
#include "QtMessageBox.h"
#include "RegistryValueList.h"
#include "UiStrings.h"
#include "WinHelp.h"

namespace qlon::scanner::ui {

namespace {
namespace pf = qlon::platform;
constexpr unsigned kSystemModal = 0x1000, kSetForeground = 0x10000;
constexpr uint32_t kDiagnosticsTopic = 200;

QString Q(const std::string& s) { return QString::fromStdString(s); }
void Fill(QComboBox* box, const std::vector<std::string>& items, int current) {
  box->clear();
  for (const auto& s : items) box->addItem(Q(s));
  box->setCurrentIndex(current);
}
// The information line keeps the tab stops of its string; a label shows
// them as runs of blanks.
QString Expand(const std::string& s) { return Q(s).replace('\t', QStringLiteral("    ")); }

// A box of the page. A host that installed no handler in this library gets
// Qt's message box, so that the user sees it.
int Box(const std::string& text, unsigned flags) {
  if (!pf::CurrentMessageBoxHandler()) {
    static pf::QtMessageBoxHandler boxes;
  }
  return pf::MessageBox(text, UiString(94), flags);
}
// Calibration status top bits: 0 stop, 1 information, 2 exclamation, 3 stop.
unsigned IconOfClass(int failureClass) {
  switch (failureClass) {
    case 1: return pf::MB_ICONINFORMATION;
    case 2: return pf::MB_ICONEXCLAMATION;
    default: return pf::MB_ICONHAND;
  }
}
}  // namespace

std::pair<std::string, std::string> TipTexts(int controlId) {
  static const std::map<int, int> ids = {{kSourceCombo, 83}, {kPaperCombo, 84}, {kTestButton, 85},
                                         {kHalftoneCombo, 87}, {kAutoRadio, 88}, {kManualRadio, 89},
                                         {kTrackBar, 90}, {kThresholdEdit, 91}, {kCalibrateButton, 120},
                                         {kDescreenCheck, 209}};
  auto it = ids.find(controlId);
  if (it == ids.end()) return {};
  const std::string text = UiString(it->second);
  const size_t nl = text.find('\n');
  if (nl == std::string::npos) return {text, {}};
  return {text.substr(0, nl), text.substr(nl + 1)};
}

SettingsPage::SettingsPage(QWidget* parent, imgport::ScannerInterface* scanner, PageState* state)
    : QWidget(parent), controller_(scanner, state) {
  auto* grid = new QGridLayout(this);
  auto add = [&](int id, QWidget* w) { controls_[id] = w; w->setProperty("controlId", id); return w; };
  source_ = new QComboBox;
  paper_ = new QComboBox;
  halftone_ = new QComboBox;
  track_ = new QSlider(Qt::Horizontal);
  track_->setRange(0, 255);
  track_->setTickInterval(32);
  track_->setPageStep(32);
  track_->setTickPosition(QSlider::TicksBelow);
  edit_ = new QLineEdit;
  // Digits only, but not limited to 0-255: a larger number must reach the
  // check that warns about it.
  edit_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit_));
  edit_->setMaximumWidth(48);
  descreen_ = new QCheckBox("&Descreen");
  auto_ = new QRadioButton("Automatic");
  manual_ = new QRadioButton("Manual");
  model_ = new QLabel;
  version_ = new QLabel;
  port_ = new QLabel;
  info_ = new QLabel;
  preview_ = new QLabel;
  preview_->setFixedSize(48, 48);
  preview_->setScaledContents(true);
  preview_->setFrameShape(QFrame::Box);
  auto* threshold = new QLabel("T&hreshold :");
  threshold->setBuddy(edit_);
  auto* paperLabel = new QLabel("Paper Si&ze :");
  paperLabel->setBuddy(paper_);
  test_ = new QPushButton("&Test Scanner...");
  calibrate_ = new QPushButton("C&alibration");
  int row = 0;
  grid->addWidget(new QLabel("Source :"), row, 0);
  grid->addWidget(add(kSourceCombo, source_), row++, 1, 1, 3);
  grid->addWidget(paperLabel, row, 0);
  grid->addWidget(add(kPaperCombo, paper_), row++, 1, 1, 3);
  grid->addWidget(new QLabel("Halftone :"), row, 0);
  grid->addWidget(add(kHalftoneCombo, halftone_), row, 1, 1, 2);
  grid->addWidget(add(kPreview, preview_), row++, 3, 2, 1, Qt::AlignRight);
  grid->addWidget(add(kAutoRadio, auto_), row, 1);
  grid->addWidget(add(kManualRadio, manual_), row++, 2);
  grid->addWidget(add(kThresholdLabel, threshold), row, 0);
  grid->addWidget(add(kTrackBar, track_), row, 1, 1, 2);
  grid->addWidget(add(kThresholdEdit, edit_), row++, 3);
  grid->addWidget(add(kDescreenCheck, descreen_), row++, 0, 1, 2);
  grid->addWidget(new QLabel("Test Scanner :"), row, 0);
  grid->addWidget(add(kTestButton, test_), row, 1);
  grid->addWidget(add(kCalibrateButton, calibrate_), row++, 2);
  grid->addWidget(add(kModelLabel, model_), row, 0);
  grid->addWidget(add(kVersionText, version_), row++, 1, 1, 3);
  grid->addWidget(new QLabel("Communication Mode :"), row, 0);
  grid->addWidget(new QLabel("USB"), row, 1);
  grid->addWidget(add(kPortText, port_), row++, 2);
  grid->addWidget(add(kInfoLine, info_), row++, 0, 1, 4);
  grid->setRowStretch(row, 1);
  // Every control but the static texts answers for its tip.
  for (auto [id, w] : controls_)
    if (!qobject_cast<QLabel*>(w)) w->installEventFilter(this);
  edit_->installEventFilter(this);
  for (int i = 0; i < kHalftoneCount; ++i) bitmaps_.push_back(QPixmap::fromImage(HalftoneBitmap(kFirstHalftoneBitmap + i)));

  connect(source_, &QComboBox::activated, this, [this] { controller_.OnSource(source_->currentText().toStdString()); Sync(); });
  connect(paper_, &QComboBox::activated, this, [this] { controller_.OnPaper(paper_->currentText().toStdString()); Sync(); });
  connect(halftone_, &QComboBox::activated, this, [this] { controller_.OnHalftone(halftone_->currentText().toStdString()); Sync(); });
  connect(auto_, &QRadioButton::clicked, this, [this] { controller_.OnAutomatic(); Sync(); });
  connect(manual_, &QRadioButton::clicked, this, [this] { controller_.OnManual(); Sync(); });
  connect(descreen_, &QCheckBox::clicked, this, [this](bool on) { controller_.OnDescreen(on); Sync(); });
  connect(track_, &QSlider::actionTriggered, this, [this](int action) {
    static const std::map<int, int> codes = {{QAbstractSlider::SliderSingleStepSub, 0}, {QAbstractSlider::SliderSingleStepAdd, 1},
                                             {QAbstractSlider::SliderPageStepSub, 2}, {QAbstractSlider::SliderPageStepAdd, 3},
                                             {QAbstractSlider::SliderToMinimum, 6}, {QAbstractSlider::SliderToMaximum, 7}};
    auto it = codes.find(action);
    if (it == codes.end() || syncing_) return;
    // A key or click step is a whole gesture: its end of tracking follows.
    controller_.OnScroll(it->second, track_->value());
    controller_.OnScroll(8, track_->value());
    Sync();
  });
  connect(track_, &QSlider::sliderMoved, this, [this](int pos) { controller_.OnScroll(5, pos); Sync(); });
  connect(track_, &QSlider::sliderReleased, this, [this] { controller_.OnScroll(8, track_->value()); Sync(); });
  connect(edit_, &QLineEdit::textEdited, this, [this] { controller_.OnEditChanged(); });
  connect(test_, &QPushButton::clicked, this, &SettingsPage::TestScanner);
  connect(calibrate_, &QPushButton::clicked, this, &SettingsPage::Calibrate);
  controller_.SetUsMeasure(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem);
  controller_.Start();
  Sync();
}

QString SettingsPage::TipFor(QWidget* control) {
  const auto [status, tip] = TipTexts(control->property("controlId").toInt());
  if (status.empty()) return {};
  QWidget* target = control->parentWidget();
  for (int up = 1; target && up < 3; ++up) target = target->parentWidget();
  if (target) PostPageMessage(target, kMsgStatusText, 0, 0, Q(status).left(kStatusTextMax));
  return Q(tip);
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event) {
  auto* w = qobject_cast<QWidget*>(watched);
  if (event->type() == QEvent::ToolTip && w && w->property("controlId").isValid()) {
    const QString tip = TipFor(w);
    if (tip.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, w);
    return true;
  }
  if (watched == edit_) {
    if (event->type() == QEvent::FocusIn) controller_.OnEditFocusIn();
    if (event->type() == QEvent::FocusOut) {
      const std::string warning = controller_.OnEditFocusOut(edit_->text().toStdString());
      Sync();
      if (!warning.empty()) PostWarning(warning, kThresholdEdit);
    }
    if (event->type() == QEvent::KeyPress) return EditKey(static_cast<QKeyEvent*>(event));
  }
  return QWidget::eventFilter(watched, event);
}

bool SettingsPage::EditKey(QKeyEvent* key) {
  switch (key->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
      // The value is taken when the focus leaves.
      controller_.OnEditChanged();
      const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
      std::vector<QWidget*> stops = TabStops();
      auto it = std::find(stops.begin(), stops.end(), edit_);
      if (it != stops.end() && stops.size() > 1) {
        const size_t i = it - stops.begin();
        stops[(i + (back ? stops.size() - 1 : 1)) % stops.size()]->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
      }
      return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
      AcceptEdit(true);
      return true;
    default:
      if (key->key() < Qt::Key_A || key->key() > Qt::Key_Z) controller_.OnEditChanged();
      return false;
  }
}

void SettingsPage::AcceptEdit(bool onEnter) {
  const std::string warning = controller_.Accept(edit_->text().toStdString());
  if (onEnter) controller_.OnEditChanged();
  Sync();
  if (!warning.empty()) PostWarning(warning, kThresholdEdit);
}

void SettingsPage::PostWarning(const std::string& text, int controlId) {
  edit_->selectAll();
  QMetaObject::invokeMethod(this, [this, text, controlId] {
    Box(text, pf::MB_OK | pf::MB_ICONEXCLAMATION);
    if (QWidget* w = Control(controlId)) {
      w->setFocus(Qt::OtherFocusReason);
      if (w == edit_) edit_->selectAll();
    }
  }, Qt::QueuedConnection);
}

std::vector<QWidget*> SettingsPage::TabStops() const {
  std::vector<QWidget*> stops;
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain())
    if (isAncestorOf(w) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(this) &&
        std::find(stops.begin(), stops.end(), w) == stops.end())
      stops.push_back(w);
  return stops;
}

void SettingsPage::HandOver(QWidget* focus, QWidget* back, bool shift) {
  const std::vector<QWidget*> stops = TabStops();
  if (stops.empty()) return;
  QWidget* first = stops.front();
  QWidget* last = stops.back();
  if (focus && focus != back) {
    if (back && ((focus == first && shift) || (focus == last && !shift))) back->setFocus(Qt::TabFocusReason);
  } else if (focus) {
    (shift ? last : first)->setFocus(shift ? Qt::BacktabFocusReason : Qt::TabFocusReason);
  } else {
    (back ? back : first)->setFocus(Qt::TabFocusReason);
  }
}

bool SettingsPage::event(QEvent* event) {
  if (const PageMessage* m = PageMessage::Of(event)) {
    switch (m->message) {
      case kMsgHandOver:
        HandOver(reinterpret_cast<QWidget*>(m->wParam), reinterpret_cast<QWidget*>(m->lParam), m->shift);
        return true;
      case kMsgHostWindow: hostWindow_ = reinterpret_cast<QWidget*>(m->wParam); return true;
      case kMsgDescreenAllowed:
        controller_.OnDescreenAllowed(m->lParam != 0);
        Sync();
        return true;
      default: break;
    }
  }
  return QWidget::event(event);
}

void SettingsPage::changeEvent(QEvent* event) {
  // The system colours changed: the track bar's range is set again.
  if (event->type() == QEvent::PaletteChange) track_->setRange(0, 255);
  QWidget::changeEvent(event);
}

void SettingsPage::TestScanner() {
  if (inDiagnostics_) return;
  inDiagnostics_ = true;
  uint32_t result = 0;
  {
    DiagnosticsDialog dialog(this, controller_.DriverName(),
                             [this](std::string* text) { return controller_.RunDiagnostics(text); },
                             [] { OpenHelp(kDiagnosticsTopic); }, hostWindow_);
    dialog.exec();
    result = dialog.Result();
  }
  inDiagnostics_ = false;
  test_->setFocus();
  if (result != 0) PostPageMessage(hostWindow_, kWmClose);
}

void SettingsPage::Calibrate() {
  int failureClass = 0;
  bool closeHost = false;
  const std::string text = controller_.Calibrate(&failureClass, &closeHost);
  if (text.empty()) {
    calibrate_->setFocus();
    return;
  }
  if (QWidget* top = window()) top->activateWindow();
  Box(text, pf::MB_OK | IconOfClass(failureClass) | kSystemModal | kSetForeground);
  if (closeHost) PostPageMessage(hostWindow_, kWmClose);
}

std::string SettingsPage::HelpFile() {
  static const int anchor = 0;
  const std::string self = ModulePathOf(&anchor);
  const size_t slash = self.rfind('/');
  if (slash == std::string::npos) return {};
  return self.substr(0, slash + 1) + UiString(97);
}

bool SettingsPage::OpenHelp(uint32_t topic) {
  const std::string file = HelpFile();
  return !file.empty() && pf::WinHelp(file, pf::HELP_CONTEXT, topic);
}

void SettingsPage::Sync() {
  syncing_ = true;
  const Controls& v = controller_.View();
  Fill(source_, v.sources, v.source);
  Fill(paper_, v.papers, v.paper);
  Fill(halftone_, v.halftones, v.halftone);
  track_->setValue(v.track);
  edit_->setText(Q(v.edit));
  for (auto [id, w] : controls_) w->setEnabled(v.Enabled(id));
  descreen_->setChecked(v.Checked(kDescreenCheck));
  auto_->setChecked(v.Checked(kAutoRadio));
  manual_->setChecked(v.Checked(kManualRadio));
  auto text = [&](int id) { auto it = v.text.find(id); return it == v.text.end() ? std::string() : it->second; };
  model_->setText(Q(text(kModelLabel)));
  version_->setText(Q(text(kVersionText)));
  port_->setText(Q(text(kPortText)));
  info_->setText(Expand(text(kInfoLine)));
  if (v.preview >= 0 && v.preview < kHalftoneCount) {
    preview_->setPixmap(bitmaps_[v.preview]);
    preview_->update();
  }
  syncing_ = false;
}

}  // namespace qlon::scanner::ui
