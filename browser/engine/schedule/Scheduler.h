#pragma once
// The scheduler: capture jobs run at set times.
//
// Tree: one root (TMainTask) whose children are the jobs (TTask); a job's
// children are its web steps (TTaskWeb), run in order. A thread
// (TScheduler) polls the tree every 300 ms and steps each task through
//
//   0 waiting -> 1 starting -> 2 running -> 3 ending -> 0      (4 asleep, 5 error)
//
// Starting and ending are the GUI's work: the thread hands the task to
// OnTaskStart / OnTaskEnd on the GUI thread and waits (a synchronised call);
// the handler moves the task on (to 2, to 0, or SetError). A capture's end
// comes back through EndWebTask.
//
// Locking. One tree lock (recursive) guards every task of the tree; every
// tree operation takes it, and the GUI takes it (LockTree) around reading
// or editing task fields. A synchronised call releases the lock while it
// waits, so the GUI handler can edit the tree; a task deleted meanwhile is
// kept alive (retired) until the next poll, so the waiting step never
// touches freed memory. Made from the GUI thread, a synchronised call runs
// the handler directly. Terminate cancels a call the GUI has not started,
// so shutting down never waits for the GUI.
//
// "scheduler.dat" (work folder), little-endian, dates as 8-byte doubles
// (days since 1899-12-30, local time):
//
//   "SCHED\0"  6 bytes magic        int32 version (1)
//   byte       scheduler state      double next start date
//   root task record
//
// Task record: byte start kind, int16 number, byte wait-for number, byte
// day, int16 months, byte week days, double start date, double last start,
// double last end, int32 idle minutes, byte max duration on, double max
// duration, byte result, short string message, byte state, byte flags,
// int32 child count, then per child its class name (short string) and its
// record. A web step appends its capture file (int16 length + bytes) and its
// actions byte. The file is replaced atomically; a file that is not a
// scheduler file is refused and kept aside as "scheduler.dat.bad".
//
// Journals: work folder + "Task%d.jrl", n = parent's number * 256 + number,
// one line per entry; web steps write into their job's journal.
//
// Shared state: HKEY_CLASSES_ROOT\Quillon\Scheduler values "State"
// (REG_DWORD, the state byte) and "Startup date" (REG_BINARY, the double),
// written under the cross-process synchronizer "QuillonSyncExchange"
// (participant 1) for the companion program "qlonschd", which is started
// after a save when a next start exists and it is not running.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DataSynchronizer.h"
#include "Types.h"

class QIODevice;

namespace qlon {

class TScheduler;

using TaskStringList = std::vector<std::string>;

enum TTaskState : std::uint8_t { tsWaiting, tsStarting, tsRunning, tsEnding, tsAsleep, tsError };

enum TTaskStartKind : std::uint8_t {
  skWithParent,  // a web step: runs when its job runs
  skMonthly,
  skWeekDays,
  skOnce,
  skAfterTask,  // started by the user only
  skIdle,       // when the computer has been idle long enough
};

// Task flags.
inline constexpr std::uint8_t kTaskChecked = 2;
inline constexpr std::uint8_t kTaskCloseProgram = 4;
inline constexpr std::uint8_t kTaskHangUp = 8;

// Web step actions.
inline constexpr std::uint8_t kActionReset = 1;
inline constexpr std::uint8_t kActionCapture = 2;
inline constexpr std::uint8_t kActionUpdate = 4;
inline constexpr std::uint8_t kActionResolveLinks = 8;

// Journal entry kinds.
enum TJournalKind {
  jkTaskStart,
  jkTaskStop,
  jkWebLoad,
  jkWorkStart,
  jkWorkStop,
  jkWebClose,
  jkLineOpen,
  jkLineClose,
  jkError,
  jkDialState,
};

// "dddd d mmm yyyy,hh:mm:ss"; empty for date 0.
std::string FormatTaskDate(double date);

// A recursive lock that a synchronised call can release completely and take
// back at the same depth.
class TTaskTreeLock {
 public:
  void lock();
  void unlock();
  // Releases every level this thread holds; returns them for Restore.
  int ReleaseAll();
  void Restore(int depth);

 private:
  std::mutex m_;
  std::condition_variable free_;
  std::thread::id owner_;
  int depth_ = 0;
};

class TTask {
 public:
  explicit TTask(TScheduler* owner = nullptr);
  virtual ~TTask();
  TTask(const TTask&) = delete;
  TTask& operator=(const TTask&) = delete;

  virtual const char* ClassName() const { return "TTask"; }
  // A new task of the same class.
  virtual std::unique_ptr<TTask> Create(TScheduler* owner) const;
  virtual void AppendJournal(const std::string& line);
  // Throws EWriteError.
  virtual void SaveToStream(QIODevice& stream) const;
  // Throws EReadError on a truncated or malformed record.
  virtual void LoadFromStream(QIODevice& stream);
  // Copies the start rule and the flags (not the state, the history or the
  // children).
  virtual void Assign(const TTask& source);
  virtual TaskStringList LoadJournal() const;
  virtual void Log(const std::string& text);
  virtual void Step();
  // False when the job has stepped through all its children.
  virtual bool RunChildren();

