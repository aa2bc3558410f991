#include "WebPages.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "FiltersView.h"
#include "MimeTree.h"
#include "Options.h"
#include "UrlHistory.h"

namespace qlon::shell {

namespace {

constexpr int kSpinMax = 32767;

QString Text(const char* s) { return QString::fromUtf8(s); }
QCheckBox* NewCheck(QWidget* page, const char* text) { return new QCheckBox(Text(text), page); }
QPushButton* NewButton(QWidget* page, const char* text) { return new QPushButton(Text(text), page); }

QSpinBox* NewSpin(QWidget* parent) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(0, kSpinMax);
  return spin;
}

// A tree page: the tree on the left, its buttons in a column beside it.
void PlaceTreeWithButtons(QGridLayout* grid, QWidget* tree,
                          std::initializer_list<std::pair<QPushButton**, const char*>> buttons) {
  grid->addWidget(tree, 0, 0, 5, 1);
  int row = 0;
  for (const auto& [slot, text] : buttons) {
    *slot = NewButton(tree->parentWidget(), text);
    grid->addWidget(*slot, row++, 1);
  }
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

TWebPage::TWebPage(QStackedWidget* stack) : QWidget(stack) { stack->addWidget(this); }

TWebUrlPage::TWebUrlPage(QStackedWidget* stack) : TWebPage(stack) {
  auto* form = new QFormLayout(this);
  UrlCombo = new QComboBox(this);
  UrlCombo->setEditable(true);
  UrlCombo->setMaxCount(TUrlHistory::kMax);
  // A long address of the history does not widen the form.
  UrlCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  UrlCombo->setMinimumContentsLength(24);
  UserNameEdit = new QLineEdit(this);
  PasswordEdit = new QLineEdit(this);
  PasswordEdit->setEchoMode(QLineEdit::Password);
  TitleEdit = new QLineEdit(this);
  form->addRow(Text("Url de départ :"), UrlCombo);
  form->addRow(Text("Nom d'utilisateur :"), UserNameEdit);
  form->addRow(Text("Mot de passe :"), PasswordEdit);
  form->addRow(Text("Titre :"), TitleEdit);
  auto* row = new QHBoxLayout;
  CheckUrlBtn = NewButton(this, "&Vérifier...");
  OpenUrlButton = NewButton(this, "F&ichier...");
  BrowserUrlBut = NewButton(this, "&Url courante du navigateur");
  for (QPushButton* b : {CheckUrlBtn, OpenUrlButton, BrowserUrlBut}) row->addWidget(b);
  form->addRow(row);
}

QString TWebUrlPage::Url() const { return UrlCombo->currentText().trimmed(); }

TWebPathPage::TWebPathPage(QStackedWidget* stack) : TWebPage(stack) {
  auto* v = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  PathEdit = new QLineEdit(this);
  BrowseBtn = NewButton(this, "Parco&urir...");
  row->addWidget(PathEdit, 1);
  row->addWidget(BrowseBtn);
  v->addLayout(row);
  FixedLabel = new QLabel(Text("La capture est enregistrée dans ce répertoire : pour la changer de répertoire, "
                               "utilisez la commande Déplacer... du menu Web."),
                          this);
  FixedLabel->setWordWrap(true);
  v->addWidget(FixedLabel);
  UseWebStructureCheck = NewCheck(this, "Respecter la structure des sites Web");
  UseShortNameCheck = NewCheck(this, "Utiliser des noms de fichiers courts (8.3)");
  v->addWidget(UseWebStructureCheck);
  v->addWidget(UseShortNameCheck);
  v->addStretch();
}

void TWebPathPage::Fix(bool folderFixed, bool structureFixed) {
  PathEdit->setReadOnly(folderFixed);
  BrowseBtn->setEnabled(!folderFixed);
  FixedLabel->setVisible(folderFixed);
  UseWebStructureCheck->setEnabled(!structureFixed);
}

void TWebPathPage::Show(const TOptions& o) {
  UseWebStructureCheck->setChecked(o.UseWebStructureFlag);
  UseShortNameCheck->setChecked(o.ShortFileNameFlag);
}

void TWebPathPage::Take(TOptions& o) const {
  o.ShortFileNameFlag = UseShortNameCheck->isChecked();
  if (UseWebStructureCheck->isEnabled()) o.UseWebStructureFlag = UseWebStructureCheck->isChecked();
}

TWebProfilePage::TWebProfilePage(QStackedWidget* stack) : TWebPage(stack) {
  auto* form = new QFormLayout(this);
  DefaultCombo = new QComboBox(this);
  form->addRow(Text("Configuration-type :"), DefaultCombo);
}

void TWebProfilePage::Fill(const std::vector<std::string>& names, const std::string& current) {
  const QSignalBlocker block(DefaultCombo);
  DefaultCombo->clear();
  for (const std::string& name : names) DefaultCombo->addItem(QString::fromStdString(name));
  const int at = DefaultCombo->findText(QString::fromStdString(current));
  DefaultCombo->setCurrentIndex(at >= 0 ? at : 0);
}

void TWebProfilePage::Take(TOptions& o) const { o.ProfileName = DefaultCombo->currentText().toStdString(); }

TWebExplorePage::TWebExplorePage(QStackedWidget* stack) : TWebPage(stack) {
  auto* form = new QFormLayout(this);
  InternalPathLimitCheck = NewCheck(this, "Rester dans le répertoire de départ");
  ExternalPathLimitCheck = NewCheck(this, "Rester dans le répertoire des sites externes");
  InternalLinkDepthUpDown = NewSpin(this);
  ExternalWebDepthUpDown = NewSpin(this);
  ExternalLinkDepthUpDown = NewSpin(this);
  DomainMachineNotCheck = NewCheck(this, "Ne pas distinguer les machines d'un même domaine");
  form->addRow(InternalPathLimitCheck);
  form->addRow(ExternalPathLimitCheck);
  form->addRow(Text("Niveaux de liens dans le site :"), InternalLinkDepthUpDown);
  form->addRow(Text("Niveaux de sites externes :"), ExternalWebDepthUpDown);
  form->addRow(Text("Niveaux de liens dans les sites externes :"), ExternalLinkDepthUpDown);
  form->addRow(DomainMachineNotCheck);
}

void TWebExplorePage::Show(const TOptions& o) {
  InternalPathLimitCheck->setChecked(o.InternalPathLimit);
  ExternalPathLimitCheck->setChecked(o.ExternalPathLimit);
  InternalLinkDepthUpDown->setValue(o.InternalLinkDepth);
  ExternalWebDepthUpDown->setValue(o.ExternalWebDepth);
  ExternalLinkDepthUpDown->setValue(o.ExternalLinkDepth);
  DomainMachineNotCheck->setChecked(!o.CheckDomainMachineFlag);
}

void TWebExplorePage::Take(TOptions& o) const {
  o.InternalPathLimit = InternalPathLimitCheck->isChecked();
  o.ExternalPathLimit = ExternalPathLimitCheck->isChecked();
  o.InternalLinkDepth = int16_t(InternalLinkDepthUpDown->value());
  o.ExternalWebDepth = int16_t(ExternalWebDepthUpDown->value());
  o.ExternalLinkDepth = int16_t(ExternalLinkDepthUpDown->value());
  o.CheckDomainMachineFlag = !DomainMachineNotCheck->isChecked();
}

TWebMimePage::TWebMimePage(QStackedWidget* stack) : TWebPage(stack) {
  auto* grid = new QGridLayout(this);
  WMimeList = new TMimeTree(this);
  PlaceTreeWithButtons(grid, WMimeList,
                       {{&MimeAddBtn, "A&jouter..."},
                        {&MimePropBtn, "Propr&iétés..."},
                        {&MimeDeleteBtn, "Supprim&er"},
                        {&MimeAllBtn, "To&ut capturer"}});
  ExtensionFilterCheck = NewCheck(this, "Reconnaître les types par l'extension des fichiers");
  NewMimeValidStateCheck = NewCheck(this, "Capturer les nouveaux types rencontrés");
  grid->addWidget(ExtensionFilterCheck, 5, 0, 1, 2);
  grid->addWidget(NewMimeValidStateCheck, 6, 0, 1, 2);
}

void TWebMimePage::Show(TOptions& o) {
  WMimeList->SetMimeList(&o.MimeList());
  WMimeList->Rebuild();
  ExtensionFilterCheck->setChecked(o.ExtensionFilterFlag);
  NewMimeValidStateCheck->setChecked(o.NewMimeValidStateFlag);
}

void TWebMimePage::Take(TOptions& o) const {
  o.ExtensionFilterFlag = ExtensionFilterCheck->isChecked();
  o.NewMimeValidStateFlag = NewMimeValidStateCheck->isChecked();
}

void TWebMimePage::UpdateButtons() {
  const TMimeItem* type = WMimeList->GetSelectedMimeItem();
  MimePropBtn->setEnabled(type != nullptr);
  MimeDeleteBtn->setEnabled(type && type->CanDelete());
}

TWebLimitsPage::TWebLimitsPage(QStackedWidget* stack) : TWebPage(stack) {
  auto* grid = new QGridLayout(this);
  auto limit = [&](int row, const char* text, const char* unit, QCheckBox*& box, QSpinBox*& spin) {
    box = NewCheck(this, text);
    spin = NewSpin(this);
    grid->addWidget(box, row, 0);
    grid->addWidget(spin, row, 1);
    grid->addWidget(new QLabel(Text(unit), this), row, 2);
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

void TWebLimitsPage::Show(const TOptions& o) {
  SetLimit(MaxFileCountCheck, MaxFileCountEdit, o.MaxFileCount);
  SetLimit(MaxDiskSizeCheck, MaxDiskSizeEdit, o.MaxDiskSize);
  SetLimit(MinFileSizeCheck, MinFileSizeEdit, o.MinFileSize);
  SetLimit(MaxFileSizeCheck, MaxFileSizeEdit, o.MaxFileSize);
}

void TWebLimitsPage::Take(TOptions& o) const {
  o.MaxFileCount = GetLimit(MaxFileCountCheck, MaxFileCountEdit);
  o.MaxDiskSize = GetLimit(MaxDiskSizeCheck, MaxDiskSizeEdit);
  o.MinFileSize = GetLimit(MinFileSizeCheck, MinFileSizeEdit);
  o.MaxFileSize = GetLimit(MaxFileSizeCheck, MaxFileSizeEdit);
}

TWebFiltersPage::TWebFiltersPage(QStackedWidget* stack) : TWebPage(stack) {
  auto* grid = new QGridLayout(this);
  FiltersTreeView = new TFiltersView(this);
  PlaceTreeWithButtons(grid, FiltersTreeView,
                       {{&FilterAddBtn, "A&jouter..."},
                        {&FilterEditBtn, "&Modifier..."},
                        {&FilterDeleteBtn, "Supprim&er"},
                        {&FilterClearBtn, "Tout supprimer"}});
  FiltersTreeView->setContextMenuPolicy(Qt::ActionsContextMenu);
  const std::pair<const char*, int> marks[] = {{"Exclure", 2}, {"Inclure", 1}, {"Aucun", 0}};
  for (const auto& [text, mark] : marks) {
    auto* action = new QAction(Text(text), FiltersTreeView);
    FiltersTreeView->addAction(action);
    MarkActions.emplace_back(action, mark);
  }
}

void TWebFiltersPage::Show(TOptions& o, TWeb* web) { FiltersTreeView->SetData(&o.Filters(), web); }

void TWebFiltersPage::Take() const { FiltersTreeView->ApplyToFilters(); }

void TWebFiltersPage::UpdateButtons() {
  const controls::TWTreeNode* node = FiltersTreeView->GetSelectedNode();
  const bool filter = node && node != FiltersTreeView->Root();
  FilterEditBtn->setEnabled(filter);
  FilterDeleteBtn->setEnabled(filter);
}

TWebOtherPage::TWebOtherPage(QStackedWidget* stack) : TWebPage(stack) {
  auto* v = new QVBoxLayout(this);
  RealLinkCheck = NewCheck(this, "Conserver les liens réels");
  SuppressLinkCheck = NewCheck(this, "Supprimer les liens vers les fichiers non capturés");
  RefLimitCheck = NewCheck(this, "Limiter aux pages référencées");
  BackgroundOnlyCheck = NewCheck(this, "Capturer uniquement les images de fond");
  DownloadFTPCheck = NewCheck(this, "Capturer les fichiers FTP");
  DownLoadVrmlCheck = NewCheck(this, "Capturer les mondes VRML");
  DownLoadAppletJavaCheck = NewCheck(this, "Capturer les applets Java");
  VignetteCheck = NewCheck(this, "Créer les vignettes des pages");
  NotExploreFrameCheck = NewCheck(this, "Ne pas explorer les cadres");
  for (QCheckBox* b : {RealLinkCheck, SuppressLinkCheck, RefLimitCheck, BackgroundOnlyCheck, DownloadFTPCheck,
                       DownLoadVrmlCheck, DownLoadAppletJavaCheck, VignetteCheck, NotExploreFrameCheck})
    v->addWidget(b);
  auto* row = new QHBoxLayout;
  MaxTimeCheck = NewCheck(this, "Durée maximum de la capture");
  MaxTimeUpDown = NewSpin(this);
  row->addWidget(MaxTimeCheck);
  row->addWidget(MaxTimeUpDown);
  row->addWidget(new QLabel(Text("minutes"), this));
  v->addLayout(row);
  v->addStretch();
  connect(MaxTimeCheck, &QCheckBox::toggled, MaxTimeUpDown, &QSpinBox::setEnabled);
}

void TWebOtherPage::Show(const TOptions& o) {
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

void TWebOtherPage::Take(TOptions& o) const {
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

}  // namespace qlon::shell
