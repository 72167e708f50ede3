#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/imap_idle.h"

namespace bc {

/// The IDLE watches of the desktop program: one per enabled IMAP account while
/// checking is on and not suspended. Each change a server reports calls
/// `changed` (on the watch's thread). When the network comes back
/// (QNetworkInformation), every watch pausing between connections tries again
/// at once. Lives on the UI thread.
class ImapIdleGroup final : public QObject {
  Q_OBJECT
 public:
  ImapIdleGroup(MailEnvironment environment, std::function<void()> changed,
                QObject* parent = nullptr);
  ~ImapIdleGroup() override;

  /// Stops the watches, then starts one for each enabled IMAP account of
  /// `settings` (none when `on` is false).
  void Restart(const Settings& settings, bool on);
  void Stop();
  [[nodiscard]] size_t watching() const { return watchers_.size(); }

 private:
  /// Follows the network's reachability from the first watch on: loading the
  /// backend takes longer than the rest of the window's start.
  void FollowNetwork();

  MailEnvironment environment_;
  std::function<void()> changed_;
  std::vector<std::unique_ptr<ImapIdleWatcher>> watchers_;
  bool followingNetwork_ = false;
};

}  // namespace bc
