#include "DlgText.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace qlon::shell {

TDlgText::TDlgText(const std::string& text, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Modifier..."));
  auto* layout = new QVBoxLayout(this);
  TextEdit = new QLineEdit(QString::fromStdString(text), this);
  layout->addWidget(TextEdit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool TDlgText::Execute(std::string& text) {
  if (exec() != QDialog::Accepted) return false;
  text = TextEdit->text().toStdString();
  return true;
}

}  // namespace qlon::shell
