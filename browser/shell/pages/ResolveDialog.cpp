#include "ResolveDialog.h"

namespace qlon::shell {

TResolveDialog::TResolveDialog(TWeb& web, const TSommaireParam& param, QWidget* parent,
                               std::filesystem::path templates)
    : TProgressDialog(QString::fromUtf8("Résolution des liens"), QString::fromUtf8("Annuler"), parent),
      walk_(web, *this, param, std::move(templates)) {}

}  // namespace qlon::shell
