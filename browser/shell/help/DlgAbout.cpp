#include "DlgAbout.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Gdi.h"
#include "Label3D.h"
#include "Pictures.h"
#include "WBrowser.h"

namespace qlon {

namespace {

constexpr quint32 kLinkColour = 0xFF0000;  // blue, as a COLORREF

void SetInk(QLabel* label, const QColor& colour) {
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, colour);
  label->setPalette(pal);
}

}  // namespace

TDlgAbout::TDlgAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle("A propos...");
  OpenAddress = ShowInBrowser;

  Panel1 = new QFrame(this);
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  QuillonLabel = new controls::TLabel3D(Panel1);
  QuillonLabel->setText("Quillon  98");
  QuillonLabel->SetCaptionStyle(controls::csRecessed);
  QFont big = QuillonLabel->font();
  big.setPointSize(18);
  big.setBold(true);
  QuillonLabel->setFont(big);
  VersionLabel = new controls::TLabel3D(Panel1);
  VersionLabel->SetCaptionStyle(controls::csRecessed);
  Image = new QLabel(Panel1);
  Image->setPixmap(QPixmap::fromImage(shell::ProgramBitmap("QUILLON")));
  Label4 = new QLabel("Pour obtenir d'autres renseignements :", Panel1);
  LabelContact = new QLabel(kContact, Panel1);
  QuillonUrlLabel = new QLabel(kHomePage, Panel1);
  for (QLabel* link : {LabelContact, QuillonUrlLabel}) {
    link->setCursor(Qt::PointingHandCursor);
    SetInk(link, Qt::black);
  }
  for (QWidget* w : std::initializer_list<QWidget*>{Panel1, Label4, LabelContact, QuillonUrlLabel}) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }

  auto* panel = new QVBoxLayout(Panel1);
  panel->addWidget(Image, 0, Qt::AlignHCenter);
  panel->addWidget(QuillonLabel);
  panel->addWidget(VersionLabel);
  panel->addSpacing(8);
  panel->addWidget(Label4);
  panel->addWidget(LabelContact);
  panel->addWidget(QuillonUrlLabel);
  Button1 = new QPushButton("&OK", this);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  auto* top = new QVBoxLayout(this);
  top->addWidget(Panel1);
  top->addWidget(Button1, 0, Qt::AlignHCenter);

  // FormCreate
  VersionLabel->setText(kVersion);
}

void TDlgAbout::LabelContactClick() { OpenAddress("mailto:" + LabelContact->text().toStdString()); }

void TDlgAbout::QuillonUrlLabelClick() { OpenAddress(kHomePage); }

void TDlgAbout::LabelMouseMove(QLabel* label) { SetInk(label, controls::fromColorRef(kLinkColour)); }

void TDlgAbout::Panel1MouseMove() {
  for (QLabel* link : {LabelContact, QuillonUrlLabel})
    if (link->palette().color(QPalette::WindowText) != QColor(Qt::black)) SetInk(link, Qt::black);
}

bool TDlgAbout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == LabelContact || watched == QuillonUrlLabel) {
      LabelMouseMove(static_cast<QLabel*>(watched));
      return true;  // a label ignores the move, which would reach the panel and undo this
    }
    Panel1MouseMove();
  } else if (event->type() == QEvent::MouseButtonRelease) {
    if (watched == LabelContact) LabelContactClick();
    if (watched == QuillonUrlLabel) QuillonUrlLabelClick();
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace qlon
