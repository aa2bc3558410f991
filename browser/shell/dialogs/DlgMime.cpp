#include "DlgMime.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeDatabase>
#include <QPushButton>

#include "MessageBox.h"
#include "Mime.h"
#include "Texts.h"

namespace qlon::shell {

QStringList TDlgMime::KnownContentTypes() {
  QStringList names;
  for (const QMimeType& t : QMimeDatabase().allMimeTypes()) names << t.name();
  names.sort();
  names.removeDuplicates();
  return names;
}

TDlgMime::TDlgMime(TMimeItem& item, QWidget* parent) : QDialog(parent), item_(item) {
  setWindowTitle(item.ContentType.empty() ? QString::fromUtf8("Ajouter...") : QString::fromUtf8("Propriétés..."));
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QString::fromUtf8("Libellé du type :"), this), 0, 0);
  TypeCombo = new QComboBox(this);
  TypeCombo->setEditable(true);
  TypeCombo->addItems(KnownContentTypes());
  TypeCombo->setEditText(QString::fromStdString(item.ContentType));
  grid->addWidget(TypeCombo, 0, 1, 1, 3);
  grid->addWidget(new QLabel(QString::fromUtf8("Catégorie :"), this), 1, 0);
  ClassCb = new QComboBox(this);
  for (int c = 0; c < kMimeCategoryCount; ++c) {
    const std::string_view name = TextAt(kMimeCategoryNames, c);
    ClassCb->addItem(QString::fromUtf8(name.data(), qsizetype(name.size())));
  }
  ClassCb->setCurrentIndex(item.Category < kMimeCategoryCount ? int(item.Category) : int(mcAutre));
  grid->addWidget(ClassCb, 1, 1, 1, 3);
  grid->addWidget(new QLabel(QString::fromUtf8("Extensions :"), this), 2, 0);
  ExtEdit = new QLineEdit(this);
  AddExtBtn = new QPushButton(QString::fromUtf8(">>"), this);
  ExtLB = new QListWidget(this);
  DelExtBtn = new QPushButton(QString::fromUtf8("&Supprimer"), this);
  grid->addWidget(ExtEdit, 2, 1);
  grid->addWidget(AddExtBtn, 2, 2);
  grid->addWidget(ExtLB, 2, 3, 2, 1);
  grid->addWidget(DelExtBtn, 3, 2);
  for (const QString& ext : QString::fromStdString(item.Extensions).split(',', Qt::SkipEmptyParts))
    ExtLB->addItem(ext.trimmed());
  EnabledCheck = new QCheckBox(QString::fromUtf8("A capturer par défaut."), this);
  EnabledCheck->setChecked(!item.Params.Disabled);
  grid->addWidget(EnabledCheck, 4, 0, 1, 4);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  grid->addWidget(buttons, 5, 0, 1, 4);
  connect(AddExtBtn, &QPushButton::clicked, this, [this] { AddExtClick(); });
  connect(ExtEdit, &QLineEdit::returnPressed, this, [this] { AddExtClick(); });
  connect(DelExtBtn, &QPushButton::clicked, this, [this] { DelExtClick(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void TDlgMime::AddExtClick() {
  // The list is stored comma-separated: a comma or blank cannot be in one.
  QString ext = ExtEdit->text().trimmed();
  while (ext.startsWith('.')) ext.remove(0, 1);
  if (ext.isEmpty() || ext.contains(',') || ext.contains(' ')) return;
  for (int k = 0; k < ExtLB->count(); ++k)
    if (ExtLB->item(k)->text().compare(ext, Qt::CaseInsensitive) == 0) return;
  ExtLB->addItem(ext);
  ExtEdit->clear();
}

void TDlgMime::DelExtClick() { delete ExtLB->takeItem(ExtLB->currentRow()); }

bool TDlgMime::Validate() {
  if (ExtLB->count() > 0) return true;
  platform::MessageBox("Vous devez précisez une extension pour la capture!", "Erreur",
                       platform::MB_OK | platform::MB_ICONERROR);
  return false;
}

void TDlgMime::ApplyTo(TMimeItem& item) const {
  QStringList exts;
  for (int k = 0; k < ExtLB->count(); ++k) exts << ExtLB->item(k)->text();
  item.ContentType = TypeCombo->currentText().trimmed().toStdString();
  item.Extensions = exts.join(',').toStdString();
  item.Category = uint8_t(ClassCb->currentIndex());
  item.Params.Disabled = EnabledCheck->isChecked() ? 0 : 1;
}

void TDlgMime::accept() {
  if (!Validate()) return;
  ApplyTo(item_);
  QDialog::accept();
}

}  // namespace qlon::shell
