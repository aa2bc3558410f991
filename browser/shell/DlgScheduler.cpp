#include "DlgScheduler.h"

#include <QAction>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "DlgTask.h"
#include "DlgTaskWeb.h"
#include "MenusEx.h"
#include "Scheduler.h"
#include "TaskDates.h"
#include "Texts.h"
#include "WTree.h"

namespace qlon {

using controls::TWTreeNode;

namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// Steps take the images of their state shifted by this.
constexpr int kStepImages = 8;

// One 16 x 16 cell per image: jobs as discs, steps as squares, coloured by
// state (waiting, starting, running, ending, asleep, error); magenta is
// transparent.
QPixmap StateImages() {
  static const QColor colours[6] = {QColor(150, 150, 150), QColor(230, 200, 0), QColor(0, 170, 0),
                                    QColor(240, 130, 0),   QColor(60, 90, 220), QColor(210, 0, 0)};
  QPixmap pm(16 * (kStepImages + 6), 16);
  pm.fill(QColor(255, 0, 255));
  QPainter p(&pm);
  p.setPen(Qt::black);
  for (int s = 0; s < 6; ++s) {
    p.setBrush(colours[s]);
    p.drawEllipse(16 * s + 2, 2, 11, 11);
    p.drawRect(16 * (s + kStepImages) + 3, 3, 9, 9);
  }
  return pm;
}

bool IsStep(const TTask* task) { return dynamic_cast<const TTaskWeb*>(task) != nullptr; }

bool SamePath(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// A detached copy of a task with copies of its children.
std::unique_ptr<TMainTask> Detach(const TTask& task) {
  auto holder = std::make_unique<TMainTask>(nullptr);
  holder->AddCopy(task);
  holder->GetChild(0)->SetState(task.GetState() == tsAsleep ? tsAsleep : tsWaiting);
  return holder;
}

// A dialog writes "asleep" into its copy; the task follows only when that
// changed, so editing a running job does not stop it.
void ApplySleep(TTask& task, const TTask& edited) {
  const bool asleep = edited.GetState() == tsAsleep;
  if (asleep != (task.GetState() == tsAsleep)) task.SetState(asleep ? tsAsleep : tsWaiting);
}

std::vector<int> OtherJobs(TMainTask& root, const TTask* except) {
  std::vector<int> numbers;
  for (int i = 0; i < root.GetChildCount(); ++i)
    if (root.GetChild(i) != except) numbers.push_back(root.GetChild(i)->Number);
  return numbers;
}

}  // namespace

TDlgScheduler::TDlgScheduler(std::unique_ptr<TScheduler> scheduler, ISchedulerHost* host, QWidget* parent)
    : TDockForm(parent), scheduler_(std::move(scheduler)), host_(host) {
  setWindowTitle("Travaux en différé");
  ExecDialog = [](QDialog& d) { return d.exec(); };

  TaskView = new controls::TWTree(this);
  TaskView->SetStateBitmap(StateImages());
  TaskView->SetDragMode(controls::dmAutomatic);
  TaskLabel = new QLabel(this);
  // The whole caption of the task, which its row may be too narrow for.
  TaskTextLabel = new QLabel(this);
  TaskTextLabel->setObjectName("TaskTextLabel");
  TaskTextLabel->setWordWrap(true);
  StateLabel = new QLabel(this);
  LastStartLabel = new QLabel(this);
  DurationLabel = new QLabel(this);
  ResultLabel = new QLabel(this);
  ResultLabel->setWordWrap(true);
  JournalList = new QListWidget(this);
  NewBtn = new QPushButton("&Nouvelle tâche...", this);
  AddWebBtn = new QPushButton("A&jouter un Web...", this);
  PropBtn = new QPushButton("Propr&iétés...", this);
  StartBtn = new QPushButton("Démarrer", this);
  OptionsBtn = new QToolButton(this);
  OptionsBtn->setText("Options");
  OptionsBtn->setPopupMode(QToolButton::InstantPopup);

  TaskPopup = new controls::TPopupMenuEx(this);
  const auto item = [this](const QString& caption, void (TDlgScheduler::*handler)()) {
    QAction* a = TaskPopup->addAction(caption);
    connect(a, &QAction::triggered, this, handler);
    return a;
  };
  MenuNew = item("&Nouvelle tâche...", &TDlgScheduler::NewTaskClick);
  MenuAddWeb = item("Ajouter un web...", &TDlgScheduler::AddWebClick);
  MenuAddWebList = item("Ajouter une &liste de Webs...", &TDlgScheduler::AddWebListClick);
  MenuProperties = item("&Propriétés...", &TDlgScheduler::PropertiesClick);
  TaskPopup->addSeparator();
  MenuStart = item("&Démarrer", &TDlgScheduler::StartClick);
  MenuStop = item("&Arrêter", &TDlgScheduler::StopClick);
  MenuSleep = item("S&uspendre", &TDlgScheduler::SleepClick);
  TaskPopup->addSeparator();
  MenuCopy = item("&Copier", &TDlgScheduler::CopyClick);
  MenuPaste = item("C&oller", &TDlgScheduler::PasteClick);
  MenuDelete = item("&Supprimer", &TDlgScheduler::DeleteClick);
  MenuClearJournal = item("&Effacer le journal", &TDlgScheduler::ClearJournalClick);
  TaskPopup->OnPopup = [this](controls::TPopupMenuEx*) { UpdateCommands(); };
  OptionsMenu = new QMenu(this);
  MenuSuspend = OptionsMenu->addAction("Suspendre le gestionnaire");
  MenuSuspend->setCheckable(true);
  MenuHide = OptionsMenu->addAction("Cacher Quillon pendant les travaux");
  MenuHide->setCheckable(true);
  connect(MenuSuspend, &QAction::triggered, this, &TDlgScheduler::SuspendClick);
  connect(MenuHide, &QAction::triggered, this, &TDlgScheduler::HideProgramClick);
  OptionsBtn->setMenu(OptionsMenu);

  connect(NewBtn, &QPushButton::clicked, this, &TDlgScheduler::NewTaskClick);
  connect(AddWebBtn, &QPushButton::clicked, this, &TDlgScheduler::AddWebClick);
  connect(PropBtn, &QPushButton::clicked, this, &TDlgScheduler::PropertiesClick);
  connect(StartBtn, &QPushButton::clicked, this, &TDlgScheduler::StartStopClick);

  auto* details = new QWidget(this);
  auto* dl = new QVBoxLayout(details);
  for (QLabel* l : {TaskLabel, TaskTextLabel, StateLabel, LastStartLabel, DurationLabel, ResultLabel}) dl->addWidget(l);
  dl->addWidget(new QLabel("Journal :", details));
  dl->addWidget(JournalList, 1);
  auto* split = new QSplitter(this);
  split->addWidget(TaskView);
  split->addWidget(details);
  // The task captions are long ("Tous les ... à 00:00:00"): the tree takes
  // the larger share, the details keep what their labels need.
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  auto* buttons = new QHBoxLayout;
  for (QWidget* b : std::initializer_list<QWidget*>{NewBtn, AddWebBtn, PropBtn, StartBtn, OptionsBtn})
    buttons->addWidget(b);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split, 1);
  layout->addLayout(buttons);

