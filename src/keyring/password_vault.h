#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

namespace bc {

/// How a keyring operation ended.
enum class VaultStatus {
  Ok,
  NotFound,   // the keyring answered, and holds no password under the key
  NoService,  // no Secret Service (or KWallet) on the session bus, or switched off
  Locked,     // the keyring is locked and was not unlocked
  Refused,    // the keyring (or the user at its prompt) refused access
  Failed,     // anything else; `reason` says what
};

/// The answer of the keyring: a status, the password read, and for people a
/// reason when it is not Ok.
struct VaultAnswer {
  VaultStatus status = VaultStatus::Failed;
  std::string password;
  std::string reason;
  [[nodiscard]] bool ok() const { return status == VaultStatus::Ok; }
};

/// The service name the passwords are kept under in the keyring.
inline constexpr const char* kVaultService = "Brindlecast";

/// The key of an account's password: "<user name>@<server>:<port>". A "%" or
/// "@" in the server is written "%25" or "%40", so the last "@" always ends the
/// user name and the last ":" starts the port: two accounts that differ in user
/// name, server or port never share a key (two tunnels to one host are two
/// accounts). The key does not depend on where the account stands in the list.
[[nodiscard]] std::string VaultKey(const std::string& userName, const std::string& server,
                                   int port);

/// The key without the port ("<user name>@<server>"), which accounts that
/// differ only in the port would share; PasswordMover moves a password kept
/// under it to the account's own key.
[[nodiscard]] std::string VaultKeyWithoutPort(const std::string& userName,
                                              const std::string& server);

/// True when the environment variable BRINDLECAST_KEYRING is "off": the
/// settings file keeps the passwords as if no keyring existed (the demo, tests).
[[nodiscard]] bool KeyringSwitchedOff();

/// True when a keyring can be asked: not switched off, the session bus is
/// reachable, and a Secret Service (org.freedesktop.secrets) or KWallet is
/// running or can be started by the bus. A quick question to the bus itself;
/// the keyring is not contacted. Main thread.
[[nodiscard]] bool KeyringAvailable();

/// Whether the default keyring is locked now: a question to the keyring's
/// properties, which never opens its unlock prompt. False when it cannot tell.
[[nodiscard]] bool KeyringLocked();

/// The keyring operations. Every operation runs on the main thread (the thread
/// of the QCoreApplication): the keychain library runs one job at a time through
/// a queue of its own, which must stay on one thread. `done` is called there
/// once the keyring answered; nothing blocks.
using VaultDone = std::function<void(VaultAnswer)>;
void ReadPassword(const std::string& key, VaultDone done);
void WritePassword(const std::string& key, const std::string& password, VaultDone done);
/// Erasing a key that holds nothing is Ok.
void ErasePassword(const std::string& key, VaultDone done);

/// How long a blocking read waits for the keyring: long enough for a user to
/// type the keyring's password at its unlock prompt.
inline constexpr std::chrono::seconds kVaultPatience{120};

/// Reads and waits for the answer. From a worker thread the read runs on the
/// main thread while the worker waits; on the main thread (a headless command,
/// never the desktop's user-interface thread) it runs a local event loop. An
/// answer that does not come within `patience`, or before `cancel` turns true
/// (the program is ending), is Failed.
[[nodiscard]] VaultAnswer ReadPasswordNow(const std::string& key,
                                          std::chrono::milliseconds patience = kVaultPatience,
                                          const std::atomic<bool>* cancel = nullptr);
/// Writes and waits, as ReadPasswordNow.
[[nodiscard]] VaultAnswer WritePasswordNow(const std::string& key, const std::string& password,
                                           std::chrono::milliseconds patience = kVaultPatience);

/// For people: "the desktop keyring is locked", ...
[[nodiscard]] std::string VaultProblem(const VaultAnswer& answer);

}  // namespace bc
