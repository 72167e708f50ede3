#pragma once

#include <chrono>
#include <ctime>

namespace bc {

/// Where the program reads the time, so tests can set it.
class Clock {
 public:
  virtual ~Clock() = default;
  /// Wall-clock now.
  [[nodiscard]] virtual std::chrono::system_clock::time_point Now() const = 0;
  /// Now as local calendar time.
  [[nodiscard]] std::tm LocalNow() const {
    const std::time_t t = std::chrono::system_clock::to_time_t(Now());
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
  }
};

/// The system's clock.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] std::chrono::system_clock::time_point Now() const override {
    return std::chrono::system_clock::now();
  }
};

}  // namespace bc
