#include "DlgWeb.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <fstream>

#include "DlgFilter.h"
#include "DlgMime.h"
#include "DlgSysTree.h"
#include "DlgUrlVerif.h"
#include "FiltersView.h"
#include "FormUtil.h"
#include "LocalPath.h"
#include "MessageBox.h"
#include "MimeTree.h"
#include "Setup.h"
#include "Texts.h"
#include "Urlutil.h"
#include "WBrowser.h"
#include "Web.h"
#include "WebFile.h"

namespace qlon::shell {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPageTitles[TDlgWeb::kPageCount] = {
    "URL de départ", "Destination ", "Configuration", "Exploration",
    "Types de fichiers", "Limitations", "Filtres", "Autres options"};
constexpr const char* kDefaultUrl = "http://www.";

QString Utf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

QString HtmlEscaped(const QString& s) { return s.toHtmlEscaped(); }

}  // namespace

TDlgWeb::TDlgWeb(TSetup& setup, QWidget* parent) : TDockForm(parent), setup_(setup) {
  setWindowTitle(QString::fromUtf8("Configuration de la Capture"));
  RunDialog = [](QDialog& dlg) { return dlg.exec() == QDialog::Accepted; };
  AskUrlFile = [this] { return QFileDialog::getOpenFileName(this, QString(), QString(), "*.txt *.htm *.html;;*"); };
  AskFolder = [this](const QString& start) {
    controls::TDlgDir dlg(this);
    dlg.SetPath(start);
    return dlg.Execute() ? dlg.GetPath() : QString();
  };
  VerifyUrl = [this](const std::string& url) {
    TDlgUrlVerif dlg(this);
    dlg.Url = url;
    dlg.exec();
  };
  BrowserCurrentPage = [](std::string& address, std::string& title) {
    return GetBrowser().GetCurrentPage(address, title);
  };
  QVBoxLayout* outer = buildFrame();
  buildPages();
  buildButtons(outer);
  connectUrlPage();
  connectPathAndProfilePages();
  connectTreePages();
  connectFrame();
  loadHistory();
  LoadWeb(nullptr);
}

TDlgWeb::~TDlgWeb() = default;

QString TDlgWeb::PageTitle(int page) {
  return page >= 0 && page < kPageCount ? QString::fromUtf8(kPageTitles[page]) : QString();
}

QVBoxLayout* TDlgWeb::buildFrame() {
  auto* outer = new QVBoxLayout(this);
  TitleLine = new QLabel(this);
  TitleLine->setWordWrap(true);  // a long web title does not widen the form
  outer->addWidget(TitleLine);
  auto* middle = new QHBoxLayout;
  PageList = new QListWidget(this);
  for (int p = 0; p < kPageCount; ++p) PageList->addItem(PageTitle(p));
  // As wide as its longest title.
  PageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  PageList->setFixedWidth(PageList->sizeHintForColumn(0) + 2 * PageList->frameWidth() + 4);
  middle->addWidget(PageList);
  auto* right = new QVBoxLayout;
  HintLabel = new QLabel(this);
  right->addWidget(HintLabel);
  PageStack = new QStackedWidget(this);
  right->addWidget(PageStack, 1);
  middle->addLayout(right, 1);
  outer->addLayout(middle, 1);
  return outer;
}

void TDlgWeb::buildPages() {
  Pages.Url = new TWebUrlPage(PageStack);
  Pages.Path = new TWebPathPage(PageStack);
  Pages.Profile = new TWebProfilePage(PageStack);
  Pages.Explore = new TWebExplorePage(PageStack);
  Pages.Mime = new TWebMimePage(PageStack);
  Pages.Limits = new TWebLimitsPage(PageStack);
  Pages.Filters = new TWebFiltersPage(PageStack);
  Pages.Other = new TWebOtherPage(PageStack);
}

