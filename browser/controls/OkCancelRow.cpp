#include "OkCancelRow.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace qlon::controls {

TOkCancelRow MakeOkCancelRow(QDialog* dialog, QWidget* parent) {
  TOkCancelRow row{new QHBoxLayout, new QPushButton(QString::fromUtf8("&OK"), parent),
                   new QPushButton(QString::fromUtf8("&Annuler"), parent)};
  row.Ok->setDefault(true);
  row.Layout->addStretch();
  row.Layout->addWidget(row.Ok);
  row.Layout->addWidget(row.Cancel);
  QObject::connect(row.Cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return row;
}

}  // namespace qlon::controls
