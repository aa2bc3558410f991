#pragma once
// The dialogs docked on the main window's right, each in its frame: the
// help, the scheduler, the options and the capture configuration of the
// open web. The options' and the configuration's frames keep the dialogs'
// own size at the area's top left; the configuration's filters and file
// types take the whole area. The configuration is made for the open web
// when one of its pages is first shown, and goes with that web.
#include <QSize>
#include <functional>
#include <memory>

class QFrame;
class QWidget;

namespace qlon {

class ISchedulerHost;
class TDlgScheduler;
class TScheduler;
class TSetup;
class TWeb;

namespace shell {

class TDlgSetup;
class TDlgWeb;

class TDockedForms {
 public:
  // The frames, children of `area` (the window lays them out).
  TDockedForms(TSetup& setup, QWidget& area);
  ~TDockedForms();
  TDockedForms(const TDockedForms&) = delete;
  TDockedForms& operator=(const TDockedForms&) = delete;

  // The options and the scheduler, docked.
  void Build(std::unique_ptr<TScheduler> scheduler, ISchedulerHost* host);
  // The frames sized to what the forms need in this font.
  void Fit();
  void HideAll();
  // The configuration of `web`, made when missing (`startCapture`: its "OK
  // et capturer"), in its frame; `wide`: its page takes the whole area.
  void PlaceWebConfig(TWeb* web, bool wide, const std::function<void()>& startCapture);
  // The page shown, which the address page may keep when it refuses to be
  // left; -1 without a configuration.
  int TurnWebConfigTo(int page);
  // The configuration of the web that goes.
  void DropWebConfig();
  void FreeOptions();
  // Frees the scheduler (its thread stops and "scheduler.dat" is saved).
  void FreeScheduler();

  QFrame *HelpFrame, *SchedulerFrame, *SetupFrame, *CfgWebFrame;
  TDlgScheduler* Scheduler = nullptr;
  TDlgSetup* Options = nullptr;
  TDlgWeb* WebConfig = nullptr;  // while the open web has one

 private:
  TSetup& setup_;
  QSize cfgWebSize_;  // the configuration's frame on its small pages
};

}  // namespace shell
}  // namespace qlon