  TaskView->OnClick = [this](controls::WGrid*) {
    RefreshDetails();
    RefreshJournal();
  };
  TaskView->OnDblClick = [this](controls::WGrid*) { PropertiesClick(); };
  TaskView->OnKeyDown = [this](controls::WGrid*, int& key, Qt::KeyboardModifiers) {
    if (key != Qt::Key_Delete) return;
    key = 0;
    DeleteClick();
  };
  TaskView->OnMouseUp = [this](controls::WGrid*, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
    if (b != Qt::RightButton) return;
    const QPoint at = TaskView->viewport()->mapToGlobal(QPoint(x, y));
    TaskPopup->Popup(at.x(), at.y());
  };
  TaskView->OnStartDrag = [this](controls::WGrid*) {
    auto lock = scheduler_->LockTree();
    dragSource_ = SelectedTask();
  };
  TaskView->OnDragOver = [this](controls::WGrid*, controls::WGrid* source, int x, int y, controls::TDragState,
                                bool& accept) {
    if (source != TaskView) return;
    auto lock = scheduler_->LockTree();
    syncTree();
    const int index = TaskView->GetNodeIndexAt(x, y);
    accept = index > 0 && Live(dragSource_) && CanDrop(dragSource_, taskOf(TaskView->GetNode(index)));
  };
  TaskView->OnDragDrop = [this](controls::WGrid*, controls::WGrid* source, int x, int y) {
    if (source != TaskView) return;
    TTask* target = nullptr;
    {
      auto lock = scheduler_->LockTree();
      syncTree();
      const int index = TaskView->GetNodeIndexAt(x, y);
      if (index > 0) target = taskOf(TaskView->GetNode(index));
    }
    // DRAG_COPY: Ctrl held at the drop copies instead of moving.
    DropTask(dragSource_, target, QGuiApplication::keyboardModifiers() & Qt::ControlModifier);
    dragSource_ = nullptr;
  };

