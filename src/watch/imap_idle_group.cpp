#include "watch/imap_idle_group.h"

#include <QNetworkInformation>

#include "mail/imap_pass.h"

namespace bc {

ImapIdleGroup::ImapIdleGroup(MailEnvironment environment, ImapIdleHooks hooks, QObject* parent)
    : QObject(parent), environment_(std::move(environment)), hooks_(std::move(hooks)) {}

std::unique_ptr<ImapIdleWatcher> ImapIdleGroup::Watch(const Settings& settings, int index) {
  // Each watch keeps its own copy of the settings and what it knows of its
  // folder; both live as long as its callbacks.
  struct Follow {
    Settings settings;
    ImapFollowed followed;
    bool following = false;
    ImapIdleWatcher* watcher = nullptr;
  };
  auto follow = std::make_shared<Follow>();
  follow->settings = settings;
  auto watcher = std::make_unique<ImapIdleWatcher>(
      settings.accounts[static_cast<size_t>(index)], environment_,
      [this, follow](ImapSession& session, bool again) {
        const uint32_t before = follow->followed.uidValidity;
        follow->following = FollowImapFolder(session, follow->followed);
        if (again || (before != 0 && before != follow->followed.uidValidity)) {
          hooks_.checkAll();
        }
      },
      [this, follow, index](ImapSession& session) {
        if (!follow->following) {
          hooks_.checkAll();  // the folder's UIDs are not known: check it whole
          return;
        }
        ImapWakeResult wake;
        const bool ran = hooks_.whenFree(
            follow->settings, [follow] { return follow->watcher->stopping(); },
            [&](EnvelopeStore& store, CheckObserver& observer) {
              wake = UpdateImapAccount(follow->settings, index, session, follow->followed, store,
                                       observer, environment_);
              observer.AccountFinished(wake.outcome);
            });
        if (ran && wake.startAgain) {
          follow->following = session.usable() && FollowImapFolder(session, follow->followed);
          hooks_.checkAll();
        }
      });
  follow->watcher = watcher.get();
  return watcher;
}

void ImapIdleGroup::FollowNetwork() {
  if (followingNetwork_) {
    return;
  }
  followingNetwork_ = true;
  if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
    connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability reachability) {
              if (reachability == QNetworkInformation::Reachability::Online) {
                for (const auto& watcher : watchers_) {
                  watcher->ReconnectNow();
                }
              }
            });
  }
}

ImapIdleGroup::~ImapIdleGroup() {
  Stop();
}

void ImapIdleGroup::Stop() {
  // Each stops within a slice; stopping them together keeps the wait to one.
  std::vector<std::thread> stopping;
  for (auto& watcher : watchers_) {
    stopping.emplace_back([w = watcher.get()] { w->Stop(); });
  }
  for (std::thread& t : stopping) {
    t.join();
  }
  watchers_.clear();
}

void ImapIdleGroup::Restart(const Settings& settings, bool on) {
  Stop();
  if (!on) {
    return;
  }
  for (size_t i = 0; i < settings.accounts.size(); ++i) {
    const MailAccount& account = settings.accounts[i];
    if (account.CheckMark && IsImapAccount(account) && ParseProtocol(account.Protocol)) {
      FollowNetwork();
      watchers_.push_back(Watch(settings, static_cast<int>(i)));
      watchers_.back()->Start();
    }
  }
}

}  // namespace bc
