#pragma once
// TDlgText: edits one line of text.
#include <QDialog>
#include <string>

class QLineEdit;

namespace qlon::shell {

class TDlgText : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgText(const std::string& text, QWidget* parent = nullptr);
  // Runs the dialog; the text is changed only on OK.
  bool Execute(std::string& text);

  QLineEdit* TextEdit;
};

}  // namespace qlon::shell
