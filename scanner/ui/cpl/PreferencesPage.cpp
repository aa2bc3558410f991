#include "PreferencesPage.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qlon::scanner::cpl {

namespace {
// The values last held in this library serve as the next page's defaults.
Preferences g_last;
QFrame* Separator() {
  auto* line = new QFrame;
  line->setFrameShape(QFrame::HLine);
  return line;
}
}  // namespace

PreferencesPage::PreferencesPage(const std::string& deviceKey, QWidget* parent) : QWidget(parent), key_(deviceKey) {
  setWindowTitle(QString::fromUtf8("Préférences"));
  prefs_ = g_last;
  ReadPreferences(key_, &prefs_);
  auto* box = new QVBoxLayout(this);
  auto* intro = new QLabel(QString::fromUtf8("Lorsque l'application masque l'interface utilisateur du pilote..."));
  hiDef_ = new QCheckBox(QString::fromUtf8("&Utiliser Couleur haute définition au lieu de Couleur"));
  text_ = new QCheckBox(QString::fromUtf8("Utiliser &Texte amélioré au lieu de Noir et blanc"));
  color_ = new QCheckBox(QString::fromUtf8("Correspondance des couleurs Norva &Tintwork"));
  profile_ = new QCheckBox(QString::fromUtf8("Utiliser le &profil Tintwork"));
  auto* preview = new QLabel(QString::fromUtf8("Aperçu au démarrage de Vellumor"));
  auto_ = new QRadioButton(QString::fromUtf8("&Exécuter automatiquement un aperçu"));
  saved_ = new QRadioButton(QString::fromUtf8("Afficher l'aperçu de l'image enregi&stré"));
  none_ = new QRadioButton(QString::fromUtf8("Aucu&n"));
  close_ = new QCheckBox(QString::fromUtf8("&Quitter automatiquement Vellumor après la numérisation"));
  for (QWidget* w : std::initializer_list<QWidget*>{intro, hiDef_, text_, Separator(), color_, profile_, Separator(),
                                                     preview, auto_, saved_, none_, Separator(), close_})
    box->addWidget(w);
  profile_->setContentsMargins(20, 0, 0, 0);
  box->addStretch();
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

void PreferencesPage::apply() {
  SavePreferences(key_, prefs_);
  g_last = prefs_;
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
    default: return nullptr;
  }
}

}  // namespace qlon::scanner::cpl
