#pragma once
// The progress window of a capture copy or move, and of saving the files of
// URL list rows: the source and file labels, a gauge and a Cancel button.
// It runs the walk as soon as it is shown and closes itself when the walk
// ends; Cancel (the button, Escape, the close box) stops the walk after the
// current file.
#include <QDialog>
#include <functional>

#include "DlgCopy.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qlon::shell {

class TCopyDialog : public QDialog, public ICopyView {
  Q_OBJECT
 public:
  explicit TCopyDialog(QWidget* parent = nullptr);

  QLabel* SourceLabel() const { return source_; }
  QLabel* FileLabel() const { return file_; }
  QProgressBar* ProgressBar() const { return progress_; }
  QPushButton* CancelBtn() const { return cancel_; }

  void SetCaption(const std::string& caption) override;
  void SetGauge(int maximum) override;
  void StepGauge() override;
  void ShowFileName(const std::string& text) override;
  void ShowSource(const std::string& text) override;
  void ProcessMessages() override;
  void RunModal(TDlgCopy& dialog, const std::function<void()>& walk) override;
  // Whether the last walk stopped short of its end (Cancel, or the window
  // closed before it began).
  bool Cancelled() const { return cancelled_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

 private:
  QLabel* source_;
  QLabel* file_;
  QProgressBar* progress_;
  QPushButton* cancel_;
  TDlgCopy* dialog_ = nullptr;
  std::function<void()> walk_;
  bool started_ = false, running_ = false, cancelled_ = false;
};

}  // namespace qlon::shell
