#pragma once
// "Compte rendu des erreurs...": the progress window of the error report
// (TRapportError). It closes accepted when the report was written, rejected
// when it was cancelled, or at once when it has no capture.
#include "ProgressDialog.h"
#include "RapportError.h"

namespace qlon::shell {

class TDlgRapportError : public TProgressDialog {
  Q_OBJECT
 public:
  explicit TDlgRapportError(TWeb* web, QWidget* parent = nullptr);

 protected:
  int Work() override;
  void CancelWork() override;

 private:
  TWeb* web_;
  std::unique_ptr<TRapportError> report_;
};

}  // namespace qlon::shell