// Made after the pages, so that Tab goes in reading order: the page list,
// the page's controls, then these buttons. Their keys are none of the main
// window's menus (F, W, C, P, O, A), nor the pages' own.
void TDlgWeb::buildButtons(QVBoxLayout* outer) {
  auto* buttons = new QHBoxLayout;
  PrevBtn = new QPushButton(QString::fromUtf8("<P&récédent"), this);
  NextBtn = new QPushButton(QString::fromUtf8("&Suivant>"), this);
  OKBtn = new QPushButton(QString::fromUtf8("OK"), this);
  OKCaptureBtn = new QPushButton(QString::fromUtf8("OK et Cap&turer"), this);
  CancelBtn = new QPushButton(QString::fromUtf8("Annuler"), this);
  buttons->addStretch();
  for (QPushButton* b : {PrevBtn, NextBtn, OKBtn, OKCaptureBtn, CancelBtn}) buttons->addWidget(b);
  outer->addLayout(buttons);
}

void TDlgWeb::connectUrlPage() {
  const TWebUrlPage* page = Pages.Url;
  connect(page->CheckUrlBtn, &QPushButton::clicked, this, [this] {
    if (CheckStartUrl() && VerifyUrl) VerifyUrl(Pages.Url->Url().toStdString());
  });
  connect(page->OpenUrlButton, &QPushButton::clicked, this, [this] {
    const QString file = AskUrlFile ? AskUrlFile() : QString();
    if (!file.isEmpty()) OpenUrlFile(file.toStdString());
  });
  connect(page->BrowserUrlBut, &QPushButton::clicked, this, [this] {
    std::string address, title;
    // The browser may have gone since the page was shown.
    if (!BrowserCurrentPage || !BrowserCurrentPage(address, title) || address.empty()) return refreshBrowserButton();
    Pages.Url->UrlCombo->setEditText(QString::fromStdString(address));
    if (Pages.Url->TitleEdit->text().isEmpty()) Pages.Url->TitleEdit->setText(QString::fromStdString(title));
  });
  QLineEdit* address = page->UrlCombo->lineEdit();
  connect(address, &QLineEdit::editingFinished, this, [this, address] {
    if (address->isModified() && CurrentPage() == pgUrl) {
      address->setModified(false);
      CheckStartUrl();
    }
  });
}

void TDlgWeb::connectPathAndProfilePages() {
  TWebPathPage* path = Pages.Path;
  connect(path->BrowseBtn, &QPushButton::clicked, this, [this, path] {
    const QString folder = AskFolder ? AskFolder(path->PathEdit->text()) : QString();
    if (folder.isEmpty()) return;
    pathEdited_ = true;
    path->PathEdit->setText(folder);
  });
  connect(path->PathEdit, &QLineEdit::textEdited, this, [this] { pathEdited_ = true; });
  connect(Pages.Url->UrlCombo, &QComboBox::editTextChanged, this, [this] { followStartUrl(); });
  QComboBox* profiles = Pages.Profile->DefaultCombo;
  connect(profiles, &QComboBox::activated, this,
          [this, profiles](int index) { ChooseProfile(profiles->itemText(index)); });
}

void TDlgWeb::connectTreePages() {
  TWebMimePage* mime = Pages.Mime;
  connect(mime->MimeAddBtn, &QPushButton::clicked, this, [this] { MimeAddClick(); });
  connect(mime->MimePropBtn, &QPushButton::clicked, this, [this] { MimePropClick(); });
  connect(mime->MimeDeleteBtn, &QPushButton::clicked, this, [this] { MimeDeleteClick(); });
  connect(mime->MimeAllBtn, &QPushButton::clicked, this, [this, mime] {
    mime->WMimeList->EnableAllCategories();
    updateTreeButtons();
  });
  mime->WMimeList->OnClick = [this](controls::WGrid*) { updateTreeButtons(); };
  TWebFiltersPage* filters = Pages.Filters;
  for (const auto& [action, mark] : filters->MarkActions)
    connect(action, &QAction::triggered, this, [this, mark = mark] { FilterMarkClick(mark); });
  filters->FiltersTreeView->OnClick = [this](controls::WGrid*) { updateTreeButtons(); };
  connect(filters->FilterAddBtn, &QPushButton::clicked, this, [this] { FilterAddClick(); });
  connect(filters->FilterEditBtn, &QPushButton::clicked, this, [this] { FilterEditClick(); });
  connect(filters->FilterDeleteBtn, &QPushButton::clicked, this, [this] { FilterDeleteClick(); });
  connect(filters->FilterClearBtn, &QPushButton::clicked, this, [this] { FilterClearClick(); });
}

