#include "watch/mail_controller.h"

#include <QThread>
#include <QTimer>
#include <algorithm>
#include <map>

#include "config/paths.h"
#include "speech/mail_announcer.h"

namespace bc {
namespace {

constexpr const char* kDeletingTitle = "Brindlecast Deleting Email...";

}  // namespace

WorkerShared::WorkerShared(MailController* controller, MailEnvironment env,
                           MailAnnouncer* announcer)
    : environment(std::move(env)), controller_(controller), announcer_(announcer) {
  // Every transport a worker opens, and a password lookup that waits on the
  // keyring, give up their waits once the program ends.
  environment.cancel = cancel;
  environment.makeTransport =
      [make = std::move(environment.makeTransport),
       cancel = std::shared_ptr<const std::atomic<bool>>(cancel)](const MailAccount& account) {
        std::unique_ptr<Pop3Transport> transport = make(account);
        if (transport) {
          transport->SetCancel(cancel);
        }
        return transport;
      };
}

void WorkerShared::Cut() {
  {
    std::lock_guard lock(mutex_);
    *cancel = true;
    controller_ = nullptr;
    announcer_ = nullptr;
  }
  // Taken once, so that a caller between its look at `cancel` and its wait
  // cannot miss the wake.
  { std::lock_guard lock(callMutex_); }
  answered_.notify_all();
}

void WorkerShared::SetAnnouncer(MailAnnouncer* announcer) {
  std::lock_guard lock(mutex_);
  announcer_ = announcer;
}

void WorkerShared::Announce(const AppOptions& options, const Envelope& envelope) {
  // Under the lock, so Cut waits for an announcement under way to end.
  std::lock_guard lock(mutex_);
  if (announcer_) {
    announcer_->AnnounceMessage(options, envelope);
  }
}

void WorkerShared::BeginAnnouncements(const AppOptions& options) {
  std::lock_guard lock(mutex_);
  if (announcer_) {
    announcer_->BeginPass(options);
  }
}

void WorkerShared::EndAnnouncements(const AppOptions& options) {
  std::lock_guard lock(mutex_);
  if (announcer_) {
    announcer_->EndPass(options);
  }
}

void WorkerShared::Post(std::function<void(MailController&)> call) {
  std::lock_guard lock(mutex_);
  if (MailController* c = controller_) {
    QMetaObject::invokeMethod(
        c, [c, call = std::move(call)] { call(*c); }, Qt::QueuedConnection);
  }
}

bool WorkerShared::Call(std::function<void(MailController&)> call) {
  auto ran = std::make_shared<bool>(false);  // under callMutex_
  {
    std::lock_guard lock(mutex_);
    MailController* c = controller_;
    if (!c) {
      return false;
    }
    // The controller owns this object, so it is there whenever the call runs.
    QMetaObject::invokeMethod(
        c,
        [this, c, ran, call = std::move(call)] {
          if (*cancel) {
            return;  // the caller no longer waits, and the program is ending
          }
          call(*c);
          {
            std::lock_guard answer(callMutex_);
            *ran = true;
          }
          answered_.notify_all();
        },
        Qt::QueuedConnection);
  }
  std::unique_lock lock(callMutex_);
  answered_.wait(lock, [&] { return *ran || *cancel; });
  return *ran;
}

void WorkerShared::WorkerEnded(std::atomic<bool>& running) {
  {
    std::lock_guard lock(mutex_);
    running = false;
    animating = false;
  }
  ended_.notify_all();
}

bool WorkerShared::WaitIdle(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return ended_.wait_for(lock, limit, [this] { return !checkRunning && !deleteRunning; });
}

// Delivers one view call to the UI thread: the one way the workers reach the
// window. The arguments are copied into the call.
template <auto Method, typename... Args>
void Deliver(WorkerShared& shared, Args... args) {
  shared.Post([... args = std::move(args)](MailController& c) {
    if (MailView* view = c.view_) {
      (view->*Method)(args...);
    }
  });
}

// A pass's observer on the worker: each call is delivered to the view on the UI
// thread. The announcement runs here, on the worker, with the worker's copy of
// the options; the reasons accounts failed are gathered for the end of the pass.
class WorkerObserver final : public CheckObserver {
 public:
  // `settings` is the worker's copy, which the property sheet may replace.
  WorkerObserver(WorkerShared& shared, const Settings& settings)
      : shared_(shared), settings_(settings) {}

