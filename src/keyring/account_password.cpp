#include "keyring/account_password.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <mutex>
#include <optional>

#include "config/settings_store.h"
#include "keyring/password_vault.h"

namespace bc {
namespace {

constexpr const char* kWrite = "write:";
constexpr const char* kErase = "erase:";
constexpr const char* kAdopt = "adopt:";
constexpr const char* kNotAskedAgain =
    " (the password is kept there; it is not asked for again until the settings are saved)";

// How the keyring declined a read in this run: locked and not unlocked at its
// prompt, or refused. The passes do not ask it again (nor open its prompt once
// per check period) until the user saves the settings (PasswordMover::Start),
// or, for a locked keyring, until it has been unlocked some other way.
std::mutex declineMutex;
std::optional<VaultAnswer> declined;  // under declineMutex

std::optional<VaultAnswer> StillDeclined() {
  std::optional<VaultAnswer> answer;
  {
    std::lock_guard lock(declineMutex);
    answer = declined;
  }
  if (answer && answer->status == VaultStatus::Locked && !KeyringLocked()) {
    return std::nullopt;
  }
  return answer;
}

void RememberDecline(const VaultAnswer& answer) {
  if (answer.status == VaultStatus::Locked || answer.status == VaultStatus::Refused) {
    std::lock_guard lock(declineMutex);
    declined = answer;
  }
}

void ForgetDecline() {
  std::lock_guard lock(declineMutex);
  declined.reset();
}

// Whether `account` is the only one with its user name and server: then a
// password kept under the key without the port is its own.
bool OnlyAccountOf(const Settings& settings, const MailAccount& account) {
  return std::count_if(settings.accounts.begin(), settings.accounts.end(),
                       [&account](const MailAccount& other) {
                         return other.UserName == account.UserName &&
                                other.POP3Server == account.POP3Server;
                       }) == 1;
}

}  // namespace

PasswordAnswer KeptPassword(const MailAccount& account, const std::atomic<bool>* cancel) {
  if (!account.Passwd.empty() || !account.PasswdInKeyring) {
    return RecordedPassword(account);
  }
  if (const std::optional<VaultAnswer> earlier = StillDeclined()) {
    return {false, {}, VaultProblem(*earlier) + kNotAskedAgain};
  }
  const VaultAnswer answer = ReadPasswordNow(AccountVaultKey(account), kVaultPatience, cancel);
  if (!answer.ok()) {
    RememberDecline(answer);
    return {false, {}, VaultProblem(answer)};
  }
  return {true, answer.password, {}};
}

std::string AccountVaultKey(const MailAccount& account) {
  return VaultKey(account.UserName, account.POP3Server, account.POP3Port.value());
}

void FindPasswordHomes(Settings& settings, bool keyringAvailable) {
  if (!keyringAvailable) {
    return;
  }
  for (MailAccount& account : settings.accounts) {
    account.PasswdInKeyring = account.RememberPasswd && account.Passwd.empty();
  }
}

PasswordMover::PasswordMover(SettingsStore& store, Settings& settings,
                             std::function<void(const std::string&)> report)
    : store_(store),
      settings_(settings),
      report_(std::move(report)),
      self_(std::make_shared<PasswordMover*>(this)) {}

PasswordMover::~PasswordMover() {
  *self_ = nullptr;
}

void PasswordMover::AdoptKeysWithoutPort() {
  adopted_ = true;
  bool asked = false;
  for (const MailAccount& account : settings_.accounts) {
    if (!account.RememberPasswd || !account.PasswdInKeyring || !account.Passwd.empty() ||
        !OnlyAccountOf(settings_, account)) {
      continue;
    }
    if (!asked && !KeyringAvailable()) {
      return;
    }
    asked = true;
    const std::string key = AccountVaultKey(account);
    const std::string job = kAdopt + key;
    if (!pending_.insert(job).second) {
      continue;
    }
    // The keyring operations go on when the mover is gone; only the pending
    // list needs it.
    auto done = [self = std::weak_ptr<PasswordMover*>(self_), job] {
      if (const auto alive = self.lock(); alive && *alive) {
        (*alive)->pending_.erase(job);
      }
    };
    const std::string oldKey = VaultKeyWithoutPort(account.UserName, account.POP3Server);
    ReadPassword(key, [key, oldKey, done](const VaultAnswer& current) {
      if (current.status != VaultStatus::NotFound) {
        done();  // the account's own key holds it already, or the keyring cannot say
        return;
      }
      ReadPassword(oldKey, [key, oldKey, done](const VaultAnswer& old) {
        if (!old.ok()) {
          done();
          return;
        }
        WritePassword(key, old.password, [oldKey, done](const VaultAnswer& written) {
          if (!written.ok()) {
            done();
            return;
          }
          ErasePassword(oldKey, [done](const VaultAnswer&) { done(); });
        });
      });
    });
  }
}

void PasswordMover::Start() {
  ForgetDecline();  // a save asks the keyring again
  if (!adopted_) {
    AdoptKeysWithoutPort();
  }
  bool asked = false;
  for (const MailAccount& account : settings_.accounts) {
    const bool move = account.RememberPasswd && !account.PasswdInKeyring && !account.Passwd.empty();
    const bool erase = !account.RememberPasswd && account.PasswdInKeyring;
    if (!move && !erase) {
      continue;
    }
    if (!asked && !KeyringAvailable()) {
      return;  // no keyring: the file keeps every password, as it always did
    }
    asked = true;
    const std::string key = AccountVaultKey(account);
    const std::string job = (move ? kWrite : kErase) + key;
    if (!pending_.insert(job).second) {
      continue;  // already under way (two accounts of one login, or a second Start)
    }
    std::weak_ptr<PasswordMover*> self = self_;
    if (move) {
      const std::string password = account.Passwd;
      const std::string userName = account.UserName;
      WritePassword(key, password, [self, job, key, password, userName](VaultAnswer answer) {
        const auto alive = self.lock();
        if (!alive || !*alive) {
          return;
        }
        PasswordMover& mover = **alive;
        mover.pending_.erase(job);
        if (answer.ok()) {
          mover.Moved(key, password);
        } else if (mover.report_) {
          mover.report_("the password of '" + userName +
                        "' stays in the settings file: " + VaultProblem(answer));
        }
      });
    } else {
      ErasePassword(key, [self, job, key](VaultAnswer answer) {
        const auto alive = self.lock();
        if (!alive || !*alive) {
          return;
        }
        (*alive)->pending_.erase(job);
        if (answer.ok()) {
          (*alive)->Erased(key);
        }
      });
    }
  }
}

void PasswordMover::Moved(const std::string& key, const std::string& password) {
  bool blanked = false;
  for (size_t i = 0; i < settings_.accounts.size(); ++i) {
    MailAccount& account = settings_.accounts[i];
    if (account.PasswdInKeyring || !account.RememberPasswd || account.Passwd != password ||
        AccountVaultKey(account) != key) {
      continue;  // changed while the keyring was writing: the next save moves it
    }
    account.PasswdInKeyring = true;
    // The file is blanked only where it still holds this very account and
    // password: the records may differ from the file (edits not yet saved).
    const std::string section = AccountKey(static_cast<int>(i));
    if (store_.ReadValue(section, "Passwd") == password &&
        store_.ReadValue(section, "UserName") == account.UserName &&
        store_.ReadValue(section, "POP3Server") == account.POP3Server) {
      store_.WriteValue(section, "Passwd", "");
      blanked = true;
    }
  }
  if (blanked) {
    store_.Commit();
  }
}

void PasswordMover::Erased(const std::string& key) {
  for (MailAccount& account : settings_.accounts) {
    if (!account.RememberPasswd && account.PasswdInKeyring && AccountVaultKey(account) == key) {
      account.PasswdInKeyring = false;
    }
  }
}

bool PasswordMover::WaitIdle(std::chrono::milliseconds patience) {
  QDeadlineTimer deadline(patience);
  while (!pending_.empty()) {
    if (deadline.hasExpired()) {
      return false;
    }
    QEventLoop loop;
    loop.processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

}  // namespace bc
