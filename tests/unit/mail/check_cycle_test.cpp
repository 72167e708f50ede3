#include "mail/check_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "mail/envelope_fields.h"
#include "support/fake_mailbox.h"
#include "support/manual_clock.h"
#include "support/test_env.h"

namespace bc {
namespace {

// A stored message (CR LF lines).
std::string Message(const std::string& from, const std::string& subject,
                    const std::string& body = "Hello there.\r\n",
                    const std::string& messageId = "") {
  std::string text =
      "From: " + from + "\r\nSubject: " + subject + "\r\nDate: Tue, 7 Dec 2004 10:11:12 +0800\r\n";
  if (!messageId.empty()) {
    text += "Message-ID: " + messageId + "\r\n";
  }
  return text + "\r\n" + body;
}

struct Recorder final : CheckObserver {
  std::vector<std::string> titles, tooltips;
  std::vector<Notice> alerts;
  std::vector<TrayState> icons;
  std::vector<std::pair<int, int>> accountsBar;
  std::vector<AccountOutcome> outcomes;
  int accepted = 0;
  int largest = -1;
  void SetTitle(const std::string& t) override { titles.push_back(t); }
  void SetTrayTooltip(const std::string& t) override { tooltips.push_back(t); }
  void StorageAlert(const Notice& n) override { alerts.push_back(n); }
  void SetTrayIcon(TrayState icon) override { icons.push_back(icon); }
  void SetAccountsProgress(int p, int m) override { accountsBar.emplace_back(p, m); }
  void AccountFinished(const AccountOutcome& o) override { outcomes.push_back(o); }
  void EnvelopeAccepted(int, const Envelope&) override { ++accepted; }
  void PassFinished(int largestMailbox) override { largest = largestMailbox; }
};

class CheckCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    environment_.clock = &clock_;
    environment_.commandLogPath = dir_.File("command.log");
    environment_.deletedLogDir = dir_.File("Log");
    environment_.makeTransport = [this](const MailAccount& account) {
      return servers_.at(account.UserName).Connect();
    };
  }

  MailAccount& AddAccount(const std::string& user, test::FakeMailbox box) {
    MailAccount account;
    account.UserName = user;
    account.Passwd = "pw";
    account.POP3Server = "127.0.0.1";
    account.POP3Port = 110;
    account.CheckMark = true;
    settings_.accounts.push_back(account);
    servers_[user] = std::move(box);
    return settings_.accounts.back();
  }

  CheckSummary Run() { return RunCheck(settings_, store_, recorder_, environment_); }

  std::string Sent(const std::string& user) { return servers_.at(user).Sent(); }

  test::TempDir dir_;
  test::ManualClock clock_{1796630709};  // 7 December 2026 08:05:09 UTC
  MailEnvironment environment_;
  Settings settings_;
  EnvelopeStore store_;
  Recorder recorder_;
  std::map<std::string, test::FakeMailbox> servers_;
};

