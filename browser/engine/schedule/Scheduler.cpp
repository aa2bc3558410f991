#include "Scheduler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include <QBuffer>
#include <QDate>
#include <QFile>
#include <QObject>
#include <QSaveFile>
#include <QThread>

#include "Registry.h"
#include "Shell.h"
#include "Texts.h"
#include "Utils.h"
#include "Web.h"

namespace qlon {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Dates: whole days since 1899-12-30 plus the fraction of the day. Rules
// compare times of day in milliseconds, so that a stored double that is a
// hair off a minute never moves a start across it.

namespace {

constexpr std::int64_t kDayMs = 86400000;
const QDate kEpoch(1899, 12, 30);

struct DayTime {
  QDate date;
  std::int64_t ms = 0;  // of the day
};

DayTime Split(double t) {
  double days = std::floor(t);
  std::int64_t ms = std::llround((t - days) * kDayMs);
  if (ms >= kDayMs) {
    days += 1;
    ms -= kDayMs;
  }
  return {kEpoch.addDays(static_cast<qint64>(days)), ms};
}

double Join(const QDate& date, std::int64_t ms) {
  return static_cast<double>(kEpoch.daysTo(date)) + static_cast<double>(ms) / kDayMs;
}

std::int64_t TimeOfDay(double t) { return Split(t).ms; }

double SystemNow() { return QDateTimeToDateTime(QDateTime::currentDateTime()); }

bool MonthSet(std::uint16_t months, int month) { return (months >> month) & 1; }
bool WeekDaySet(std::uint8_t days, const QDate& d) { return (days >> (d.dayOfWeek() - 1)) & 1; }

// Far enough to reach the next 29 February from any date (eight years
// apart around 2100).
constexpr int kMonthSearch = 8 * 12 + 1;

std::string HourMinute(double t) {
  const std::int64_t ms = TimeOfDay(t);
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60));
  return text;
}

std::string JoinNames(const auto& table, unsigned bits, int firstBit) {
  std::string out;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (!((bits >> (i + firstBit)) & 1)) continue;
    if (!out.empty()) out += ", ";
    out += table[i];
  }
  return out;
}

std::string Replace(std::string text, std::string_view placeholder, const std::string& value) {
  if (const std::size_t at = text.find(placeholder); at != std::string::npos)
    text.replace(at, placeholder.size(), value);
  return text;
}

std::string JournalStamp(double now) {
  const DayTime dt = Split(now);
  const std::int64_t s = dt.ms / 1000;
  return dt.date.toString(QStringLiteral("dd/MM/yyyy")).toStdString() +
         QStringLiteral(" %1:%2:%3")
             .arg(s / 3600, 2, 10, QLatin1Char('0'))
             .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
             .arg(s % 60, 2, 10, QLatin1Char('0'))
             .toStdString();
}

// Deeper trees than root, job and step are not made by the program; a
// file that claims them is damaged (and would exhaust the stack).
constexpr int kMaxLoadDepth = 8;
thread_local int gLoadDepth = 0;

struct LoadDepth {
  LoadDepth() {
    if (++gLoadDepth > kMaxLoadDepth) {
      --gLoadDepth;
      throw EReadError("arbre des tâches trop profond");
    }
  }
  ~LoadDepth() { --gLoadDepth; }
};

}  // namespace

std::string FormatTaskDate(double date) { return date == 0 ? std::string() : DateTimeText(date); }

// ---------------------------------------------------------------------------
// Tree lock

void TTaskTreeLock::lock() {
  std::unique_lock lk(m_);
  const auto me = std::this_thread::get_id();
  if (depth_ > 0 && owner_ == me) {
    ++depth_;
    return;
  }
  free_.wait(lk, [&] { return depth_ == 0; });
  owner_ = me;
  depth_ = 1;
}

void TTaskTreeLock::unlock() {
  std::lock_guard lk(m_);
  if (--depth_ == 0) {
    owner_ = {};
    free_.notify_one();
  }
}

int TTaskTreeLock::ReleaseAll() {
  std::lock_guard lk(m_);
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return 0;
  const int depth = depth_;
  depth_ = 0;
  owner_ = {};
  free_.notify_one();
  return depth;
}

void TTaskTreeLock::Restore(int depth) {
  if (depth == 0) return;
  std::unique_lock lk(m_);
  free_.wait(lk, [&] { return depth_ == 0; });
  owner_ = std::this_thread::get_id();
  depth_ = depth;
}

namespace {

// Holds the tree lock of the task's scheduler, if any.
class TreeGuard {
 public:
  explicit TreeGuard(TScheduler* owner) : owner_(owner) {
    if (owner_) lock_ = owner_->LockTree();
  }

