#pragma once
// TDlgUrlVerif: tests whether a site can be reached by opening a connection
// to its host and port. The test starts once, when the dialog is first shown,
// and ends with a connection made, refused, or a host that does not resolve;
// the socket is closed as soon as the answer is known and freed with the
// dialog's close.
#include <QDialog>
#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace qlon {

class TSCX;

class TDlgUrlVerif : public QDialog {
 public:
  // The connection limit, in the socket component's unit (seconds).
  static constexpr int kConnectLimit = 20;
  enum TResult { vrPending, vrReachable, vrUnreachable };

  explicit TDlgUrlVerif(QWidget* parent = nullptr);
  ~TDlgUrlVerif() override;

  QLabel* Label1 = nullptr;
  QPushButton* CloseBtn = nullptr;

  // The address to test (set before showing); the host once the test started.
  std::string Url;
  TResult Result() const { return Result_; }
  bool Testing() const { return Scx_ != nullptr; }

  // Starts the test (the first show does); later calls do nothing.
  void StartTest();

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  std::unique_ptr<TSCX> Scx_;
  bool Started_ = false;
  TResult Result_ = vrPending;

  void Finish(bool reachable);
  void FreeSocket();
};

}  // namespace qlon
