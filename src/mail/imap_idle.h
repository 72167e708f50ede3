#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/imap_session.h"

namespace bc {

/// Keeps one IMAP account's folder under IDLE on a thread of its own, so new
/// mail is known the moment the server has it: `changed` is called (on that
/// thread, with the session selected and out of IDLE, to fetch what changed)
/// whenever the server reports new or removed messages, and `connected` each
/// time the folder was selected on a new connection. The IDLE is
/// issued again before the server's 30-minute limit; a connection that fails
/// or drops comes back by itself after a growing pause. A server without IDLE
/// ends the watch: that account is checked on the period like POP3.
class ImapIdleWatcher {
 public:
  struct Timing {
    std::chrono::milliseconds reissue{std::chrono::minutes(25)};  // under RFC 2177's 29 min
    // How often an idle watch wakes to see whether the machine slept; Stop
    // ends a wait at once.
    std::chrono::milliseconds slice{std::chrono::minutes(1)};
    std::chrono::milliseconds firstPause{std::chrono::seconds(2)};
    std::chrono::milliseconds longestPause{std::chrono::minutes(5)};
  };
  enum class State { Connecting, Idling, Pausing, NoIdle, Stopped };

  /// `again`: a connection after the first (what came meanwhile is unknown).
  using Connected = std::function<void(ImapSession& session, bool again)>;
  using Changed = std::function<void(ImapSession& session)>;

  ImapIdleWatcher(MailAccount account, MailEnvironment environment, Connected connected,
                  Changed changed, Timing timing);
  ImapIdleWatcher(MailAccount account, MailEnvironment environment, Connected connected,
                  Changed changed)
      : ImapIdleWatcher(std::move(account), std::move(environment), std::move(connected),
                        std::move(changed), Timing{}) {}
  /// A watch that only tells that something changed.
  ImapIdleWatcher(MailAccount account, MailEnvironment environment, std::function<void()> changed,
                  Timing timing);
  ImapIdleWatcher(MailAccount account, MailEnvironment environment, std::function<void()> changed)
      : ImapIdleWatcher(std::move(account), std::move(environment), std::move(changed), Timing{}) {}
  ~ImapIdleWatcher();
  ImapIdleWatcher(const ImapIdleWatcher&) = delete;
  ImapIdleWatcher& operator=(const ImapIdleWatcher&) = delete;

  void Start();
  /// Ends the watch (a wait on the server at once, a connection under way
  /// within a tenth of a second) and waits for its thread.
  void Stop();
  /// Ends a pause between connections now (the network came back, the machine
  /// woke up).
  void ReconnectNow();
  [[nodiscard]] State state() const { return state_; }
  /// How many times the connection was made (and logged in) so far.
  [[nodiscard]] int connections() const { return connections_; }
  /// Stop was asked: a `changed` that waits for its turn gives up.
  [[nodiscard]] bool stopping() const { return stop_; }
  /// Why the last connection failed or ended, for the trace.
  [[nodiscard]] std::string lastError() const;

 private:
  void Run();
  bool Pause(std::chrono::milliseconds pause);

  MailAccount account_;
  MailEnvironment environment_;
  Connected connected_;
  Changed changed_;
  Timing timing_;
  std::atomic<State> state_{State::Stopped};
  std::atomic<int> connections_{0};
  std::atomic<bool> stop_{false};
  // Seen by the transport while connecting; the IDLE wait ends by shutting the
  // socket down (under the mutex, while the session holds it open).
  std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
  intptr_t descriptor_ = -1;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool reconnectNow_ = false;
  std::string lastError_;
  std::thread thread_;
};

}  // namespace bc