void TDlgWeb::connectFrame() {
  connect(PageList, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row != CurrentPage() && !GoToPage(row)) {
      const QSignalBlocker block(PageList);
      PageList->setCurrentRow(CurrentPage());
    }
  });
  connect(PrevBtn, &QPushButton::clicked, this, [this] { PrevPage(); });
  connect(NextBtn, &QPushButton::clicked, this, [this] { NextPage(); });
  connect(OKBtn, &QPushButton::clicked, this, [this] { OKClick(false); });
  connect(OKCaptureBtn, &QPushButton::clicked, this, [this] { OKClick(true); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelClick(); });
}

// ---- pages

int TDlgWeb::CurrentPage() const { return PageStack->currentIndex(); }

void TDlgWeb::showPage(int page) {
  PageStack->setCurrentIndex(page);
  {
    const QSignalBlocker block(PageList);
    PageList->setCurrentRow(page);
  }
  HintLabel->setText(page < int(kWizardHints.size()) ? Utf8(TextAt(kWizardHints, page)) : QString());
  PrevBtn->setEnabled(page > 0);
  NextBtn->setEnabled(page < kPageCount - 1);
  if (page == pgUrl) refreshBrowserButton();
  updateTreeButtons();
}

void TDlgWeb::showEvent(QShowEvent* event) {
  TDockForm::showEvent(event);
  if (CurrentPage() == pgUrl) refreshBrowserButton();
}

void TDlgWeb::keyPressEvent(QKeyEvent* event) {
  // Escape is Annuler in the wizard; docked, the window's page stays and
  // the key is the window's.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && (Mode & 1)) {
    CancelClick();
    return;
  }
  TDockForm::keyPressEvent(event);
}

void TDlgWeb::refreshBrowserButton() {
  std::string address, title;
  const bool answers = BrowserCurrentPage && BrowserCurrentPage(address, title) && !address.empty();
  QPushButton* button = Pages.Url->BrowserUrlBut;
  button->setEnabled(answers);
  button->setToolTip(
      answers ? QString::fromUtf8("Prendre l'adresse de la page affichée par le navigateur")
              : QString::fromUtf8("Aucun navigateur ne donne sa page courante : copiez son adresse "
                                  "dans votre navigateur, puis collez-la ici."));
}

void TDlgWeb::updateTreeButtons() {
  Pages.Mime->UpdateButtons();
  Pages.Filters->UpdateButtons();
}

bool TDlgWeb::GoToPage(int page) {
  if (page < 0 || page >= kPageCount) return false;
  if (CurrentPage() == pgUrl && page != pgUrl && !CheckStartUrl()) return false;
  showPage(page);
  return true;
}

// ---- start address

int TDlgWeb::CheckUrlText(std::string_view text) {
  const QString url = Utf8(text).trimmed();
  if (url.isEmpty() || url.compare(kDefaultUrl, Qt::CaseInsensitive) == 0) return 0;
  if (!url.startsWith("http:", Qt::CaseInsensitive) && !url.startsWith("ftp:", Qt::CaseInsensitive) &&
      !url.startsWith("file:", Qt::CaseInsensitive))
    return 2;
  for (QChar c : url)
    if (c.unicode() <= 0x20 || c == '"' || c == '<' || c == '>' || c.unicode() == 0x7F) return 5;
  const TUrl parsed(url.toStdString());
  if (parsed.Protocol != ipHttp && parsed.Protocol != ipFtp && parsed.Protocol != ipFile) return 4;
  if (parsed.Protocol != ipFile && parsed.Host.empty()) return 3;
  return 1;
}

