#include "watch/scheduler.h"

namespace bc {

CheckScheduler::CheckScheduler(SchedulerHost& host, const Clock& clock)
    : host_(host), clock_(clock), lastCheck_(Now()), lastUpdate_(Now()) {}

CheckScheduler::~CheckScheduler() {
  Stop();
}

long long CheckScheduler::Now() const {
  return std::chrono::duration_cast<std::chrono::seconds>(clock_.Now().time_since_epoch()).count();
}

void CheckScheduler::Arm(long long periodSeconds) {
  period_ = periodSeconds;
  lastCheck_ = Now();
}

void CheckScheduler::Restart() {
  lastCheck_ = Now();
}

void CheckScheduler::UpdateCheckEnded() {
  lastUpdate_ = Now();
}

void CheckScheduler::Tick() {
  const long long now = Now();
  if (!host_.Busy() && !host_.Suspended() && host_.CheckMailOn() && now - lastCheck_ > period_ &&
      !host_.IsVoiceBusy()) {
    // Moves on even when a pass is still running, so a long pass is not
    // followed at once by another.
    lastCheck_ = now;
    host_.StartCheck();
  }
  if (now - lastUpdate_ > kUpdateInterval) {
    lastUpdate_ = now;
    host_.StartUpdateCheck();
  }
}

void CheckScheduler::Start() {
  if (thread_.joinable()) {
    return;
  }
  quit_ = false;
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      lock.unlock();
      Tick();
      lock.lock();
      wake_.wait_for(lock, std::chrono::seconds(1), [this] { return quit_; });
    }
  });
}

void CheckScheduler::Stop() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

}  // namespace bc
