#include "DlgWeb.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSpinBox>
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

QSpinBox* NewSpin(QWidget* parent, int max) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(0, max);
  return spin;
}

// A limit: its box is on when the value is at least 1, and its number is
// editable only then.
void SetLimit(QCheckBox* check, QSpinBox* spin, int value) {
  check->setChecked(value >= 1);
  spin->setValue(value >= 1 ? value : 0);
  spin->setEnabled(value >= 1);
}
int32_t GetLimit(const QCheckBox* check, const QSpinBox* spin) { return check->isChecked() ? spin->value() : 0; }

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
  buildPages();
  loadHistory();
  LoadWeb(nullptr);
}

TDlgWeb::~TDlgWeb() = default;

QString TDlgWeb::PageTitle(int page) {
  return page >= 0 && page < kPageCount ? QString::fromUtf8(kPageTitles[page]) : QString();
}

void TDlgWeb::buildPages() {
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
  Pages = new QStackedWidget(this);
  right->addWidget(Pages, 1);
  middle->addLayout(right, 1);
  outer->addLayout(middle, 1);

  auto newPage = [this] {
    auto* page = new QWidget(Pages);
    Pages->addWidget(page);
    return page;
  };
  auto check = [](QWidget* page, const char* text) { return new QCheckBox(QString::fromUtf8(text), page); };
  auto button = [](QWidget* page, const char* text) { return new QPushButton(QString::fromUtf8(text), page); };
  // A tree page: the tree on the left, its buttons in a column beside it.
  auto treeWithButtons = [&](QGridLayout* grid, QWidget* tree,
                             std::initializer_list<std::pair<QPushButton**, const char*>> buttons) {
    grid->addWidget(tree, 0, 0, 5, 1);
    int row = 0;
    for (const auto& [slot, text] : buttons) {
      *slot = button(tree->parentWidget(), text);
      grid->addWidget(*slot, row++, 1);
    }
  };

  {  // URL de départ
    QWidget* page = newPage();
    auto* form = new QFormLayout(page);
    UrlCombo = new QComboBox(page);
    UrlCombo->setEditable(true);
    UrlCombo->setMaxCount(kHistoryMax);
    // A long address of the history does not widen the form.
    UrlCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    UrlCombo->setMinimumContentsLength(24);
    UserNameEdit = new QLineEdit(page);
    PasswordEdit = new QLineEdit(page);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    Url_TitleEdit = new QLineEdit(page);
    form->addRow(QString::fromUtf8("Url de départ :"), UrlCombo);
    form->addRow(QString::fromUtf8("Nom d'utilisateur :"), UserNameEdit);
    form->addRow(QString::fromUtf8("Mot de passe :"), PasswordEdit);
    form->addRow(QString::fromUtf8("Titre :"), Url_TitleEdit);
    auto* row = new QHBoxLayout;
    CheckUrlBtn = button(page, "&Vérifier...");
    OpenUrlButton = button(page, "F&ichier...");
    BrowserUrlBut = button(page, "&Url courante du navigateur");
    for (QPushButton* b : {CheckUrlBtn, OpenUrlButton, BrowserUrlBut}) row->addWidget(b);
    form->addRow(row);
    connect(CheckUrlBtn, &QPushButton::clicked, this, [this] {
      if (CheckStartUrl() && VerifyUrl) VerifyUrl(UrlCombo->currentText().trimmed().toStdString());
    });
    connect(OpenUrlButton, &QPushButton::clicked, this, [this] {
      const QString file = AskUrlFile ? AskUrlFile() : QString();
      if (!file.isEmpty()) OpenUrlFile(file.toStdString());
    });
    connect(BrowserUrlBut, &QPushButton::clicked, this, [this] {
      std::string address, title;
      // The browser may have gone since the page was shown.
      if (!BrowserCurrentPage || !BrowserCurrentPage(address, title) || address.empty())
        return refreshBrowserButton();
      UrlCombo->setEditText(QString::fromStdString(address));
      if (Url_TitleEdit->text().isEmpty()) Url_TitleEdit->setText(QString::fromStdString(title));
    });
    connect(UrlCombo->lineEdit(), &QLineEdit::editingFinished, this, [this] {
      if (UrlCombo->lineEdit()->isModified() && CurrentPage() == pgUrl) {
        UrlCombo->lineEdit()->setModified(false);
        CheckStartUrl();
      }
    });
  }
  {  // Destination
    QWidget* page = newPage();
    auto* v = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    Path_PathEdit = new QLineEdit(page);
    Path_BrowseBtn = button(page, "Parco&urir...");
    row->addWidget(Path_PathEdit, 1);
    row->addWidget(Path_BrowseBtn);
    v->addLayout(row);
    Path_FixedLabel = new QLabel(
        QString::fromUtf8("La capture est enregistrée dans ce répertoire : pour la changer de répertoire, "
                          "utilisez la commande Déplacer... du menu Web."),
        page);
    Path_FixedLabel->setWordWrap(true);
    v->addWidget(Path_FixedLabel);
    Path_UseWebStructureCheck = check(page, "Respecter la structure des sites Web");
    Path_UseShortNameCheck = check(page, "Utiliser des noms de fichiers courts (8.3)");
    v->addWidget(Path_UseWebStructureCheck);
    v->addWidget(Path_UseShortNameCheck);
    v->addStretch();
    connect(Path_BrowseBtn, &QPushButton::clicked, this, [this] {
      const QString folder = AskFolder ? AskFolder(Path_PathEdit->text()) : QString();
      if (folder.isEmpty()) return;
      pathEdited_ = true;
      Path_PathEdit->setText(folder);
    });
    connect(Path_PathEdit, &QLineEdit::textEdited, this, [this] { pathEdited_ = true; });
    connect(UrlCombo, &QComboBox::editTextChanged, this, [this] { followStartUrl(); });
  }
  {  // Configuration
    QWidget* page = newPage();
    auto* form = new QFormLayout(page);
    Profile_DefaultCombo = new QComboBox(page);
    form->addRow(QString::fromUtf8("Configuration-type :"), Profile_DefaultCombo);
    connect(Profile_DefaultCombo, &QComboBox::activated, this,
            [this](int index) { ChooseProfile(Profile_DefaultCombo->itemText(index)); });
  }
  {  // Exploration
    QWidget* page = newPage();
    auto* form = new QFormLayout(page);
    Explore_InternalPathLimitCheck = check(page, "Rester dans le répertoire de départ");
    Explore_ExternalPathLimitCheck = check(page, "Rester dans le répertoire des sites externes");
    Explore_InternalLinkDepthUpDown = NewSpin(page, 32767);
    Explore_ExternalWebDepthUpDown = NewSpin(page, 32767);
    Explore_ExternalLinkDepthUpDown = NewSpin(page, 32767);
    DomainMachineNotCheck = check(page, "Ne pas distinguer les machines d'un même domaine");
    form->addRow(Explore_InternalPathLimitCheck);
    form->addRow(Explore_ExternalPathLimitCheck);
    form->addRow(QString::fromUtf8("Niveaux de liens dans le site :"), Explore_InternalLinkDepthUpDown);
    form->addRow(QString::fromUtf8("Niveaux de sites externes :"), Explore_ExternalWebDepthUpDown);
    form->addRow(QString::fromUtf8("Niveaux de liens dans les sites externes :"), Explore_ExternalLinkDepthUpDown);
    form->addRow(DomainMachineNotCheck);
  }
  {  // Types de fichiers
    QWidget* page = newPage();
    auto* grid = new QGridLayout(page);
    WMimeList = new TMimeTree(page);
    treeWithButtons(grid, WMimeList, {{&MimeAddBtn, "A&jouter..."}, {&MimePropBtn, "Propr&iétés..."},
                                      {&MimeDeleteBtn, "Supprim&er"}, {&MimeAllBtn, "To&ut capturer"}});
    ExtensionFilterCheck = check(page, "Reconnaître les types par l'extension des fichiers");
    NewMimeValidStateCheck = check(page, "Capturer les nouveaux types rencontrés");
    grid->addWidget(ExtensionFilterCheck, 5, 0, 1, 2);
    grid->addWidget(NewMimeValidStateCheck, 6, 0, 1, 2);
    connect(MimeAddBtn, &QPushButton::clicked, this, [this] { MimeAddClick(); });
    connect(MimePropBtn, &QPushButton::clicked, this, [this] { MimePropClick(); });
    connect(MimeDeleteBtn, &QPushButton::clicked, this, [this] { MimeDeleteClick(); });
    connect(MimeAllBtn, &QPushButton::clicked, this, [this] {
      WMimeList->EnableAllCategories();
      updateTreeButtons();
    });
    WMimeList->OnClick = [this](controls::WGrid*) { updateTreeButtons(); };
  }
  {  // Limitations
    QWidget* page = newPage();
    auto* grid = new QGridLayout(page);
    auto limit = [&](int row, const char* text, const char* unit, QCheckBox*& box, QSpinBox*& spin) {
      box = check(page, text);
      spin = NewSpin(page, 32767);
      grid->addWidget(box, row, 0);
      grid->addWidget(spin, row, 1);
      grid->addWidget(new QLabel(QString::fromUtf8(unit), page), row, 2);
      connect(box, &QCheckBox::toggled, spin, [spin](bool on) {
        spin->setEnabled(on);
        if (on && spin->value() < 1) spin->setValue(1);
      });
    };
    limit(0, "Nombre maximum de fichiers", "", MaxFileCountCheck, MaxFileCountEdit);
    limit(1, "Taille maximum sur le disque", "Mo", MaxDiskSizeCheck, MaxDiskSizeEdit);
    limit(2, "Taille minimum des fichiers", "Ko", MinFileSizeCheck, MinFileSizeEdit);
    limit(3, "Taille maximum des fichiers", "Ko", MaxFileSizeCheck, MaxFileSizeEdit);
    grid->setRowStretch(4, 1);
  }
  {  // Filtres
    QWidget* page = newPage();
    auto* grid = new QGridLayout(page);
    FiltersTreeView = new TFiltersView(page);
    treeWithButtons(grid, FiltersTreeView, {{&FilterAddBtn, "A&jouter..."}, {&FilterEditBtn, "&Modifier..."},
                                            {&FilterDeleteBtn, "Supprim&er"}, {&FilterClearBtn, "Tout supprimer"}});
    FiltersTreeView->setContextMenuPolicy(Qt::ActionsContextMenu);
    const std::pair<const char*, int> marks[] = {{"Exclure", 2}, {"Inclure", 1}, {"Aucun", 0}};
    for (const auto& [text, mark] : marks) {
      auto* action = new QAction(QString::fromUtf8(text), FiltersTreeView);
      connect(action, &QAction::triggered, this, [this, mark = mark] { FilterMarkClick(mark); });
      FiltersTreeView->addAction(action);
    }
    FiltersTreeView->OnClick = [this](controls::WGrid*) { updateTreeButtons(); };
    connect(FilterAddBtn, &QPushButton::clicked, this, [this] { FilterAddClick(); });
    connect(FilterEditBtn, &QPushButton::clicked, this, [this] { FilterEditClick(); });
    connect(FilterDeleteBtn, &QPushButton::clicked, this, [this] { FilterDeleteClick(); });
    connect(FilterClearBtn, &QPushButton::clicked, this, [this] { FilterClearClick(); });
  }
  {  // Autres options
    QWidget* page = newPage();
    auto* v = new QVBoxLayout(page);
    RealLinkCheck = check(page, "Conserver les liens réels");
    SuppressLinkCheck = check(page, "Supprimer les liens vers les fichiers non capturés");
    RefLimitCheck = check(page, "Limiter aux pages référencées");
    BackgroundOnlyCheck = check(page, "Capturer uniquement les images de fond");
    DownloadFTPCheck = check(page, "Capturer les fichiers FTP");
    DownLoadVrmlCheck = check(page, "Capturer les mondes VRML");
    DownLoadAppletJavaCheck = check(page, "Capturer les applets Java");
    VignetteCheck = check(page, "Créer les vignettes des pages");
    NotExploreFrameCheck = check(page, "Ne pas explorer les cadres");
    for (QCheckBox* b : {RealLinkCheck, SuppressLinkCheck, RefLimitCheck, BackgroundOnlyCheck, DownloadFTPCheck,
                         DownLoadVrmlCheck, DownLoadAppletJavaCheck, VignetteCheck, NotExploreFrameCheck})
      v->addWidget(b);
    auto* row = new QHBoxLayout;
    MaxTimeCheck = check(page, "Durée maximum de la capture");
    MaxTimeUpDown = NewSpin(page, 32767);
    row->addWidget(MaxTimeCheck);
    row->addWidget(MaxTimeUpDown);
    row->addWidget(new QLabel(QString::fromUtf8("minutes"), page));
    v->addLayout(row);
    v->addStretch();
    connect(MaxTimeCheck, &QCheckBox::toggled, MaxTimeUpDown, &QSpinBox::setEnabled);
  }

  // Made after the pages, so that Tab goes in reading order: the page
  // list, the page's controls, then these buttons. Their keys are none of
  // the main window's menus (F, W, C, P, O, A), nor the pages' own.
  auto* buttons = new QHBoxLayout;
  PrevBtn = new QPushButton(QString::fromUtf8("<P&récédent"), this);
  NextBtn = new QPushButton(QString::fromUtf8("&Suivant>"), this);
  OKBtn = new QPushButton(QString::fromUtf8("OK"), this);
  OKCaptureBtn = new QPushButton(QString::fromUtf8("OK et Cap&turer"), this);
  CancelBtn = new QPushButton(QString::fromUtf8("Annuler"), this);
  buttons->addStretch();
  for (QPushButton* b : {PrevBtn, NextBtn, OKBtn, OKCaptureBtn, CancelBtn}) buttons->addWidget(b);
  outer->addLayout(buttons);

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

int TDlgWeb::CurrentPage() const { return Pages->currentIndex(); }

void TDlgWeb::showPage(int page) {
  Pages->setCurrentIndex(page);
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
  BrowserUrlBut->setEnabled(answers);
  BrowserUrlBut->setToolTip(
      answers ? QString::fromUtf8("Prendre l'adresse de la page affichée par le navigateur")
              : QString::fromUtf8("Aucun navigateur ne donne sa page courante : copiez son adresse "
                                  "dans votre navigateur, puis collez-la ici."));
}

void TDlgWeb::updateTreeButtons() {
  // What the buttons act on: the selected type, the selected filter node.
  const TMimeItem* type = WMimeList->GetSelectedMimeItem();
  MimePropBtn->setEnabled(type != nullptr);
  MimeDeleteBtn->setEnabled(type && type->CanDelete());
  const controls::TWTreeNode* node = FiltersTreeView->GetSelectedNode();
  const bool filter = node && node != FiltersTreeView->Root();
  FilterEditBtn->setEnabled(filter);
  FilterDeleteBtn->setEnabled(filter);
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

bool TDlgWeb::CheckStartUrl() {
  const QString url = UrlCombo->currentText().trimmed();
  const int verdict = CheckUrlText(url.toStdString());
  if (verdict != 1) {
    platform::MessageBox(std::string(TextAt(kUrlCheckMessages, verdict)), kUrlErrorCaption,
                         platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  history_.removeAll(url);
  history_.prepend(url);
  while (history_.size() > kHistoryMax) history_.removeLast();
  {
    const QSignalBlocker block(UrlCombo);
    UrlCombo->clear();
    UrlCombo->addItems(history_);
    UrlCombo->setEditText(url);
  }
  saveHistory();
  return true;
}

void TDlgWeb::loadHistory() {
  history_.clear();
  std::ifstream in(fs::path(setup_.WorkPath) / kHistoryFile, std::ios::binary);
  std::string line;
  while (history_.size() < kHistoryMax && std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const QString url = QString::fromStdString(line).trimmed();
    if (!url.isEmpty() && !history_.contains(url)) history_ << url;
  }
  UrlCombo->clear();
  UrlCombo->addItems(history_);
}

void TDlgWeb::saveHistory() const {
  if (setup_.WorkPath.empty()) return;
  QSaveFile file(QString::fromStdString((fs::path(setup_.WorkPath) / kHistoryFile).string()));
  if (!file.open(QIODevice::WriteOnly)) return;
  for (const QString& url : history_) file.write(url.toUtf8() + "\r\n");
  file.commit();
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
  UrlCombo->setEditText(QString::fromStdString(PathToFileUrl(fs::absolute(start).string())));
}

// ---- loading and saving

void TDlgWeb::refillProfiles() {
  const QSignalBlocker block(Profile_DefaultCombo);
  Profile_DefaultCombo->clear();
  if (setup_.Profiles)
    for (const std::string& name : setup_.Profiles->GetProfileNames())
      Profile_DefaultCombo->addItem(QString::fromStdString(name));
  const int at = Profile_DefaultCombo->findText(QString::fromStdString(options_.ProfileName));
  Profile_DefaultCombo->setCurrentIndex(at >= 0 ? at : 0);
}

void TDlgWeb::ChooseProfile(const QString& name) {
  fromControls();
  if (setup_.Profiles && setup_.Profiles->LoadProfile(&options_, name.toStdString())) toControls();
}

void TDlgWeb::LoadWeb(TWeb* web) {
  web_ = web;
  closedWithOk_ = false;
  CaptureRequested = false;
  if (web) {
    options_.Assign(web->Options);
    const TStartEntry* first = web->StartEntries.empty() ? nullptr : &web->StartEntries.front();
    UrlCombo->setEditText(QString::fromStdString(first ? first->Url : std::string()));
    UserNameEdit->setText(QString::fromStdString(first ? first->User : std::string()));
    PasswordEdit->setText(QString::fromStdString(first ? first->Password : std::string()));
    Url_TitleEdit->setText(QString::fromStdString(web->GetTitle()));
    fs::path folder = web->Path().parent_path();
    Path_PathEdit->setText(folder.empty() ? QString() : controls::WithTrailingSlash(QString::fromStdString(folder)));
    TitleLine->setText(QString::fromStdString(web->GetTitle()));
  } else {
    options_.SetDefault(0);
    if (setup_.Profiles) setup_.Profiles->LoadDefaultProfile(&options_);
    options_.UseWebStructureFlag = setup_.UseWebStructure;
    options_.ShortFileNameFlag = setup_.UseShortName;
    UrlCombo->setEditText(history_.isEmpty() ? QString::fromUtf8(kDefaultUrl) : history_.front());
    UserNameEdit->clear();
    PasswordEdit->clear();
    Url_TitleEdit->clear();
    pathEdited_ = false;
    followStartUrl();
    TitleLine->setText(QString::fromUtf8("Nouveau Web : "));
  }
  // A capture on disk keeps its folder: its files are there.
  const bool fixed = web && !web->Path().empty();
  Path_PathEdit->setReadOnly(fixed);
  Path_BrowseBtn->setEnabled(!fixed);
  Path_FixedLabel->setVisible(fixed);
  // The structure of a capture that holds files is fixed.
  Path_UseWebStructureCheck->setEnabled(!web || web->RetrievedCount == 0);
  toControls();
  showPage(pgUrl);
}

void TDlgWeb::toControls() {
  const TOptions& o = options_;
  refillProfiles();
  Path_UseWebStructureCheck->setChecked(o.UseWebStructureFlag);
  Path_UseShortNameCheck->setChecked(o.ShortFileNameFlag);
  Explore_InternalPathLimitCheck->setChecked(o.InternalPathLimit);
  Explore_ExternalPathLimitCheck->setChecked(o.ExternalPathLimit);
  Explore_InternalLinkDepthUpDown->setValue(o.InternalLinkDepth);
  Explore_ExternalWebDepthUpDown->setValue(o.ExternalWebDepth);
  Explore_ExternalLinkDepthUpDown->setValue(o.ExternalLinkDepth);
  DomainMachineNotCheck->setChecked(!o.CheckDomainMachineFlag);
  WMimeList->SetMimeList(&options_.MimeList());
  WMimeList->Rebuild();
  ExtensionFilterCheck->setChecked(o.ExtensionFilterFlag);
  NewMimeValidStateCheck->setChecked(o.NewMimeValidStateFlag);
  SetLimit(MaxFileCountCheck, MaxFileCountEdit, o.MaxFileCount);
  SetLimit(MaxDiskSizeCheck, MaxDiskSizeEdit, o.MaxDiskSize);
  SetLimit(MinFileSizeCheck, MinFileSizeEdit, o.MinFileSize);
  SetLimit(MaxFileSizeCheck, MaxFileSizeEdit, o.MaxFileSize);
  FiltersTreeView->SetData(&options_.Filters(), web_);
  RealLinkCheck->setChecked(o.RealLinkFlag);
  SuppressLinkCheck->setChecked(o.SuppressLinkFlag);
  RefLimitCheck->setChecked(o.RefLimit);
  BackgroundOnlyCheck->setChecked(o.BackgroundOnlyFlag);
  DownloadFTPCheck->setChecked(o.DownloadFTPFlag);
  DownLoadVrmlCheck->setChecked(o.DownloadVrmlFlag);
  DownLoadAppletJavaCheck->setChecked(o.DownLoadAppletJavaFlag);
  VignetteCheck->setChecked(o.VignetteFlag);
  NotExploreFrameCheck->setChecked(o.NotExploreFrameFlag);
  SetLimit(MaxTimeCheck, MaxTimeUpDown, o.MaxTime);
}

void TDlgWeb::fromControls() {
  TOptions& o = options_;
  o.ProfileName = Profile_DefaultCombo->currentText().toStdString();
  o.ShortFileNameFlag = Path_UseShortNameCheck->isChecked();
  if (Path_UseWebStructureCheck->isEnabled()) o.UseWebStructureFlag = Path_UseWebStructureCheck->isChecked();
  o.InternalPathLimit = Explore_InternalPathLimitCheck->isChecked();
  o.ExternalPathLimit = Explore_ExternalPathLimitCheck->isChecked();
  o.InternalLinkDepth = int16_t(Explore_InternalLinkDepthUpDown->value());
  o.ExternalWebDepth = int16_t(Explore_ExternalWebDepthUpDown->value());
  o.ExternalLinkDepth = int16_t(Explore_ExternalLinkDepthUpDown->value());
  o.CheckDomainMachineFlag = !DomainMachineNotCheck->isChecked();
  o.ExtensionFilterFlag = ExtensionFilterCheck->isChecked();
  o.NewMimeValidStateFlag = NewMimeValidStateCheck->isChecked();
  o.MaxFileCount = GetLimit(MaxFileCountCheck, MaxFileCountEdit);
  o.MaxDiskSize = GetLimit(MaxDiskSizeCheck, MaxDiskSizeEdit);
  o.MinFileSize = GetLimit(MinFileSizeCheck, MinFileSizeEdit);
  o.MaxFileSize = GetLimit(MaxFileSizeCheck, MaxFileSizeEdit);
  FiltersTreeView->ApplyToFilters();
  o.RealLinkFlag = RealLinkCheck->isChecked();
  o.SuppressLinkFlag = SuppressLinkCheck->isChecked();
  o.RefLimit = RefLimitCheck->isChecked();
  o.BackgroundOnlyFlag = BackgroundOnlyCheck->isChecked();
  o.DownloadFTPFlag = DownloadFTPCheck->isChecked();
  o.DownloadVrmlFlag = DownLoadVrmlCheck->isChecked();
  o.DownLoadAppletJavaFlag = DownLoadAppletJavaCheck->isChecked();
  o.VignetteFlag = VignetteCheck->isChecked();
  o.NotExploreFrameFlag = NotExploreFrameCheck->isChecked();
  o.MaxTime = GetLimit(MaxTimeCheck, MaxTimeUpDown);
}

std::string TDlgWeb::CaptureFolder() const {
  const QString folder = Path_PathEdit->text().trimmed();
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
  Path_PathEdit->setText(QString::fromStdString(DefaultFolder(base, UrlCombo->currentText().trimmed().toStdString())));
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
  setup_.UseWebStructure = Path_UseWebStructureCheck->isChecked();
  setup_.UseShortName = Path_UseShortNameCheck->isChecked();
  // The page edits the first start entry; the others were added from the
  // URL lists and stay.
  if (web.StartEntries.empty()) web.StartEntries.emplace_back();
  TStartEntry& first = web.StartEntries.front();
  first.Url = UrlCombo->currentText().trimmed().toStdString();
  first.User = UserNameEdit->text().toStdString();
  first.Password = PasswordEdit->text().toStdString();
  const std::string url = first.Url;
  web.StartEntries.erase(std::remove_if(web.StartEntries.begin() + 1, web.StartEntries.end(),
                                        [&](const TStartEntry& e) { return e.Url == url; }),
                         web.StartEntries.end());
  web.SetTitle(Url_TitleEdit->text().toStdString());
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
  if (CurrentPage() == pgUrl) UrlCombo->setFocus(Qt::ActiveWindowFocusReason);
  QEventLoop loop;
  connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
  while (isVisible()) loop.processEvents(QEventLoop::WaitForMoreEvents);
  Mode &= ~1;
  return closedWithOk_;
}

// ---- MIME and filter pages

bool TDlgWeb::runDialog(QDialog& dlg) { return RunDialog && RunDialog(dlg); }

void TDlgWeb::MimeAddClick() {
  TMimeItem item;
  const int category = WMimeList->GetSelectedCategory();
  item.Category = uint8_t(category >= 0 ? category : mcAutre);
  TDlgMime dlg(item, this);
  if (runDialog(dlg)) WMimeList->AddMimeItem(item);
  updateTreeButtons();
}

void TDlgWeb::MimePropClick() {
  const TMimeItem* selected = WMimeList->GetSelectedMimeItem();
  if (!selected) return;
  TMimeItem item;
  item.Assign(*selected);
  TDlgMime dlg(item, this);
  if (runDialog(dlg)) WMimeList->UpdateSelectedItem(item);
  updateTreeButtons();
}

void TDlgWeb::MimeDeleteClick() {
  TMimeItem* selected = WMimeList->GetSelectedMimeItem();
  if (!selected || !selected->CanDelete()) return;  // built-in or in use
  options_.MimeList().Remove(selected);
  WMimeList->Rebuild();
  updateTreeButtons();
}

void TDlgWeb::FilterAddClick() {
  TDlgFilter dlg({}, this);
  if (!runDialog(dlg)) return;
  FiltersTreeView->AddFilterPath(dlg.FilterUrl, true);
  updateTreeButtons();
}

void TDlgWeb::FilterEditClick() {
  controls::TWTreeNode* node = FiltersTreeView->GetSelectedNode();
  if (!node || node == FiltersTreeView->Root()) return;
  const std::string old = "http://" + TFiltersView::NodePath(node);
  const quint8 mark = TFiltersView::OwnMark(node);
  TDlgFilter dlg(old, this);
  if (!runDialog(dlg)) return;
  FiltersTreeView->RemoveFilterPath(old);
  FiltersTreeView->AddFilterPath(dlg.FilterUrl, mark != kFilterAllowed);
  updateTreeButtons();
}

void TDlgWeb::FilterDeleteClick() {
  controls::TWTreeNode* node = FiltersTreeView->GetSelectedNode();
  if (!node || node == FiltersTreeView->Root()) return;
  FiltersTreeView->RemoveFilterPath("http://" + TFiltersView::NodePath(node));
  updateTreeButtons();
}

void TDlgWeb::FilterClearClick() {
  options_.Filters().Clear();
  FiltersTreeView->Rebuild();
  updateTreeButtons();
}

void TDlgWeb::FilterMarkClick(int mark) {
  controls::TWTreeNode* node = FiltersTreeView->GetSelectedNode();
  if (node && node != FiltersTreeView->Root()) FiltersTreeView->SetNodeMark(node, quint8(mark));
}

}  // namespace qlon::shell
