#include "WindowMessage.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include <QCoreApplication>
#include <QObject>
#include <QThread>

namespace qlon::platform {

namespace {

struct Completion {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  LRESULT result = 0;
};

// Posted for a cross-thread SendMessage. Qt deletes a posted event after
// delivery, or undelivered when its receiver goes away: either way the
// destructor frees the waiting sender.
class BlockingMessage : public WindowMessage {
 public:
  BlockingMessage(unsigned message, WPARAM wParam, LPARAM lParam, std::shared_ptr<Completion> completion)
      : WindowMessage(message, wParam, lParam), completion_(std::move(completion)) {}
  ~BlockingMessage() override {
    std::lock_guard lock(completion_->mutex);
    completion_->result = result;
    completion_->finished = true;
    completion_->done.notify_all();
  }

 private:
  std::shared_ptr<Completion> completion_;
};

}  // namespace

QEvent::Type WindowMessage::Type() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostMessage(QObject* target, unsigned message, WPARAM wParam, LPARAM lParam) {
  if (target) QCoreApplication::postEvent(target, new WindowMessage(message, wParam, lParam));
}

LRESULT SendMessage(QObject* target, unsigned message, WPARAM wParam, LPARAM lParam,
                    const std::atomic<bool>* abandon) {
  if (!target) return 0;
  if (target->thread() == QThread::currentThread()) {
    WindowMessage event(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &event);
    return event.result;
  }
  auto completion = std::make_shared<Completion>();
  QCoreApplication::postEvent(target, new BlockingMessage(message, wParam, lParam, completion));
  std::unique_lock lock(completion->mutex);
  while (!completion->finished) {
    if (abandon && abandon->load()) return 0;
    completion->done.wait_for(lock, std::chrono::milliseconds(20));
  }
  return completion->result;
}

}  // namespace qlon::platform
