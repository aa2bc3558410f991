#pragma once
// TDlgMime: edits one MIME type (content type, category, extensions,
// captured by default). The item handed over changes only on OK.
#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace qlon {
class TMimeItem;
}

namespace qlon::shell {

class TDlgMime : public QDialog {
  Q_OBJECT
 public:
  TDlgMime(TMimeItem& item, QWidget* parent = nullptr);

  // The content types known to the system, sorted.
  static QStringList KnownContentTypes();

  void AddExtClick();
  void DelExtClick();
  // Refuses, with a box, a type without extensions.
  bool Validate();
  // Writes the controls into the item.
  void ApplyTo(TMimeItem& item) const;

  QComboBox* TypeCombo;
  QComboBox* ClassCb;
  QLineEdit* ExtEdit;
  QPushButton* AddExtBtn;
  QListWidget* ExtLB;
  QPushButton* DelExtBtn;
  QCheckBox* EnabledCheck;

 public:
  void accept() override;  // only with valid controls

 private:
  TMimeItem& item_;
};

}  // namespace qlon::shell
