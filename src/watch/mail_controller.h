#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "config/clock.h"
#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/deletion.h"
#include "mail/envelope_store.h"
#include "watch/imap_idle_group.h"
#include "watch/mail_view.h"
#include "watch/scheduler.h"
#include "watch/tray_animation.h"

namespace bc {

class MailAnnouncer;
class MailController;

/// Everything a check or delete worker uses, shared by the controller and each
/// worker thread, so that a worker still running when the controller goes
/// never reaches into freed memory: the envelope store, the environment, the
/// announcer, the running flags, the largest-mailbox figure, and the way back
/// to the controller on the UI thread (cut at shutdown). The cancel flag is
/// seen by the transport at each wait.
class WorkerShared {
 public:
  WorkerShared(MailController* controller, MailEnvironment environment, MailAnnouncer* announcer);

  /// Posts `call` to the controller's thread, or drops it once cut.
  void Post(std::function<void(MailController&)> call);
  /// From a worker: runs `call` on the controller's thread and waits until it
  /// has run. False
  /// at once when cut, or as soon as Cut cancels the wait, so that shutdown
  /// never waits for a worker that waits for it; a call that reaches the
  /// controller's thread after that does nothing. An answer goes into state
  /// the call shares with its caller (never the caller's stack): a call already
  /// running when the wait is cancelled finishes after the caller has moved on.
  bool Call(std::function<void(MailController&)> call);
  /// Cancels the work under way and the calls waiting for an answer, cuts the
  /// way back and drops the announcer.
  void Cut();
  void SetAnnouncer(MailAnnouncer* announcer);
  /// The announcement rules for a message a pass accepted (none once cut).
  void Announce(const AppOptions& options, const Envelope& envelope);
  /// A pass's announcements begin and end (AnnounceCountOver holds them).
  void BeginAnnouncements(const AppOptions& options);
  void EndAnnouncements(const AppOptions& options);
  /// Waits until no worker runs; false when `limit` ran out first.
  bool WaitIdle(std::chrono::milliseconds limit);
  /// Marks a worker's end and wakes WaitIdle.
  void WorkerEnded(std::atomic<bool>& running);

  std::shared_ptr<EnvelopeStore> store = std::make_shared<EnvelopeStore>();
  MailEnvironment environment;  // its transports watch `cancel`
  std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
  std::atomic<bool> suspended{false};
  std::atomic<bool> checkRunning{false};
  std::atomic<bool> deleteRunning{false};
  std::atomic<bool> animating{false};
  std::atomic<int> largestMailbox{0};
  std::atomic<bool> failing{false};  // an account failed in the last pass

 private:
  std::mutex mutex_;
  std::condition_variable ended_;
  std::mutex callMutex_;  // guards the answers of Call
  std::condition_variable answered_;
  MailController* controller_;
  MailAnnouncer* announcer_;
};

/// Runs the background work of the program and keeps its state: the check and
/// delete workers (never two of a kind, never both at once), the scheduler that
/// starts checks on the period, suspend and resume, the busy flag; it starts the
/// tray animation (TrayAnimation) when a worker starts. Lives on the user-interface thread; workers
/// report through it to the MailView on that thread, once one is attached.
///
/// The settings are the program's one shared record, edited only on the UI
/// thread; each worker takes its own copy when it starts.
class MailController final : public QObject, public SchedulerHost {
  Q_OBJECT
 public:
  MailController(Settings& settings, MailAnnouncer* announcer, std::function<bool()> voiceBusy,
                 MailEnvironment environment, const Clock& clock, QObject* parent = nullptr);
  ~MailController() override;

  /// Where the reports go from now on (UI thread); nullptr detaches the view,
  /// and reports still on their way are dropped. The window is made after the
  /// controller it drives, so it is attached afterwards, before Start.
  void AttachView(MailView* view) { view_ = view; }

  /// The announcement rules the check worker calls for each accepted message
  /// (made after the controller, since they read its store). Set before Start.
  void SetAnnouncer(MailAnnouncer* announcer) { shared_->SetAnnouncer(announcer); }

  /// The envelopes of the last check (shared with the workers).
  [[nodiscard]] EnvelopeStore& store() { return *shared_->store; }

