// Passwords in a real Secret Service: gnome-keyring-daemon on a private session
// bus, started by the CTest fixtures. Each suite runs in its own CTest entry:
// Keyring against the unlocked keyring, KeyringLocked against a locked one,
// NoKeyring with no session bus at all.
#include <gtest/gtest.h>

#include <QSettings>
#include <cstdlib>
#include <thread>

#include "config/settings_store.h"
#include "keyring/account_password.h"
#include "keyring/password_vault.h"
#include "support/test_env.h"
#include "support/wait.h"

namespace bc {
namespace {

using namespace std::chrono_literals;

MailAccount Account(const std::string& user, const std::string& server,
                    const std::string& password = {}, const std::string& port = {}) {
  MailAccount a;
  a.UserName = user;
  a.POP3Server = server;
  a.POP3Port = StoredPort::FromText(port);
  a.Passwd = password;
  a.RememberPasswd = true;
  return a;
}

// The password as a check worker gets it: on a thread of its own, while the
// main thread turns its event loop (where the keyring jobs run).
PasswordAnswer OnWorker(const MailAccount& account) {
  PasswordAnswer answer;
  std::atomic<bool> done = false;
  std::thread worker([&] {
    answer = KeptPassword(account);
    done = true;
  });
  test::WaitUntil([&] { return done.load(); }, 30s);
  worker.join();
  return answer;
}

// A settings file of its own, seeded with accounts and read back raw.
class SettingsFile {
 public:
  void Seed(int number, const MailAccount& a) {
    QSettings raw(QString::fromStdString(path()), QSettings::IniFormat);
    const QString group = QStringLiteral("UserAccounts/user%1/").arg(number);
    raw.setValue(QStringLiteral("UserAccounts/Users"), QString::number(number));
    raw.setValue(group + QStringLiteral("UserName"), QString::fromStdString(a.UserName));
    raw.setValue(group + QStringLiteral("POP3Server"), QString::fromStdString(a.POP3Server));
    raw.setValue(group + QStringLiteral("POP3Port"), QString::fromStdString(a.POP3Port.text()));
    raw.setValue(group + QStringLiteral("Passwd"), QString::fromStdString(a.Passwd));
    raw.setValue(group + QStringLiteral("RememberPasswd"),
                 a.RememberPasswd ? QStringLiteral("1") : QStringLiteral("0"));
  }
  std::string Passwd(int number) const {
    QSettings raw(QString::fromStdString(path()), QSettings::IniFormat);
    return raw.value(QStringLiteral("UserAccounts/user%1/Passwd").arg(number))
        .toString()
        .toStdString();
  }
  std::string path() const { return dir_.File("Brindlecast.conf"); }

