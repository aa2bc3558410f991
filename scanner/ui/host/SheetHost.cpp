#include "SheetHost.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace qlon::scanner::host {

SheetHost::SheetHost(const std::string& providerLibrary, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Propriétés du scanner"));
  tabs_ = new QTabWidget;
  ok_ = new QPushButton("OK");
  cancel_ = new QPushButton("Annuler");
  apply_ = new QPushButton("&Appliquer");
  apply_->setEnabled(false);
  ok_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {ok_, cancel_, apply_}) buttons->addWidget(b);
  auto* box = new QVBoxLayout(this);
  box->addWidget(tabs_, 1);
  box->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, [this] { Apply(); accept(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(apply_, &QPushButton::clicked, this, &SheetHost::Apply);
  library_ = platform::TDynamicLibrary(providerLibrary);
  if (!library_) error_ = library_.ErrorOr("cannot load the property provider");
}

// The pages are the library's objects: they go before it may be unloaded.
SheetHost::~SheetHost() {
  while (tabs_->count() > 0) delete tabs_->widget(0);
}

int SheetHost::AddPages(const sti::DeviceInformation& device) {
  using EnumFn = int32_t (*)(const sti::DeviceInformation*, int (*)(void*, intptr_t), intptr_t);
  auto enumPages = library_.Entry<EnumFn>("EnumStiPropPages");
  if (!enumPages) return -1;
  return enumPages(&device, &SheetHost::AddPage, reinterpret_cast<intptr_t>(this));
}

int SheetHost::AddPage(void* page, intptr_t parameter) {
  auto* self = reinterpret_cast<SheetHost*>(parameter);
  auto* widget = static_cast<QWidget*>(page);
  if (!self || !widget || self->refuse_) return 0;
  // PSM_CHANGED and PSN_APPLY, by name: the page's class is the library's own.
  if (!connect(widget, SIGNAL(changed()), self, SLOT(PageChanged()))) return 0;
  self->tabs_->addTab(widget, widget->windowTitle());
  return 1;
}

void SheetHost::PageChanged() { apply_->setEnabled(true); }

void SheetHost::Apply() {
  for (int i = 0; i < tabs_->count(); ++i) QMetaObject::invokeMethod(tabs_->widget(i), "apply");
  apply_->setEnabled(false);
}

}  // namespace qlon::scanner::host
