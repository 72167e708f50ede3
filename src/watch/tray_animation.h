#pragma once

#include <QTimer>
#include <functional>

#include "mail/check_observer.h"

namespace bc {

/// The tray icon's animation while a check or a deletion runs: every half
/// second the idle, mail-present and checking pictures, then one beat on the
/// checking picture. At the first beat after the work has ended it stops on
/// the resting picture `resting` gives (disconnected while an account fails,
/// else mail present when the last pass found mail, else idle).
/// User-interface thread.
class TrayAnimation {
 public:
  struct Hooks {
    std::function<bool()> running;       // whether the work still runs
    std::function<TrayState()> resting;  // the picture once the work is over
    std::function<void(TrayState)> show;
  };
  explicit TrayAnimation(Hooks hooks);

  /// From the first picture; nothing when it already runs.
  void Start();
  /// At once, without the resting picture (the program is ending).
  void Stop() { timer_.stop(); }
  [[nodiscard]] bool active() const { return timer_.isActive(); }

  static constexpr int kStepMs = 500;

 private:
  void Tick();

  Hooks hooks_;
  QTimer timer_;
  int tick_ = 0;
};

}  // namespace bc