  bindEvents();
  RebuildTree();
  RefreshStatus();
}

TDlgScheduler::~TDlgScheduler() {
  // Joins the thread before the handlers' window goes.
  scheduler_.reset();
}

void TDlgScheduler::bindEvents() {
  TScheduler& s = *scheduler_;
  s.OnTaskChange = [this](TTask&) {
    ++generation_;
    post(rebuildPending_, &TDlgScheduler::RebuildTree);
  };
  s.OnTaskStateChange = [this](TTask&) { post(statePending_, &TDlgScheduler::RefreshStates); };
  s.OnTick = [this] { post(statePending_, &TDlgScheduler::RefreshStates); };
  s.OnStateChange = [this] { post(statusPending_, &TDlgScheduler::RefreshStatus); };
  s.OnJournal = [this](TTask&) { post(journalPending_, &TDlgScheduler::RefreshJournal); };
}

void TDlgScheduler::post(std::atomic<bool>& pending, void (TDlgScheduler::*handler)()) {
  if (pending.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this, &pending, handler] {
        pending = false;
        (this->*handler)();
      },
      Qt::QueuedConnection);
}

int TDlgScheduler::exec(QDialog& dialog) { return ExecDialog ? ExecDialog(dialog) : dialog.exec(); }

TTask* TDlgScheduler::taskOf(TWTreeNode* node) const {
  return node && node != TaskView->Root() ? reinterpret_cast<TTask*>(node->data) : nullptr;
}

void TDlgScheduler::syncTree() {
  if (builtGeneration_ != generation_.load()) RebuildTree();
}

TTask* TDlgScheduler::SelectedTask() {
  auto lock = scheduler_->LockTree();
  syncTree();
  return taskOf(TaskView->Model().RawSelection());
}

void TDlgScheduler::SelectTask(const TTask* task) {
  auto lock = scheduler_->LockTree();
  syncTree();
  TaskView->IterateNodes(TaskView->Root(), [&](TWTreeNode* n) {
    if (taskOf(n) != task) return true;
    TaskView->Model().SelectNode(n);
    return false;
  });
  RefreshDetails();
  RefreshJournal();
}

void TDlgScheduler::RebuildTree() {
  auto lock = scheduler_->LockTree();
  builtGeneration_ = generation_.load();
  const TTask* selected = taskOf(TaskView->Model().RawSelection());
  std::set<const TTask*> collapsed;
  for (int j = 0; j < TaskView->Root()->ChildCount(); ++j)
    if (TWTreeNode* n = TaskView->Root()->Child(j); !n->GetExpanded()) collapsed.insert(taskOf(n));
  TWTreeNode* select = nullptr;
  TaskView->BeginUpdate();
  TaskView->Clear();
  TMainTask& root = scheduler_->Root();
  for (int j = 0; j < root.GetChildCount(); ++j) {
    TTask* job = root.GetChild(j);
    auto node = std::make_unique<TWTreeNode>(
        QString("[%1] ").arg(job->Number) + QString::fromStdString(job->GetStartText()));
    node->flags = TWTreeNode::nfStateImage;
    node->checkState = job->GetState();
    node->data = reinterpret_cast<qintptr>(job);
    TWTreeNode* jobNode = node.get();
    TaskView->AddNode(nullptr, std::move(node));
    if (job == selected) select = jobNode;
    for (int s = 0; s < job->GetChildCount(); ++s) {
      TTask* step = job->GetChild(s);
      const std::string caption = IsStep(step) ? static_cast<TTaskWeb*>(step)->GetCaption() : step->GetStartText();
      auto child = std::make_unique<TWTreeNode>(QString::fromStdString(caption));
      child->flags = TWTreeNode::nfStateImage;
      child->checkState = quint8(step->GetState() + kStepImages);
      child->data = reinterpret_cast<qintptr>(step);
      if (step == selected) select = child.get();
      TaskView->AddNode(jobNode, std::move(child));
    }
    jobNode->SetExpanded(!collapsed.count(job));
  }
  TaskView->EndUpdate();
  // The grid always shows a current row: it is the selected task.
  if (!select && root.GetChildCount() > 0) select = TaskView->Root()->Child(0);
  if (select) TaskView->Model().SelectNode(select);
  RefreshDetails();
  RefreshJournal();
}

