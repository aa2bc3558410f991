#include "CapturePage.h"

#include <algorithm>

#include <QGridLayout>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

#include "Setup.h"
#include "WSList.h"
#include "WUrlList.h"
#include "Web.h"

namespace qlon::shell {

TCapturePage::TCapturePage(TSetup& setup, QWidget* parent) : QFrame(parent), setup_(setup) {
  setObjectName("CaptureFrame");
  auto* capture = new QVBoxLayout(this);
  capture->setContentsMargins(0, 0, 0, 0);
  // Counters, then the requests and the connections.
  auto* counters = new QGridLayout;
  auto counter = [&](int column, const char* name, const QString& caption) {
    auto* l = new QLabel(caption, this);
    auto* v = new QLabel(this);
    v->setObjectName(name);
    v->setFrameShape(QFrame::Panel);
    v->setFrameShadow(QFrame::Sunken);
    v->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    v->setMinimumWidth(60);
    counters->addWidget(l, 0, column);
    counters->addWidget(v, 1, column);
    return v;
  };
  LinkCountLabel = counter(0, "LinkCountLabel", "Liens");
  ToRetrieveCountLabel = counter(1, "ToRetrieveCountLabel", "A capturer");
  FilteredCountLabel = counter(2, "FilteredCountLabel", "Ignorés");
  ErrorCountLabel = counter(3, "ErrorCountLabel", "Erreurs");
  ToUpdateCountLabel = counter(4, "ToUpdateCountLabel", "A mettre à jour");
  CapturedCountLabel = counter(5, "CapturedCountLabel", "Capturés");
  ElapsedLabel = counter(6, "ElapsedLabel", "Durée");
  capture->addLayout(counters);
  CaptureSplitter = new QSplitter(Qt::Vertical, this);
  RequestList = new TWUrlList(usRequest, usRequest, CaptureSplitter);
  RequestList->setObjectName("RequestList");
  RequestList->SetStyle(usRequest);
  SocketsFrame = new QFrame(CaptureSplitter);
  SocketsFrame->setObjectName("SocketsFrame");
  auto* sockets = new QVBoxLayout(SocketsFrame);
  sockets->setContentsMargins(0, 0, 0, 0);
  SocketList = new TWSocketList(SocketsFrame);
  SocketList->setObjectName("SocketList");
  sockets->addWidget(SocketList);
  CaptureSplitter->addWidget(RequestList);
  CaptureSplitter->addWidget(SocketsFrame);
  // The two lists follow the page's height in the proportion last left
  // (equal factors), neither ever squeezed out; the connections never take
  // more than their rows.
  CaptureSplitter->setChildrenCollapsible(false);
  CaptureSplitter->setStretchFactor(0, 1);
  CaptureSplitter->setStretchFactor(1, 1);
  RequestList->setMinimumHeight(4 * RequestList->DefaultRowHeight());
  capture->addWidget(CaptureSplitter, 1);
  FitSockets();
}

void TCapturePage::FitSockets() {
  // The caption row and at least three connections whole, at most every row.
  const int row = SocketList->DefaultRowHeight(), frame = 2 * SocketList->frameWidth();
  const int rows = SocketList->RowCount();
  SocketsFrame->setMinimumHeight(std::min(rows, 1 + 3) * row + frame);
  SocketsFrame->setMaximumHeight(rows * row + frame);
}

void TCapturePage::ShowPage() {
  show();
  SocketList->SetSocketCount(setup_.MaxSockets);
  FitSockets();
}

void TCapturePage::SetWeb(TWeb* web) {
  // The duration shown is of a run of the web open: another web starts blank.
  ElapsedLabel->clear();
  RequestList->SetWeb(web);
}

void TCapturePage::UpdateCountLabels(const TWeb* web) {
  auto show = [](QLabel* label, uint64_t n) { label->setText(QString::number(n) + " "); };
  if (!web) {
    for (QLabel* l : {LinkCountLabel, ToRetrieveCountLabel, FilteredCountLabel, ErrorCountLabel, ToUpdateCountLabel,
                      CapturedCountLabel})
      l->clear();
    return;
  }
  show(LinkCountLabel, web->GetCount());
  show(ToRetrieveCountLabel, web->WaitingToCapture());
  show(FilteredCountLabel, web->FilteredCount);
  show(ErrorCountLabel, web->ErrorCount + web->NotFoundCount);
  show(ToUpdateCountLabel, web->WaitingToUpdate());
  show(CapturedCountLabel, web->RetrievedCount);
}

void TCapturePage::ShowElapsed(const std::string& text) { ElapsedLabel->setText(QString::fromStdString(text)); }

void TCapturePage::ClearRunLists() {
  RequestList->Reload();
  SocketList->Clear();
}

void TCapturePage::ResetWeb(TWeb* web) {
  ElapsedLabel->clear();
  RequestList->SetWeb(web);
  SocketList->Clear();
}

void TCapturePage::RecordChanged(const TWebFile& record) { RequestList->WebFileChanged(record); }

void TCapturePage::SaveLayout() { setup_.SocketsFrameHeight = SocketsFrame->height(); }

void TCapturePage::RestoreLayout() {
  SocketList->SetSocketCount(setup_.MaxSockets);
  FitSockets();
  // A stored height, else every connection's row.
  const int sockets = setup_.SocketsFrameHeight > 0 ? setup_.SocketsFrameHeight : SocketsFrame->maximumHeight();
  CaptureSplitter->setSizes({std::max(1, setup_.Height), sockets});
}

}  // namespace qlon::shell