  // Tree. AddChild gives the smallest number 1..255 unused by a sibling;
  // nullptr when none is free.
  TTask* AddChild(std::unique_ptr<TTask> task);
  // A new task of the source's class, Assigned, with copies of its children.
  TTask* AddCopy(const TTask& source);
  TTask* InsertCopy(const TTask& source, int index);
  // Removes the child and its journal.
  void DeleteChild(TTask* task);
  void ExchangeChildren(TTask* a, TTask* b);
  TTask* GetChild(int index) const;
  int GetChildCount() const { return static_cast<int>(children_.size()); }
  int GetIndex() const;
  TTask* FindActiveChild() const;
  bool IsActive() const { return state_ >= tsStarting && state_ <= tsEnding; }
  // Depth first, each child before its own children.
  void ForEachDescendant(const std::function<void(TTask&)>& callback);
  TTask* GetParent() const { return parent_; }
  TScheduler* GetOwner() const { return owner_; }

  // Commands.
  void Start();
  void Stop();
  void Sleep();
  void SetError(int code, const std::string& message);
  void SetState(TTaskState state);
  TTaskState GetState() const { return state_; }
  virtual void ClearJournal();
  void WriteJournal(TJournalKind kind, const std::string& text = {}, int code = 0);
  std::filesystem::path JournalFile() const;

  // Rules, as of `now`.
  bool IsDue(double now) const;
  // 0 when none.
  double NextStart(double now) const;
  bool TimeLimitPassed(double now) const;
  std::string GetStartText() const;

  std::uint8_t Flags = 0;
  std::uint16_t Number = 0;
  std::uint32_t WaitFor = 0;
  TTaskStartKind StartKind = skWithParent;
  double LastStart = 0;
  double StartDate = 0;
  double LastEnd = 0;
  std::int32_t Result = 0;
  std::string Message;
  std::int32_t ChildIndex = 0;
  double MaxDuration = 0;
  bool MaxDurationOn = false;
  std::uint8_t Day = 1;
  std::uint8_t WeekDays = 0;  // bit 0 Monday ... bit 6 Sunday
  std::uint16_t Months = 0;   // bits 1..12
  std::int32_t IdleMinutes = 0;
  bool StartGuard = false;
  bool EndGuard = false;

 protected:
  double Now() const;
  void SetOwnerDeep(TScheduler* owner);
  void CopyChildrenFrom(const TTask& source);
  std::vector<std::unique_ptr<TTask>>& Children() { return children_; }

 private:
  friend class TScheduler;
  TTask* Adopt(std::unique_ptr<TTask> task, int index);
  void Changed();

  TScheduler* owner_;
  TTask* parent_ = nullptr;
  std::vector<std::unique_ptr<TTask>> children_;
  TTaskState state_ = tsWaiting;
};

class TMainTask : public TTask {
 public:
  using TTask::TTask;
  const char* ClassName() const override { return "TMainTask"; }
  std::unique_ptr<TTask> Create(TScheduler* owner) const override;
  // Steps every job while active; otherwise only the jobs still ending, so
  // that a stop (a suspension) completes.
  void Step() override;
};

class TTaskWeb : public TTask {
 public:
  explicit TTaskWeb(TScheduler* owner = nullptr);
  const char* ClassName() const override { return "TTaskWeb"; }
  std::unique_ptr<TTask> Create(TScheduler* owner) const override;
  void AppendJournal(const std::string& line) override;
  void SaveToStream(QIODevice& stream) const override;
  void LoadFromStream(QIODevice& stream) override;
  void Assign(const TTask& source) override;
  TaskStringList LoadJournal() const override;
  void ClearJournal() override;
  // A web step runs until its end is reported.
  bool RunChildren() override { return true; }

  // The web's title (its path when it has none), cut to 37 characters and
  // "..." past 40, then "[number]" and the actions.
  std::string GetCaption() const;
  std::string ActionsText() const;