  /// Sets the check period from the options (when CheckMail is on), measures
  /// the first check from now and starts the scheduler.
  void Start();
  /// The ordered end: stops the scheduler, cancels the workers still running
  /// (they report nothing more) and joins them, waiting at most kShutdownLimit.
  /// A worker that overruns it is left to end on its own with what it holds.
  void Shutdown();
  static constexpr std::chrono::milliseconds kShutdownLimit{3000};

  /// Starts a check worker unless a check or a deletion runs. From another
  /// thread (the scheduler) the start is handed to the UI thread.
  void StartCheck() override;
  /// Starts the delete worker over the list's selected rows unless a check or a
  /// deletion runs. UI thread; the worker reaches `rows` only through calls run
  /// on this thread, and none after Shutdown, which `rows` must outlive.
  bool StartDelete(DeletionRows& rows);
  /// Suspend when running, resume when suspended.
  void ToggleSuspend();
  /// Recomputes the period (when CheckMail is on), clears the busy flag and
  /// measures the next check from now.
  void ArmChecking();
  /// After "Do you want to exit?" answered No: the period from Freq and
  /// FreqUnit whatever CheckMail says, busy cleared, timing from now.
  void RestartAfterExitDeclined();

  void SetBusy(bool busy) { busy_ = busy; }
  [[nodiscard]] bool checkRunning() const { return shared_->checkRunning; }
  [[nodiscard]] bool deleteRunning() const { return shared_->deleteRunning; }
  [[nodiscard]] bool suspended() const { return shared_->suspended; }
  [[nodiscard]] int largestMailbox() const { return shared_->largestMailbox; }
  /// Whether an account failed in the last pass (the tray rests disconnected).
  [[nodiscard]] bool failing() const { return shared_->failing; }
  [[nodiscard]] CheckScheduler& scheduler() { return scheduler_; }

  // SchedulerHost
  [[nodiscard]] bool Busy() const override { return busy_; }
  [[nodiscard]] bool Suspended() const override { return shared_->suspended; }
  [[nodiscard]] bool CheckMailOn() const override { return checkMailOn_; }
  [[nodiscard]] bool IsVoiceBusy() const override { return voiceBusy_ && voiceBusy_(); }
  void StartUpdateCheck() override {
    if (startUpdateCheck_) {
      startUpdateCheck_();
    }
  }
  /// Who runs the daily update check the scheduler asks for (scheduler thread).
  void SetUpdateCheckStarter(std::function<void()> start) { startUpdateCheck_ = std::move(start); }

  /// No worker runs, and the tray shows its resting picture.
  [[nodiscard]] bool idle() const {
    return !shared_->checkRunning && !shared_->deleteRunning && !animation_.active();
  }

 private:
  template <auto Method, typename... Args>
  friend void Deliver(WorkerShared& shared, Args... args);
  friend class WorkerObserver;
  friend class WorkerRows;
  static void RunCheckWorker(Settings settings, std::shared_ptr<WorkerShared> shared);
  static void RunDeleteWorker(Settings settings, std::shared_ptr<WorkerShared> shared);
  void ApplyPeriod(bool whateverCheckMail);
  void JoinFinished();
  // IMAP IDLE: the watches follow CheckMail and Suspend; a change they report
  // starts a check as soon as nothing holds it back.
  void RestartIdle();
  void CheckForIdle();
  // A watch's wake, on the watch's thread, once no worker runs.
  bool RunIdleWake(const Settings& settings, const std::function<bool()>& stopping,
                   const ImapIdleHooks::Update& update);
  void ShowTrayIcon(TrayState state);

  Settings& settings_;
  MailView* view_ = nullptr;
  DeletionRows* deleteRows_ = nullptr;  // the list the delete worker goes through
  std::function<bool()> voiceBusy_;
  std::function<void()> startUpdateCheck_;
  std::shared_ptr<WorkerShared> shared_;
  CheckScheduler scheduler_;

  std::atomic<bool> busy_{false};
  std::atomic<bool> checkMailOn_{false};
  long long period_ = 0;

  std::mutex workersMutex_;
  std::thread checkThread_;
  std::thread deleteThread_;

  TrayAnimation animation_;
  std::unique_ptr<ImapIdleGroup> idle_;
  bool idleCheckWaiting_ = false;
};

/// Holds the busy flag for its lifetime: no scheduled check starts meanwhile.
class BusyScope {
 public:
  explicit BusyScope(MailController& controller) : controller_(controller) {
    controller_.SetBusy(true);
  }
  ~BusyScope() { controller_.SetBusy(false); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  MailController& controller_;
};

}  // namespace bc
