#pragma once

#include <atomic>
#include <chrono>
#include <ctime>

#include "config/clock.h"

namespace bc::test {

/// A clock that stands still until the test moves it, so periods and dates come
/// out the same on every run. Other threads may read it while the test moves it.
class ManualClock final : public Clock {
 public:
  /// Starts at the real time now.
  ManualClock() : now_(std::chrono::system_clock::now()) {}
  /// Starts at `start` (seconds since 1970, UTC).
  explicit ManualClock(std::time_t start) : now_(std::chrono::system_clock::from_time_t(start)) {}

  [[nodiscard]] std::chrono::system_clock::time_point Now() const override { return now_.load(); }
  void Advance(int seconds) { now_ = now_.load() + std::chrono::seconds(seconds); }

 private:
  std::atomic<std::chrono::system_clock::time_point> now_;
};

}  // namespace bc::test
