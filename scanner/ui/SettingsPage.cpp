#include "SettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>

#include "UiStrings.h"

namespace qlon::scanner::ui {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
void Fill(QComboBox* box, const std::vector<std::string>& items, int current) {
  box->clear();
  for (const auto& s : items) box->addItem(Q(s));
  box->setCurrentIndex(current);
}
}  // namespace

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
  edit_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit_));
  edit_->setMaximumWidth(48);
  descreen_ = new QCheckBox("&Descreen");
  auto_ = new QRadioButton("Automatic");
  manual_ = new QRadioButton("Manual");
  model_ = new QLabel;
  version_ = new QLabel;
  port_ = new QLabel;
  info_ = new QLabel;
  auto* threshold = new QLabel("T&hreshold :");
  threshold->setBuddy(edit_);
  auto* paperLabel = new QLabel("Paper Si&ze :");
  paperLabel->setBuddy(paper_);
  auto* test = new QPushButton("&Test Scanner...");
  auto* calibrate = new QPushButton("C&alibration");
  int row = 0;
  grid->addWidget(new QLabel("Source :"), row, 0);
  grid->addWidget(add(kSourceCombo, source_), row++, 1, 1, 3);
  grid->addWidget(paperLabel, row, 0);
  grid->addWidget(add(kPaperCombo, paper_), row++, 1, 1, 3);
  grid->addWidget(new QLabel("Halftone :"), row, 0);
  grid->addWidget(add(kHalftoneCombo, halftone_), row++, 1, 1, 3);
  grid->addWidget(add(kAutoRadio, auto_), row, 1);
  grid->addWidget(add(kManualRadio, manual_), row++, 2);
  grid->addWidget(add(kThresholdLabel, threshold), row, 0);
  grid->addWidget(add(kTrackBar, track_), row, 1, 1, 2);
  grid->addWidget(add(kThresholdEdit, edit_), row++, 3);
  grid->addWidget(add(kDescreenCheck, descreen_), row++, 0, 1, 2);
  grid->addWidget(new QLabel("Test Scanner :"), row, 0);
  grid->addWidget(add(kTestButton, test), row, 1);
  grid->addWidget(add(kCalibrateButton, calibrate), row++, 2);
  grid->addWidget(add(kModelLabel, model_), row, 0);
  grid->addWidget(add(kVersionText, version_), row++, 1);
  grid->addWidget(new QLabel("Communication Mode :"), row, 0);
  grid->addWidget(new QLabel("USB"), row, 1);
  grid->addWidget(add(kPortText, port_), row++, 2);
  grid->addWidget(add(kInfoLine, info_), row++, 0, 1, 4);
  grid->setRowStretch(row, 1);
  for (auto [id, w] : controls_) {
    const char* tip = UiString(id == kSourceCombo ? 83 : id == kPaperCombo ? 84 : id == kTestButton ? 85
                               : id == kHalftoneCombo ? 87 : id == kAutoRadio ? 88 : id == kManualRadio ? 89
                               : id == kTrackBar ? 90 : id == kThresholdEdit ? 91 : id == kCalibrateButton ? 120
                               : id == kDescreenCheck ? 209 : 0);
    const QString text = QString::fromUtf8(tip);
    const int nl = text.indexOf('\n');
    w->setStatusTip(nl < 0 ? text : text.left(nl));
    w->setToolTip(nl < 0 ? QString() : text.mid(nl + 1));
  }
  edit_->installEventFilter(this);

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
    controller_.OnScroll(it->second, track_->value());
    controller_.OnScroll(8, track_->value());
    Sync();
  });
  connect(track_, &QSlider::sliderMoved, this, [this](int pos) { controller_.OnScroll(5, pos); Sync(); });
  connect(edit_, &QLineEdit::textEdited, this, [this] { controller_.OnEditChanged(); });
  connect(test, &QPushButton::clicked, this, [this] {
    std::string text;
    controller_.RunDiagnostics(&text);
    info_->setText(Q(text));
  });
  connect(calibrate, &QPushButton::clicked, this, [this] {
    int icon = 0;
    bool close = false;
    const std::string text = controller_.Calibrate(&icon, &close);
    if (!text.empty()) Warn(text);
  });
  controller_.SetUsMeasure(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem);
  controller_.Start();
  Sync();
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_) {
    if (event->type() == QEvent::FocusIn) controller_.OnEditFocusIn();
    if (event->type() == QEvent::FocusOut) {
      const std::string warning = controller_.OnEditFocusOut(edit_->text().toStdString());
      Sync();
      if (!warning.empty()) Warn(warning);
    }
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        const std::string warning = controller_.Accept(edit_->text().toStdString());
        Sync();
        if (!warning.empty()) Warn(warning);
        return true;
      }
      if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) controller_.OnEditChanged();
      else controller_.OnEditChanged();
    }
  }
  return QWidget::eventFilter(watched, event);
}

std::vector<QWidget*> SettingsPage::TabStops() const {
  std::vector<QWidget*> stops;
  for (QWidget* w : findChildren<QWidget*>())
    if (w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(const_cast<SettingsPage*>(this)))
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
    (shift ? last : first)->setFocus(Qt::TabFocusReason);
  } else {
    (back ? back : first)->setFocus(Qt::TabFocusReason);
  }
}

bool SettingsPage::event(QEvent* event) {
  const int message = event->type() - QEvent::User;
  if (message == kHandOver || message == kHostWindow || message == kDescreenAllowed) {
    auto* m = static_cast<HostMessage*>(event);
    if (message == kHandOver) HandOver(static_cast<QWidget*>(m->wParam), reinterpret_cast<QWidget*>(m->lParam), m->shift);
    if (message == kHostWindow) hostWindow_ = static_cast<QWidget*>(m->wParam);
    if (message == kDescreenAllowed) {
      controller_.OnDescreenAllowed(m->lParam != 0);
      Sync();
    }
    return true;
  }
  return QWidget::event(event);
}

void SettingsPage::Warn(const std::string& text) {
  if (qEnvironmentVariableIsSet("QLON_UI_NO_BOXES")) {
    info_->setText(Q(text));
  } else {
    QMessageBox::warning(this, UiString(94), Q(text));
  }
  edit_->selectAll();
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
  auto text = [&](int id) { auto it = v.text.find(id); return it == v.text.end() ? QString() : Q(it->second); };
  model_->setText(text(kModelLabel));
  version_->setText(text(kVersionText));
  port_->setText(text(kPortText));
  info_->setText(text(kInfoLine));
  syncing_ = false;
}

}  // namespace qlon::scanner::ui