  void SetTitle(const std::string& title) override {
    Deliver<&CheckObserver::SetTitle>(shared_, title);
  }
  void SetAccountsProgress(int position, int maximum) override {
    Deliver<&CheckObserver::SetAccountsProgress>(shared_, position, maximum);
  }
  void SetEmailsProgress(int position, int maximum) override {
    Deliver<&CheckObserver::SetEmailsProgress>(shared_, position, maximum);
  }
  void SetTrayIcon(TrayState icon) override { Deliver<&CheckObserver::SetTrayIcon>(shared_, icon); }
  void SetTrayTooltip(const std::string& text) override {
    Deliver<&CheckObserver::SetTrayTooltip>(shared_, text);
  }
  void ListCleared() override { Deliver<&CheckObserver::ListCleared>(shared_); }
  void EnvelopeRemoved(long long messageId) override {
    Deliver<&CheckObserver::EnvelopeRemoved>(shared_, messageId);
  }
  void EnvelopeAccepted(int index, const Envelope& envelope) override {
    Deliver<&CheckObserver::EnvelopeAccepted>(shared_, index, envelope);
    shared_.Announce(settings_.options, envelope);
  }
  void StorageAlert(const Notice& notice) override {
    Deliver<&CheckObserver::StorageAlert>(shared_, notice);
  }
  void NoAccountConfigured(Settings& settings) override {
    // The sheet edits the program's settings; the pass goes on with a copy.
    // Exit while the sheet is open leaves the pass as it was.
    auto edited = std::make_shared<Settings>();
    if (shared_.Call([edited](MailController& c) {
          if (c.view_) {
            c.view_->NoAccountConfigured(c.settings_);
          }
          *edited = c.settings_;
        })) {
      settings = std::move(*edited);
    }
  }
  void PassFinished(int largestMailbox) override {
    shared_.largestMailbox = largestMailbox;
    Deliver<&CheckObserver::PassFinished>(shared_, largestMailbox);
  }
  void AccountFinished(const AccountOutcome& outcome) override {
    // The reason goes where the user looks, not only into the command trace.
    const auto index = static_cast<size_t>(outcome.accountIndex);
    if (index < settings_.accounts.size()) {
      const MailAccount& account = settings_.accounts[index];
      for (std::string text :
           {PlainProblemText(outcome, account), RememberedMailText(outcome, account)}) {
        if (!text.empty()) {
          problems_.push_back({outcome.accountIndex, std::move(text)});
        }
      }
    }
    failing_ = failing_ || IsFailing(outcome);
  }
  [[nodiscard]] const std::vector<CheckProblem>& problems() const { return problems_; }
  [[nodiscard]] bool failing() const { return failing_; }

 private:
  WorkerShared& shared_;
  const Settings& settings_;
  std::vector<CheckProblem> problems_;
  bool failing_ = false;
};

// The email list as the delete worker reaches it: each call runs on the UI
// thread while the worker waits. Once the program ends no row is selected any
// more and the other calls do nothing, so the loop stops after the message
// under way.
class WorkerRows final : public DeletionRows {
 public:
  explicit WorkerRows(WorkerShared& shared) : shared_(shared) {}

  std::optional<long long> FirstSelectedMessageId() override {
    auto id = std::make_shared<std::optional<long long>>();
    if (!shared_.Call([id](MailController& c) { *id = c.deleteRows_->FirstSelectedMessageId(); })) {
      return std::nullopt;
    }
    return *id;
  }
  void RemoveRow(long long messageId) override {
    shared_.Call([messageId](MailController& c) { c.deleteRows_->RemoveRow(messageId); });
  }
  void RenumberRows(int accountIndex, int deletedIndex) override {
    shared_.Call([accountIndex, deletedIndex](MailController& c) {
      c.deleteRows_->RenumberRows(accountIndex, deletedIndex);
    });
  }

