#include "DlgHelp.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "DlgAbout.h"
#include "DlgPrint.h"
#include "Htmlview.h"
#include "MenusEx.h"
#include "Pictures.h"
#include "WBrowser.h"
#include "WinHelp.h"
#include "vwPrint.h"

namespace qlon {

namespace {

QString gHelpFolder;
IHelpHost* gHost = nullptr;
TDlgHelp* gHelp = nullptr;

bool DefaultConfirmPrint(QWidget* parent) {
  QPrinter printer;
  QPrintDialog dialog(&printer, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  viewer::PrinterSelection().PrinterName = printer.printerName();
  viewer::PrinterSelection().OutputFile = printer.outputFileName();
  return true;
}

}  // namespace

QString HelpFolder() {
  return gHelpFolder.isEmpty() ? QCoreApplication::applicationDirPath() + "/help/" : gHelpFolder;
}

void SetHelpFolder(const QString& folder) {
  gHelpFolder = folder.isEmpty() || folder.endsWith('/') ? folder : folder + '/';
}

QString HelpTopicPage(int topic) {
  QString page = "index.htm";
  const QString digits = QString::number(topic);
  if (topic > 0) {
    page = QString("Chap%1.htm").arg(digits[0]);
    if (digits.size() > 1) {
      page += QString("#%1").arg(digits[0]);
      for (qsizetype i = 1; i < digits.size() && digits[i] != '0'; ++i) page += QString(".%1").arg(digits[i]);
    }
  }
  return HelpFolder() + page;
}

TDlgHelp::TDlgHelp(QWidget* parent) : TDockForm(parent) {
  setObjectName("DlgHelp");
  setWindowTitle("Aide");
  QFont arial("Arial");
  arial.setPointSize(8);
  setFont(arial);
  OpenAddress = ShowInBrowser;
  ConfirmPrint = DefaultConfirmPrint;
  Print = [this](const QString& title, const QStringList& files) { TDlgPrint::PrintFiles(title, files, this); };

  BkPanel = new QFrame(this);
  CaptionImage = new QLabel(BkPanel);
  CaptionImage->setPixmap(QPixmap::fromImage(shell::ProgramBitmap("BARBLUE")));
  CaptionImage->setScaledContents(true);
  CaptionImage->setFixedHeight(6);
  EtapeLabel = new QLabel("Aide", BkPanel);
  QFont bold = EtapeLabel->font();
  bold.setBold(true);
  EtapeLabel->setFont(bold);
  InfoLabel = new QLabel(BkPanel);
  PrintBtn = new QToolButton(BkPanel);
  PrintBtn->setText("Imprimer");
  PrintBtn->setPopupMode(QToolButton::InstantPopup);
  PrintPopupMenu = new controls::TPopupMenuEx(this);
  MenuPrintPage = PrintPopupMenu->addAction("La page courante...");
  MenuAllPrint = PrintPopupMenu->addAction("Tout l'aide...");
  PrintBtn->setMenu(PrintPopupMenu);
  connect(MenuPrintPage, &QAction::triggered, this, &TDlgHelp::MenuPrintPageClick);
  connect(MenuAllPrint, &QAction::triggered, this, &TDlgHelp::MenuAllPrintClick);
  HelpPanel = new QFrame(BkPanel);
  HelpPanel->setFrameShape(QFrame::Panel);
  HelpPanel->setFrameShadow(QFrame::Sunken);
  PaletteImage = new QLabel(BkPanel);
  PaletteImage->setPixmap(QPixmap::fromImage(shell::ProgramBitmap("PALETTEBMP")));
  PaletteImage->hide();

  auto* head = new QHBoxLayout;
  head->addWidget(EtapeLabel);
  head->addWidget(InfoLabel, 1);
  head->addWidget(PrintBtn);
  auto* bk = new QVBoxLayout(BkPanel);
  bk->setContentsMargins(4, 4, 4, 4);
  bk->addWidget(CaptionImage);
  bk->addLayout(head);
  bk->addWidget(HelpPanel, 1);
  auto* top = new QVBoxLayout(this);
  top->setContentsMargins(0, 0, 0, 0);
  top->addWidget(BkPanel);

  // FormCreate
  Viewer = new viewer::THTMLViewer(HelpPanel);
  auto* client = new QVBoxLayout(HelpPanel);
  client->setContentsMargins(1, 1, 1, 1);
  client->addWidget(Viewer);
  Viewer->show();
  Viewer->SetUsePalette(false);
  Viewer->SetViewImages(true);
  Viewer->OnProcessing = [this](viewer::THTMLViewer& v, bool on) {
    if (on) return;
    InfoLabel->setText(v.GetDocumentTitle());
    if (OnPageChange) OnPageChange(v.GetCurrentFile());
  };
  Viewer->OnHotSpotClick = [this](viewer::THTMLViewer&, const QString& url, bool& handled) {
    const QString link = url.trimmed();
    const QUrl parsed(link);
    if (link.compare(kMakerHost, Qt::CaseInsensitive) != 0 &&
        parsed.host().compare(kMakerHost, Qt::CaseInsensitive) != 0)
      return;
    OpenAddress(TDlgAbout::kHomePage);
    handled = true;
  };
  Viewer->SetDefFontName(font().family());
  viewer::THTMLViewer::SetPaletteBitmap(PaletteImage->pixmap().toImage());
}

TDlgHelp::~TDlgHelp() {
  if (gHelp == this) gHelp = nullptr;
}

void TDlgHelp::OpenPage(const QString& name) {
  const qsizetype hash = name.indexOf('#');
  const QString file = hash < 0 ? name : name.left(hash);
  const QString anchor = hash < 0 ? QString() : name.mid(hash + 1);
  if (file.compare(Viewer->GetCurrentFile(), Qt::CaseInsensitive) != 0) {
    QCoreApplication::processEvents();
    // A missing page leaves the one shown in place.
    if (!QFileInfo(file).isFile()) return;
    try {
      Viewer->LoadFromFile(file);
    } catch (const std::exception&) {
      return;  // what was read is shown; the help has nothing to add
    }
    if (!anchor.isEmpty()) Viewer->PositionTo(anchor);
    return;
  }
  if (!anchor.isEmpty()) Viewer->PositionTo(anchor);
  if (OnPageChange) OnPageChange(Viewer->GetCurrentFile());
}

void TDlgHelp::MenuPrintPageClick() {
  if (Viewer->GetCurrentFile().isEmpty() || !ConfirmPrint(this)) return;
  Print(Viewer->GetDocumentTitle(), {Viewer->GetCurrentFile()});
}

void TDlgHelp::MenuAllPrintClick() {
  if (!ConfirmPrint(this)) return;
  QStringList pages;
  for (int topic = 0; topic <= 5; ++topic) pages << HelpTopicPage(topic);
  Print("Aide en ligne de Quillon 98", pages);
}

void SetHelpHost(IHelpHost* host) { gHost = host; }

TDlgHelp* HelpWindow() { return gHelp; }

void ShowHelp(const QString& page, bool docked) {
  docked = docked && gHost && gHost->HelpFrame();
  if (!gHelp) gHelp = new TDlgHelp(nullptr);
  if (docked != gHelp->Docked()) {
    gHelp->SetDocked(docked, docked ? gHost->HelpFrame() : nullptr, alClient);
    IHelpHost* host = gHost;
    gHelp->OnPageChange = docked ? std::function<void(const QString&)>(
                                       [host](const QString& file) { host->HelpPageChanged(file); })
                                 : nullptr;
  }
  gHelp->OpenPage(page);
  gHelp->show();
}

void ShowHelpTopic(int topic, bool docked, bool html) {
  const QString helpFile = HelpFolder() + "Aide.hlp";
  if (!html && QFileInfo(helpFile).isFile()) {
    platform::WinHelp(helpFile.toStdString(), platform::HELP_CONTEXT, uintptr_t(topic));
    return;
  }
  ShowHelp(HelpTopicPage(topic), docked);
}

void FreeHelp() { delete gHelp; }

}  // namespace qlon
