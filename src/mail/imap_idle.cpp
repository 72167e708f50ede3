#include "mail/imap_idle.h"

#include <sys/socket.h>

#include <algorithm>

#include "mail/imap_session.h"

namespace bc {
namespace {

// Wall time that passes beyond the monotonic time between two looks at the
// clocks: the machine slept in between.
constexpr auto kSleepNoticed = std::chrono::seconds(30);

}  // namespace

ImapIdleWatcher::ImapIdleWatcher(MailAccount account, MailEnvironment environment,
                                 Connected connected, Changed changed, Timing timing)
    : account_(std::move(account)),
      environment_(std::move(environment)),
      connected_(std::move(connected)),
      changed_(std::move(changed)),
      timing_(timing) {}

ImapIdleWatcher::ImapIdleWatcher(MailAccount account, MailEnvironment environment,
                                 std::function<void()> changed, Timing timing)
    : ImapIdleWatcher(
          std::move(account), std::move(environment), [](ImapSession&, bool) {},
          [changed = std::move(changed)](ImapSession&) { changed(); }, timing) {}

ImapIdleWatcher::~ImapIdleWatcher() {
  Stop();
}

void ImapIdleWatcher::Start() {
  if (thread_.joinable()) {
    return;
  }
  stop_ = false;
  *cancel_ = false;
  state_ = State::Connecting;
  thread_ = std::thread(&ImapIdleWatcher::Run, this);
}

void ImapIdleWatcher::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    *cancel_ = true;
    if (descriptor_ >= 0) {
      ::shutdown(static_cast<int>(descriptor_), SHUT_RDWR);
    }
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
  state_ = State::Stopped;
}

void ImapIdleWatcher::ReconnectNow() {
  {
    std::lock_guard lock(mutex_);
    reconnectNow_ = true;
  }
  wake_.notify_all();
}

std::string ImapIdleWatcher::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

bool ImapIdleWatcher::Pause(std::chrono::milliseconds pause) {
  state_ = State::Pausing;
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, pause, [this] { return stop_.load() || reconnectNow_; });
  reconnectNow_ = false;
  return !stop_;
}

void ImapIdleWatcher::Run() {
  // The monotonic clock stands still while the machine sleeps, the wall clock
  // does not: when they part, the machine has slept, and the connection (which
  // a server or a router has likely dropped meanwhile) is made anew at once.
  using Wall = std::chrono::system_clock;
  using Steady = std::chrono::steady_clock;
  auto wallThen = Wall::now();
  auto steadyThen = Steady::now();
  bool slept = false;
  const std::function<bool()> stopped = [&] {
    const auto wallNow = Wall::now();
    const auto steadyNow = Steady::now();
    slept = slept || (wallNow - wallThen) - (steadyNow - steadyThen) > kSleepNoticed;
    wallThen = wallNow;
    steadyThen = steadyNow;
    return stop_.load() || slept;
  };
  std::chrono::milliseconds pause = timing_.firstPause;
  while (!stop_) {
    slept = false;
    state_ = State::Connecting;
    std::string why;
    const std::optional<Security> security = account_.Security.value();
    const PasswordAnswer password = environment_.password(account_, cancel_.get());
    if (!security || !password.found) {
      // Nothing a reconnection could mend: the pass says why on every check.
      std::lock_guard lock(mutex_);
      lastError_ = !security ? SecurityValueError(account_.Security.text()) : password.error;
      state_ = State::NoIdle;
      return;
    }
    ImapSession session(environment_.makeTransport(account_), environment_.imapLimits);
    session.SetCancel(cancel_);
    const int port = account_.POP3Port.value() > 0 ? account_.POP3Port.value()
                                                   : DefaultPort(MailProtocol::Imap, *security);
    if (session.Connect(account_.POP3Server, port, account_.UserName, password.password,
                        *security) &&
        session.Select(account_.IMAPFolder)) {
      if (!session.Has("IDLE")) {
        session.Logout();
        std::lock_guard lock(mutex_);
        lastError_ = "the server does not offer IDLE";
        state_ = State::NoIdle;
        return;
      }
      {
        std::lock_guard lock(mutex_);
        if (stop_) {
          return;
        }
        descriptor_ = session.Descriptor();
      }
      session.SetCancel(nullptr);  // one long wait, not slices of a tenth of a second
      connected_(session, connections_ > 0);
      ++connections_;
      pause = timing_.firstPause;
      state_ = State::Idling;
      bool changed = false;
      while (!stop_ && session.usable() &&
             session.Idle(timing_.reissue, timing_.slice, stopped, changed)) {
        if (changed) {
          changed_(session);
        }
      }
      {
        std::lock_guard lock(mutex_);
        descriptor_ = -1;
      }
      if (stop_) {
        return;
      }
      if (slept) {
        std::lock_guard lock(mutex_);
        lastError_ = "the machine slept; connecting again";
        continue;
      }
    }
    {
      std::lock_guard lock(mutex_);
      lastError_ = session.lastError();
    }
    session.Close();
    if (!Pause(pause)) {
      return;
    }
    pause = std::min(pause * 2, timing_.longestPause);
  }
}

}  // namespace bc
