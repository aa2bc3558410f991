#include "PreferencesPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QRadioButton>
#include <QVBoxLayout>

#include "RegistryValueList.h"
#include "WinHelp.h"

namespace qlon::scanner::cpl {

namespace {
// The values last held in this library serve as the next page's defaults.
Preferences g_last;
QFrame* Separator() {
  auto* line = new QFrame;
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}
// Control -> help topic, ended by 0.
constexpr uint32_t kHelpIds[] = {4020, 401, 3003, 401, 4010, 401, 3004, 402, 4013, 402, 3005, 402,
                                 4021, 403, 4014, 403, 4015, 403, 4018, 403, 4019, 404, 0, 0};
constexpr QRgb kLightGrey = 0xFFC0C0C0;
}  // namespace

uint32_t HelpTopicOf(int controlId) {
  for (const uint32_t* p = kHelpIds; p[0] != 0; p += 2)
    if (p[0] == static_cast<uint32_t>(controlId)) return p[1];
  return 0;
}

QImage ColourMatchLogo(QColor buttonFace) {
  // The bitmap: a colour wheel of six segments on the dialog grey, framed.
  QImage logo(64, 64, QImage::Format_RGB32);
  logo.fill(kLightGrey);
  {
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor wheel[] = {Qt::red, Qt::yellow, Qt::green, Qt::cyan, Qt::blue, Qt::magenta};
    for (int i = 0; i < 6; ++i) {
      p.setBrush(wheel[i]);
      p.setPen(Qt::NoPen);
      p.drawPie(QRect(8, 8, 48, 48), i * 60 * 16, 60 * 16);
    }
    p.setBrush(QColor(kLightGrey));
    p.drawEllipse(QRect(24, 24, 16, 16));
  }
  if (buttonFace.rgb() == kLightGrey) return logo;
  const QRgb face = buttonFace.rgb();
  for (int y = 0; y < logo.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(logo.scanLine(y));
    for (int x = 0; x < logo.width(); ++x)
      if (line[x] == kLightGrey) line[x] = face;
  }
  return logo;
}

PreferencesPage::PreferencesPage(const std::string& deviceKey, QWidget* parent) : QWidget(parent), key_(deviceKey) {
  setWindowTitle(QString::fromUtf8("Préférences"));
  prefs_ = g_last;
  ReadPreferences(key_, &prefs_);
  intro_ = new QLabel(QString::fromUtf8("Lorsque l'application masque l'interface utilisateur du pilote..."));
  hiDef_ = new QCheckBox(QString::fromUtf8("&Utiliser Couleur haute définition au lieu de Couleur"));
  text_ = new QCheckBox(QString::fromUtf8("Utiliser &Texte amélioré au lieu de Noir et blanc"));
  // Alt+T is the enhanced text's: the colour matching takes its first letter.
  color_ = new QCheckBox(QString::fromUtf8("&Correspondance des couleurs Norva Tintwork"));
  profile_ = new QCheckBox(QString::fromUtf8("Utiliser le &profil Tintwork"));
  logo_ = new QLabel;
  logo_->setFixedSize(64, 64);
  previewTitle_ = new QLabel(QString::fromUtf8("Aperçu au démarrage de Vellumor"));
  auto_ = new QRadioButton(QString::fromUtf8("&Exécuter automatiquement un aperçu"));
  saved_ = new QRadioButton(QString::fromUtf8("Afficher l'aperçu de l'image enregi&stré"));
  none_ = new QRadioButton(QString::fromUtf8("Aucu&n"));
  close_ = new QCheckBox(QString::fromUtf8("&Quitter automatiquement Vellumor après la numérisation"));
  auto* box = new QVBoxLayout(this);
  for (QWidget* w : std::initializer_list<QWidget*>{intro_, hiDef_, text_, Separator()}) box->addWidget(w);
  auto* colour = new QGridLayout;
  colour->addWidget(color_, 0, 0);
  colour->addWidget(profile_, 1, 0);
  colour->addWidget(logo_, 0, 1, 2, 1, Qt::AlignRight);
  profile_->setContentsMargins(20, 0, 0, 0);
  box->addLayout(colour);
  for (QWidget* w : std::initializer_list<QWidget*>{Separator(), previewTitle_, auto_, saved_, none_, Separator(), close_})
    box->addWidget(w);
  box->addStretch();
  LoadLogo();
  Show();
  auto flag = [this](QCheckBox* c, uint32_t Preferences::*m) {
    connect(c, &QCheckBox::clicked, this, [this, m](bool on) { prefs_.*m = on; Show(); emit changed(); });
  };
  flag(hiDef_, &Preferences::hiDefinition);
  flag(text_, &Preferences::textEnhance);
  flag(color_, &Preferences::colorMatch);
  flag(profile_, &Preferences::useProfile);
  flag(close_, &Preferences::autoClose);
  auto radio = [this](QRadioButton* r, uint32_t a, uint32_t s) {
    connect(r, &QRadioButton::clicked, this, [this, a, s] { prefs_.autoPreview = a; prefs_.savePreview = s; Show(); emit changed(); });
  };
  radio(auto_, 1, 0);
  radio(saved_, 0, 1);
  radio(none_, 0, 0);
  for (int id : {4020, 3003, 4010, 3004, 4013, 3005, 4021, 4014, 4015, 4018, 4019}) {
    Control(id)->setProperty("controlId", id);
    Control(id)->installEventFilter(this);
  }
}

void PreferencesPage::Show() {
  hiDef_->setChecked(prefs_.hiDefinition == 1);
  text_->setChecked(prefs_.textEnhance == 1);
  color_->setChecked(prefs_.colorMatch == 1);
  profile_->setChecked(prefs_.useProfile == 1);
  profile_->setEnabled(prefs_.colorMatch == 1);
  close_->setChecked(prefs_.autoClose == 1);
  auto_->setChecked(prefs_.autoPreview == 1);
  saved_->setChecked(prefs_.savePreview == 1 && prefs_.autoPreview == 0);
  none_->setChecked(prefs_.autoPreview != 1 && prefs_.savePreview != 1);
}

void PreferencesPage::LoadLogo() {
  logo_->setPixmap(QPixmap::fromImage(ColourMatchLogo(palette().color(QPalette::Button))));
}

void PreferencesPage::apply() {
  SavePreferences(key_, prefs_);
  g_last = prefs_;
}

std::string PreferencesPage::HelpFilePath() const {
  const std::string name = HelpFileOf(key_);
  if (name.empty() || name[0] == '/') return name;
  static const int anchor = 0;
  const std::string self = ModulePathOf(&anchor);
  const size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash + 1) + name;
}

