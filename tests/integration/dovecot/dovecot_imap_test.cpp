// The check pass and the deletion of IMAP accounts against real IMAP servers:
// Dovecot's, and (as mailutils_imap.<row>) GNU Mailutils' imap4d, which has
// IDLE but neither UIDPLUS nor MOVE, so it deletes nothing and says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "mail/check_cycle.h"
#include "mail/deletion.h"
#include "mail/imap_idle.h"
#include "server_pass_test.h"
#include "support/test_env.h"
#include "support/wait.h"
#include "watch/mail_controller.h"

namespace bc {
namespace {

// The server the rows run against: Dovecot unless IMAP_PEER names another as
// "DIR|PORT|TLS_PORT|LOGIN_SUFFIX|BINARY" (its mailboxes laid out as Dovecot's).
struct Peer {
  std::string dir = BC_IMAP_DIR;
  int port = BC_IMAP_PORT;
  int tlsPort = BC_IMAPS_PORT;
  std::string loginSuffix;
  std::string binary;  // the server's program, when not Dovecot
  [[nodiscard]] bool dovecot() const { return binary.empty(); }
};

Peer ThePeer() {
  Peer peer;
  const char* text = std::getenv("IMAP_PEER");
  if (text == nullptr || *text == 0) {
    return peer;
  }
  std::vector<std::string> parts{""};
  for (const char* c = text; *c != 0; ++c) {
    if (*c == '|') {
      parts.emplace_back();
    } else {
      parts.back().push_back(*c);
    }
  }
  parts.resize(5);
  peer.dir = parts[0];
  peer.port = std::atoi(parts[1].c_str());
  peer.tlsPort = std::atoi(parts[2].c_str());
  peer.loginSuffix = parts[3];
  peer.binary = parts[4];
  return peer;
}

const Peer kPeer = ThePeer();
const std::string kScript = BC_POP3_SCRIPT;
const std::string kDir = kPeer.dir;

void Shell(const std::string& command) {
  ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

// `count` generated messages (plain, alternative, attachment, base64, qp,
// utf8subject, dotlines, spam, ...) in the mailbox of `user`, replacing what it held.
void Populate(const std::string& user, int count) {
  Shell("bash '" + kScript + "' clear '" + kDir + "' " + user);
  Shell("bash '" + kScript + "' populate '" + kDir + "' " + user + " " + std::to_string(count) +
        " 2500");
}

// The Maildir flags of each message of a mailbox, as its file name holds them
// after ":2," (the servers keep their own notes before it).
std::multiset<std::string> MailFlags(const std::string& user);

// The Maildir file names of a mailbox.
std::set<std::string> MailFiles(const std::string& user) {
  std::set<std::string> names;
  for (const char* sub : {"cur", "new"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(kDir + "/mail/" + user + "/Maildir/" + sub)) {
      names.insert(entry.path().filename().string());
    }
  }
  return names;
}

std::multiset<std::string> MailFlags(const std::string& user) {
  std::multiset<std::string> flags;
  for (const std::string& name : MailFiles(user)) {
    const size_t info = name.rfind(":2,");
    flags.insert(info == std::string::npos ? std::string() : name.substr(info + 3));
  }
  return flags;
}

MailAccount Account(const std::string& user, Security security = Security::StartTls) {
  MailAccount a;
  a.UserName = user + kPeer.loginSuffix;
  a.Passwd = "secret";
  a.POP3Server = "127.0.0.1";
  a.POP3Port = security == Security::Tls ? kPeer.tlsPort : kPeer.port;
  a.Security = security;
  a.CAFile = kDir + "/tls/cert.pem";
  a.CheckMark = true;
  a.Protocol = "IMAP";
  return a;
}

class ImapServerTest : public ServerPassTest {
 protected:
  void SetUp() override {
    if (!kPeer.dovecot() && !std::filesystem::exists(kPeer.binary)) {
      GTEST_SKIP() << kPeer.binary << " is not installed (mailutils-imap4d)";
    }
    ServerPassTest::SetUp();
  }
  void Check(const MailAccount& account) {
    observer_.all.clear();
    CheckAccount(account);
    ASSERT_EQ(observer_.all.size(), 1u);
  }
};

class ImapServerSecurityTest : public ImapServerTest,
                               public ::testing::WithParamInterface<Security> {};

// The list is the POP3 pass's list, and reading it marks nothing \Seen.
TEST_P(ImapServerSecurityTest, APassListsTheFolderAndLeavesItsFlags) {
  Populate("imapcheck", 8);
  const std::multiset<std::string> before = MailFlags("imapcheck");
  Check(Account("imapcheck", GetParam()));
  EXPECT_EQ(observer_.all[0].status, AccountOutcome::Status::Checked) << observer_.all[0].error;
  ASSERT_EQ(store_.Count(), 8);
  EXPECT_EQ(store_.Get(0).subject, "Test message 1 (plain)");
  EXPECT_EQ(store_.Get(0).from, "Sender 1");
  EXPECT_EQ(store_.Get(0).address, "sender1@example.com");
  EXPECT_EQ(store_.Get(1).attachment, "0");
  EXPECT_EQ(store_.Get(2).attachment, "1");
  EXPECT_EQ(store_.Get(5).from, "Jürgen Größ");
  EXPECT_EQ(store_.Get(5).subject, "Grüße, café ünïcödé 6 日本語");
  EXPECT_EQ(store_.Get(7).received.size(), 19u);
  EXPECT_EQ(store_.Get(7).uniqueId.rfind("IMAP:", 0), 0u) << store_.Get(7).uniqueId;
  EXPECT_EQ(MailFlags("imapcheck"), before);
}

INSTANTIATE_TEST_SUITE_P(Security, ImapServerSecurityTest,
                         ::testing::Values(Security::None, Security::Tls, Security::StartTls),
                         [](const auto& row) {
                           return row.param == Security::None  ? std::string("Plain")
                                  : row.param == Security::Tls ? std::string("Imaps")
                                                               : std::string("StartTls");
                         });

TEST_F(ImapServerTest, ContentLinesComeFromTheStartOfTheBody) {
  Populate("imapcheck", 2);
  settings_.options.CheckLines = 1;
  settings_.options.ComboLines = "2";
  Check(Account("imapcheck"));
  ASSERT_EQ(store_.Count(), 2);
  EXPECT_EQ(store_.Get(0).content.rfind("Hello, This is message 1.", 0), 0u)
      << store_.Get(0).content;
}

// What a server without UIDPLUS and MOVE makes of a deletion: nothing is
// deleted, and the account says why.
constexpr const char* kCannotDelete = "neither UIDPLUS nor MOVE";

// Spam goes by UID EXPUNGE; a message another client marked \Deleted (the
// Maildir "T" flag) is not expunged with it. imap4d deletes nothing.
TEST_F(ImapServerTest, SpamGoesByUidAndAMessageMarkedDeletedElsewhereStays) {
  Populate("imapspam", 8);
  const std::string cur = kDir + "/mail/imapspam/Maildir/cur/";
  const std::string first = *MailFiles("imapspam").begin();
  std::filesystem::rename(cur + first, cur + first + "T");
  settings_.options.LogDeleted = true;
  MailAccount account = Account("imapspam");
  account.FilterSubject = true;
  account.Filter = "win money;";
  Check(account);
  const AccountOutcome& outcome = observer_.all[0];
  EXPECT_EQ(store_.Count(), 7);
  const std::set<std::string> left = MailFiles("imapspam");
  EXPECT_EQ(MailFlags("imapspam").count("T"), 1u);
  if (!kPeer.dovecot()) {
    EXPECT_EQ(outcome.status, AccountOutcome::Status::Incomplete);
    EXPECT_NE(outcome.error.find(kCannotDelete), std::string::npos) << outcome.error;
    EXPECT_EQ(outcome.deletedAsSpam, 0);
    EXPECT_EQ(left.size(), 8u);
    return;
  }
  EXPECT_EQ(outcome.status, AccountOutcome::Status::Checked) << outcome.error;
  EXPECT_EQ(outcome.deletedAsSpam, 1);
  EXPECT_EQ(left.size(), 7u);

  std::tm today{};
  const std::time_t now = std::time(nullptr);
  ::localtime_r(&now, &today);
  const std::string log = test::ReadFile(
      dir_.File("Log/imapspam" + std::to_string(today.tm_year + 1900) + "-" +
                std::to_string(today.tm_mon + 1) + "-" + std::to_string(today.tm_mday) + ".log"));
  EXPECT_NE(log.find("Sender 1  WIN MONEY NOW!!! message 8  sender1@example.com  "),
            std::string::npos)
      << log;
}

// Delete removes exactly the listed message, once; the second try finds it gone.
TEST_F(ImapServerTest, DeleteRemovesTheListedMessageByUid) {
  Populate("imapdelete", 3);
  Check(Account("imapdelete", Security::Tls));
  ASSERT_EQ(store_.Count(), 3);
  const long long id = std::stoll(store_.Get(1).messageId);
  const DeleteOutcome outcome = DeleteMessage(id, settings_, store_, environment_);
  if (!kPeer.dovecot()) {
    EXPECT_FALSE(outcome.deleted);
    EXPECT_NE(outcome.error.find(kCannotDelete), std::string::npos) << outcome.error;
    EXPECT_EQ(MailFiles("imapdelete").size(), 3u);
    return;
  }
  EXPECT_TRUE(outcome.deleted) << outcome.error;
  EXPECT_EQ(MailFiles("imapdelete").size(), 2u);
  const DeleteOutcome again = DeleteMessage(id, settings_, store_, environment_);
  EXPECT_FALSE(again.deleted);
  EXPECT_NE(again.error.find("no longer in the folder"), std::string::npos) << again.error;

  Check(Account("imapdelete"));
  ASSERT_EQ(store_.Count(), 2);
  EXPECT_EQ(store_.Get(1).subject, "Test message 3 (attachment)");
}

TEST_F(ImapServerTest, AWrongPasswordFailsTheAccountWithTheServersWords) {
  MailAccount account = Account("imapcheck");
  account.Passwd = "wrong";
  Check(account);
  EXPECT_EQ(observer_.all[0].status, AccountOutcome::Status::Failed);
  EXPECT_NE(observer_.all[0].error.find("server said: NO"), std::string::npos)
      << observer_.all[0].error;
}

// Dovecot's count of the header fetches of each IMAP session of `user` that
// logged out: the hdr_count= of its log lines, oldest first.
std::vector<int> HeaderFetches(const std::string& user) {
  std::vector<int> counts;
  const std::string log = test::ReadFile(kDir + "/log/dovecot.log");
  const std::string marker = "imap(" + user + ")";
  for (size_t at = log.find(marker); at != std::string::npos; at = log.find(marker, at + 1)) {
    const size_t end = log.find('\n', at);
    const size_t count = log.find("hdr_count=", at);
    if (log.find("Logged out", at) < end && count < end) {
      counts.push_back(std::atoi(log.c_str() + count + 10));
    }
  }
  return counts;
}

// With RememberMail on, a repeat pass fetches no header of a known message,
// announces nothing twice, fetches and announces a delivered message once,
// and deletes a known message whose sender was blocked since; off, every
// pass fetches and announces all, as the POP3 pass does.
TEST_F(ImapServerTest, RememberedMailFetchesOnlyWhatIsNew) {
  for (const bool remember : {true, false}) {
    SCOPED_TRACE(remember ? "on" : "off");
    Populate("imapremember", 4);
    settings_.options.RememberMail = remember ? "1" : "";
    environment_.mailMemoryDir = dir_.File(remember ? "on" : "off");
    MailAccount account = Account("imapremember");
    struct Pass {
      int fetched;  // header fetches, by the server's own count
      int listed;
      int fresh;
    };
    const auto pass = [&] {
      const size_t before = HeaderFetches("imapremember").size();
      Check(account);
      EXPECT_NE(observer_.all[0].status, AccountOutcome::Status::Failed) << observer_.all[0].error;
      std::vector<int> counts;
      // The log process writes a moment after the session ends.
      for (int wait = 0; kPeer.dovecot() && wait < 100 && counts.size() <= before; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        counts = HeaderFetches("imapremember");
      }
      Pass p{counts.size() > before ? counts.back() : -1, store_.Count(), 0};
      for (const Envelope& e : store_.Snapshot()) {
        p.fresh += e.isNew ? 1 : 0;
      }
      return p;
    };
    // Only Dovecot counts the header fetches.
    const auto fetched = [](int n) { return kPeer.dovecot() ? n : -1; };
    Pass p = pass();
    EXPECT_EQ(p.fetched, fetched(4));
    EXPECT_EQ(p.fresh, 4);
    p = pass();
    EXPECT_EQ(p.fetched, fetched(remember ? 0 : 4));
    EXPECT_EQ(p.listed, 4);
    EXPECT_EQ(p.fresh, remember ? 0 : 4);
    Shell("bash '" + kScript + "' populate '" + kDir + "' imapremember 1 2500");
    p = pass();
    EXPECT_EQ(p.fetched, fetched(remember ? 1 : 5));
    EXPECT_EQ(p.listed, 5);
    EXPECT_EQ(p.fresh, remember ? 1 : 5);
    account.FilterSubject = true;
    account.Filter = "(plain);";
    p = pass();
    EXPECT_EQ(p.fetched, fetched(remember ? 0 : 5));
    EXPECT_EQ(observer_.all[0].deletedAsSpam, kPeer.dovecot() ? 2 : 0) << observer_.all[0].error;
    EXPECT_EQ(p.listed, 3);
    EXPECT_EQ(p.fresh, remember ? 0 : 3);
  }
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Mail delivered while the account idles wakes the watch at once; a connection
// the server drops comes back by itself, and idles again.
TEST_F(ImapServerTest, IdleSeesDeliveredMailAndComesBackAfterADrop) {
  Populate("imapidle", 1);
  const std::string message = dir_.File("new.eml");
  test::WriteFile(message, "From: New <new@example.com>\nSubject: fresh\n\nHello.\n");
  std::atomic<int> changes{0};
  ImapIdleWatcher::Timing timing;
  timing.slice = std::chrono::milliseconds(100);
  timing.firstPause = std::chrono::milliseconds(100);
  ImapIdleWatcher watcher(
      Account("imapidle"), environment_, [&] { ++changes; }, timing);
  watcher.Start();
  for (int round = 1; round <= 2; ++round) {
    ASSERT_TRUE(WaitFor([&] {
      return watcher.state() == ImapIdleWatcher::State::Idling && watcher.connections() == round;
    })) << watcher.lastError();
    if (!kPeer.dovecot()) {
      // imap4d idles, but never reports mail delivered to a selected Maildir
      // folder (not even on NOOP): its accounts find new mail on the period.
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the IDLE is under way
    Shell("bash '" + kScript + "' deliver '" + kDir + "' imapidle '" + message + "'");
    EXPECT_TRUE(WaitFor([&] { return changes == round; })) << "round " << round;
    if (round == 1) {
      Shell("doveadm -c '" + kDir + "/dovecot.conf' kick imapidle");
    }
  }
  watcher.Stop();
  EXPECT_EQ(watcher.state(), ImapIdleWatcher::State::Stopped);
}

struct ListView final : MailView {
  void SetTitle(const std::string&) override {}
  void SetAccountsProgress(int, int) override {}
  void SetEmailsProgress(int position, int) override { emailsProgress = position; }
  void SetTrayIcon(TrayState state) override { tray = state; }
  void SetTrayTooltip(const std::string& text) override { tooltip = text; }
  void ListCleared() override {}
  void EnvelopeAccepted(int, const Envelope& e) override { subjects.push_back(e.subject); }
  void EnvelopeRemoved(long long id) override { removed.push_back(id); }
  void PassFinished(int) override {}
  void SetWorkerRunning(bool) override {}
  void ShowNewMailNotice(const Notice&) override {}
  void StorageAlert(const Notice&) override {}
  void NoAccountConfigured(Settings&) override {}
  void ShowSuspended(bool) override {}
  void ShowBackgroundMessage(const std::string&) override {}
  void ShowCheckProblems(const std::vector<CheckProblem>&) override {}
  std::vector<std::string> subjects;
  std::vector<long long> removed;
  TrayState tray = TrayState::Idle;
  std::string tooltip;
  int emailsProgress = -1;
};

// The desktop program's controller idles on the account: mail delivered is
// listed at once, long before the (hour-long) period, and only the new message
// is fetched; spam that arrives goes by UID, a message expunged by another
// client leaves the list; Suspend ends the IDLE.
TEST_F(ImapServerTest, TheDesktopProgramListsDeliveredMailAtOnce) {
  if (!kPeer.dovecot()) {
    GTEST_SKIP() << "imap4d never reports mail delivered to a selected Maildir folder";
  }
  Populate("imapidle", 1);
  const std::string message = dir_.File("new.eml");
  test::WriteFile(message, "From: New <new@example.com>\nSubject: fresh\n\nHello.\n");
  const std::string spam = dir_.File("spam.eml");
  test::WriteFile(spam, "From: Spam <s@example.com>\nSubject: win money now\n\nHi.\n");
  MailAccount account = Account("imapidle");
  account.FilterSubject = true;
  account.Filter = "win money;";
  settings_.accounts = {account};
  settings_.options.RememberMail = "1";
  environment_.mailMemoryDir = dir_.File("memory");
  settings_.options.CheckMail = 1;
  settings_.options.ShowToolTip = 1;
  settings_.options.Freq = "1";
  settings_.options.FreqUnit = FreqUnit::Hours;
  SystemClock clock;
  ListView view;
  MailController controller(
      settings_, nullptr, [] { return false; }, environment_, clock);
  controller.AttachView(&view);
  controller.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // connected and idling
  const auto delivered = std::chrono::steady_clock::now();
  Shell("bash '" + kScript + "' deliver '" + kDir + "' imapidle '" + message + "'");
  EXPECT_TRUE(test::WaitUntil(
      [&] { return std::count(view.subjects.begin(), view.subjects.end(), "fresh") == 1; },
      std::chrono::seconds(10)));
  const auto listed = std::chrono::steady_clock::now();
  RecordProperty(
      "delivered_to_listed_ms",
      static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(listed - delivered).count()));
  ASSERT_TRUE(test::WaitForWorkers(controller));
  EXPECT_EQ(view.subjects, std::vector<std::string>{"fresh"});  // not the message there before
  EXPECT_EQ(view.tray, TrayState::MailPresent);
  EXPECT_EQ(view.tooltip, "You have 1 new email");  // as a pass leaves them
  EXPECT_EQ(view.emailsProgress, 0);

  Shell("bash '" + kScript + "' deliver '" + kDir + "' imapidle '" + spam + "'");
  EXPECT_TRUE(
      test::WaitUntil([&] { return MailFiles("imapidle").size() == 2; }, std::chrono::seconds(10)));
  ASSERT_TRUE(test::WaitForWorkers(controller));
  EXPECT_EQ(view.subjects, std::vector<std::string>{"fresh"});
  // Remembered as announced: a pass of the restarted program does not announce it again.
  EnvelopeStore again;
  Outcomes outcomes;
  RunCheck(settings_, again, outcomes, environment_);
  ASSERT_EQ(again.Count(), 2);
  EXPECT_TRUE(again.Get(0).isNew);
  EXPECT_EQ(again.Get(1).subject, "fresh");
  EXPECT_FALSE(again.Get(1).isNew);

  // Another client expunges the new message: its row goes.
  const long long freshId = std::stoll(controller.store().Get(0).messageId);
  for (const std::string& name : MailFiles("imapidle")) {
    for (const char* sub : {"/cur/", "/new/"}) {
      const std::string path = kDir + "/mail/imapidle/Maildir" + sub + name;
      if (std::filesystem::exists(path) &&
          test::ReadFile(path).find("Subject: fresh") != std::string::npos) {
        std::filesystem::remove(path);
      }
    }
  }
  EXPECT_TRUE(test::WaitUntil([&] { return view.removed == std::vector<long long>{freshId}; },
                              std::chrono::seconds(10)));
  EXPECT_EQ(controller.store().Count(), 0);
  EXPECT_TRUE(test::WaitUntil([&] { return view.tray == TrayState::Idle; }));

  controller.ToggleSuspend();
  const size_t before = view.subjects.size();
  Shell("bash '" + kScript + "' deliver '" + kDir + "' imapidle '" + message + "'");
  test::WaitUntil([] { return false; }, std::chrono::seconds(2));
  EXPECT_EQ(view.subjects.size(), before);
  controller.Shutdown();
}

}  // namespace
}  // namespace bc