void TDlgScheduler::RefreshStates() {
  {
    auto lock = scheduler_->LockTree();
    syncTree();
    TaskView->IterateNodes(TaskView->Root(), [&](TWTreeNode* n) {
      const TTask* task = taskOf(n);
      const quint8 image = quint8(task->GetState() + (IsStep(task) ? kStepImages : 0));
      if (n->checkState != image) {
        n->checkState = image;
        TaskView->InvalidateNode(n);
      }
      return true;
    });
  }
  RefreshDetails();
  RefreshStatus();
}

void TDlgScheduler::RefreshDetails() {
  auto lock = scheduler_->LockTree();
  const TTask* task = SelectedTask();
  if (!task) {
    for (QLabel* l : {TaskLabel, TaskTextLabel, StateLabel, LastStartLabel, DurationLabel, ResultLabel}) l->clear();
    StartBtn->setText("Démarrer");
    StartBtn->setEnabled(false);
    UpdateCommands();
    return;
  }
  TaskLabel->setText(QString("Tâche %1").arg(task->Number));
  TaskTextLabel->setText(QString::fromStdString(IsStep(task) ? static_cast<const TTaskWeb*>(task)->GetCaption()
                                                             : task->GetStartText())
                             .trimmed());
  StateLabel->setText(Text(TextAt(kTaskStateTexts, task->GetState())));
  LastStartLabel->setText("Dernier démarrage : " +
                          (task->LastStart == 0 ? QString("<Aucun>") : QString::fromStdString(FormatTaskDate(task->LastStart))));
  QString duration;
  if (task->LastStart != 0)
    duration = SpanText(task->IsActive() ? scheduler_->Now() - task->LastStart : task->LastEnd - task->LastStart);
  DurationLabel->setText("Durée : " + duration);
  ResultLabel->setText(task->GetState() == tsError ? Text(TextAt(kTaskErrorTexts, task->Result)) + " ( " +
                                                         QString::fromStdString(task->Message) + " )"
                                                   : QString());
  StartBtn->setText(task->IsActive() ? "Arrêter" : "Démarrer");
  StartBtn->setEnabled(true);
  UpdateCommands();
}

void TDlgScheduler::RefreshJournal() {
  TaskStringList lines;
  {
    auto lock = scheduler_->LockTree();
    if (const TTask* task = SelectedTask()) lines = task->LoadJournal();
  }
  JournalList->clear();
  const std::size_t first = lines.size() > std::size_t(kJournalLines) ? lines.size() - kJournalLines : 0;
  for (std::size_t i = first; i < lines.size(); ++i) JournalList->addItem(QString::fromStdString(lines[i]));
  JournalList->scrollToBottom();
}

void TDlgScheduler::RefreshStatus() {
  MenuSuspend->setChecked(scheduler_->IsSuspended());
  MenuHide->setChecked(scheduler_->GetStateByte() & TScheduler::kHideProgram);
  if (host_) host_->SchedulerStatusChanged(QString::fromStdString(scheduler_->GetStatusText()));
}

void TDlgScheduler::UpdateCommands() {
  auto lock = scheduler_->LockTree();
  const TTask* task = SelectedTask();
  const bool any = task != nullptr;
  const bool active = any && task->IsActive();
  MenuAddWeb->setEnabled(any);
  MenuAddWebList->setEnabled(any);
  AddWebBtn->setEnabled(any);
  MenuProperties->setEnabled(any);
  PropBtn->setEnabled(any);
  MenuClearJournal->setEnabled(any);
  // The main window may be running an active task: it stays in the tree.
  MenuDelete->setEnabled(any && !active);
  MenuCopy->setEnabled(any);
  const TTask* copied = clipboard_ ? clipboard_->GetChild(0) : nullptr;
  MenuPaste->setEnabled(copied && (!IsStep(copied) || any));
  MenuStart->setEnabled(any && !active);
  MenuStop->setEnabled(active);
  MenuSleep->setEnabled(any);
}

