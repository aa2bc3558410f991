#pragma once
// The "Scanner Diagnostics" dialog behind the page's "&Test Scanner...":
// "&Start" runs the device's self test and shows its outcome, "Close" ends
// the dialog with the result (0, or the status of the last failed run).
// Controls: 1 "&Start", 2 "Close", 1051 "&Help", read-only edit 1043, title 1049.
#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qlon::scanner::ui {

class DiagnosticsDialog : public QDialog {
 public:
  // run: one diagnostics run, returning 0 or the failure status and the text to show.
  using Run = std::function<uint32_t(std::string* text)>;
  DiagnosticsDialog(QWidget* owner, const std::string& driverName, Run run, std::function<void()> help,
                    QWidget* hostWindow);
  ~DiagnosticsDialog() override;

  uint32_t Result() const { return result_; }
  QWidget* Control(int id) const;
  // "&Start": what a click does.
  void Start();

  // Centres `rect` on `host` and then moves it inside `desktop`.
  static QRect Place(const QRect& rect, const QRect& host, const QRect& desktop);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void DiscardQueuedInput();
  Run run_;
  QPointer<QWidget> host_;
  uint32_t result_ = 0;
  QLabel* title_;
  QPlainTextEdit* edit_;
  QPushButton *start_, *close_, *help_;
};

}  // namespace qlon::scanner::ui
