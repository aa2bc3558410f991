#include "StatusLine.h"

#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QStatusBar>

namespace qlon::shell {

TStatusLine::TStatusLine(QStatusBar& bar)
    : bar_(bar), hint_(new QLabel(&bar)), scheduler_(new QLabel(&bar)), progress_(new QProgressBar(&bar)) {
  hint_->setObjectName("StatusInfo1");
  scheduler_->setObjectName("StatusInfo2");
  progress_->setObjectName("StatusProgressBar");
  progress_->setMaximumHeight(14);
  progress_->hide();
  bar.addWidget(hint_, 1);
  bar.addWidget(progress_);
  bar.addPermanentWidget(scheduler_);
}

void TStatusLine::ShowHint(const QString& text) { hint_->setText(text); }

void TStatusLine::ShowScheduler(const QString& text) { scheduler_->setText(text); }

void TStatusLine::ShowListProgress(int position, int total) {
  if (position < 0) {
    progress_->hide();
    return;
  }
  if (position == 0) {
    scheduler_->setMinimumWidth(200);
    progress_->setRange(0, std::max(total, 1));
    progress_->show();
    // Laid out now: the events that would do it wait until the list is full.
    bar_.layout()->activate();
  }
  progress_->setValue(std::min(position, progress_->maximum()));
  // Painted now: running the event loop here would let another page
  // change refill the list in the middle of this fill.
  bar_.repaint();
}

}  // namespace qlon::shell
