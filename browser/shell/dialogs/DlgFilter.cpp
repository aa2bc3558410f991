#include "DlgFilter.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <cctype>

#include "MessageBox.h"

namespace qlon::shell {

TDlgFilter::TDlgFilter(std::string_view url, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(url.empty() ? "Ajouter..." : "Modifier..."));
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QString::fromUtf8("http://"), this), 0, 0);
  DomainEdit = new QLineEdit(this);
  grid->addWidget(DomainEdit, 0, 1);
  IPCheckBox = new QCheckBox(QString::fromUtf8("Adresse IP"), this);
  grid->addWidget(IPCheckBox, 1, 0);
  IpEdit = new QLineEdit(QString::fromUtf8(kDefaultIpMask), this);
  IpEdit->setMaxLength(15);
  IpEdit->setEnabled(false);
  grid->addWidget(IpEdit, 1, 1);
  grid->addWidget(new QLabel(QString::fromUtf8("/"), this), 2, 0);
  PathEdit = new QLineEdit(this);
  grid->addWidget(PathEdit, 2, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  grid->addWidget(buttons, 3, 0, 1, 2);
  connect(IPCheckBox, &QCheckBox::toggled, this, [this](bool on) { ipChecked(on); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  if (!url.empty()) {
    std::string rest(url);
    if (size_t scheme = rest.find("://"); scheme != std::string::npos) rest.erase(0, scheme + 3);
    const size_t slash = rest.find('/');
    const std::string host = rest.substr(0, slash);
    const std::string path = slash == std::string::npos ? "" : rest.substr(slash + 1);
    if (IsValidIpMask(host)) {
      IPCheckBox->setChecked(true);
      IpEdit->setText(QString::fromStdString(host));
    } else {
      DomainEdit->setText(QString::fromStdString(host));
    }
    PathEdit->setText(QString::fromStdString(path));
  }
}

void TDlgFilter::ipChecked(bool on) {
  IpEdit->setEnabled(on);
  DomainEdit->setEnabled(!on);
}

bool TDlgFilter::IsValidIpMask(std::string_view mask) {
  if (mask.size() != 15) return false;
  for (int g = 0; g < 4; ++g) {
    const std::string_view group = mask.substr(size_t(g) * 4, 3);
    if (g < 3 && mask[size_t(g) * 4 + 3] != '.') return false;
    int digits = 0, value = 0;
    for (char c : group) {
      if (c >= '0' && c <= '9') {
        ++digits;
        value = value * 10 + (c - '0');
      } else if (c != '?') {
        return false;
      }
    }
    if (digits == 3 && value > 255) return false;
  }
  return true;
}

bool TDlgFilter::IsValidSiteMask(std::string_view site) {
  if (site.empty()) return false;
  for (unsigned char c : site)
    if (!(std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '*' || c == '?' || c >= 0x80)) return false;
  return true;
}

std::string TDlgFilter::BuildFilterUrl(std::string_view site, std::string_view path) {
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return "http://" + std::string(site) + "/" + std::string(path);
}

bool TDlgFilter::Validate() {
  const bool ip = IPCheckBox->isChecked();
  const std::string site = (ip ? IpEdit->text() : DomainEdit->text()).trimmed().toStdString();
  const std::string path = PathEdit->text().trimmed().toStdString();
  const bool pathOk = path.find_first_of(" \t\r\n") == std::string::npos;
  if (!(ip ? IsValidIpMask(site) : IsValidSiteMask(site)) || !pathOk) {
    const std::string& shown = pathOk ? site : path;
    platform::MessageBox(" \"" + shown + "\" n'est pas un filtre ou une adresse IP valide", "Erreur",
                         platform::MB_OK | platform::MB_ICONERROR);
    return false;
  }
  FilterUrl = BuildFilterUrl(site, path);
  return true;
}

void TDlgFilter::accept() {
  if (Validate()) QDialog::accept();
}

}  // namespace qlon::shell
