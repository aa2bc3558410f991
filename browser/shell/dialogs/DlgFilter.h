#pragma once
// TDlgFilter: adds or changes one URL filter: a site name (wildcards "*"
// and "?") or an IP mask, then a path. OK builds the filter address and
// hands it back; the caller adds it to the filter tree.
#include <QDialog>
#include <string>
#include <string_view>

class QCheckBox;
class QLineEdit;

namespace qlon::shell {

class TDlgFilter : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kDefaultIpMask = "???.???.???.???";

  // An empty url adds a filter ("Ajouter..."); else the dialog changes it.
  explicit TDlgFilter(std::string_view url = {}, QWidget* parent = nullptr);

  // Four groups of exactly three digits or "?", a group of digits below 256.
  static bool IsValidIpMask(std::string_view mask);
  // A site name: letters, digits, "-", ".", "_", "*" and "?", not empty.
  static bool IsValidSiteMask(std::string_view site);
  // "http://" + site + "/" + path; a path's trailing "/" marks a folder.
  static std::string BuildFilterUrl(std::string_view site, std::string_view path);

  // Checks the controls (a box on refusal); on success FilterUrl is set.
  bool Validate();
  std::string FilterUrl;

  QLineEdit* DomainEdit;
  QCheckBox* IPCheckBox;
  QLineEdit* IpEdit;
  QLineEdit* PathEdit;

 public:
  void accept() override;  // only with valid controls

 private:
  void ipChecked(bool on);
};

}  // namespace qlon::shell