  std::string WebPath;
  std::uint8_t Actions = kActionCapture;
};

using TTaskFactory = std::unique_ptr<TTask> (*)(TScheduler* owner);
void RegisterTaskClass(const std::string& name, TTaskFactory factory);
// nullptr for a name never registered.
TTaskFactory FindTaskClass(const std::string& name);

// How the scheduler thread reaches the GUI thread.
class ISchedulerGui {
 public:
  virtual ~ISchedulerGui() = default;
  virtual bool IsCurrentThread() const = 0;
  // Queues the function to run later on the GUI thread (never now).
  virtual void Post(std::function<void()> function) = 0;
};

// Set by the companion in the environment of the program it starts for a
// due job: that start has nobody to answer the first start's question.
inline constexpr const char* kScheduledStartVariable = "QLON_SCHEDULED_START";

struct TSchedulerConfig {
  std::filesystem::path WorkFolder;     // scheduler.dat and journals
  std::filesystem::path ProgramFolder;  // where the companion program lives
  // Local date-time now (days since 1899-12-30); default the system clock.
  std::function<double()> Now;
  // Seconds since the user's last input; negative when unknown (default),
  // which keeps idle jobs to the user's start command.
  std::function<int()> IdleSeconds;
  // Default: the Qt event loop of the thread that creates the scheduler.
  ISchedulerGui* Gui = nullptr;
  int StartDelayMs = 5000;
  int PollIntervalMs = 300;
  int SyncWaitMs = TDataSynchronizer::kPollTimeoutMs;
};

class TScheduler {
 public:
  static constexpr std::uint8_t kSuspended = 1;
  static constexpr std::uint8_t kHideProgram = 2;
  static constexpr std::int32_t kFileVersion = 1;
  static constexpr const char* kSyncName = "QuillonSyncExchange";
  static constexpr const char* kRegistryKey = "Quillon\\Scheduler";
  static constexpr const char* kCompanion = "qlonschd";

  // Loads "scheduler.dat"; the thread starts with Resume, once the events
  // are bound.
  explicit TScheduler(TSchedulerConfig config);
  // Terminates and joins the thread (cancelling a pending synchronised
  // call), then saves "scheduler.dat".
  ~TScheduler();
  TScheduler(const TScheduler&) = delete;
  TScheduler& operator=(const TScheduler&) = delete;

  void Resume();
  void Terminate();
  // One poll round of the thread (after its sleep).
  void Tick();

  TMainTask& Root() { return *root_; }
  std::unique_lock<TTaskTreeLock> LockTree() { return std::unique_lock<TTaskTreeLock>(treeLock_); }

  // False when the file could not be written.
  bool SaveTasks();
  // False when the file exists but is not a valid scheduler file.
  bool LoadTasks();
  void SetSuspended(bool suspended);
  void SetHideProgram(bool hide);
  std::uint8_t GetStateByte() const { return state_.load(); }
  bool IsSuspended() const { return (state_.load() & kSuspended) != 0; }
  double GetNextStart() const { return nextStart_.load(); }
  // The smallest next start of the jobs; 0 when none.
  double ComputeNextStart();
  std::string GetStatusText();
  void EndWebTask(const std::string& captureFile, bool ignore, int code, const std::string& message);
  // Publishes the state and next start in the registry.
  void SaveState();
  // What the registry holds (what the companion reads); false when nothing
  // was published.
  static bool ReadPublished(std::uint8_t& state, double& nextStart);
  // A job's start has come and the scheduler is not suspended: what the
  // companion starts the program for.
  static bool JobDue();

  double Now() const;
  int IdleSeconds() const;
  const TSchedulerConfig& Config() const { return config_; }
  TTask* CallTask() const { return callTask_; }

  // Called on the scheduler thread.
  std::function<void()> OnTick;
  std::function<void()> OnStateChange;
  // Called on the thread that made the change, the tree lock held.
  std::function<void(TTask&)> OnTaskStateChange;
  std::function<void(TTask&)> OnTaskChange;
  std::function<void(TTask&)> OnJournal;
  // Called on the GUI thread; unassigned, the call answers false.
  std::function<bool(TTask&)> OnTaskStart;
  std::function<bool(TTask&)> OnTaskEnd;

 private:
  friend class TTask;
  friend class TTaskWeb;
  struct PendingCall;

  // Runs the handler on the GUI thread; nullopt when cancelled.
  std::optional<bool> CallGui(const std::function<bool(TTask&)>& handler, TTask& task);
  std::optional<bool> CallTaskStart(TTask& task) { return CallGui(OnTaskStart, task); }
  std::optional<bool> CallTaskEnd(TTask& task);
  void TaskStateChanged(TTask& task);
  void TaskChanged(TTask& task);
  void TaskJournalChanged(TTask& task);
  void Retire(std::unique_ptr<TTask> task);
  void PublishState(bool takeLock);
  void WriteRegistryState();
  void ReadRegistryState();
  void StartCompanion();
  void Execute();
  void SleepFor(int ms);

  TSchedulerConfig config_;
  std::unique_ptr<ISchedulerGui> ownGui_;
  ISchedulerGui* gui_;
  TTaskTreeLock treeLock_;
  std::unique_ptr<TMainTask> root_;
  std::vector<std::unique_ptr<TTask>> retired_;
  std::atomic<std::uint8_t> state_{0};
  std::atomic<double> nextStart_{0};
  std::atomic<bool> statePending_{false};
  std::mutex syncMutex_;  // the synchronizer's objects serve one thread at a time
  TDataSynchronizer sync_;

  std::mutex callMutex_;
  std::shared_ptr<PendingCall> pending_;
  TTask* callTask_ = nullptr;

  std::atomic<bool> terminated_{false};
  std::mutex sleepMutex_;
  std::condition_variable sleepCv_;
  std::thread thread_;
};

}  // namespace qlon