TTask* TDlgScheduler::jobOfSelection() {
  TTask* task = SelectedTask();
  return task && IsStep(task) ? task->GetParent() : task;
}

void TDlgScheduler::afterEdit(const TTask* select) {
  scheduler_->SaveTasks();
  auto lock = scheduler_->LockTree();
  syncTree();
  if (select) SelectTask(select);
  RefreshStates();
}


void TDlgScheduler::NewTaskClick() {
  TTask edited;
  {
    auto lock = scheduler_->LockTree();
    TDlgTask dialog(edited, OtherJobs(scheduler_->Root(), nullptr), this);
    lock.unlock();  // the scheduler runs on while the dialog is open
    if (exec(dialog) != QDialog::Accepted) return;
    dialog.SaveTo(edited);
  }
  auto lock = scheduler_->LockTree();
  TTask* added = scheduler_->Root().AddCopy(edited);
  if (added) ApplySleep(*added, edited);
  lock.unlock();
  afterEdit(added);
}

void TDlgScheduler::AddWebClick() {
  TTaskWeb edited;
  TDlgTaskWeb dialog(edited, scheduler_->Config().WorkFolder, false, this);
  if (!jobOfSelection() || exec(dialog) != QDialog::Accepted) return;
  dialog.SaveTo(edited);
  auto lock = scheduler_->LockTree();
  TTask* job = jobOfSelection();  // it may have gone while the dialog was open
  TTask* added = job ? job->AddCopy(edited) : nullptr;
  if (added) ApplySleep(*added, edited);
  lock.unlock();
  afterEdit(added);
}

void TDlgScheduler::AddWebListClick() {
  TTaskWeb edited;
  TDlgTaskWeb dialog(edited, scheduler_->Config().WorkFolder, true, this);
  if (!jobOfSelection() || exec(dialog) != QDialog::Accepted) return;
  dialog.SaveTo(edited);
  auto lock = scheduler_->LockTree();
  TTask* job = jobOfSelection();
  if (!job) return;
  for (const std::string& web : dialog.CheckedWebs()) {
    bool held = false;
    for (int i = 0; i < job->GetChildCount() && !held; ++i)
      if (const auto* step = dynamic_cast<const TTaskWeb*>(job->GetChild(i))) held = SamePath(step->WebPath, web);
    if (held) continue;
    edited.WebPath = web;
    if (TTask* added = job->AddCopy(edited)) ApplySleep(*added, edited);
  }
  lock.unlock();
  afterEdit(job);
}

void TDlgScheduler::PropertiesClick() {
  auto lock = scheduler_->LockTree();
  TTask* const task = SelectedTask();
  if (!task) return;
  const std::unique_ptr<TMainTask> holder = Detach(*task);
  TTask& edited = *holder->GetChild(0);
  int result;
  if (auto* step = dynamic_cast<TTaskWeb*>(&edited)) {
    TDlgTaskWeb dialog(*step, scheduler_->Config().WorkFolder, false, this);
    lock.unlock();
    result = exec(dialog);
    if (result == QDialog::Accepted) dialog.SaveTo(*step);
  } else {
    TDlgTask dialog(edited, OtherJobs(scheduler_->Root(), task), this);
    lock.unlock();
    result = exec(dialog);
    if (result == QDialog::Accepted) dialog.SaveTo(edited);
  }
  if (result != QDialog::Accepted) return;
  lock.lock();
  // The task may have been deleted while the dialog was open.
  syncTree();
  if (!Live(task)) return;
  task->Assign(edited);
  ApplySleep(*task, edited);
  lock.unlock();
  afterEdit(task);
}

void TDlgScheduler::ClearJournalClick() {
  auto lock = scheduler_->LockTree();
  if (TTask* task = SelectedTask()) task->ClearJournal();
  lock.unlock();
  RefreshJournal();
}

void TDlgScheduler::DeleteClick() {
  auto lock = scheduler_->LockTree();
  TTask* task = SelectedTask();
  if (!task || task->IsActive() || !task->GetParent()) return;
  TTask* parent = task->GetParent();
  parent->DeleteChild(task);
  lock.unlock();
  afterEdit(parent == &scheduler_->Root() ? nullptr : parent);
}

