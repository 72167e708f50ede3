#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "config/clock.h"

namespace bc {

/// What the scheduler looks at and what it starts. Called from the scheduler's
/// thread: every member must be safe to call from there.
class SchedulerHost {
 public:
  virtual ~SchedulerHost() = default;
  /// A modal interaction of the main window runs (property sheet, exit question, Play).
  [[nodiscard]] virtual bool Busy() const = 0;
  /// The user suspended checking.
  [[nodiscard]] virtual bool Suspended() const = 0;
  /// Periodic checking is on (CheckMail).
  [[nodiscard]] virtual bool CheckMailOn() const = 0;
  /// The voice is speaking or paused.
  [[nodiscard]] virtual bool IsVoiceBusy() const = 0;
  /// Starts a check worker unless a check or a deletion runs.
  virtual void StartCheck() = 0;
  /// Starts the daily update check; its end is reported with
  /// CheckScheduler::UpdateCheckEnded.
  virtual void StartUpdateCheck() = 0;
};

/// Decides once a second whether a check is due: more seconds than the check
/// period have passed since the last decision, checking is on and not
/// suspended, nothing modal runs and the voice is idle. The first check comes one
/// period after arming. Also starts the update check once a day: more than a
/// day after the last one ended (the first, a day after start-up).
class CheckScheduler {
 public:
  static constexpr long long kUpdateInterval = 86400;

  CheckScheduler(SchedulerHost& host, const Clock& clock);
  ~CheckScheduler();

  CheckScheduler(const CheckScheduler&) = delete;
  CheckScheduler& operator=(const CheckScheduler&) = delete;

  /// Sets the check period (seconds) and measures the next check from now.
  void Arm(long long periodSeconds);
  /// Measures the next check from now, keeping the period.
  void Restart();
  [[nodiscard]] long long period() const { return period_; }

  /// An update check (automatic or asked for) has just ended: the next
  /// automatic one comes more than kUpdateInterval seconds from now. Any thread.
  void UpdateCheckEnded();

  /// One decision (the thread calls it every second; tests call it directly).
  void Tick();

  /// Starts the once-a-second thread (does nothing when it runs).
  void Start();
  /// Ends the thread and waits for it.
  void Stop();
  [[nodiscard]] bool running() const { return thread_.joinable(); }

 private:
  [[nodiscard]] long long Now() const;

  SchedulerHost& host_;
  const Clock& clock_;
  std::atomic<long long> period_{0};
  std::atomic<long long> lastCheck_;
  std::atomic<long long> lastUpdate_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace bc