TEST_F(CheckCycleTest, TwoAccountsOneEmpty) {
  settings_.options.ShowToolTip = true;
  settings_.options.LogDeleted = true;
  AddAccount("alice",
             test::FakeMailbox({Message("A <a@x.com>", "one"), Message("B <b@x.com>", "two"),
                                Message("C <c@x.com>", "three")}));
  AddAccount("bob", test::FakeMailbox());
  const CheckSummary summary = Run();

  EXPECT_EQ(store_.Count(), 3);
  EXPECT_EQ(recorder_.accepted, 3);
  EXPECT_EQ(summary.totalMessages, 3);
  EXPECT_EQ(recorder_.largest, 3);
  EXPECT_EQ(recorder_.tooltips, std::vector<std::string>{"You have 3 new email"});
  EXPECT_EQ(recorder_.titles.front(), "Brindlecast Checking Email...");
  EXPECT_EQ(recorder_.icons.back(), TrayState::MailPresent);
  EXPECT_EQ(Sent("alice"),
            "CAPA\r\nUSER alice\r\nPASS pw\r\nSTAT\r\nLIST\r\nUIDL\r\nRETR 1\r\nRETR 2\r\nRETR "
            "3\r\nQUIT\r\n");
  EXPECT_EQ(Sent("bob"), "CAPA\r\nUSER bob\r\nPASS pw\r\nSTAT\r\nQUIT\r\n");
  EXPECT_EQ(recorder_.accountsBar.front(), std::make_pair(0, 2));
  EXPECT_EQ(recorder_.accountsBar.back(), std::make_pair(0, 2));

  const std::string trace = test::ReadFile(dir_.File("command.log"));
  EXPECT_NE(trace.find("[12/07/26 08:05:09] <alice> Connected server\n"), std::string::npos);
  EXPECT_NE(trace.find("<alice> RETR 0 of 2\n"), std::string::npos);
  EXPECT_NE(trace.find("<alice> RETR 2 of 2\n"), std::string::npos);
  EXPECT_NE(trace.find("<alice> Parse message,header=4\n"), std::string::npos);
  EXPECT_NE(trace.find("<bob> GetNumberOfMails failed\n"), std::string::npos);

  const Envelope first = store_.Get(0);
  EXPECT_EQ(first.from, "A");
  EXPECT_EQ(first.address, "a@x.com");
  EXPECT_EQ(first.subject, "one");
  EXPECT_EQ(first.received, "2004/12/07 10:11:12");
  EXPECT_EQ(first.account, "alice");
  EXPECT_EQ(first.attachment, "0");
  EXPECT_EQ(first.content, "");  // CheckLines is off
  EXPECT_EQ(first.messageKey, "2004/12/07 10:11:12A");
}

TEST_F(CheckCycleTest, SpamIsDeletedAndLaterMessagesRenumbered) {
  settings_.options.LogDeleted = true;
  AddAccount("jsmith",
             test::FakeMailbox({Message("A <a@x.com>", "one"), Message("postmaster", "bounce"),
                                Message("C <c@x.com>", "three")}));
  const CheckSummary summary = Run();

  // RETR 3 goes out before message 2 is judged; its DELE follows the next reply,
  // once UIDL 2 confirmed it is still the message judged.
  EXPECT_EQ(Sent("jsmith"),
            "CAPA\r\nUSER jsmith\r\nPASS pw\r\nSTAT\r\nLIST\r\nUIDL\r\nRETR 1\r\nRETR 2\r\n"
            "RETR 3\r\nUIDL 2\r\nTOP 2 0\r\nDELE 2\r\nQUIT\r\n");
  EXPECT_EQ(servers_["jsmith"].Remaining(), 2);
  ASSERT_EQ(store_.Count(), 2);
  EXPECT_EQ(store_.Get(0).messageId, "0");
  EXPECT_EQ(store_.Get(1).messageId, "65536");  // index 1: the server renumbers after QUIT
  EXPECT_EQ(summary.totalMessages, 2);
  EXPECT_EQ(recorder_.outcomes.at(0).deletedAsSpam, 1);
  const std::string log = test::ReadFile(dir_.File("Log/jsmith2026-12-7.log"));
  EXPECT_EQ(log, "postmaster  bounce  postmaster  2004/12/07 10:11:12  " +
                     SizeText(static_cast<int64_t>(Message("postmaster", "bounce").size())) +
                     "  jsmith\n");
}

