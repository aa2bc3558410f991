#include "PageHost.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "PageMessages.h"
#include "ScannerInterface.h"

namespace qlon::scanner::host {

namespace ui = qlon::scanner::ui;

PageHost::PageHost(const std::string& uiLibrary, imgport::ScannerInterface* scanner, QWidget* parent)
    : QWidget(parent) {
  // The scanning application's own title: the driver's calibration notice
  // finds its owner by it.
  setWindowTitle("Vellumor");
  client_ = new QWidget;
  client_->setMinimumSize(460, 420);
  status_ = new QLabel;
  status_->setFrameShape(QFrame::StyledPanel);
  ok_ = new QPushButton("OK");
  cancel_ = new QPushButton("Annuler");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* box = new QVBoxLayout(this);
  box->addWidget(client_, 1);
  box->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &QWidget::close);
  connect(cancel_, &QPushButton::clicked, this, &QWidget::close);
  // The client area gets its size before the page is made to fill it.
  client_->resize(client_->minimumSize());

  library_ = platform::TDynamicLibrary(uiLibrary);
  if (!library_) {
    error_ = library_.ErrorOr("cannot load the page library");
    return;
  }
  using CreateFn = void* (*)(void*, int32_t, void*);
  auto create = library_.Entry<CreateFn>("CreateUserInterface");
  if (!create) {
    error_ = "the library has no CreateUserInterface";
    return;
  }
  page_ = static_cast<QWidget*>(create(client_, 0, scanner));
  if (!page_) {
    error_ = "CreateUserInterface made no page";
    return;
  }
  ui::PostPageMessage(page_, ui::kMsgHostWindow, reinterpret_cast<uintptr_t>(static_cast<QWidget*>(this)));
  ui::PostPageMessage(page_, ui::kMsgDescreenAllowed, 0, 1);
  QCoreApplication::sendPostedEvents(page_);
}

PageHost::~PageHost() { Unload(); }

QString PageHost::StatusLine() const { return status_->text(); }

void PageHost::HandOver(QWidget* focus, bool shift) {
  if (!page_) return;
  ui::PageMessage m(ui::kMsgHandOver, reinterpret_cast<uintptr_t>(focus), reinterpret_cast<intptr_t>(ok_));
  m.shift = shift;
  QCoreApplication::sendEvent(page_, &m);
}

void PageHost::AllowDescreen(bool allowed) {
  if (!page_) return;
  ui::PageMessage m(ui::kMsgDescreenAllowed, 0, allowed ? 1 : 0);
  QCoreApplication::sendEvent(page_, &m);
}

void PageHost::Unload() {
  delete page_.data();
  // Events the page posted may still name it; they went with it.
  library_.Close();
}

bool PageHost::focusNextPrevChild(bool next) {
  QWidget* focus = QApplication::focusWidget();
  if (page_ && focus && page_->isAncestorOf(focus)) {
    HandOver(focus, !next);
    if (QApplication::focusWidget() != focus) return true;
  } else if (page_ && (focus == (next ? cancel_ : ok_))) {
    // The host's chain wraps into the page: its first stop, or its last going back.
    HandOver(ok_, !next);
    if (QApplication::focusWidget() != focus) return true;
  }
  return QWidget::focusNextPrevChild(next);
}

bool PageHost::event(QEvent* event) {
  if (const ui::PageMessage* m = ui::PageMessage::Of(event)) {
    switch (m->message) {
      case ui::kMsgStatusText:
        ++statusMessages_;
        status_->setText(m->text);
        return true;
      case ui::kMsgDiagnosticsGone: ++diagnosticsClosed_; return true;
      case ui::kWmClose:
        closeRequested_ = true;
        close();
        return true;
      default: return true;
    }
  }
  return QWidget::event(event);
}

}  // namespace qlon::scanner::host