// An address typed or pasted whole after the field's "http://www." keeps
// its own scheme: the prefix was only there to be completed. Its "www."
// goes before a "www." typed again, a numeric address or localhost, which
// no server answers under that name.
static QString WithoutDefaultPrefix(const QString& url) {
  if (!url.startsWith(kDefaultUrl, Qt::CaseInsensitive)) return url;
  const QString rest = url.mid(int(std::string_view(kDefaultUrl).size()));
  for (const char* scheme : {"http:", "ftp:", "file:"})
    if (rest.startsWith(scheme, Qt::CaseInsensitive)) return rest;
  const QString bare = "http://" + rest;
  const TUrl typed(bare.toStdString());
  if (rest.startsWith("www.", Qt::CaseInsensitive) || rest.startsWith('[') || typed.IsNumericHost() ||
      QString::fromStdString(typed.Host).compare("localhost", Qt::CaseInsensitive) == 0)
    return bare;
  return url;
}

bool TDlgWeb::CheckStartUrl() {
  const QString url = WithoutDefaultPrefix(Pages.Url->Url());
  const int verdict = CheckUrlText(url.toStdString());
  if (verdict != 1) {
    platform::MessageBox(std::string(TextAt(kUrlCheckMessages, verdict)), kUrlErrorCaption,
                         platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  history_.Add(url);
  {
    QComboBox* combo = Pages.Url->UrlCombo;
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(history_.Items());
    combo->setEditText(url);
  }
  history_.Save(setup_.WorkPath);
  return true;
}

void TDlgWeb::loadHistory() {
  history_.Load(setup_.WorkPath);
  Pages.Url->UrlCombo->clear();
  Pages.Url->UrlCombo->addItems(history_.Items());
}

fs::path TDlgWeb::MakeUrlPage(const fs::path& textFile) {
  std::ifstream in(textFile, std::ios::binary);
  if (!in) return {};
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  static const QRegularExpression kAddress(QStringLiteral("(?:https?|ftp|file)://[^\\s\"'<>]+"),
                                           QRegularExpression::CaseInsensitiveOption);
  QStringList found;
  for (auto it = kAddress.globalMatch(QString::fromUtf8(text.data(), qsizetype(text.size()))); it.hasNext();)
    found << it.next().captured(0);
  if (found.isEmpty()) return {};
  fs::path page = textFile;
  page.replace_extension(".htm");
  // A page of that name is the user's: the new one takes a free name.
  const std::string free = ReserveUniqueName(page.parent_path(), page.filename().string(), {});
  if (free.empty()) return {};
  page = page.parent_path() / free;
  const QString name = HtmlEscaped(QString::fromStdString(textFile.filename().string()));
  // Addresses come from any text: escaped, so none can add markup.
  QByteArray html = "<html>\r\n<body>\r\n";
  html += QStringLiteral("<title>%1</title><br>\r\n<h2>%1<h2><br>\r\n").arg(name).toUtf8();
  for (const QString& url : found)
    html += QStringLiteral("<a href=\"%1\">%1</a><br>\r\n").arg(HtmlEscaped(url)).toUtf8();
  html += "</body>\r\n</html>";
  QSaveFile out(QString::fromStdString(page.string()));
  if (!out.open(QIODevice::WriteOnly) || out.write(html) != html.size() || !out.commit()) {
    std::error_code ec;
    fs::remove(page, ec);  // the name reserved above
    return {};
  }
  return page;
}

void TDlgWeb::OpenUrlFile(const fs::path& file) {
  fs::path start = file;
  QString ext = QString::fromStdString(file.extension().string());
  if (ext.compare(".txt", Qt::CaseInsensitive) == 0) {
    const std::string ask = "Quillon va générer une page html à partir des URL qu'il va \r\ntrouver dans le fichier " +
                            file.string() + "\r\nVoulez-vous continuer ?";
    if (platform::MessageBox(ask, "Analyse du fichier texte", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
        platform::IDYES)
      return;
    start = MakeUrlPage(file);
    if (start.empty()) {
      platform::MessageBox("Ce fichier texte ne contient pas d'urls ou ne peut être lu par Quillon!", "Erreur",
                           platform::MB_OK | platform::MB_ICONERROR);
      return;
    }
  }
  Pages.Url->UrlCombo->setEditText(QString::fromStdString(PathToFileUrl(fs::absolute(start).string())));
}

// ---- loading and saving

void TDlgWeb::refillProfiles() {
  Pages.Profile->Fill(setup_.Profiles ? setup_.Profiles->GetProfileNames() : std::vector<std::string>(),
                      options_.ProfileName);
}

void TDlgWeb::ChooseProfile(const QString& name) {
  fromControls();
  if (setup_.Profiles && setup_.Profiles->LoadProfile(&options_, name.toStdString())) toControls();
}

void TDlgWeb::LoadWeb(TWeb* web) {
  web_ = web;
  closedWithOk_ = false;
  CaptureRequested = false;
  TWebUrlPage& url = *Pages.Url;
  if (web) {
    options_.Assign(web->Options);
    const TStartEntry* first = web->StartEntries.empty() ? nullptr : &web->StartEntries.front();
    url.UrlCombo->setEditText(QString::fromStdString(first ? first->Url : std::string()));
    url.UserNameEdit->setText(QString::fromStdString(first ? first->User : std::string()));
    url.PasswordEdit->setText(QString::fromStdString(first ? first->Password : std::string()));
    url.TitleEdit->setText(QString::fromStdString(web->GetTitle()));
    fs::path folder = web->Path().parent_path();
    Pages.Path->PathEdit->setText(folder.empty() ? QString() : controls::WithTrailingSlash(QString::fromStdString(folder)));
    TitleLine->setText(QString::fromStdString(web->GetTitle()));
  } else {
    options_.SetDefault(0);
    if (setup_.Profiles) setup_.Profiles->LoadDefaultProfile(&options_);
    options_.UseWebStructureFlag = setup_.UseWebStructure;
    options_.ShortFileNameFlag = setup_.UseShortName;
    const QStringList& history = history_.Items();
    url.UrlCombo->setEditText(history.isEmpty() ? QString::fromUtf8(kDefaultUrl) : history.front());
    url.UserNameEdit->clear();
    url.PasswordEdit->clear();
    url.TitleEdit->clear();
    pathEdited_ = false;
    followStartUrl();
    TitleLine->setText(QString::fromUtf8("Nouveau Web : "));
  }
  // A capture on disk keeps its folder: its files are there. The structure
  // of a capture that holds files is fixed.
  Pages.Path->Fix(web && !web->Path().empty(), web && web->RetrievedCount != 0);
  toControls();
  showPage(pgUrl);
}

void TDlgWeb::toControls() {
  refillProfiles();
  Pages.Path->Show(options_);
  Pages.Explore->Show(options_);
  Pages.Mime->Show(options_);
  Pages.Limits->Show(options_);
  Pages.Filters->Show(options_, web_);
  Pages.Other->Show(options_);
}

void TDlgWeb::fromControls() {
  Pages.Profile->Take(options_);
  Pages.Path->Take(options_);
  Pages.Explore->Take(options_);
  Pages.Mime->Take(options_);
  Pages.Limits->Take(options_);
  Pages.Filters->Take();
  Pages.Other->Take(options_);
}

std::string TDlgWeb::CaptureFolder() const {
  const QString folder = Pages.Path->PathEdit->text().trimmed();
  return folder.isEmpty() ? std::string() : controls::WithTrailingSlash(folder).toStdString();
}

std::string TDlgWeb::DefaultFolder(const std::string& base, const std::string& url) {
  std::string name = CleanNamePart(UnescapeUrl(ShortWebName(url)));
  if (name.empty()) name = "Web";
  const fs::path root = fs::path(base);
  fs::path folder;
  // The number stands apart from the name: "127.0.0.12" would read as
  // another address, "manual2" as another page.
  for (int n = 1; n < 10000; ++n) {
    folder = root / (n == 1 ? name : name + " (" + std::to_string(n) + ")");
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(folder, ec)) || (fs::is_directory(folder, ec) && fs::is_empty(folder, ec)))
      break;
  }
  return folder.string() + "/";
}

void TDlgWeb::followStartUrl() {
  if (web_ || pathEdited_) return;
  const std::string base = setup_.WebPath.empty() ? setup_.WorkPath : setup_.WebPath;
  if (base.empty()) return;
  Pages.Path->PathEdit->setText(QString::fromStdString(DefaultFolder(base, Pages.Url->Url().toStdString())));
}

fs::path TDlgWeb::CaptureFile() const {
  const std::string folder = CaptureFolder();
  return folder.empty() ? fs::path() : fs::path(folder) / "local.web";
}

bool TDlgWeb::ApplyTo(TWeb& web) {
  if (!CheckStartUrl()) {
    showPage(pgUrl);
    return false;
  }
  if (CaptureFolder().empty() || !fs::path(CaptureFolder()).is_absolute()) {
    platform::MessageBox("Vous devez indiquer le répertoire de destination de votre capture!", "Erreur",
                         platform::MB_OK | platform::MB_ICONERROR);
    showPage(pgPath);
    return false;
  }
  const bool onDisk = !web.Path().empty();
  if (onDisk && fs::path(CaptureFolder()).lexically_normal() != (web.Path().parent_path() / "").lexically_normal()) {
    // The capture file and the files stay where they are: a second capture
    // file would start in the new folder while the records name the old one.
    platform::MessageBox("Le répertoire d'une capture enregistrée ne change pas ici : utilisez la commande "
                         "Déplacer... du menu Web.",
                         "Erreur", platform::MB_OK | platform::MB_ICONERROR);
    showPage(pgPath);
    return false;
  }
  setup_.UseWebStructure = Pages.Path->UseWebStructureCheck->isChecked();
  setup_.UseShortName = Pages.Path->UseShortNameCheck->isChecked();
  // The page edits the first start entry; the others were added from the
  // URL lists and stay.
  if (web.StartEntries.empty()) web.StartEntries.emplace_back();
  TStartEntry& first = web.StartEntries.front();
  first.Url = Pages.Url->Url().toStdString();
  first.User = Pages.Url->UserNameEdit->text().toStdString();
  first.Password = Pages.Url->PasswordEdit->text().toStdString();
  const std::string url = first.Url;
  web.StartEntries.erase(std::remove_if(web.StartEntries.begin() + 1, web.StartEntries.end(),
                                        [&](const TStartEntry& e) { return e.Url == url; }),
                         web.StartEntries.end());
  web.SetTitle(Pages.Url->TitleEdit->text().toStdString());
  if (web_ == &web) TitleLine->setText(QString::fromStdString(web.GetTitle()));
  if (!onDisk) web.SetFolder(CaptureFolder());
  fromControls();
  // The structure of a capture is fixed once it holds files.
  if (web.RetrievedCount != 0) options_.UseWebStructureFlag = web.Options.UseWebStructureFlag;
  web.Options.Assign(options_);
  web.ApplyOptions();
  return true;
}

bool TDlgWeb::OKClick(bool andCapture) {
  if (web_) {
    if (!ApplyTo(*web_)) return false;
  } else if (!CheckStartUrl()) {
    showPage(pgUrl);
    return false;
  } else {
    fromControls();
  }
  if (OnAccepted && !OnAccepted(*this)) return false;
  closedWithOk_ = true;
  CaptureRequested = andCapture;
  if (Mode & 1) close();
  if (andCapture && OnStartCapture) OnStartCapture();
  return true;
}

void TDlgWeb::CancelClick() {
  closedWithOk_ = false;
  if (web_) options_.Assign(web_->Options);  // the working copy is dropped
  if (Mode & 1) close();
}

bool TDlgWeb::ExecuteModal() {
  Mode |= 1;
  closedWithOk_ = false;
  setWindowModality(Qt::ApplicationModal);
  // Over the main window, as the program's other dialogs open, rather than
  // wherever the display puts a new window.
  if (!testAttribute(Qt::WA_Moved)) {
    if (!testAttribute(Qt::WA_Resized)) adjustSize();
    controls::CenterWidget(this);
  }
  show();
  // What a person types first is the address.
  activateWindow();
  if (CurrentPage() == pgUrl) Pages.Url->UrlCombo->setFocus(Qt::ActiveWindowFocusReason);
  QEventLoop loop;
  connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
  while (isVisible()) loop.processEvents(QEventLoop::WaitForMoreEvents);
  Mode &= ~1;
  return closedWithOk_;
}

// ---- MIME and filter pages

bool TDlgWeb::runDialog(QDialog& dlg) { return RunDialog && RunDialog(dlg); }

void TDlgWeb::MimeAddClick() {
  TMimeTree* types = Pages.Mime->WMimeList;
  TMimeItem item;
  const int category = types->GetSelectedCategory();
  item.Category = uint8_t(category >= 0 ? category : mcAutre);
  TDlgMime dlg(item, this);
  if (runDialog(dlg)) types->AddMimeItem(item);
  updateTreeButtons();
}

void TDlgWeb::MimePropClick() {
  TMimeTree* types = Pages.Mime->WMimeList;
  const TMimeItem* selected = types->GetSelectedMimeItem();
  if (!selected) return;
  TMimeItem item;
  item.Assign(*selected);
  TDlgMime dlg(item, this);
  if (runDialog(dlg)) types->UpdateSelectedItem(item);
  updateTreeButtons();
}

void TDlgWeb::MimeDeleteClick() {
  TMimeTree* types = Pages.Mime->WMimeList;
  TMimeItem* selected = types->GetSelectedMimeItem();
  if (!selected || !selected->CanDelete()) return;  // built-in or in use
  options_.MimeList().Remove(selected);
  types->Rebuild();
  updateTreeButtons();
}

void TDlgWeb::FilterAddClick() {
  TDlgFilter dlg({}, this);
  if (!runDialog(dlg)) return;
  Pages.Filters->FiltersTreeView->AddFilterPath(dlg.FilterUrl, true);
  updateTreeButtons();
}

void TDlgWeb::FilterEditClick() {
  TFiltersView* tree = Pages.Filters->FiltersTreeView;
  controls::TWTreeNode* node = tree->GetSelectedNode();
  if (!node || node == tree->Root()) return;
  const std::string old = "http://" + TFiltersView::NodePath(node);
  const quint8 mark = TFiltersView::OwnMark(node);
  TDlgFilter dlg(old, this);
  if (!runDialog(dlg)) return;
  tree->RemoveFilterPath(old);
  tree->AddFilterPath(dlg.FilterUrl, mark != kFilterAllowed);
  updateTreeButtons();
}

void TDlgWeb::FilterDeleteClick() {
  TFiltersView* tree = Pages.Filters->FiltersTreeView;
  controls::TWTreeNode* node = tree->GetSelectedNode();
  if (!node || node == tree->Root()) return;
  tree->RemoveFilterPath("http://" + TFiltersView::NodePath(node));
  updateTreeButtons();
}

void TDlgWeb::FilterClearClick() {
  options_.Filters().Clear();
  Pages.Filters->FiltersTreeView->Rebuild();
  updateTreeButtons();
}

void TDlgWeb::FilterMarkClick(int mark) {
  TFiltersView* tree = Pages.Filters->FiltersTreeView;
  controls::TWTreeNode* node = tree->GetSelectedNode();
  if (node && node != tree->Root()) tree->SetNodeMark(node, quint8(mark));
}

}  // namespace qlon::shell
