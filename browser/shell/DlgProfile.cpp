#include "DlgProfile.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "MessageBox.h"
#include "Options.h"

namespace qlon::shell {

namespace {
constexpr const char* kListCaption = "Liste des configurations...";
constexpr const char* kSaveCaption = "Enregistrer la configuration actuelle...";

std::string Formatted(const char* pattern, const std::string& name) {
  return QString::fromUtf8(pattern).arg(QString::fromStdString(name)).toStdString();
}
}  // namespace

TDlgNameProfile::TDlgNameProfile(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kSaveCaption));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8("Intitulé de la configuration :"), this));
  NameEdit = new QLineEdit(this);
  layout->addWidget(NameEdit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  OKBtn = buttons->button(QDialogButtonBox::Ok);
  OKBtn->setEnabled(false);
  layout->addWidget(buttons);
  connect(NameEdit, &QLineEdit::textChanged, this, [this](const QString& t) { OKBtn->setEnabled(IsValidName(t)); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool TDlgNameProfile::IsValidName(const QString& name) {
  const QString t = name.trimmed();
  return !t.isEmpty() && !t.contains(']') && !t.contains('\n') && !t.contains('\r');
}

bool TDlgNameProfile::Execute(std::string& name) {
  if (exec() != QDialog::Accepted || !IsValidName(NameEdit->text())) return false;
  name = NameEdit->text().trimmed().toStdString();
  return true;
}

TDlgProfileList::TDlgProfileList(TProfileList& profiles, TOptions& current, QWidget* parent)
    : QDialog(parent), profiles_(profiles), current_(current) {
  setWindowTitle(QString::fromUtf8(kListCaption));
  auto* layout = new QHBoxLayout(this);
  ProfileList = new QListWidget(this);
  layout->addWidget(ProfileList, 1);
  auto* side = new QVBoxLayout;
  DeleteBtn = new QPushButton(QString::fromUtf8("&Supprimer..."), this);
  SaveBtn = new QPushButton(QString::fromUtf8("Enregistrer la configuration actuelle..."), this);
  auto* closeBtn = new QPushButton(QString::fromUtf8("&Fermer"), this);
  side->addWidget(DeleteBtn);
  side->addWidget(SaveBtn);
  side->addStretch();
  side->addWidget(closeBtn);
  layout->addLayout(side);
  connect(DeleteBtn, &QPushButton::clicked, this, [this] { DeleteClick(); });
  connect(SaveBtn, &QPushButton::clicked, this, [this] { SaveClick(); });
  connect(closeBtn, &QPushButton::clicked, this, &QDialog::accept);
  AskName = [this](std::string& name) {
    TDlgNameProfile dlg(this);
    return dlg.Execute(name);
  };
  Refill();
}

void TDlgProfileList::Refill() {
  ProfileList->clear();
  for (const std::string& name : profiles_.GetProfileNames()) ProfileList->addItem(QString::fromStdString(name));
  // Every name whole, with room for the scroll bar a long list shows.
  constexpr int kWidestList = 600;
  const int names = ProfileList->sizeHintForColumn(0) + 2 * ProfileList->frameWidth() +
                    ProfileList->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ProfileList) + 4;
  ProfileList->setMinimumWidth(std::min(std::max(names, 120), kWidestList));
}

void TDlgProfileList::DeleteClick() {
  QListWidgetItem* item = ProfileList->currentItem();
  if (!item) return;
  const std::string name = item->text().toStdString();
  if (platform::MessageBox(Formatted("Voulez-vous supprimer la configuration-type \"%1\" ?", name), kListCaption,
                           platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
    return;
  profiles_.DeleteProfile(name);
  Refill();
}

bool TDlgProfileList::SaveClick() {
  std::string name;
  if (!AskName || !AskName(name) || !TDlgNameProfile::IsValidName(QString::fromStdString(name))) return false;
  const auto& names = profiles_.GetProfileNames();
  const bool exists = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
    return QString::fromStdString(n).compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0;
  });
  if (exists && platform::MessageBox(Formatted("Voulez-vous écraser la configuration-type \"%1\" ?", name),
                                     kListCaption, platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES)
    return false;
  // A missing profiles file is made first: saving must not silently do nothing.
  profiles_.CreateDefaultFile();
  const bool saved = profiles_.SaveProfile(current_, name);
  if (!saved)
    platform::MessageBox("La configuration \"" + name + "\" n'a pas pu être enregistrée.", "Erreur",
                         platform::MB_OK | platform::MB_ICONERROR);
  Refill();
  return saved;
}

}  // namespace qlon::shell