 private:
  WorkerShared& shared_;
};

MailController::MailController(Settings& settings, MailAnnouncer* announcer,
                               std::function<bool()> voiceBusy, MailEnvironment environment,
                               const Clock& clock, QObject* parent)
    : QObject(parent),
      settings_(settings),
      voiceBusy_(std::move(voiceBusy)),
      shared_(std::make_shared<WorkerShared>(this, std::move(environment), announcer)),
      scheduler_(*this, clock),
      animation_({[this] { return shared_->animating.load(); },
                  [this] {
                    if (shared_->failing) {
                      return TrayState::Disconnected;
                    }
                    return shared_->largestMailbox != 0 ? TrayState::MailPresent : TrayState::Idle;
                  },
                  [this](TrayState state) { ShowTrayIcon(state); }}) {
  if (!shared_->environment.clock) {
    shared_->environment.clock = &clock;
  }
}

MailController::~MailController() {
  Shutdown();
}

void MailController::Start() {
  ApplyPeriod(false);
  busy_ = false;
  scheduler_.Restart();
  scheduler_.Start();
  RestartIdle();
}

void MailController::RestartIdle() {
  if (!idle_) {
    ImapIdleHooks hooks;
    hooks.checkAll = [shared = shared_] {
      shared->Post([](MailController& c) { c.CheckForIdle(); });
    };
    hooks.whenFree = [this](const Settings& settings, const std::function<bool()>& stopping,
                            const ImapIdleHooks::Update& update) {
      return RunIdleWake(settings, stopping, update);
    };
    idle_ = std::make_unique<ImapIdleGroup>(shared_->environment, std::move(hooks));
  }
  idle_->Restart(settings_, settings_.options.CheckMail != 0 && !shared_->suspended);
}

bool MailController::RunIdleWake(const Settings& settings, const std::function<bool()>& stopping,
                                 const ImapIdleHooks::Update& update) {
  // As a check: never beside another worker, nor while something modal runs
  // or the voice speaks. The watch's connection waits meanwhile.
  constexpr auto kLookAgain = std::chrono::milliseconds(100);
  for (;;) {
    if (stopping() || *shared_->cancel || shared_->suspended || !checkMailOn_) {
      return false;
    }
    {
      std::lock_guard lock(workersMutex_);
      if (!busy_ && !IsVoiceBusy() && !shared_->checkRunning && !shared_->deleteRunning) {
        shared_->checkRunning = true;
        break;
      }
    }
    std::this_thread::sleep_for(kLookAgain);
  }
  Deliver<&MailView::SetWorkerRunning>(*shared_, true);
  WorkerObserver observer(*shared_, settings);
  shared_->BeginAnnouncements(settings.options);
  update(*shared_->store, observer);
  shared_->EndAnnouncements(settings.options);
  if (!observer.problems().empty()) {
    Deliver<&MailView::ShowCheckProblems>(*shared_, observer.problems());
  }
  // The tray rests on the picture a pass would leave: mail present or not.
  std::map<int, int> rows;
  int largest = 0;
  int total = 0;
  for (const Envelope& e : shared_->store->Snapshot()) {
    largest = std::max(largest, ++rows[AccountIndexOf(std::stoll("0" + e.messageId))]);
    ++total;
  }
  shared_->largestMailbox = largest;
  if (!shared_->failing) {
    Deliver<&MailView::SetTrayIcon>(*shared_,
                                    largest < 1 ? TrayState::Idle : TrayState::MailPresent);
    if (settings.options.ShowToolTip) {
      Deliver<&MailView::SetTrayTooltip>(*shared_, PassTooltip(total));
    }
  }
  Deliver<&MailView::SetWorkerRunning>(*shared_, false);
  Deliver<&MailView::SetEmailsProgress>(*shared_, 0, 0);
  Deliver<&MailView::SetAccountsProgress>(*shared_, 0, 0);
  shared_->WorkerEnded(shared_->checkRunning);
  return true;
}

void MailController::CheckForIdle() {
  idleCheckWaiting_ = false;
  if (shared_->suspended || settings_.options.CheckMail == 0 || *shared_->cancel) {
    return;
  }
  // As a scheduled check: never while something modal runs or the voice speaks.
  if (busy_ || IsVoiceBusy() || shared_->checkRunning || shared_->deleteRunning) {
    idleCheckWaiting_ = true;
    QTimer::singleShot(1000, this, [this] {
      if (idleCheckWaiting_) {
        CheckForIdle();
      }
    });
    return;
  }
  StartCheck();
}

void MailController::Shutdown() {
  scheduler_.Stop();
  if (idle_) {
    idle_->Stop();
  }
  shared_->Cut();
  animation_.Stop();
  std::lock_guard lock(workersMutex_);
  // A worker at a transport wait sees the cancel within a tenth of a second; one
  // that overruns the limit (a slow name lookup or TLS handshake) keeps what it
  // uses alive through its own share and ends on its own, reporting nothing.
  const bool idle = shared_->WaitIdle(kShutdownLimit);
  for (std::thread* worker : {&checkThread_, &deleteThread_}) {
    if (worker->joinable()) {
      idle ? worker->join() : worker->detach();
    }
  }
}

void MailController::ApplyPeriod(bool whateverCheckMail) {
  checkMailOn_ = settings_.options.CheckMail != 0;
  if (whateverCheckMail || checkMailOn_) {
    if (const auto period = CheckPeriodSeconds(settings_.options)) {
      period_ = *period;
    }
  }
  scheduler_.Arm(period_);
}

void MailController::ArmChecking() {
  ApplyPeriod(false);
  busy_ = false;
  if (idle_) {
    RestartIdle();  // the accounts or CheckMail may have changed
  }
}

void MailController::RestartAfterExitDeclined() {
  ApplyPeriod(true);
  busy_ = false;
}

void MailController::JoinFinished() {
  if (checkThread_.joinable() && !shared_->checkRunning) {
    checkThread_.join();
  }
  if (deleteThread_.joinable() && !shared_->deleteRunning) {
    deleteThread_.join();
  }
}

void MailController::StartCheck() {
  if (QThread::currentThread() != thread()) {
    // From the scheduler: the start happens on the UI thread, which owns the
    // settings the worker copies. Never wait for it here: the UI thread may be
    // stopping the scheduler at this very moment. CheckMail is read there as the
    // user last set it: the scheduler's copy is only renewed when the period is.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (settings_.options.CheckMail != 0) {
            StartCheck();
          }
        },
        Qt::QueuedConnection);
    return;
  }
  std::lock_guard lock(workersMutex_);
  if (shared_->checkRunning || shared_->deleteRunning || *shared_->cancel) {
    return;
  }
  JoinFinished();
  shared_->checkRunning = true;
  shared_->animating = true;
  // The worker's own copy: the property sheet's edits never reach a pass under way.
  checkThread_ = std::thread(&MailController::RunCheckWorker, settings_, shared_);
}

