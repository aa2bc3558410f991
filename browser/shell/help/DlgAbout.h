#pragma once
// TDlgAbout: the about box. The contact address and the product's web
// address are links: they turn blue under the mouse, black again once the
// mouse is back on the panel, and a click sends them to the web browser.
#include <QDialog>
#include <functional>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

namespace qlon {

namespace controls {
class TLabel3D;
}

class TDlgAbout : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kVersion = "Version 2.03";
  static constexpr const char* kContact = "contact@quillon98.example";
  static constexpr const char* kHomePage = "http://www.quillon98.example/";

  explicit TDlgAbout(QWidget* parent = nullptr);

  // Where the links go; the browser's open-page exchange by default.
  std::function<void(const std::string& address)> OpenAddress;

  QFrame* Panel1;
  controls::TLabel3D* QuillonLabel;
  controls::TLabel3D* VersionLabel;
  QLabel* Image;
  QLabel* Label4;
  QLabel* LabelContact;
  QLabel* QuillonUrlLabel;
  QPushButton* Button1;

  void LabelContactClick();
  void QuillonUrlLabelClick();
  void LabelMouseMove(QLabel* label);
  void Panel1MouseMove();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace qlon
