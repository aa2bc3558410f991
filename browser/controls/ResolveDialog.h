#pragma once
// The progress window of link resolution: two labels, a gauge and a Cancel
// button. It starts the walk as soon as it is shown and closes itself when
// the walk ends; its result is the walk's (1 finished, 2 cancelled), or 0
// when the walk failed (Error() then holds the message).
#include <QDialog>
#include <filesystem>
#include <string>

#include "DlgResolve.h"

class QLabel;
class QPushButton;

namespace qlon::controls {

class TGauge95;

class TResolveDialog : public QDialog, public TResolveHost {
  Q_OBJECT
 public:
  TResolveDialog(TWeb& web, const TSommaireParam& param, QWidget* parent = nullptr,
                 std::filesystem::path templates = {});

  TDlgResolve& Walk() { return walk_; }
  const std::string& Error() const { return error_; }
  QLabel* StateLabel() const { return state_; }
  QLabel* FileLabel() const { return file_; }
  TGauge95* Gauge() const { return gauge_; }
  QPushButton* Button1() const { return cancel_; }

  void ShowState(const std::string& text) override;
  void ShowFile(const std::string& name) override;
  void SetGauge(int maximum) override;
  void StepGauge() override;
  void ProcessMessages() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  void FormActivate();

  TDlgResolve walk_;
  QLabel* state_;
  QLabel* file_;
  TGauge95* gauge_;
  QPushButton* cancel_;
  bool started_ = false, running_ = false;
  std::string error_;
};

}  // namespace qlon::controls
