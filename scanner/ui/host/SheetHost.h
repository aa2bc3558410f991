#pragma once
// The scanner properties sheet of the control panel: loads a property
// provider library (tq21ucpl.so) by path and asks it for its pages with
// EnumStiPropPages. The add-page callback takes each page (a QWidget with a
// changed() signal and an apply() slot) into a tab; "Appliquer" is enabled
// once a page changed, and "OK" and "Appliquer" apply every page.
#include <QDialog>
#include <string>

#include "DynamicLibrary.h"
#include "Sti.h"

class QPushButton;
class QTabWidget;

namespace qlon::scanner::host {

class SheetHost : public QDialog {
  Q_OBJECT
 public:
  explicit SheetHost(const std::string& providerLibrary, QWidget* parent = nullptr);
  ~SheetHost() override;

  const std::string& Error() const { return error_; }
  // EnumStiPropPages' answer (1 when a page was added), -1 without the export.
  int AddPages(const sti::DeviceInformation& device);
  QTabWidget* Tabs() const { return tabs_; }
  QPushButton* ApplyButton() const { return apply_; }
  QPushButton* OkButton() const { return ok_; }
  // The callback refuses the next pages (a sheet that is full).
  void RefusePages(bool refuse) { refuse_ = refuse; }

 public slots:
  void Apply();

 private slots:
  void PageChanged();

 private:
  static int AddPage(void* page, intptr_t parameter);
  platform::TDynamicLibrary library_;
  std::string error_;
  QTabWidget* tabs_;
  QPushButton *ok_, *cancel_, *apply_;
  bool refuse_ = false;
};

}  // namespace qlon::scanner::host
