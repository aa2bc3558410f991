#pragma once
// The progress of a capture copy or move (and of saving the files of URL
// list rows): walks every item, calls OnItem for each, and shows the file
// being copied, where it comes from and goes to, and a gauge that advances
// once per item walked.
//
// The window itself is a view interface: the shell's dialog shows it, tests
// record it, and with no view the walk runs silently. The view's
// ProcessMessages runs before each item, so a Cancel of the view (calling
// TDlgCopy::Cancel) stops the walk before the next one.
#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace qlon {

class TDlgCopy;
class TUrlBTree;
class TWebFile;

class ICopyView {
 public:
  virtual ~ICopyView() = default;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetGauge(int maximum) = 0;  // from 0 to maximum, at 0
  virtual void StepGauge() = 0;
  virtual void ShowFileName(const std::string& text) = 0;
  virtual void ShowSource(const std::string& text) = 0;
  virtual void ProcessMessages() = 0;
  // Shows the window modally, calls walk once while it is shown, and closes
  // the window when walk returns; its Cancel button calls dialog.Cancel().
  virtual void RunModal(TDlgCopy& dialog, const std::function<void()>& walk) = 0;
};

// The characters after the last "/" (or "\"), a trailing one dropped first;
// the whole text when it has none.
std::string LastPathComponent(std::string_view path);

class TDlgCopy {
 public:
  using TOnItem = std::function<bool(TWebFile&)>;
  // Walks rows of a URL list, calling the step for each until it returns false.
  using TRowWalk = std::function<void(const std::function<bool(TWebFile&)>&)>;

  explicit TDlgCopy(ICopyView* view = nullptr) : view_(view) {}

  void SetCaption(const std::string& caption);
  // Every record of the tree. True when the walk reached every record.
  bool ExecuteForWeb(TUrlBTree& web, TOnItem onItem);
  // The rows of a URL list (`count` of them, for the gauge).
  bool Execute(int count, const TRowWalk& walk, TOnItem onItem);

  void ShowFileName(const std::string& text);
  // "De <last folder of path> vers <last folder of the destination>".
  void ShowSource(const std::string& path);
  void SetDestination(const std::string& path) { destination_ = LastPathComponent(path); }
  const std::string& Destination() const { return destination_; }

  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }
  int Maximum() const { return maximum_; }
  int Position() const { return position_; }

 private:
  bool Run(int maximum, const std::function<bool()>& walk);
  bool Step(TWebFile& item);

  ICopyView* view_;
  TOnItem onItem_;
  std::string destination_;
  bool cancelled_ = false;
  int maximum_ = 0, position_ = 0;
};

}  // namespace qlon