 private:
  test::TempDir dir_;
};

// Loads the file, finds where its passwords live and moves them as the program
// does at start-up; `reasons` hears why a password stayed in the file.
Settings LoadAndMove(const SettingsFile& file, std::vector<std::string>* reasons = nullptr) {
  test::RecordingPrompt prompt;
  SettingsStore store(file.path(), prompt);
  Settings settings = LoadSettings(store);
  FindPasswordHomes(settings, KeyringAvailable());
  PasswordMover mover(store, settings, [reasons](const std::string& why) {
    if (reasons) {
      reasons->push_back(why);
    }
  });
  mover.Start();
  EXPECT_TRUE(mover.WaitIdle(30s));
  return settings;
}

TEST(KeyringKey, TwoAccountsNeverShareAKey) {
  struct Row {
    const char* user;
    const char* server;
    int port;
    const char* key;
  } rows[] = {
      {"alice", "pop.example.com", 110, "alice@pop.example.com:110"},
      {"alice", "pop.example.com", 995, "alice@pop.example.com:995"},
      {"alice@example.com", "pop.example.com", 110, "alice@example.com@pop.example.com:110"},
      // Without the escape both would be "a@b@c:1".
      {"a@b", "c", 1, "a@b@c:1"},
      {"a", "b@c", 1, "a@b%40c:1"},
      {"a", "b%40c", 1, "a@b%2540c:1"},
      {"a", "::1", 1, "a@::1:1"},  // the last ":" starts the port
  };
  for (const Row& row : rows) {
    EXPECT_EQ(VaultKey(row.user, row.server, row.port), row.key) << row.user << " " << row.server;
  }
}

TEST(Keyring, StoresReadsAndErasesEachAccountApart) {
  ASSERT_TRUE(KeyringAvailable());
  const MailAccount accounts[] = {
      Account("alice", "pop.one.example", "first"),
      Account("alice", "pop.two.example", "second"),
      Account("bob@one.example", "pop.one.example", "p\xC3\xA4sswort with blanks;#"),
  };
  for (const MailAccount& a : accounts) {
    ASSERT_TRUE(WritePasswordNow(AccountVaultKey(a), a.Passwd).ok());
  }
  for (MailAccount a : accounts) {
    const std::string stored = a.Passwd;
    a.Passwd.clear();
    a.PasswdInKeyring = true;
    const PasswordAnswer answer = OnWorker(a);
    EXPECT_TRUE(answer.found) << answer.error;
    EXPECT_EQ(answer.password, stored);
  }

  const std::string first = AccountVaultKey(accounts[0]);
  bool erased = false;
  ErasePassword(first, [&](VaultAnswer answer) { erased = answer.ok(); });
  ASSERT_TRUE(test::WaitUntil([&] { return erased; }, 30s));
  EXPECT_EQ(ReadPasswordNow(first).status, VaultStatus::NotFound);
  EXPECT_EQ(ReadPasswordNow(AccountVaultKey(accounts[1])).password, "second");

  // An account marked as kept there, whose entry is gone, fails with the reason.
  MailAccount lost = accounts[0];
  lost.Passwd.clear();
  lost.PasswdInKeyring = true;
  const PasswordAnswer answer = OnWorker(lost);
  EXPECT_FALSE(answer.found);
  EXPECT_NE(answer.error.find("holds no password"), std::string::npos) << answer.error;
}

TEST(Keyring, FilePasswordMovesAndComesBackFromTheKeyring) {
  SettingsFile file;
  file.Seed(1, Account("carol", "pop.move.example", "moved"));
  MailAccount forgotten = Account("dave", "pop.move.example");
  forgotten.RememberPasswd = false;
  file.Seed(2, forgotten);

  Settings settings = LoadAndMove(file);
  EXPECT_EQ(file.Passwd(1), "");
  EXPECT_TRUE(settings.accounts[0].PasswdInKeyring);
  EXPECT_FALSE(settings.accounts[1].PasswdInKeyring);
  EXPECT_EQ(ReadPasswordNow("carol@pop.move.example:0").password, "moved");

  // The next start reads it from the keyring; a save keeps the file empty.
  settings = LoadAndMove(file);
  ASSERT_TRUE(settings.accounts[0].PasswdInKeyring);
  EXPECT_EQ(settings.accounts[0].Passwd, "");
  EXPECT_EQ(OnWorker(settings.accounts[0]).password, "moved");
  {
    test::RecordingPrompt prompt;
    SettingsStore store(file.path(), prompt);
    settings.accounts[0].Passwd = "moved";
    ASSERT_TRUE(SaveSettings(store, settings));
  }
  EXPECT_EQ(file.Passwd(1), "");

  // No longer remembered: the keyring forgets it too.
  test::RecordingPrompt prompt;
  SettingsStore store(file.path(), prompt);
  settings.accounts[0].RememberPasswd = false;
  PasswordMover mover(store, settings);
  mover.Start();
  ASSERT_TRUE(mover.WaitIdle(30s));
  EXPECT_FALSE(settings.accounts[0].PasswdInKeyring);
  EXPECT_EQ(ReadPasswordNow("carol@pop.move.example:0").status, VaultStatus::NotFound);
}

// Two accounts of one user and host on different ports (two tunnels) each keep
// their own password. One kept under the key without the port moves to the
// account's key only when no other account has that user name and server.
TEST(Keyring, APasswordWithoutThePortMovesOnlyToTheOneAccountItCanBelongTo) {
  // From a clean start, also when the test runs again on the same keyring.
  for (const char* key :
       {"ivan@pop.port.example:110", "judy@pop.port.example:110", "judy@pop.port.example:995"}) {
    bool erased = false;
    ErasePassword(key, [&](VaultAnswer answer) { erased = answer.ok(); });
    ASSERT_TRUE(test::WaitUntil([&] { return erased; }, 30s));
  }
  ASSERT_TRUE(WritePasswordNow("ivan@pop.port.example", "ivans").ok());
  ASSERT_TRUE(WritePasswordNow("judy@pop.port.example", "judys").ok());
  SettingsFile file;
  file.Seed(1, Account("ivan", "pop.port.example", "", "110"));
  file.Seed(2, Account("judy", "pop.port.example", "", "110"));
  file.Seed(3, Account("judy", "pop.port.example", "", "995"));
  const Settings settings = LoadAndMove(file);

  EXPECT_EQ(OnWorker(settings.accounts[0]).password, "ivans");
  EXPECT_EQ(ReadPasswordNow("ivan@pop.port.example").status, VaultStatus::NotFound);
  for (const MailAccount& judy : {settings.accounts[1], settings.accounts[2]}) {
    EXPECT_FALSE(OnWorker(judy).found);
  }
  EXPECT_EQ(ReadPasswordNow("judy@pop.port.example").password, "judys");
}

// At exit the main thread stops turning its event loop and waits for the
// workers: one waiting on the keyring must give up, not wait out its patience.
TEST(Keyring, AWorkerWaitingOnTheKeyringGivesUpWhenTheProgramEnds) {
  MailAccount account = Account("frank", "pop.ending.example");
  account.PasswdInKeyring = true;
  std::atomic<bool> cancel = false;
  PasswordAnswer answer{true, "stale", {}};
  std::thread worker([&] { answer = KeptPassword(account, &cancel); });
  cancel = true;
  worker.join();
  EXPECT_FALSE(answer.found);
  EXPECT_TRUE(answer.password.empty());
}

TEST(Keyring, SwitchedOffKeepsTheFile) {
  ASSERT_EQ(setenv("BRINDLECAST_KEYRING", "off", 1), 0);
  SettingsFile file;
  file.Seed(1, Account("erin", "pop.off.example", "stays"));
  const Settings settings = LoadAndMove(file);
  unsetenv("BRINDLECAST_KEYRING");
  EXPECT_EQ(file.Passwd(1), "stays");
  EXPECT_FALSE(settings.accounts[0].PasswdInKeyring);
  EXPECT_EQ(ReadPasswordNow("erin@pop.off.example:0").status, VaultStatus::NotFound);
}

TEST(KeyringLocked, FailsTheAccountAndLeavesTheFile) {
  // The fixture stored this account's password, then locked the keyring.
  MailAccount kept = Account("alice", "locked.example", "", "110");
  kept.PasswdInKeyring = true;
  const PasswordAnswer answer = OnWorker(kept);
  EXPECT_FALSE(answer.found);
  EXPECT_EQ(answer.error, "the desktop keyring is locked");
  // Not asked again (its prompt would open once per check period) while it
  // stays locked; a save (the mover's Start below) asks again.
  EXPECT_EQ(OnWorker(kept).error,
            "the desktop keyring is locked (the password is kept there; it is not asked for again "
            "until the settings are saved)");

  SettingsFile file;
  file.Seed(1, Account("frank", "locked.example", "unmoved"));
  std::vector<std::string> reasons;
  const Settings settings = LoadAndMove(file, &reasons);
  EXPECT_EQ(file.Passwd(1), "unmoved");
  EXPECT_FALSE(settings.accounts[0].PasswdInKeyring);
  EXPECT_EQ(OnWorker(settings.accounts[0]).password, "unmoved");
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_NE(reasons[0].find("stays in the settings file: the desktop keyring is locked"),
            std::string::npos)
      << reasons[0];
  EXPECT_EQ(OnWorker(kept).error, "the desktop keyring is locked");
}

TEST(NoKeyring, TheFileServesAsBefore) {
  EXPECT_FALSE(KeyringAvailable());
  EXPECT_EQ(ReadPasswordNow("grace@pop.example").status, VaultStatus::NoService);

  SettingsFile file;
  file.Seed(1, Account("grace", "pop.example", "plain"));
  MailAccount empty = Account("heidi", "pop.example");
  file.Seed(2, empty);
  const Settings settings = LoadAndMove(file);
  EXPECT_EQ(file.Passwd(1), "plain");
  EXPECT_FALSE(settings.accounts[0].PasswdInKeyring);
  EXPECT_FALSE(settings.accounts[1].PasswdInKeyring);
  EXPECT_EQ(OnWorker(settings.accounts[0]).password, "plain");
  // An empty remembered password is used as it always was.
  EXPECT_TRUE(OnWorker(settings.accounts[1]).found);
}

}  // namespace
}  // namespace bc
