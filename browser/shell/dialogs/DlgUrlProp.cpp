#include "DlgUrlProp.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "DlgWeb.h"
#include "LocalPath.h"
#include "MessageBox.h"
#include "OkCancelRow.h"
#include "Texts.h"
#include "Utils.h"
#include "Web.h"

namespace qlon::shell {

namespace {

// The range of the DOS date a record keeps; the first moment stands for
// "no date".
const QDateTime kNoDate(QDate(1980, 1, 1), QTime(0, 0));
const QDateTime kLastDate(QDate(2107, 12, 31), QTime(23, 59, 58));

QString Utf8(const std::string& s) { return QString::fromStdString(s); }

bool IsMimeType(const QString& type) {
  static const QRegularExpression kType(QStringLiteral("^[A-Za-z0-9!#$&^_.+-]+/[A-Za-z0-9!#$&^_.+-]+$"));
  return kType.match(type).hasMatch();
}

// The extension of a local name, without its dot.
std::string ExtensionOf(const std::string& localName) {
  const std::string name = localName.substr(localName.rfind('/') + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

QSpinBox* LevelSpin(QWidget* parent, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(0, 255);
  spin->setValue(value);
  return spin;
}

}  // namespace

TDlgUrlProp::TDlgUrlProp(TWeb& web, const TWebFile& record, QWidget* parent)
    : QDialog(parent), web_(web), url_(record.FullUrl), redirect_(record.IsRedirect()) {
  setWindowTitle(QString::fromUtf8(kCaption));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);

  UrlEdit = new QLineEdit(Utf8(url_), this);
  TitleLabel = new QLabel(GetMimeItem(record)->Category == mcHtml ? Utf8(record.GetTitle()) : QString(), this);
  StateLabel = new QLabel(Utf8(record.GetStateText()), this);
  DateEdit = new QDateTimeEdit(this);
  DateEdit->setDisplayFormat(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
  DateEdit->setDateTimeRange(kNoDate, kLastDate);
  DateEdit->setSpecialValueText(QString::fromUtf8("Aucune"));
  DateEdit->setCalendarPopup(true);
  DateEdit->setDateTime(record.GetDosDate() == 0 ? kNoDate : DateTimeToQDateTime(record.GetFileDate()));
  MimeCombo = new QComboBox(this);
  MimeCombo->setEditable(true);
  QStringList types;
  const TMimeList& mimes = web.Options.MimeList();
  for (int i = 0; i < mimes.Count(); ++i)
    if (const TMimeItem* item = mimes.GetItem(i); item && !item->ContentType.empty())
      types << Utf8(item->ContentType);
  types.sort(Qt::CaseInsensitive);
  MimeCombo->addItems(types);
  MimeCombo->setEditText(Utf8(GetContentType(record)));
  WebLevelSpin = LevelSpin(this, record.GetWebLevel());
  LinkLevelSpin = LevelSpin(this, record.GetLinkLevel());
  std::string user, password;
  record.GetIdentity(user, password);
  UserEdit = new QLineEdit(Utf8(user), this);
  PasswordEdit = new QLineEdit(Utf8(password), this);
  PasswordEdit->setEchoMode(QLineEdit::Password);
  LocalNameEdit = new QLineEdit(Utf8(record.GetLocalName()), this);
  // A redirect keeps its target's URL where a record keeps its file.
  LocalNameEdit->setReadOnly(redirect_);
  LocalPathLabel = new QLabel(Utf8(record.GetLocalPath()), this);
  SizeLabel = new QLabel(record.GetLocalPath().empty() ? QString() : Utf8(record.GetSizeText()), this);
  for (QLabel* label : {TitleLabel, LocalPathLabel}) {
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
  }
  UrlEdit->setMinimumWidth(360);

  form->addRow(QString::fromUtf8("&URL :"), UrlEdit);
  form->addRow(QString::fromUtf8("Titre :"), TitleLabel);
  form->addRow(QString::fromUtf8("Etat :"), StateLabel);
  form->addRow(QString::fromUtf8("&Date :"), DateEdit);
  form->addRow(QString::fromUtf8("&Mime-Type :"), MimeCombo);
  auto* levels = new QHBoxLayout;
  levels->addWidget(new QLabel(QString::fromUtf8("Web :"), this));
  levels->addWidget(WebLevelSpin);
  levels->addWidget(new QLabel(QString::fromUtf8("Lien :"), this));
  levels->addWidget(LinkLevelSpin);
  levels->addStretch();
  form->addRow(QString::fromUtf8("Niveaux :"), levels);
  form->addRow(QString::fromUtf8("Nom d'u&tilisateur :"), UserEdit);
  form->addRow(QString::fromUtf8("Mot de &passe :"), PasswordEdit);
  form->addRow(QString::fromUtf8(redirect_ ? "Redirigé vers :" : "&Fichier :"), LocalNameEdit);
  form->addRow(QString(), LocalPathLabel);
  form->addRow(QString::fromUtf8("Taille :"), SizeLabel);

  const controls::TOkCancelRow buttons = controls::MakeOkCancelRow(this, this);
  OKBtn = buttons.Ok;
  CancelBtn = buttons.Cancel;
  layout->addLayout(buttons.Layout);
  connect(OKBtn, &QPushButton::clicked, this, &TDlgUrlProp::accept);
}

bool TDlgUrlProp::refuse(const std::string& text) {
  platform::MessageBox(text, kCaption, platform::MB_OK | platform::MB_ICONERROR);
  return false;
}

void TDlgUrlProp::accept() {
  if (Apply()) QDialog::accept();
}

bool TDlgUrlProp::Apply() {
  // Every field is checked before anything is changed.
  const std::string url = UrlEdit->text().trimmed().toStdString();
  bool moved = url != url_;
  if (moved) {
    const int verdict = TDlgWeb::CheckUrlText(url);
    if (verdict == 0) return refuse("Vous devez indiquer l'URL.");
    if (verdict != 1) return refuse(std::string(TextAt(kUrlCheckMessages, verdict)));
  }
  TWebFile record(&web_);
  if (!web_.FindRecord(url_, record)) return refuse("Cette URL ne se trouve plus dans le Web.");
  if (TWebFile other(&web_); moved && web_.FindRecord(url, other)) {
    // Another spelling of the same URL keeps the record where it is.
    if (other.FullUrl != url_) return refuse("Cette URL existe déjà dans le Web.");
    moved = false;
  }

  const std::string localName = redirect_ ? record.GetLocalName() : LocalNameEdit->text().trimmed().toStdString();
  if (!localName.empty() && !redirect_ && !IsCleanLocalName(localName))
    return refuse("Nom de fichier local incorrect : " + localName);
  if (!TUrlBTree::Fits(url, localName)) return refuse("L'URL et le nom du fichier local sont trop longs.");

  const QString typeText = MimeCombo->currentText().trimmed();
  const bool typeChanged = typeText.compare(Utf8(GetContentType(record)), Qt::CaseInsensitive) != 0;
  if (typeChanged && !IsMimeType(typeText)) return refuse("Type MIME incorrect : " + typeText.toStdString());
  const TMimeList& mimes = web_.Options.MimeList();
  if (typeChanged && !mimes.FindType(typeText.toStdString()) && mimes.Count() >= kMimeMaxSlots)
    return refuse("La table des types MIME du Web est pleine.");

  const std::string user = UserEdit->text().toStdString();
  const std::string password = PasswordEdit->text().toStdString();
  std::string oldUser, oldPassword;
  record.GetIdentity(oldUser, oldPassword);
  const bool loginChanged = user != oldUser || password != oldPassword;
  if (user.size() > kShortStringMax || password.size() > kShortStringMax)
    return refuse("Le nom d'utilisateur et le mot de passe ont au plus 255 caractères.");

  // All sound: the edits go into a copy of the record, then into the web.
  if (loginChanged) {
    if (user.empty() && password.empty())
      record.SetIdentityIndex(0);
    else if (!record.SetIdentity(user, password))
      return refuse("La liste des identifications du Web est pleine.");
  }
  if (!redirect_ && localName != record.GetLocalName()) record.SetLocalName(localName);
  if (typeChanged) SetContentType(record, typeText.toStdString(), ExtensionOf(localName));
  record.SetWebLevel(uint8_t(WebLevelSpin->value()));
  record.SetLinkLevel(uint8_t(LinkLevelSpin->value()));
  record.SetFileDate(DateEdit->dateTime() == kNoDate ? 0 : QDateTimeToDateTime(DateEdit->dateTime()));

  if (moved) return moveRecord(record, url);
  if (!record.SaveChanges()) return refuse("Impossible d'enregistrer les propriétés de l'URL.");
  return true;
}

// A record's URL is its key in the tree: the record is stored under the new
// URL first and the old entry removed only then, so that a failure leaves
// the old record in place.
bool TDlgUrlProp::moveRecord(TWebFile& record, const std::string& url) {
  TWebFile stored(&web_);
  stored.Assign(record);
  if (!web_.AddUrl(url, stored)) return refuse("Impossible d'enregistrer l'URL " + url + " dans le Web.");
  if (!web_.DeleteRecord(record)) {
    web_.DeleteRecord(stored);
    return refuse("Impossible d'enregistrer les propriétés de l'URL.");
  }
  for (TStartEntry& entry : web_.StartEntries)
    if (entry.Url == url_) entry.Url = url;
  for (TWebFileList* queue : {&web_.ToCapture, &web_.ToUpdate})
    if (queue->Remove(url_)) queue->AddRecord(stored);
  url_ = stored.FullUrl;
  return true;
}

}  // namespace qlon::shell