void TDlgScheduler::CopyClick() {
  auto lock = scheduler_->LockTree();
  if (const TTask* task = SelectedTask()) clipboard_ = Detach(*task);
  lock.unlock();
  UpdateCommands();
}

void TDlgScheduler::PasteClick() {
  auto lock = scheduler_->LockTree();
  const TTask* copied = clipboard_ ? clipboard_->GetChild(0) : nullptr;
  if (!copied) return;
  TTask* target = IsStep(copied) ? jobOfSelection() : &scheduler_->Root();
  TTask* added = target ? target->AddCopy(*copied) : nullptr;
  if (added) ApplySleep(*added, *copied);
  lock.unlock();
  afterEdit(added);
}

void TDlgScheduler::StartClick() {
  auto lock = scheduler_->LockTree();
  if (TTask* task = SelectedTask(); task && !task->IsActive()) task->Start();
  lock.unlock();
  RefreshStates();
}

void TDlgScheduler::StopClick() {
  auto lock = scheduler_->LockTree();
  if (TTask* task = SelectedTask(); task && task->IsActive()) task->Stop();
  lock.unlock();
  RefreshStates();
}

void TDlgScheduler::StartStopClick() {
  bool active;
  {
    auto lock = scheduler_->LockTree();
    const TTask* task = SelectedTask();
    if (!task) return;
    active = task->IsActive();
  }
  active ? StopClick() : StartClick();
}

void TDlgScheduler::SleepClick() {
  auto lock = scheduler_->LockTree();
  TTask* task = SelectedTask();
  if (!task) return;
  if (task->GetState() == tsAsleep)
    task->SetState(tsWaiting);
  else
    task->Sleep();
  lock.unlock();
  afterEdit(task);
}

void TDlgScheduler::SuspendClick() {
  scheduler_->SetSuspended(!scheduler_->IsSuspended());
  RefreshStatus();
}

void TDlgScheduler::HideProgramClick() {
  scheduler_->SetHideProgram(!(scheduler_->GetStateByte() & TScheduler::kHideProgram));
  RefreshStatus();
}

bool TDlgScheduler::CanDrop(const TTask* source, const TTask* target) const {
  if (!source || !target || source == target) return false;
  // A job goes before the target's job, which must be another one; a step
  // goes into a job or before a step.
  return IsStep(source) || !(IsStep(target) && target->GetParent() == source);
}

bool TDlgScheduler::Live(const TTask* task) {
  bool live = false;
  TaskView->IterateNodes(TaskView->Root(), [&](TWTreeNode* n) {
    live = task && taskOf(n) == task;
    return !live;
  });
  return live;
}

bool TDlgScheduler::DropTask(TTask* source, TTask* target, bool copy) {
  auto lock = scheduler_->LockTree();
  syncTree();
  // Both must still be in the tree.
  if (!Live(source) || !Live(target) || !CanDrop(source, target)) return false;
  if (!copy && source->IsActive()) return false;
  TTask* parent;
  int index;
  if (!IsStep(source)) {
    parent = &scheduler_->Root();
    index = (IsStep(target) ? target->GetParent() : target)->GetIndex();
  } else if (IsStep(target)) {
    parent = target->GetParent();
    index = target->GetIndex();
  } else {
    parent = target;
    index = target->GetChildCount();
  }
  TTask* placed;
  if (copy) {
    placed = parent->InsertCopy(*source, index);
    if (placed) ApplySleep(*placed, *source);
  } else if (source->GetParent() == parent) {
    // A move among siblings keeps the task (its number and journal): swap
    // it along to its place.
    int from = source->GetIndex();
    const int to = from < index ? index - 1 : index;
    for (; from < to; ++from) parent->ExchangeChildren(parent->GetChild(from), parent->GetChild(from + 1));
    for (; from > to; --from) parent->ExchangeChildren(parent->GetChild(from), parent->GetChild(from - 1));
    placed = source;
  } else {
    placed = parent->InsertCopy(*source, index);
    if (placed) {
      ApplySleep(*placed, *source);
      source->GetParent()->DeleteChild(source);
    }
  }
  lock.unlock();
  if (placed) afterEdit(placed);
  return placed != nullptr;
}

}  // namespace qlon
