#include "watch/tray_animation.h"

namespace bc {

TrayAnimation::TrayAnimation(Hooks hooks) : hooks_(std::move(hooks)) {
  timer_.setInterval(kStepMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

void TrayAnimation::Start() {
  if (timer_.isActive()) {
    return;
  }
  tick_ = 0;
  Tick();
  timer_.start();
}

void TrayAnimation::Tick() {
  if (!hooks_.running()) {
    timer_.stop();
    hooks_.show(hooks_.resting());
    return;
  }
  // Idle, mail present, checking, and the checking picture once more.
  switch (tick_) {
    case 0:
      hooks_.show(TrayState::Idle);
      break;
    case 1:
      hooks_.show(TrayState::MailPresent);
      break;
    case 2:
      hooks_.show(TrayState::Checking);
      break;
    default:
      break;
  }
  tick_ = (tick_ + 1) % 4;
}

}  // namespace bc