// A pipelined pass lists, deletes and logs exactly what a pass of one command at
// a time does, spam next to spam and a failed RETR inside the window included.
TEST_F(CheckCycleTest, PipelinedPassMatchesOneAtATime) {
  settings_.options.LogDeleted = true;
  settings_.options.CheckLines = 1;
  std::vector<std::string> texts;
  for (int n = 1; n <= 90; ++n) {
    const bool spam = n == 5 || n == 6 || n == 70;
    texts.push_back(Message(spam ? "postmaster" : "N <n" + std::to_string(n) + "@x.com>",
                            "message " + std::to_string(n), "Line " + std::to_string(n) + "\r\n"));
  }
  struct Run {
    std::vector<Envelope> list;
    std::vector<AccountOutcome> outcomes;
    std::string trace, log, sent;
    int remaining;
  };
  auto pass = [&](bool pipelining, int failing) {
    test::TempDir dir;
    MailEnvironment environment = environment_;
    environment.commandLogPath = dir.File("command.log");
    environment.deletedLogDir = dir.File("Log");
    test::FakeMailbox box(texts);
    box.offersPipelining = pipelining;
    if (failing > 0) {
      box.OverrideRetrieve(failing, "-ERR gone\r\n");
    }
    environment.makeTransport = [&box](const MailAccount&) { return box.Connect(); };
    Settings settings = settings_;
    settings.accounts.clear();
    MailAccount account;
    account.UserName = "alice";
    account.POP3Server = "127.0.0.1";
    account.POP3Port = 110;
    account.CheckMark = true;
    settings.accounts.push_back(account);
    EnvelopeStore store;
    Recorder recorder;
    RunCheck(settings, store, recorder, environment);
    return Run{store.Snapshot(),
               recorder.outcomes,
               test::ReadFile(dir.File("command.log")),
               test::ReadFile(dir.File("Log/alice2026-12-7.log")),
               box.Sent(),
               box.Remaining()};
  };
  for (const int failing : {0, 40}) {
    const Run plain = pass(false, failing);
    const Run piped = pass(true, failing);
    EXPECT_EQ(piped.list, plain.list) << failing;
    ASSERT_EQ(piped.outcomes.size(), 1u);
    EXPECT_EQ(piped.outcomes[0].status, plain.outcomes[0].status) << failing;
    EXPECT_EQ(piped.outcomes[0].error, plain.outcomes[0].error) << failing;
    EXPECT_EQ(piped.outcomes[0].deletedAsSpam, plain.outcomes[0].deletedAsSpam) << failing;
    EXPECT_EQ(piped.trace, plain.trace) << failing;
    EXPECT_EQ(piped.log, plain.log) << failing;
    EXPECT_EQ(piped.remaining, plain.remaining) << failing;
    EXPECT_NE(plain.sent.find("RETR 6\r\nUIDL 5\r\nTOP 5 0\r\nDELE 5\r\nRETR 7\r\n"),
              std::string::npos);
    // The window: RETR 64 went out before message 1's reply was read (before the
    // DELE of message 5), and every DELE still follows its UIDL check.
    EXPECT_LT(piped.sent.find("RETR 64\r\n"), piped.sent.find("UIDL 5\r\n")) << failing;
    EXPECT_NE(piped.sent.find("UIDL 5\r\nTOP 5 0\r\nDELE 5\r\n"), std::string::npos) << failing;
  }
  EXPECT_EQ(pass(true, 0).remaining, 87);
}

// A server that gives no sizes could send any amount per reply: one RETR at a
// time, and no reply is read ahead to make way for a DELE.
TEST_F(CheckCycleTest, UnknownSizesGetAWindowOfOne) {
  std::vector<std::string> texts;
  for (int n = 1; n <= 20; ++n) {
    texts.push_back(Message(n == 1 ? "postmaster" : "N <n" + std::to_string(n) + "@x.com>", "m"));
  }
  test::FakeMailbox box(texts);
  box.offersPipelining = true;
  box.listsSizes = false;
  AddAccount("alice", std::move(box));
  Run();
  EXPECT_NE(Sent("alice").find("RETR 1\r\nRETR 2\r\nUIDL 1\r\nTOP 1 0\r\nDELE 1\r\nRETR 3\r\n"),
            std::string::npos)
      << Sent("alice");
  EXPECT_EQ(servers_["alice"].Remaining(), 19);
}

TEST_F(CheckCycleTest, AntiSpamListsOfTheAccountDecide) {
  MailAccount& account =
      AddAccount("alice", test::FakeMailbox({Message("Friend <joe@example.com>", "Visit Essex"),
                                             Message("Stranger <x@spam.example.org>", "hello"),
                                             Message("Someone <s@ok.com>", "Visit Essex")}));
  account.ExclusiveApproved = true;
  account.ApproveSender = "joe@example.com;";
  account.FilterSubject = true;
  account.Filter = "SEX;";
  account.DeleteBlocked = true;
  account.BlockSender = "spam.example.org;";
  Run();
  ASSERT_EQ(store_.Count(), 1);
  EXPECT_EQ(store_.Get(0).address, "joe@example.com");
  EXPECT_NE(Sent("alice").find(
                "RETR 3\r\nUIDL 2\r\nTOP 2 0\r\nDELE 2\r\nUIDL 3\r\nTOP 3 0\r\nDELE 3\r\nQUIT\r\n"),
            std::string::npos);
  EXPECT_EQ(servers_["alice"].Remaining(), 1);
}

