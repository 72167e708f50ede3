#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "config/settings.h"
#include "mail/password_lookup.h"

namespace bc {

class SettingsStore;

/// The recorded password when the record holds one (or keeps none anywhere);
/// for a password kept in the desktop keyring, the keyring's, read now
/// (blocking: call it on a worker, or on the main thread of a headless
/// command). A keyring that is locked, refuses, has lost the entry or has gone
/// away is not found, with the reason, never an empty password; so is a read
/// given up because `cancel` turned true. A keyring that was locked (its unlock
/// prompt dismissed) or refused is asked at most once per run: later reads
/// fail at once with the same reason, saying the password is kept there,
/// until PasswordMover::Start (a save) or, for a locked keyring, until it has
/// been unlocked.
[[nodiscard]] PasswordAnswer KeptPassword(const MailAccount& account,
                                          const std::atomic<bool>* cancel = nullptr);

/// The key of the account's password in the keyring (user name, server, port).
[[nodiscard]] std::string AccountVaultKey(const MailAccount& account);

/// Called once after loading: a remembered password the file does not hold is
/// in the keyring, when there is one (`keyringAvailable`). Without a keyring
/// nothing changes and the file is used as it always was.
void FindPasswordHomes(Settings& settings, bool keyringAvailable);

/// Moves remembered passwords out of the settings file into the desktop
/// keyring, and erases from the keyring the passwords no longer remembered.
///
/// Start() writes each remembered password the records hold but the keyring
/// does not yet (PasswdInKeyring off) to the keyring. Only once the keyring has
/// confirmed the write is the account marked as kept there and the file's
/// value blanked (when the file still holds that very account and password);
/// a write that fails leaves record and file as they are. An account whose
/// password is in the keyring but no longer remembered has it erased there.
/// With no keyring Start() does nothing.
///
/// The first Start() also moves a password kept under the key without the port
/// to the key of the one account with that user name and server, unless that
/// key holds one already. When several accounts share the user name and server
/// nobody can tell whose it is: it stays, and those accounts find no password
/// in the keyring until the user enters it again.
///
/// Main thread; the keyring answers through its event loop. `store` and
/// `settings` must outlive the mover; answers that arrive after it was
/// destroyed are dropped.
class PasswordMover {
 public:
  /// `report` hears, for people, why a password stayed in the file.
  PasswordMover(SettingsStore& store, Settings& settings,
                std::function<void(const std::string&)> report = {});
  ~PasswordMover();
  PasswordMover(const PasswordMover&) = delete;
  PasswordMover& operator=(const PasswordMover&) = delete;

  void Start();
  /// Writes and erasures asked for and not yet answered.
  [[nodiscard]] int pending() const { return static_cast<int>(pending_.size()); }
  /// Turns the event loop until nothing is pending or `patience` ran out; for
  /// headless commands and tests. False when it ran out.
  bool WaitIdle(std::chrono::milliseconds patience);

 private:
  void AdoptKeysWithoutPort();
  void Moved(const std::string& key, const std::string& password);
  void Erased(const std::string& key);

  SettingsStore& store_;
  Settings& settings_;
  std::function<void(const std::string&)> report_;
  bool adopted_ = false;                  // AdoptKeysWithoutPort ran
  std::set<std::string> pending_;         // "write:", "erase:" or "adopt:" followed by the key
  std::shared_ptr<PasswordMover*> self_;  // cleared on destruction; answers check it
};

}  // namespace bc