 private:
  TScheduler* owner_;
  std::unique_lock<TTaskTreeLock> lock_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Task class registry

namespace {

struct TaskClass {
  std::string name;
  TTaskFactory factory;
};

std::vector<TaskClass>& TaskClasses() {
  static std::vector<TaskClass> classes = {
      {"TTask", [](TScheduler* o) -> std::unique_ptr<TTask> { return std::make_unique<TTask>(o); }},
      {"TTaskWeb", [](TScheduler* o) -> std::unique_ptr<TTask> { return std::make_unique<TTaskWeb>(o); }},
  };
  return classes;
}

std::mutex gClassesLock;

}  // namespace

void RegisterTaskClass(const std::string& name, TTaskFactory factory) {
  std::lock_guard lk(gClassesLock);
  for (TaskClass& c : TaskClasses())
    if (SameTextAscii(c.name, name)) {
      c.factory = factory;
      return;
    }
  TaskClasses().push_back({name, factory});
}

TTaskFactory FindTaskClass(const std::string& name) {
  std::lock_guard lk(gClassesLock);
  for (const TaskClass& c : TaskClasses())
    if (SameTextAscii(c.name, name)) return c.factory;
  return nullptr;
}

// ---------------------------------------------------------------------------
// TTask

TTask::TTask(TScheduler* owner) : owner_(owner) {}
TTask::~TTask() = default;

std::unique_ptr<TTask> TTask::Create(TScheduler* owner) const { return std::make_unique<TTask>(owner); }

double TTask::Now() const { return owner_ ? owner_->Now() : SystemNow(); }

void TTask::SetOwnerDeep(TScheduler* owner) {
  owner_ = owner;
  for (auto& c : children_) c->SetOwnerDeep(owner);
}

fs::path TTask::JournalFile() const {
  if (!owner_) return {};
  const int n = (parent_ ? parent_->Number : 0) * 256 + Number;
  return owner_->Config().WorkFolder / ("Task" + std::to_string(n) + ".jrl");
}

void TTask::AppendJournal(const std::string& line) {
  const fs::path file = JournalFile();
  if (file.empty()) return;
  {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    // A line break inside the text would make two entries of one.
    std::string clean = line;
    std::replace(clean.begin(), clean.end(), '\r', ' ');
    std::replace(clean.begin(), clean.end(), '\n', ' ');
    out << clean << "\r\n";
  }
  if (owner_) owner_->TaskJournalChanged(*this);
}

TaskStringList TTask::LoadJournal() const {
  TaskStringList lines;
  const fs::path file = JournalFile();
  if (file.empty()) return lines;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void TTask::Log(const std::string& text) { AppendJournal("[ " + JournalStamp(Now()) + " ] " + text); }

void TTask::WriteJournal(TJournalKind kind, const std::string& text, int code) {
  std::string entry;
  switch (kind) {
    case jkTaskStart:
    case jkTaskStop:
      Log(std::string(TextAt(kTaskJournalTexts, kind)));
      return;
    case jkWebLoad:
      entry = Replace(std::string(TextAt(kTaskJournalTexts, kind)), "%s", text);
      break;
    case jkWorkStart:
      entry = std::string(TextAt(kTaskJournalTexts, kind)) +
              (dynamic_cast<const TTaskWeb*>(this) ? static_cast<const TTaskWeb*>(this)->ActionsText() : text);
      break;
    case jkError:
      entry = "#" + std::string(TextAt(kTaskErrorTexts, code));
      if (!text.empty()) entry += " ( " + text + " )";
      break;
    case jkDialState:
      entry = std::string(TextAt(kDialStateTexts, code));
      break;
    default:
      entry = std::string(TextAt(kTaskJournalTexts, kind));
      break;
  }
  AppendJournal("[ " + JournalStamp(Now()) + " ] " + entry);
}

void TTask::ClearJournal() {
  const fs::path file = JournalFile();
  if (file.empty()) return;
  std::error_code ec;
  fs::remove(file, ec);
  if (owner_) owner_->TaskJournalChanged(*this);
}

void TTask::SaveToStream(QIODevice& s) const {
  WriteByte(StartKind, s);
  WriteWord(Number, s);
  WriteByte(static_cast<std::uint8_t>(WaitFor), s);
  WriteByte(Day, s);
  WriteWord(Months, s);
  WriteByte(WeekDays, s);
  WriteDouble(StartDate, s);
  WriteDouble(LastStart, s);
  WriteDouble(LastEnd, s);
  WriteInt32(IdleMinutes, s);
  WriteByte(MaxDurationOn, s);
  WriteDouble(MaxDuration, s);
  WriteByte(static_cast<std::uint8_t>(Result), s);
  WriteShortString(Message, s);
  WriteByte(state_, s);
  WriteByte(Flags, s);
  WriteInt32(static_cast<std::int32_t>(children_.size()), s);
  for (const auto& c : children_) {
    WriteShortString(c->ClassName(), s);
    c->SaveToStream(s);
  }
}

void TTask::LoadFromStream(QIODevice& s) {
  const LoadDepth depth;
  const std::uint8_t kind = ReadByteChecked(s);
  StartKind = kind <= skIdle ? static_cast<TTaskStartKind>(kind) : skAfterTask;
  Number = ReadWordChecked(s);
  WaitFor = ReadByteChecked(s);
  Day = ReadByteChecked(s);
  Months = ReadWordChecked(s);
  WeekDays = ReadByteChecked(s);
  StartDate = ReadDoubleChecked(s);
  LastStart = ReadDoubleChecked(s);
  LastEnd = ReadDoubleChecked(s);
  IdleMinutes = ReadInt32Checked(s);
  MaxDurationOn = ReadByteChecked(s) != 0;
  MaxDuration = ReadDoubleChecked(s);
  Result = ReadByteChecked(s);
  Message = ReadShortStringChecked(s);
  const std::uint8_t state = ReadByteChecked(s);
  // A run the program was closed in never gets its end reported: it waits
  // again. Unknown states read as errors, which the user can clear.
  state_ = state <= tsEnding ? tsWaiting : state <= tsError ? static_cast<TTaskState>(state) : tsError;
  Flags = ReadByteChecked(s);
  const std::int32_t count = ReadInt32Checked(s);
  if (count < 0) throw EReadError("nombre de tâches invalide");
  for (std::int32_t i = 0; i < count; ++i) {
    const TTaskFactory factory = FindTaskClass(ReadShortStringChecked(s));
    if (!factory) break;
    std::unique_ptr<TTask> child = factory(owner_);
    child->LoadFromStream(s);
    child->parent_ = this;
    children_.push_back(std::move(child));
  }
}

void TTask::Assign(const TTask& source) {
  if (&source == this) return;
  TreeGuard guard(owner_);
  Flags = source.Flags;
  WaitFor = source.WaitFor;
  StartKind = source.StartKind;
  StartDate = source.StartDate;
  MaxDuration = source.MaxDuration;
  MaxDurationOn = source.MaxDurationOn;
  Day = source.Day;
  WeekDays = source.WeekDays;
  Months = source.Months;
  IdleMinutes = source.IdleMinutes;
  Changed();
}

void TTask::CopyChildrenFrom(const TTask& source) {
  for (const auto& c : source.children_) AddCopy(*c);
}

TTask* TTask::Adopt(std::unique_ptr<TTask> task, int index) {
  if (!task) return nullptr;
  TreeGuard guard(owner_);
  std::uint16_t number = 0;
  for (std::uint16_t n = 1; n <= 255 && number == 0; ++n) {
    const bool used =
        std::any_of(children_.begin(), children_.end(), [n](const auto& c) { return c->Number == n; });
    if (!used) number = n;
  }
  if (number == 0) return nullptr;
  task->Number = number;
  task->parent_ = this;
  task->SetOwnerDeep(owner_);
  const std::size_t at = index < 0 ? children_.size() : std::min<std::size_t>(index, children_.size());
  TTask* added = task.get();
  children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(at), std::move(task));
  if (owner_) owner_->TaskChanged(*added);
  return added;
}

TTask* TTask::AddChild(std::unique_ptr<TTask> task) { return Adopt(std::move(task), -1); }

TTask* TTask::AddCopy(const TTask& source) { return InsertCopy(source, -1); }

TTask* TTask::InsertCopy(const TTask& source, int index) {
  // Built detached, so the GUI hears of the copy only once it is in the tree.
  std::unique_ptr<TTask> copy = source.Create(nullptr);
  copy->Assign(source);
  copy->CopyChildrenFrom(source);
  return Adopt(std::move(copy), index);
}

void TTask::DeleteChild(TTask* task) {
  TreeGuard guard(owner_);
  const auto it = std::find_if(children_.begin(), children_.end(), [task](const auto& c) { return c.get() == task; });
  if (it == children_.end()) return;
  // The journal goes with the job, so the next job given its number starts
  // a fresh one; a step's journal is its job's.
  if (!dynamic_cast<TTaskWeb*>(task)) {
    std::error_code ec;
    if (const fs::path file = task->JournalFile(); !file.empty()) fs::remove(file, ec);
  }
  std::unique_ptr<TTask> removed = std::move(*it);
  children_.erase(it);
  removed->parent_ = nullptr;
  if (ChildIndex > 0 && static_cast<std::size_t>(ChildIndex) > children_.size()) ChildIndex = 0;
  if (owner_) {
    owner_->TaskChanged(*this);
    owner_->Retire(std::move(removed));
  }
}

void TTask::ExchangeChildren(TTask* a, TTask* b) {
  TreeGuard guard(owner_);
  const int ia = a ? a->GetIndex() : -1, ib = b ? b->GetIndex() : -1;
  if (ia < 0 || ib < 0 || a->parent_ != this || b->parent_ != this) return;
  std::swap(children_[ia], children_[ib]);
  Changed();
}

TTask* TTask::GetChild(int index) const {
  return index >= 0 && index < GetChildCount() ? children_[index].get() : nullptr;
}

int TTask::GetIndex() const {
  if (!parent_) return -1;
  for (std::size_t i = 0; i < parent_->children_.size(); ++i)
    if (parent_->children_[i].get() == this) return static_cast<int>(i);
  return -1;
}

TTask* TTask::FindActiveChild() const {
  for (const auto& c : children_)
    if (c->IsActive()) return c.get();
  return nullptr;
}

void TTask::ForEachDescendant(const std::function<void(TTask&)>& callback) {
  for (std::size_t i = 0; i < children_.size(); ++i) {
    TTask& c = *children_[i];
    callback(c);
    c.ForEachDescendant(callback);
  }
}

void TTask::Changed() {
  if (owner_) owner_->TaskChanged(*this);
}

void TTask::Start() {
  TreeGuard guard(owner_);
  SetState(tsStarting);
  Step();
}

void TTask::Stop() {
  TreeGuard guard(owner_);
  SetState(tsEnding);
  Step();
}

void TTask::Sleep() {
  TreeGuard guard(owner_);
  SetState(tsAsleep);
  Step();
}

void TTask::SetError(int code, const std::string& message) {
  TreeGuard guard(owner_);
  Result = code;
  Message = message;
  SetState(tsError);
  WriteJournal(jkError, message, code);
}

void TTask::SetState(TTaskState state) {
  TreeGuard guard(owner_);
  if (state == state_) return;
  state_ = state;
  const auto stopActiveChildren = [this] {
    for (std::size_t i = 0; i < children_.size(); ++i)
      if (children_[i]->IsActive()) children_[i]->Stop();
  };
  switch (state) {
    case tsWaiting:
    case tsAsleep:
    case tsError:
      LastEnd = Now();
      // A step's end never reads as before its job's start, even with the
      // clock set back during the run: it would run again at once.
      if (StartKind == skWithParent && parent_) LastEnd = std::max(LastEnd, parent_->LastStart);
      stopActiveChildren();
      break;
    case tsRunning:
      ChildIndex = 0;
      LastStart = Now();
      // Ends "after" this start come from a clock set back since: the steps
      // must still run in this run.
      for (auto& c : children_)
        if (c->StartKind == skWithParent && c->LastEnd >= LastStart) c->LastEnd = LastStart - 1.0 / kDayMs;
      break;
    default:
      break;
  }
  if (owner_) owner_->TaskStateChanged(*this);
}

bool TTask::TimeLimitPassed(double now) const {
  // Full date-times: a run that crosses midnight is cut like any other; a
  // clock set back gives a negative running time, never a cut.
  return MaxDurationOn && MaxDuration > 0 && now - LastStart >= MaxDuration;
}

bool TTask::IsDue(double now) const {
  if (state_ != tsWaiting) return false;
  const DayTime today = Split(now);
  const std::int64_t startMs = TimeOfDay(StartDate);
  // Not again on a day whose run has ended after the start time.
  const auto ranToday = [&] {
    if (LastEnd == 0) return false;
    const DayTime end = Split(LastEnd);
    return end.date == today.date && end.ms >= startMs;
  };
  switch (StartKind) {
    case skWithParent:
      // Not yet run since its job started (the job's start is after any end
      // of an earlier run, see SetState).
      return parent_ && LastEnd < parent_->LastStart;
    case skMonthly:
      return today.date.day() == Day && MonthSet(Months, today.date.month()) && startMs <= today.ms && !ranToday();
    case skWeekDays:
      return WeekDaySet(WeekDays, today.date) && startMs <= today.ms && !ranToday();
    case skOnce:
      return now >= StartDate && LastEnd < StartDate;
    case skAfterTask:
      return false;
    case skIdle: {
      // Once per idle period: the job must not have ended since the user's
      // last input, or it would run back to back while the machine idles.
      const int idle = owner_ ? owner_->IdleSeconds() : -1;
      if (IdleMinutes <= 0 || idle < 0 || idle < IdleMinutes * 60) return false;
      return LastEnd < now - idle / 86400.0;
    }
  }
  return false;
}

double TTask::NextStart(double now) const {
  if (state_ == tsAsleep || state_ == tsError) return 0;
  const DayTime today = Split(now);
  const std::int64_t startMs = TimeOfDay(StartDate);
  switch (StartKind) {
    case skMonthly: {
      // A month without the day (the 31st of April) is passed over.
      const QDate first(today.date.year(), today.date.month(), 1);
      for (int i = 0; i < kMonthSearch; ++i) {
        const QDate month = first.addMonths(i);
        if (!MonthSet(Months, month.month()) || Day < 1 || Day > month.daysInMonth()) continue;
        const double candidate = Join(QDate(month.year(), month.month(), Day), startMs);
        if (candidate > now) return candidate;
      }
      return 0;
    }
    case skWeekDays:
      for (int i = 0; i <= 7; ++i) {
        const QDate day = today.date.addDays(i);
        if (!WeekDaySet(WeekDays, day)) continue;
        const double candidate = Join(day, startMs);
        if (candidate > now) return candidate;
      }
      return 0;
    case skOnce:
      return StartDate >= now && LastEnd <= StartDate ? StartDate : 0;
    default:
      return 0;
  }
}

std::string TTask::GetStartText() const {
  std::string text(TextAt(kTaskScheduleFormats, StartKind));
  switch (StartKind) {
    case skMonthly:
      text = Replace(text, "%d", std::to_string(Day));
      text = Replace(text, "%s", JoinNames(kMonthNames, Months, 1));
      return Replace(text, "%s", HourMinute(StartDate));
    case skWeekDays:
      text = Replace(text, "%s", JoinNames(kDayNames, WeekDays, 0));
      return Replace(text, "%s", HourMinute(StartDate));
    case skOnce:
      return Replace(text, "%s", FormatTaskDate(StartDate));
    case skAfterTask:
      return Replace(text, "%d", std::to_string(WaitFor));
    case skIdle:
      return Replace(text, "%d", std::to_string(IdleMinutes));
    default:
      return text;
  }
}

void TTask::Step() {
  TreeGuard guard(owner_);
  switch (state_) {
    case tsWaiting:
      if (IsDue(Now())) {
        StartGuard = EndGuard = false;
        SetState(tsStarting);
      }
      break;
    case tsStarting:
      if (!StartGuard) {
        StartGuard = true;
        const std::optional<bool> answer = owner_ ? owner_->CallTaskStart(*this) : std::optional<bool>(false);
        StartGuard = false;
        // A handler that ended the task (SetError) has the last word.
        if (answer && !*answer && state_ == tsStarting) SetState(tsRunning);
      }
      break;
    case tsRunning:
      if (TimeLimitPassed(Now()) || !RunChildren()) SetState(tsEnding);
      break;
    case tsEnding:
      if (!EndGuard) {
        EndGuard = true;
        for (std::size_t i = 0; i < children_.size(); ++i) {
          TTask* child = children_[i].get();
          if (child->state_ == tsStarting || child->state_ == tsRunning) {
            child->SetState(tsEnding);
            child->Step();
            EndGuard = false;
            return;
          }
          if (child->state_ == tsEnding) {
            EndGuard = false;
            return;
          }
        }
        const std::optional<bool> answer = owner_ ? owner_->CallTaskEnd(*this) : std::optional<bool>(false);
        EndGuard = false;
        if (answer && !*answer && state_ == tsEnding) SetState(tsWaiting);
      }
      break;
    default:
      break;
  }
}

bool TTask::RunChildren() {
  TreeGuard guard(owner_);
  if (!IsActive()) return true;
  // By index, with the bounds read again after every step: a GUI handler
  // may have edited the children while a step waited for it.
  while (ChildIndex >= 0 && static_cast<std::size_t>(ChildIndex) < children_.size()) {
    TTask* child = children_[ChildIndex].get();
    child->Step();
    if (child->IsActive()) return true;
    ++ChildIndex;
  }
  ChildIndex = 0;
  return false;
}

// ---------------------------------------------------------------------------
// TMainTask

std::unique_ptr<TTask> TMainTask::Create(TScheduler* owner) const { return std::make_unique<TMainTask>(owner); }

void TMainTask::Step() {
  TreeGuard guard(GetOwner());
  const bool active = IsActive();
  auto& jobs = Children();
  for (std::size_t i = 0; i < jobs.size(); ++i)
    if (active || jobs[i]->GetState() == tsEnding) jobs[i]->Step();
}

// ---------------------------------------------------------------------------
// TTaskWeb

TTaskWeb::TTaskWeb(TScheduler* owner) : TTask(owner) { StartKind = skWithParent; }

std::unique_ptr<TTask> TTaskWeb::Create(TScheduler* owner) const { return std::make_unique<TTaskWeb>(owner); }

void TTaskWeb::AppendJournal(const std::string& line) {
  if (GetParent()) GetParent()->AppendJournal(line);
}

TaskStringList TTaskWeb::LoadJournal() const { return GetParent() ? GetParent()->LoadJournal() : TaskStringList{}; }

// A step writes into its job's journal: clearing it clears that one.
void TTaskWeb::ClearJournal() {
  if (GetParent()) GetParent()->ClearJournal();
}

void TTaskWeb::SaveToStream(QIODevice& s) const {
  TTask::SaveToStream(s);
  const std::string_view path = Utf8Prefix(WebPath, 0xFFFF);
  WriteWord(static_cast<std::uint16_t>(path.size()), s);
  if (s.write(path.data(), static_cast<qint64>(path.size())) != static_cast<qint64>(path.size()))
    throw EWriteError("écriture impossible");
  WriteByte(Actions, s);
}

void TTaskWeb::LoadFromStream(QIODevice& s) {
  TTask::LoadFromStream(s);
  const std::uint16_t length = ReadWordChecked(s);
  const QByteArray path = s.read(length);
  if (path.size() != length) throw EReadError("fin de fichier inattendue");
  WebPath = path.toStdString();
  Actions = ReadByteChecked(s);
}

void TTaskWeb::Assign(const TTask& source) {
  TTask::Assign(source);
  if (const auto* web = dynamic_cast<const TTaskWeb*>(&source)) {
    TreeGuard guard(GetOwner());
    WebPath = web->WebPath;
    Actions = web->Actions;
  }
}

std::string TTaskWeb::ActionsText() const { return JoinNames(kWebTaskActions, Actions, 0); }

std::string TTaskWeb::GetCaption() const {
  std::string title = ReadWebTitle(WebPath);
  if (title.empty()) title = WebPath;
  const QString t = QString::fromStdString(title);
  if (t.size() > 40) title = t.left(37).toStdString() + "...";
  return title + " [" + std::to_string(Number) + "] " + ActionsText();
}

// ---------------------------------------------------------------------------
// TScheduler

namespace {

// The GUI thread as the Qt event loop of the thread that made this object.
class QtSchedulerGui : public ISchedulerGui {
 public:
  bool IsCurrentThread() const override { return QThread::currentThread() == context_.thread(); }
  void Post(std::function<void()> function) override {
    QMetaObject::invokeMethod(&context_, std::move(function), Qt::QueuedConnection);
  }

