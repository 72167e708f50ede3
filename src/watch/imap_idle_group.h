#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/imap_idle.h"

namespace bc {

/// What the IDLE watches ask of the program that lists the mail.
struct ImapIdleHooks {
  /// A whole pass is due: a watch connected again after a drop (what came
  /// meanwhile is unknown), or a folder's UIDVALIDITY changed.
  std::function<void()> checkAll;
  /// The work a wake does on the list, with the settings the watch began with.
  using Update = std::function<void(EnvelopeStore& store, CheckObserver& observer)>;
  /// Runs `update` on the calling (watch) thread once no check, deletion or
  /// speech holds it back; false, without running it, when `stopping` turns
  /// true or checking is off.
  std::function<bool(const Settings& settings, const std::function<bool()>& stopping,
                     const Update& update)>
      whenFree;
};

/// The IDLE watches of the desktop program: one per enabled IMAP account while
/// checking is on and not suspended. A change a server reports is fetched by
/// UID on the watch's own connection (only the new messages; expunged ones
/// leave the list). When the network comes back (QNetworkInformation), every
/// watch pausing between connections tries again at once. Lives on the UI
/// thread.
class ImapIdleGroup final : public QObject {
  Q_OBJECT
 public:
  ImapIdleGroup(MailEnvironment environment, ImapIdleHooks hooks, QObject* parent = nullptr);
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
  std::unique_ptr<ImapIdleWatcher> Watch(const Settings& settings, int index);

  MailEnvironment environment_;
  ImapIdleHooks hooks_;
  std::vector<std::unique_ptr<ImapIdleWatcher>> watchers_;
  bool followingNetwork_ = false;
};

}  // namespace bc
