#pragma once
// TDlgScheduler: the scheduler window ("Travaux en différé"), a dockable
// form. It owns the scheduler, shows its jobs (top-level nodes) and their web steps (child
// nodes) with each task's state, details and journal, and carries the
// commands that add, edit, copy, move, delete, start, stop and put to sleep
// tasks.
//
// Threads. The scheduler reports changes from whatever thread made them,
// mostly its own. The window never touches a widget there: each report sets
// a flag and queues one call to itself on the GUI thread (reports that come
// while one is queued fold into it). Structural changes also bump a
// generation counter under the tree lock; every use of the tasks behind the
// tree's nodes takes the tree lock and rebuilds the nodes first when the
// generation moved, so a node never leads to a task deleted meanwhile.
//
// Every command that changes the tree saves "scheduler.dat" at once.
#include <atomic>
#include <functional>
#include <memory>

#include "DockForm.h"

class QAction;
class QDialog;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QToolButton;

namespace qlon {

class TMainTask;
class TScheduler;
class TTask;

namespace controls {
class TPopupMenuEx;
class TWTree;
class TWTreeNode;
}  // namespace controls

// What the scheduler window asks of the main window.
class ISchedulerHost {
 public:
  virtual ~ISchedulerHost() = default;
  // The scheduler's status line changed (TScheduler::GetStatusText).
  virtual void SchedulerStatusChanged(const QString& text) = 0;
};

class TDlgScheduler : public TDockForm {
  Q_OBJECT
 public:
  // Binds the scheduler's events and shows its tree. The scheduler thread
  // is started by Scheduler().Resume() once the caller bound its own events.
  explicit TDlgScheduler(std::unique_ptr<TScheduler> scheduler, ISchedulerHost* host = nullptr,
                         QWidget* parent = nullptr);
  // Stops the thread and saves "scheduler.dat" (through the scheduler).
  ~TDlgScheduler() override;

  TScheduler& Scheduler() { return *scheduler_; }

  // Runs a task dialog modally; tests replace it to fill the dialog in.
  std::function<int(QDialog& dialog)> ExecDialog;

  // The task of the selected node (nullptr when none). GUI thread; use it
  // under the tree lock.
  TTask* SelectedTask();
  void SelectTask(const TTask* task);

  // Commands.
  void NewTaskClick();
  void AddWebClick();
  void AddWebListClick();
  void PropertiesClick();
  void ClearJournalClick();
  void DeleteClick();
  void CopyClick();
  void PasteClick();
  void StartClick();
  void StopClick();
  void StartStopClick();
  void SleepClick();
  void SuspendClick();
  void HideProgramClick();
  // Moves (or copies) source to the drop target: a job before the target's
  // job, a step into the target job or before the target step. False when
  // refused.
  bool DropTask(TTask* source, TTask* target, bool copy);
  bool CanDrop(const TTask* source, const TTask* target) const;
  // Enables the commands from the selected task (the popup's OnPopup).
  void UpdateCommands();

  // What the queued reports run.
  void RebuildTree();
  void RefreshStates();
  // The selected task's details, and the commands that follow it.
  void RefreshDetails();
  void RefreshJournal();
  void RefreshStatus();

  controls::TWTree* TaskView;
  QLabel* TaskLabel;
  QLabel* TaskTextLabel;  // the task's whole caption, wrapped
  QLabel* StateLabel;
  QLabel* LastStartLabel;
  QLabel* DurationLabel;
  QLabel* ResultLabel;
  QListWidget* JournalList;
  QPushButton* NewBtn;
  QPushButton* AddWebBtn;
  QPushButton* PropBtn;
  QPushButton* StartBtn;
  QToolButton* OptionsBtn;
  controls::TPopupMenuEx* TaskPopup;
  QAction* MenuNew;
  QAction* MenuAddWeb;
  QAction* MenuAddWebList;
  QAction* MenuProperties;
  QAction* MenuClearJournal;
  QAction* MenuDelete;
  QAction* MenuCopy;
  QAction* MenuPaste;
  QAction* MenuStart;
  QAction* MenuStop;
  QAction* MenuSleep;
  QMenu* OptionsMenu;
  QAction* MenuSuspend;
  QAction* MenuHide;

  // Lines of a journal shown at most (the newest).
  static constexpr int kJournalLines = 1000;

 private:
  void buildControls();
  // The task popup and the Options menu.
  void buildMenus();
  void placeControls();
  // Selection, double click, Delete, the popup and dragging in the tree.
  void connectTaskView();
  void bindEvents();
  void post(std::atomic<bool>& pending, void (TDlgScheduler::*handler)());
  // Under the tree lock: rebuilds the nodes when the tree changed since.
  void syncTree();
  TTask* taskOf(controls::TWTreeNode* node) const;
  // Under the tree lock, after syncTree: the task has a node.
  bool Live(const TTask* task);
  TTask* jobOfSelection();
  void afterEdit(const TTask* select);
  int exec(QDialog& dialog);

  std::unique_ptr<TScheduler> scheduler_;
  ISchedulerHost* host_;
  std::unique_ptr<TMainTask> clipboard_;  // holds the copied task
  TTask* dragSource_ = nullptr;
  std::atomic<unsigned> generation_{0};
  unsigned builtGeneration_ = ~0u;
  std::atomic<bool> rebuildPending_{false}, statePending_{false}, journalPending_{false}, statusPending_{false};
};

}  // namespace qlon