 private:
  QObject context_;
};

}  // namespace

struct TScheduler::PendingCall {
  enum class Stage { Queued, Running, Done, Cancelled };
  std::mutex m;
  std::condition_variable cv;
  Stage stage = Stage::Queued;
  bool answer = false;

  void Cancel() {
    std::lock_guard lk(m);
    if (stage == Stage::Queued) stage = Stage::Cancelled;
    cv.notify_all();
  }
};

TScheduler::TScheduler(TSchedulerConfig config)
    : config_(std::move(config)), sync_(kSyncName, 1) {
  if (!config_.Gui) ownGui_ = std::make_unique<QtSchedulerGui>();
  gui_ = config_.Gui ? config_.Gui : ownGui_.get();
  root_ = std::make_unique<TMainTask>(this);
  root_->state_ = tsRunning;
  LoadTasks();
}

TScheduler::~TScheduler() {
  Terminate();
  if (thread_.joinable()) thread_.join();
  SaveTasks();
}

void TScheduler::Resume() {
  if (thread_.joinable() || terminated_) return;
  thread_ = std::thread([this] { Execute(); });
}

void TScheduler::Terminate() {
  {
    std::lock_guard lk(callMutex_);
    terminated_ = true;
    if (pending_) pending_->Cancel();
  }
  std::lock_guard lk(sleepMutex_);
  sleepCv_.notify_all();
}

double TScheduler::Now() const { return config_.Now ? config_.Now() : SystemNow(); }
int TScheduler::IdleSeconds() const { return config_.IdleSeconds ? config_.IdleSeconds() : -1; }

void TScheduler::SleepFor(int ms) {
  std::unique_lock lk(sleepMutex_);
  sleepCv_.wait_for(lk, std::chrono::milliseconds(std::max(ms, 0)), [this] { return terminated_.load(); });
}

void TScheduler::Execute() {
  SleepFor(config_.StartDelayMs);
  while (!terminated_) {
    SleepFor(config_.PollIntervalMs);
    if (terminated_) break;
    Tick();
  }
}

void TScheduler::Tick() {
  if (OnTick) OnTick();
  bool changed = false;
  {
    std::lock_guard lk(syncMutex_);
    if (sync_.WaitData(config_.SyncWaitMs)) {
      ReadRegistryState();
      sync_.EndRead();
      changed = true;
    }
  }
  if (changed && OnStateChange) OnStateChange();
  if (statePending_.exchange(false)) PublishState(true);

  auto lock = LockTree();
  // No step is under way here: what the GUI deleted meanwhile can go.
  retired_.clear();
  if (!IsSuspended()) {
    if (!root_->IsActive()) root_->SetState(tsRunning);
  } else if (root_->GetState() != tsWaiting) {
    root_->SetState(tsWaiting);
  }
  root_->Step();
}

std::optional<bool> TScheduler::CallGui(const std::function<bool(TTask&)>& handler, TTask& task) {
  if (!handler) return false;
  callTask_ = &task;
  if (gui_->IsCurrentThread()) {
    const bool answer = handler(task);
    callTask_ = nullptr;
    return answer;
  }
  auto call = std::make_shared<PendingCall>();
  {
    std::lock_guard lk(callMutex_);
    if (terminated_) {
      callTask_ = nullptr;
      return std::nullopt;
    }
    pending_ = call;
  }
  // The GUI handler takes the tree lock itself; holding it here while
  // waiting for the GUI would deadlock the two threads.
  const int depth = treeLock_.ReleaseAll();
  TTask* target = &task;
  gui_->Post([call, handler, target] {
    {
      std::lock_guard lk(call->m);
      if (call->stage != PendingCall::Stage::Queued) return;
      call->stage = PendingCall::Stage::Running;
    }
    const bool answer = handler(*target);
    std::lock_guard lk(call->m);
    call->answer = answer;
    call->stage = PendingCall::Stage::Done;
    call->cv.notify_all();
  });
  std::optional<bool> result;
  {
    std::unique_lock lk(call->m);
    call->cv.wait(lk, [&] { return call->stage == PendingCall::Stage::Done || call->stage == PendingCall::Stage::Cancelled; });
    if (call->stage == PendingCall::Stage::Done) result = call->answer;
  }
  {
    std::lock_guard lk(callMutex_);
    if (pending_ == call) pending_.reset();
  }
  treeLock_.Restore(depth);
  callTask_ = nullptr;
  return result;
}

std::optional<bool> TScheduler::CallTaskEnd(TTask& task) {
  return CallGui(OnTaskEnd, task);
}

void TScheduler::TaskStateChanged(TTask& task) {
  if (!dynamic_cast<TTaskWeb*>(&task)) PublishState(false);
  if (OnTaskStateChange) OnTaskStateChange(task);
}

void TScheduler::TaskChanged(TTask& task) {
  if (!dynamic_cast<TTaskWeb*>(&task)) PublishState(false);
  if (OnTaskChange) OnTaskChange(task);
}

void TScheduler::TaskJournalChanged(TTask& task) {
  if (OnJournal) OnJournal(task);
}

void TScheduler::Retire(std::unique_ptr<TTask> task) { retired_.push_back(std::move(task)); }

double TScheduler::ComputeNextStart() {
  auto lock = LockTree();
  const double now = Now();
  double next = 0;
  for (int i = 0; i < root_->GetChildCount(); ++i) {
    const double n = root_->GetChild(i)->NextStart(now);
    if (n != 0 && (next == 0 || n < next)) next = n;
  }
  return next;
}

void TScheduler::SaveState() { PublishState(true); }

// Without takeLock the caller may be anywhere (a state change on the GUI
// thread while the scheduler thread waits for data): when the synchronizer
// is busy the publication waits for the next poll instead of blocking.
void TScheduler::PublishState(bool takeLock) {
  nextStart_ = ComputeNextStart();
  std::unique_lock lk(syncMutex_, std::defer_lock);
  if (takeLock) {
    lk.lock();
  } else if (!lk.try_lock()) {
    statePending_ = true;
    return;
  }
  if (sync_.BeginWrite(TDataSynchronizer::kPollTimeoutMs)) {
    WriteRegistryState();
    sync_.EndWrite();
  } else {
    statePending_ = true;
  }
}

void TScheduler::WriteRegistryState() {
  registry::Key key;
  if (registry::CreateKey(registry::HKEY_CLASSES_ROOT, kRegistryKey, "", &key) != registry::kOk) return;
  const std::uint32_t state = state_.load();
  const double next = nextStart_.load();
  registry::SetValue(key, "State", registry::kDword, &state, sizeof state);
  registry::SetValue(key, "Startup date", registry::kBinary, &next, sizeof next);
}

bool TScheduler::ReadPublished(std::uint8_t& state, double& nextStart) {
  registry::Key key;
  if (registry::OpenKey(registry::HKEY_CLASSES_ROOT, kRegistryKey, registry::Access::Read, &key) != registry::kOk)
    return false;
  registry::Value v;
  if (registry::QueryValue(key, "State", &v) == registry::kOk && v.data.size() == 4) state = v.data[0];
  if (registry::QueryValue(key, "Startup date", &v) == registry::kOk && v.data.size() == 8) {
    double next;
    std::memcpy(&next, v.data.data(), sizeof next);
    if (std::isfinite(next)) nextStart = next;
  }
  return true;
}

void TScheduler::ReadRegistryState() {
  std::uint8_t state = state_.load();
  double next = nextStart_.load();
  if (!ReadPublished(state, next)) return;
  state_ = state;
  nextStart_ = next;
}

bool TScheduler::JobDue() {
  std::uint8_t state = 0;
  double next = 0;
  return ReadPublished(state, next) && !(state & kSuspended) && next != 0 &&
         next <= SystemNow();
}

void TScheduler::SetSuspended(bool suspended) {
  std::uint8_t s = state_.load();
  state_ = suspended ? (s | kSuspended) : (s & ~kSuspended);
  {
    // The companion must learn of it: written even when the lock is busy.
    std::lock_guard lk(syncMutex_);
    const bool locked = sync_.BeginWrite(TDataSynchronizer::kPollTimeoutMs);
    WriteRegistryState();
    if (locked) sync_.EndWrite();
  }
  if (OnStateChange) OnStateChange();
}

void TScheduler::SetHideProgram(bool hide) {
  const std::uint8_t s = state_.load();
  state_ = hide ? (s | kHideProgram) : (s & ~kHideProgram);
  SaveState();
}

std::string TScheduler::GetStatusText() {
  if (IsSuspended()) return "Gestionnaire suspendu";
  auto lock = LockTree();
  int waiting = 0;
  for (int i = 0; i < root_->GetChildCount(); ++i)
    if (root_->GetChild(i)->GetState() == tsWaiting) ++waiting;
  if (waiting == 0) return "Aucune tâche en attente d'éxecution";
  return std::to_string(waiting) + " tâche(s) en attente d'éxecution";
}

void TScheduler::EndWebTask(const std::string& captureFile, bool ignore, int code, const std::string& message) {
  auto lock = LockTree();
  TTask* job = root_->FindActiveChild();
  if (!job) return;
  const QString wanted = QString::fromStdString(captureFile);
  for (int i = 0; i < job->GetChildCount(); ++i) {
    auto* step = dynamic_cast<TTaskWeb*>(job->GetChild(i));
    if (!step || !step->IsActive() ||
        QString::fromStdString(step->WebPath).compare(wanted, Qt::CaseInsensitive) != 0)
      continue;
    if (ignore) return;
    if (code != 0)
      step->SetError(code, message);
    else
      step->SetState(tsWaiting);
    return;
  }
}

bool TScheduler::SaveTasks() {
  if (config_.WorkFolder.empty()) return false;
  bool saved = false;
  {
    auto lock = LockTree();
    nextStart_ = ComputeNextStart();
    QSaveFile file(QString::fromStdString((config_.WorkFolder / "scheduler.dat").string()));
    if (!file.open(QIODevice::WriteOnly)) return false;
    try {
      if (file.write("SCHED", 6) != 6) throw EWriteError("écriture impossible");
      WriteInt32(kFileVersion, file);
      WriteByte(state_.load(), file);
      WriteDouble(nextStart_.load(), file);
      root_->SaveToStream(file);
      saved = file.commit();
    } catch (const EWriteError&) {
      file.cancelWriting();
    }
  }
  PublishState(true);
  if (saved && nextStart_.load() != 0) StartCompanion();
  return saved;
}

bool TScheduler::LoadTasks() {
  if (config_.WorkFolder.empty()) return true;
  const fs::path path = config_.WorkFolder / "scheduler.dat";
  QFile file(QString::fromStdString(path.string()));
  if (!file.exists()) return true;
  if (!file.open(QIODevice::ReadOnly)) return false;
  QByteArray bytes = file.readAll();
  QBuffer in(&bytes);
  in.open(QIODevice::ReadOnly);
  auto loaded = std::make_unique<TMainTask>(this);
  std::uint8_t state = 0;
  try {
    if (in.read(6) != QByteArray("SCHED", 6)) throw EReadError("pas un fichier du planificateur");
    const std::int32_t version = ReadInt32Checked(in);
    if (version < 1 || version > kFileVersion) throw EReadError("version inconnue");
    state = ReadByteChecked(in);
    ReadDoubleChecked(in);  // the next start is computed again
    loaded->LoadFromStream(in);
  } catch (const EReadError&) {
    // Keep the damaged file for the user instead of saving over it.
    std::error_code ec;
    fs::copy_file(path, fs::path(path.string() + ".bad"), fs::copy_options::overwrite_existing, ec);
    return false;
  }
  auto lock = LockTree();
  state_ = state;
  loaded->state_ = tsRunning;
  root_ = std::move(loaded);
  nextStart_ = ComputeNextStart();
  return true;
}

void TScheduler::StartCompanion() {
  if (config_.ProgramFolder.empty()) return;
  const fs::path program = config_.ProgramFolder / kCompanion;
  std::error_code ec;
  if (!fs::is_regular_file(program, ec) || !IsInstanceFree(program.string())) return;
  platform::StartProgram(program.string(), {});
}

}  // namespace qlon