TEST_F(CheckCycleTest, ContentTakesTheAllowedLines) {
  settings_.options.CheckLines = 1;
  settings_.options.ComboLines = "2";
  AddAccount(
      "alice",
      test::FakeMailbox({Message("A <a@x.com>", "s", "l1\r\nl2\r\nl3\r\nl4\r\nl5\r\n", "<id@x>")}));
  Run();
  ASSERT_EQ(store_.Count(), 1);
  EXPECT_EQ(store_.Get(0).content, "l1 l2");
  EXPECT_EQ(store_.Get(0).messageKey, "<id@x>");
}

TEST_F(CheckCycleTest, StorageAlertPastThePercentage) {
  MailAccount& account = AddAccount("alice", test::FakeMailbox({Message("A <a@x.com>", "big")}));
  account.MailCap = true;
  account.MailCapValue = "10";
  account.MailCapUnit = "MB";
  account.Perentage = "80";
  // A mailbox of 9,000,000 octets.
  servers_["alice"].OverrideMailboxSize(9000000);
  Run();
  ASSERT_EQ(recorder_.alerts.size(), 1u);
  EXPECT_EQ(
      recorder_.alerts[0],
      (Notice{"Brindlecast", "Your email account 'alice' has reached 80% of it's storage limit"}));

  MailAccount big;
  big.MailCapValue = "4096";
  big.MailCapUnit = "MB";
  EXPECT_EQ(MailboxCapacity(big), int64_t{4096} * 1048576);
}

TEST_F(CheckCycleTest, DisabledAccountsAreNotContacted) {
  settings_.options.ShowToolTip = true;
  AddAccount("alice", test::FakeMailbox({Message("A <a@x.com>", "one")})).CheckMark = false;
  Run();
  EXPECT_EQ(servers_["alice"].connections, 0);
  EXPECT_EQ(recorder_.tooltips, std::vector<std::string>{"You have no new email"});
  EXPECT_EQ(recorder_.accountsBar, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}, {0, 1}}));
}

TEST_F(CheckCycleTest, LastAccountUnreachableKeepsItsTooltip) {
  settings_.options.ShowToolTip = true;
  settings_.options.LogDeleted = true;
  AddAccount("alice", test::FakeMailbox({Message("A <a@x.com>", "one")}));
  test::FakeMailbox down;
  down.unreachable = true;
  AddAccount("bob", down);
  const CheckSummary summary = Run();
  EXPECT_TRUE(summary.endedEarly);
  EXPECT_EQ(recorder_.tooltips, std::vector<std::string>{"'bob' is disconnected"});
  EXPECT_EQ(recorder_.icons.back(), TrayState::Disconnected);
  EXPECT_EQ(recorder_.outcomes.at(1).status, AccountOutcome::Status::Failed);
  EXPECT_EQ(recorder_.outcomes.at(1).error, "connection refused");
  const std::string trace = test::ReadFile(dir_.File("command.log"));
  EXPECT_NE(trace.find("<bob> Failed to connect server\n"), std::string::npos);
}