bool MailController::StartDelete(DeletionRows& rows) {
  std::lock_guard lock(workersMutex_);
  if (shared_->checkRunning || shared_->deleteRunning || *shared_->cancel) {
    return false;
  }
  JoinFinished();
  shared_->deleteRunning = true;
  shared_->animating = true;
  deleteRows_ = &rows;
  deleteThread_ = std::thread(&MailController::RunDeleteWorker, settings_, shared_);
  return true;
}

void MailController::RunCheckWorker(Settings settings, std::shared_ptr<WorkerShared> shared) {
  shared->Post([](MailController& c) { c.animation_.Start(); });
  Deliver<&MailView::SetWorkerRunning>(*shared, true);

  if (!shared->suspended) {
    WorkerObserver observer(*shared, settings);
    shared->BeginAnnouncements(settings.options);
    RunCheck(settings, *shared->store, observer, shared->environment);
    shared->EndAnnouncements(settings.options);
    shared->failing = observer.failing();
    Deliver<&MailView::ShowCheckProblems>(*shared, observer.problems());
  }

  Deliver<&MailView::SetTitle>(*shared, std::string(kProgramTitle));
  Deliver<&MailView::SetWorkerRunning>(*shared, false);
  Deliver<&MailView::SetEmailsProgress>(*shared, 0, 0);
  Deliver<&MailView::SetAccountsProgress>(*shared, 0, 0);
  shared->WorkerEnded(shared->checkRunning);
}

void MailController::RunDeleteWorker(Settings settings, std::shared_ptr<WorkerShared> shared) {
  shared->Post([](MailController& c) { c.animation_.Start(); });
  Deliver<&MailView::SetTitle>(*shared, std::string(kDeletingTitle));
  Deliver<&MailView::SetWorkerRunning>(*shared, true);

  WorkerRows rows(*shared);
  DeleteSelected(settings, *shared->store, rows, shared->environment,
                 [&shared](const Envelope& envelope, const DeleteOutcome& outcome) {
                   if (outcome.refused) {
                     Deliver<&MailView::ShowBackgroundMessage>(
                         *shared, "The message \"" + envelope.subject + "\" was not deleted: " +
                                      outcome.error + ". Refresh the list and try again.");
                   }
                 });

  Deliver<&MailView::SetWorkerRunning>(*shared, false);
  Deliver<&MailView::SetTitle>(*shared, std::string(kProgramTitle));
  shared->WorkerEnded(shared->deleteRunning);
}

void MailController::ToggleSuspend() {
  if (shared_->suspended) {
    shared_->suspended = false;
    if (view_) {
      view_->ShowSuspended(false);
    }
    if (settings_.options.CheckMail != 0) {
      ArmChecking();  // restarts the IDLE watches too
    }
    ShowTrayIcon(TrayState::Idle);
  } else {
    if (view_) {
      view_->ShowSuspended(true);
    }
    shared_->suspended = true;
    if (idle_) {
      idle_->Stop();
    }
    ShowTrayIcon(TrayState::Disconnected);
  }
}

void MailController::ShowTrayIcon(TrayState state) {
  if (view_) {
    view_->SetTrayIcon(state);
  }
}

}  // namespace bc
