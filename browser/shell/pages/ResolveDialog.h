#pragma once
// The progress window of link resolution (TDlgResolve's form). Its result
// is the walk's: 1 finished, 2 cancelled; 0 when the walk failed.
#include <filesystem>

#include "DlgResolve.h"
#include "ProgressDialog.h"

namespace qlon::shell {

class TResolveDialog : public TProgressDialog {
  Q_OBJECT
 public:
  TResolveDialog(TWeb& web, const TSommaireParam& param, QWidget* parent = nullptr,
                 std::filesystem::path templates = {});
  TDlgResolve& Walk() { return walk_; }
  QPushButton* Button1() const { return CancelButton(); }

 protected:
  int Work() override { return walk_.Run(); }
  void CancelWork() override { walk_.Cancel(); }

 private:
  TDlgResolve walk_;
};

}  // namespace qlon::shell
