#pragma once
// The main window as its components see it: small hosts that answer their
// interfaces with the window's state. Private to the window's own units
// (Main*.cpp); the methods live beside the code they serve.
#include <QObject>

#include "Main.h"
#include "UrlPage.h"

namespace qlon {

// The host of the URL page, its commands and its search pane; also the
// window's event filter for the tree frame's resizes.
class TMainWin::TViewsHost : public QObject, public shell::IUrlPageHost {
 public:
  explicit TViewsHost(TMainWin& win) : win_(win) {}

  // IUrlPageHost
  TMainView View() override { return win_.view_; }
  TWebTreePage PageTag() override { return win_.PageTag; }
  void ShowListProgress(int position, int total) override;
  void ListOrderChanged() override;
  // IUrlCommandsHost
  TSetup& Setup() override { return win_.setup_; }
  void SearchFor(const std::string& text, int kind) override;
  void OpenInBrowser(const std::string& address) override { win_.OpenInBrowser(address); }
  void RunCapture(uint16_t flags, const std::vector<std::string>& urls) override;
  void SelectTreePage(int tag) override { win_.SelectTreePage(tag); }
  void RefreshState() override { win_.RefreshState(); }
  bool AcceptNewWebFolder(shell::TDlgWeb& dlg) override { return win_.AcceptNewWebFolder(dlg); }
  void AddRecentWeb(const std::filesystem::path& file) override { win_.AddRecentWeb(file); }
  void ShowPreview(const std::string& url, const std::string& file) override;
  void RestartPreview() override;
  void WebOptionsChanged() override;
  // ISearchHost
  TWeb* CurrentWeb() override { return win_.web_.get(); }
  std::filesystem::path WorkFolder() override;
  void PostSearchStart() override;
  void RefreshStatusHints() override { win_.RefreshStatusHints(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  TMainWin& win_;
};

}  // namespace qlon
