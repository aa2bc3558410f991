#include "DlgCopy.h"

#include "UrlBTree.h"

namespace qlon {

std::string LastPathComponent(std::string_view path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.remove_suffix(1);
  const size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

void TDlgCopy::SetCaption(const std::string& caption) {
  if (view_) view_->SetCaption(caption);
}

bool TDlgCopy::ExecuteForWeb(TUrlBTree& web, TOnItem onItem) {
  onItem_ = std::move(onItem);
  return Run(int(web.GetCount()), [&] { return web.ForEach([this](TWebFile& r) { return Step(r); }); });
}

bool TDlgCopy::Execute(int count, const TRowWalk& walk, TOnItem onItem) {
  onItem_ = std::move(onItem);
  return Run(count, [&] {
    bool all = true;
    walk([&](TWebFile& r) { return all = Step(r); });
    return all;
  });
}

bool TDlgCopy::Run(int maximum, const std::function<bool()>& walk) {
  maximum_ = maximum;
  position_ = 0;
  bool complete = false;
  if (!onItem_) return false;
  if (!view_) return walk() && !cancelled_;
  view_->SetGauge(maximum);
  // An error of an item must not unwind through the view's event loop: it is
  // kept and raised again once the window has closed.
  std::exception_ptr failure;
  view_->RunModal(*this, [&] {
    try {
      complete = walk() && !cancelled_;
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure) std::rethrow_exception(failure);
  return complete;
}

bool TDlgCopy::Step(TWebFile& item) {
  if (cancelled_) return false;
  if (view_) view_->ProcessMessages();
  if (cancelled_) return false;
  const bool more = onItem_(item);
  ++position_;
  if (view_) view_->StepGauge();
  return more;
}

void TDlgCopy::ShowFileName(const std::string& text) {
  if (view_) view_->ShowFileName(text);
}

void TDlgCopy::ShowSource(const std::string& path) {
  if (view_) view_->ShowSource("De " + LastPathComponent(path) + " vers " + destination_);
}

}  // namespace qlon
