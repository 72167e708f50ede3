#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/mail_view.h"
#include "app/scheduler.h"
#include "config/clock.h"
#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/deletion.h"
#include "mail/envelope_store.h"

namespace bc {

class MailAnnouncer;

/// Runs the background work of the program and keeps its state: the check and
/// delete workers (never two of a kind, never both at once), the scheduler that
/// starts checks on the period, suspend and resume, the busy flag, and the tray
/// animation while a worker runs. Lives on the user-interface thread; workers
/// report through it to the MailView on that thread.
///
/// The settings are the program's one shared record, edited only on the UI
/// thread; each worker takes its own copy when it starts.
class MailController final : public QObject, public SchedulerHost {
  Q_OBJECT
 public:
  MailController(Settings& settings, MailView& view, MailAnnouncer* announcer,
                 std::function<bool()> voiceBusy, MailEnvironment environment,
                 const Clock& clock, QObject* parent = nullptr);
  ~MailController() override;

  /// The announcement rules the check worker calls for each accepted message
  /// (made after the controller, since they read its store). Set before Start.
  void SetAnnouncer(MailAnnouncer* announcer) { announcer_ = announcer; }

  /// The envelopes of the last check (shared with the workers).
  [[nodiscard]] EnvelopeStore& store() { return *store_; }
  [[nodiscard]] std::shared_ptr<EnvelopeStore> sharedStore() { return store_; }

  /// Sets the check period from the options (when CheckMail is on), measures
  /// the first check from now and starts the scheduler.
  void Start();
  /// The ordered end: stops the scheduler; workers still running are left to
  /// finish on their own and report nothing more.
  void Shutdown();

  /// Starts a check worker unless a check or a deletion runs. From another
  /// thread (the scheduler) the start is handed to the UI thread.
  void StartCheck() override;
  /// Starts the delete worker over the list's selected rows unless a check or a
  /// deletion runs. UI thread; `rows` must outlive the worker.
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
  [[nodiscard]] bool checkRunning() const { return checkRunning_; }
  [[nodiscard]] bool deleteRunning() const { return deleteRunning_; }
  [[nodiscard]] bool suspended() const { return suspended_; }
  [[nodiscard]] int largestMailbox() const { return largestMailbox_; }
  [[nodiscard]] CheckScheduler& scheduler() { return scheduler_; }

  // SchedulerHost
  [[nodiscard]] bool Busy() const override { return busy_; }
  [[nodiscard]] bool Suspended() const override { return suspended_; }
  [[nodiscard]] bool CheckMailOn() const override { return checkMailOn_; }
  [[nodiscard]] bool IsVoiceBusy() const override { return voiceBusy_ && voiceBusy_(); }
  void StartUpdateCheck() override {
    if (startUpdateCheck_) {
      startUpdateCheck_();
    }
  }
  /// Who runs the daily update check the scheduler asks for (scheduler thread).
  void SetUpdateCheckStarter(std::function<void()> start) { startUpdateCheck_ = std::move(start); }

  /// Waits (running the event loop) until no worker runs; for tests and the
  /// headless paths. False when `milliseconds` ran out first.
  bool WaitForWorkers(int milliseconds);

 private:
  class Link;
  void RunCheckWorker(Settings settings, std::shared_ptr<Link> link);
  void RunDeleteWorker(Settings settings, DeletionRows* rows, std::shared_ptr<Link> link);
  void StartAnimation();
  void AnimationTick();
  void ApplyPeriod(bool whateverCheckMail);
  void JoinFinished();

  Settings& settings_;
  MailView& view_;
  MailAnnouncer* announcer_;
  std::function<bool()> voiceBusy_;
  std::function<void()> startUpdateCheck_;
  MailEnvironment environment_;
  std::shared_ptr<EnvelopeStore> store_;
  std::shared_ptr<Link> link_;
  CheckScheduler scheduler_;

  std::atomic<bool> busy_{false};
  std::atomic<bool> suspended_{false};
  std::atomic<bool> checkMailOn_{false};
  std::atomic<bool> checkRunning_{false};
  std::atomic<bool> deleteRunning_{false};
  std::atomic<bool> animating_{false};
  std::atomic<int> largestMailbox_{0};
  long long period_ = 0;

  std::mutex workersMutex_;
  std::thread checkThread_;
  std::thread deleteThread_;

  QTimer animation_;
  int animationTick_ = 0;
};

}  // namespace bc