bool PreferencesPage::Help(int controlId, bool contextMenu) {
  return platform::WinHelpForControl(HelpFilePath(), contextMenu ? platform::HELP_CONTEXTMENU : platform::HELP_WM_HELP,
                                     kHelpIds, controlId);
}

bool PreferencesPage::eventFilter(QObject* watched, QEvent* event) {
  auto* w = qobject_cast<QWidget*>(watched);
  const int id = w ? w->property("controlId").toInt() : 0;
  if (id && event->type() == QEvent::ContextMenu) {
    Help(id, true);
    return true;
  }
  if (id && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
    Help(id, false);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void PreferencesPage::keyPressEvent(QKeyEvent* event) {
  // Command 1 (the default button's Enter) saves at once.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    apply();
    event->ignore();  // the sheet's default button still acts
    return;
  }
  QWidget::keyPressEvent(event);
}

void PreferencesPage::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) LoadLogo();
  QWidget::changeEvent(event);
}

QWidget* PreferencesPage::Control(int id) const {
  switch (id) {
    case 4010: return hiDef_;
    case 3003: return text_;
    case 3004: return color_;
    case 4013: return profile_;
    case 4015: return auto_;
    case 4014: return saved_;
    case 4018: return none_;
    case 4019: return close_;
    case 4020: return intro_;
    case 4021: return previewTitle_;
    case 3005: return logo_;
    default: return nullptr;
  }
}

}  // namespace qlon::scanner::cpl
