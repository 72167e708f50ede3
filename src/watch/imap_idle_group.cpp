#include "watch/imap_idle_group.h"

#include <QNetworkInformation>

#include "mail/imap_pass.h"

namespace bc {

ImapIdleGroup::ImapIdleGroup(MailEnvironment environment, std::function<void()> changed,
                             QObject* parent)
    : QObject(parent), environment_(std::move(environment)), changed_(std::move(changed)) {}

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
  for (const MailAccount& account : settings.accounts) {
    if (account.CheckMark && IsImapAccount(account) && ParseProtocol(account.Protocol)) {
      FollowNetwork();
      watchers_.push_back(std::make_unique<ImapIdleWatcher>(account, environment_, changed_));
      watchers_.back()->Start();
    }
  }
}

}  // namespace bc
