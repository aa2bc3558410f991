#pragma once
// A small modal progress window for a walk of the capture engine: a state
// label, a file label, a gauge and a Cancel button. It starts the work as
// soon as it is shown and closes itself when the work ends; Cancel, Escape
// and the close box cancel the work while it runs. It is the engine's
// progress host (IResolveHost): messages are processed between records.
#include <QDialog>
#include <string>

#include "DlgResolve.h"

class QLabel;
class QPushButton;

namespace qlon::controls {
class TGauge95;
}

namespace qlon::shell {

class TProgressDialog : public QDialog, public IResolveHost {
  Q_OBJECT
 public:
  // A failed work's message (the window then closes with 0).
  const std::string& Error() const { return error_; }
  QLabel* StateLabel() const { return state_; }
  QLabel* FileLabel() const { return file_; }
  controls::TGauge95* Gauge() const { return gauge_; }
  QPushButton* CancelButton() const { return cancel_; }

  void ShowState(const std::string& text) override;
  void ShowFile(const std::string& name) override;
  void SetGauge(int maximum) override;
  void StepGauge() override;
  void ProcessMessages() override;

 protected:
  TProgressDialog(const QString& caption, const QString& cancelText, QWidget* parent);
  // The work; its value closes the window.
  virtual int Work() = 0;
  virtual void CancelWork() = 0;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void reject() override;

 private:
  void Start();
  void fitFileLabel();

  QLabel* state_;
  QLabel* file_;
  controls::TGauge95* gauge_;
  QPushButton* cancel_;
  bool started_ = false, running_ = false;
  std::string error_;
  QString fileName_;  // whole; the label may show it shortened
};

}  // namespace qlon::shell
