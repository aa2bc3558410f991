#include "DlgUrlVerif.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "Scx.h"
#include "Urlutil.h"

namespace qlon {

TDlgUrlVerif::TDlgUrlVerif(QWidget* parent)
    : QDialog(parent),
      Label1(new QLabel(this)),
      CloseBtn(new QPushButton(QString::fromUtf8("&Fermer"), this)) {
  setWindowTitle(QString::fromUtf8("Vérification de l'existence d'un site"));
  setModal(true);
  Label1->setText(QString::fromUtf8("Vérification de l'existence du site %1 en cours..."));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(CloseBtn, 0, Qt::AlignHCenter);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
}

TDlgUrlVerif::~TDlgUrlVerif() = default;

void TDlgUrlVerif::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Once only: a second activation must not start a second socket.
  if (!Started_) QTimer::singleShot(0, this, [this] { StartTest(); });
}

void TDlgUrlVerif::StartTest() {
  if (Started_) return;
  Started_ = true;
  const TUrl url(Url);
  const std::int32_t port = url.Port > 0 ? url.Port : (url.Protocol == ipFtp ? 21 : 80);
  Url = url.Host;
  Label1->setText(QString::fromUtf8("Vérification de l'existence du site %1 en cours...")
                      .arg(QString::fromStdString(Url)));
  Scx_ = std::make_unique<TSCX>();
  Scx_->OnConnect = [this](TSCX*, const std::string&) { Finish(true); };
  Scx_->OnFail = [this](TSCX*) { Finish(false); };
  // A host that does not resolve cannot be reached either.
  Scx_->OnNoHost = [this](TSCX*) { Finish(false); };
  if (Url.empty() || Scx_->Connect(Url, std::to_string(port), kConnectLimit) == 0) Finish(false);
}

void TDlgUrlVerif::Finish(bool reachable) {
  if (Result_ != vrPending) return;
  Result_ = reachable ? vrReachable : vrUnreachable;
  const QString host = QString::fromStdString(Url);
  Label1->setText(reachable ? QString::fromUtf8("Web %1 : connexion possible").arg(host)
                            : QString::fromUtf8("Imposible de se connecter sur le Web %1").arg(host));
  // The answer is known: the connection is not kept. Freed later, since this
  // runs inside one of the socket's own events.
  if (Scx_) Scx_->Close();
  QTimer::singleShot(0, this, [this] { FreeSocket(); });
}

void TDlgUrlVerif::FreeSocket() { Scx_.reset(); }

void TDlgUrlVerif::done(int result) {
  Started_ = true;  // closed before the test began: it never starts
  FreeSocket();
  QDialog::done(result);
}

}  // namespace qlon