TEST_F(CheckCycleTest, AShortTextIsSkippedAndTheRestOfTheMailboxChecked) {
  settings_.options.LogDeleted = true;
  test::FakeMailbox alice({Message("postmaster", "bounce"), Message("B <b@x.com>", "short"),
                           Message("C <c@x.com>", "three")});
  alice.OverrideRetrieve(2, "+OK\r\n.\r\n");
  AddAccount("alice", alice);
  AddAccount("bob", test::FakeMailbox({Message("B <b@x.com>", "hi")}));
  Run();
  EXPECT_EQ(Sent("alice"),
            "CAPA\r\nUSER alice\r\nPASS pw\r\nSTAT\r\nLIST\r\nUIDL\r\nRETR 1\r\nRETR 2\r\n"
            "UIDL 1\r\nTOP 1 0\r\nDELE 1\r\nRETR 3\r\nQUIT\r\n");
  EXPECT_EQ(servers_["alice"].Remaining(), 2);
  ASSERT_EQ(store_.Count(), 2);
  EXPECT_EQ(store_.Get(0).subject, "three");
  EXPECT_EQ(store_.Get(0).messageId, "65536");  // number 3, after the deletion of 1
  EXPECT_EQ(store_.Get(1).account, "bob");
  const AccountOutcome& outcome = recorder_.outcomes.at(0);
  EXPECT_EQ(outcome.status, AccountOutcome::Status::Incomplete);
  EXPECT_NE(outcome.error.find("message 2 was skipped"), std::string::npos) << outcome.error;
  EXPECT_EQ(outcome.deletedAsSpam, 1);
  const std::string trace = test::ReadFile(dir_.File("command.log"));
  EXPECT_NE(trace.find("<alice> message 2 skipped"), std::string::npos);
}

TEST_F(CheckCycleTest, OnlyKnownSecurityValuesAreContacted) {
  for (const char* bad : {"02", "3", "STARTTLS", "2 ", " 1"}) {
    SCOPED_TRACE(bad);
    settings_.accounts.clear();
    recorder_.outcomes.clear();
    AddAccount("alice", test::FakeMailbox({Message("A <a@x.com>", "one")})).Security =
        StoredSecurity::FromText(bad);
    Run();
    EXPECT_EQ(servers_["alice"].connections, 0);
    EXPECT_EQ(recorder_.outcomes.at(0).status, AccountOutcome::Status::Failed);
    EXPECT_NE(recorder_.outcomes.at(0).error.find("Security value"), std::string::npos);
  }
  for (const char* good : {"", "0"}) {
    settings_.accounts.clear();
    AddAccount("bob", test::FakeMailbox({Message("A <a@x.com>", "one")})).Security =
        StoredSecurity::FromText(good);
    Run();
    EXPECT_EQ(servers_["bob"].connections, 1) << good;
  }
}

// The sender is judged by the address of the header as sent, and every text that
// reaches the deleted-mail log stays on its one line.
TEST_F(CheckCycleTest, SpoofedAndForgedHeadersAreJudgedAndLoggedSafely) {
  settings_.options.LogDeleted = true;
  MailAccount& account = AddAccount(
      "alice",
      test::FakeMailbox(
          {Message("=?utf-8?Q?friend=3Cfriend@example.com=3E?= <spammer@bad.example>", "offer"),
           Message("Spam <x@bad.example>", "=?utf-8?Q?hi=0D=0A[fake]_line?="),
           "Subject no colon here\r\nnor here\r\n\r\nbody\r\n"}));
  account.DeleteBlocked = true;
  account.BlockSender = "bad.example;";
  Run();
  EXPECT_EQ(servers_["alice"].Remaining(), 1);  // the message without headers is kept
  ASSERT_EQ(store_.Count(), 1);
  EXPECT_EQ(store_.Get(0).address, "");
  const std::string log = test::ReadFile(dir_.File("Log/alice2026-12-7.log"));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
  EXPECT_NE(log.find("friend<friend@example.com>  offer  spammer@bad.example"), std::string::npos)
      << log;
  EXPECT_NE(log.find("hi  [fake] line"), std::string::npos) << log;
}

TEST_F(CheckCycleTest, NoAccountAsksForOne) {
  struct Asker final : CheckObserver {
    int asked = 0;
    void NoAccountConfigured(Settings& settings) override {
      ++asked;
      MailAccount account;
      account.UserName = "new";
      account.CheckMark = true;
      settings.accounts.push_back(account);
    }
  } asker;
  servers_["new"] = test::FakeMailbox({Message("N <n@x.com>", "welcome")});
  RunCheck(settings_, store_, asker, environment_);
  EXPECT_EQ(asker.asked, 1);
  EXPECT_EQ(store_.Count(), 1);
}

}  // namespace
}  // namespace bc
