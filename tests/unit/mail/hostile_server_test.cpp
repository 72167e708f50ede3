// The check pass and the session against a server that is broken or hostile:
// every scenario is a fault a real peer or a man in the middle can produce.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "mail/check_cycle.h"
#include "mail/pop3_session.h"
#include "support/scripted_server.h"
#include "support/test_env.h"

namespace bc {
namespace {

using test::ScriptedServer;
using S = ScriptedServer;

constexpr const char* kLegit =
    "From: Friend <friend@example.com>\r\nSubject: lunch\r\nDate: Tue, 7 Dec 2004 10:11:12 "
    "+0800\r\nMessage-ID: <legit@example.com>\r\n\r\nSee you at noon.\r\n";
constexpr const char* kSpam =
    "From: postmaster\r\nSubject: bounce\r\nDate: Tue, 7 Dec 2004 10:11:12 +0800\r\n"
    "Message-ID: <spam@example.com>\r\n\r\nUndeliverable.\r\n";

std::vector<S::Step> Script(std::initializer_list<std::vector<S::Step>> parts) {
  std::vector<S::Step> steps;
  for (const auto& part : parts) {
    steps.insert(steps.end(), part.begin(), part.end());
  }
  return steps;
}

// Greeting and login, up to the reply to PASS; `capa` is the reply to CAPA,
// nullptr when the client must not ask it.
std::vector<S::Step> Login(std::string passReply = "+OK\r\n",
                           const char* capa = "-ERR unknown command\r\n") {
  std::vector<S::Step> steps{S::Send("+OK ready\r\n")};
  if (capa) {
    steps.insert(steps.end(), {S::Expect("CAPA"), S::Send(capa)});
  }
  steps.insert(steps.end(), {S::Expect("USER alice"), S::Send("+OK\r\n"), S::Expect("PASS secret"),
                             S::Send(std::move(passReply))});
  return steps;
}

// Login and STAT of a mailbox of `count` messages, `total` octets.
std::vector<S::Step> LoginAndStat(int count, int total) {
  return Script({Login(),
                 {S::Expect("STAT"),
                  S::Send("+OK " + std::to_string(count) + " " + std::to_string(total) + "\r\n")}});
}

// Login and STAT, then LIST and UIDL of a mailbox of `sizes.size()` messages.
std::vector<S::Step> Opening(const std::vector<int>& sizes,
                             const char* capa = "-ERR unknown command\r\n", bool uidl = true) {
  std::string list = "+OK\r\n";
  std::string uidlListing = "+OK\r\n";
  int total = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    list += std::to_string(i + 1) + " " + std::to_string(sizes[i]) + "\r\n";
    uidlListing += std::to_string(i + 1) + " uid" + std::to_string(i + 1) + "\r\n";
    total += sizes[i];
  }
  std::vector<S::Step> steps = Script(
      {Login("+OK\r\n", capa),
       {S::Expect("STAT"),
        S::Send("+OK " + std::to_string(sizes.size()) + " " + std::to_string(total) + "\r\n"),
        S::Expect("LIST"), S::Send(list + ".\r\n")}});
  if (uidl) {
    steps.insert(steps.end(), {S::Expect("UIDL"), S::Send(uidlListing + ".\r\n")});
  }
  return steps;
}

std::string Retrieved(const std::string& text) {
  return "+OK\r\n" + text + ".\r\n";
}

// The reply to TOP n 0 for a message of this text.
std::string HeadersOf(const std::string& text) {
  return "+OK\r\n" + text.substr(0, text.find("\r\n\r\n") + 4) + ".\r\n";
}

// One pass over one account on `server`, with reply limits a test can wait for.
struct Pass {
  test::TempDir dir;
  Settings settings;
  EnvelopeStore store;
  struct : CheckObserver {
    std::vector<AccountOutcome> outcomes;
    void AccountFinished(const AccountOutcome& o) override { outcomes.push_back(o); }
  } observer;
  MailEnvironment environment;

  explicit Pass(const ScriptedServer& server) {
    MailAccount account;
    account.UserName = "alice";
    account.Passwd = "secret";
    account.POP3Server = "127.0.0.1";
    account.POP3Port = server.port();
    account.CheckMark = true;
    settings.accounts.push_back(account);
    settings.options.LogDeleted = true;
    environment.makeTransport = SocketTransportFactory(5000);
    environment.commandLogPath = dir.File("state/command.log");
    environment.deletedLogDir = dir.File("state/Log");
    environment.replyLimits.statusDeadline = std::chrono::milliseconds(1000);
    environment.replyLimits.floorBytesPerSecond = 4096;
  }
  const AccountOutcome& Run() {
    RunCheck(settings, store, observer, environment);
    return observer.outcomes.at(0);
  }
};

TEST(HostileServerTest, ClearTextAfterStlsFailsTheConnection) {
  // A man in the middle answers USER, PASS and STAT before the handshake.
  ScriptedServer server({S::Send("+OK ready\r\n"), S::Expect("STLS"),
                         S::Send("+OK begin TLS\r\n+OK\r\n+OK\r\n+OK 1 120\r\n"), S::StartTls(),
                         S::StallUntilClosed()});
  TransportOptions options;
  options.security = Security::StartTls;
  options.caFile = test::TestCertPath();
  options.timeoutMs = 3000;
  Pop3Session session(MakeSocketTransport(options));
  EXPECT_FALSE(session.Connect("localhost", server.port(), "alice", "secret", Security::StartTls));
  EXPECT_NE(session.lastError().find("after accepting STARTTLS"), std::string::npos)
      << session.lastError();
  session.Close();
  server.Finish();
  EXPECT_EQ(server.Received(), std::vector<std::string>{"STLS"});
}

TEST(HostileServerTest, EndlessOrDrippingRepliesFailTheAccount) {
  struct Row {
    const char* name;
    S::Step reply;
    const char* why;
  };
  const std::string drip(600, 'x');
  for (const Row& row :
       {Row{"endless", S::Endless("X-Junk: " + std::string(1000, 'a') + "\r\n"), "runs past"},
        Row{"dripping", S::Drip("Subject: " + drip + "\r\n", 20), "not complete after"}}) {
    SCOPED_TRACE(row.name);
    ScriptedServer server(
        Script({Opening({500}),
                {S::Expect("RETR 1"), S::Send("+OK\r\n"), row.reply, S::StallUntilClosed()}}));
    Pass pass(server);
    const AccountOutcome& outcome = pass.Run();
    EXPECT_EQ(outcome.status, AccountOutcome::Status::Incomplete);
    EXPECT_NE(outcome.error.find(row.why), std::string::npos) << outcome.error;
    EXPECT_EQ(pass.store.Count(), 0);
  }
}

TEST(HostileServerTest, BareLineFeedMessageIsListedNotDeleted) {
  ScriptedServer server(Script(
      {Opening({90}),
       {S::Expect("RETR 1"),
        S::Send("+OK\r\nFrom: Friend <friend@example.com>\nSubject: lunch\nDate: Tue, 7 Dec 2004 "
                "10:11:12 +0800\n\nSee you.\n.\r\n"),
        S::Expect("QUIT"), S::Send("+OK\r\n")}}));
  Pass pass(server);
  EXPECT_EQ(pass.Run().status, AccountOutcome::Status::Checked);
  EXPECT_TRUE(server.Finish());
  ASSERT_EQ(pass.store.Count(), 1);
  EXPECT_EQ(pass.store.Get(0).address, "friend@example.com");
  EXPECT_EQ(pass.store.Get(0).subject, "lunch");
}

TEST(HostileServerTest, RenumberedMailboxKeepsTheLegitimateMessage) {
  // Message 1 was spam when retrieved; by the time of its DELE another client has
  // moved the legitimate message into its place.
  ScriptedServer server(
      Script({Opening({130, 150}),
              {S::Expect("RETR 1"), S::Send(Retrieved(kSpam)), S::Expect("RETR 2"),
               S::Send(Retrieved(kLegit)), S::Expect("UIDL 1"), S::Send("+OK 1 uid2\r\n"),
               S::Expect("QUIT"), S::Send("+OK\r\n")}}));
  Pass pass(server);
  const AccountOutcome& outcome = pass.Run();
  EXPECT_TRUE(server.Finish());
  EXPECT_EQ(outcome.status, AccountOutcome::Status::Incomplete);
  EXPECT_EQ(outcome.deletedAsSpam, 0);
  EXPECT_NE(outcome.error.find("another message now"), std::string::npos) << outcome.error;
}

TEST(HostileServerTest, DeletionsCountOnlyWhenTheServerCommitsThem) {
  struct Row {
    const char* name;
    const char* onServer;   // the text of message 1 on the server, as TOP shows it
    const char* deleReply;  // nullptr: no DELE may be sent
    const char* quitReply;
    int deleted;
    AccountOutcome::Status status;
  };
  for (const Row& row :
       {Row{"accepted", kSpam, "+OK\r\n", "+OK\r\n", 1, AccountOutcome::Status::Checked},
        Row{"DELE refused", kSpam, "-ERR locked\r\n", "+OK\r\n", 0,
            AccountOutcome::Status::Incomplete},
        Row{"QUIT refused", kSpam, "+OK\r\n", "-ERR disk full\r\n", 0,
            AccountOutcome::Status::Incomplete},
        // The server swapped its replies: the spam came as message 1, which is
        // the legitimate message; UIDL 1 still gives message 1's id.
        Row{"replies swapped", kLegit, nullptr, "+OK\r\n", 0,
            AccountOutcome::Status::Incomplete}}) {
    SCOPED_TRACE(row.name);
    std::vector<S::Step> dele;
    if (row.deleReply) {
      dele = {S::Expect("DELE 1"), S::Send(row.deleReply)};
    }
    ScriptedServer server(
        Script({Opening({130, 150}),
                {S::Expect("RETR 1"), S::Send(Retrieved(kSpam)), S::Expect("RETR 2"),
                 S::Send(Retrieved(kLegit)), S::Expect("UIDL 1"), S::Send("+OK 1 uid1\r\n"),
                 S::Expect("TOP 1 0"), S::Send(HeadersOf(row.onServer))},
                dele,
                {S::Expect("QUIT"), S::Send(row.quitReply)}}));
    Pass pass(server);
    const AccountOutcome& outcome = pass.Run();
    EXPECT_TRUE(server.Finish());
    EXPECT_EQ(outcome.deletedAsSpam, row.deleted);
    EXPECT_EQ(outcome.status, row.status) << outcome.error;
    if (!row.deleReply) {
      EXPECT_NE(outcome.error.find("headers differ"), std::string::npos) << outcome.error;
    }
    ASSERT_EQ(pass.store.Count(), 1);
    // Without a committed deletion the legitimate message keeps number 2.
    EXPECT_EQ(pass.store.Get(0).messageId, row.deleted ? "0" : "65536");
  }
}

TEST(HostileServerTest, FailuresAreNotReportedAsChecked) {
  struct Row {
    const char* name;
    std::vector<S::Step> script;
    AccountOutcome::Status status;
    const char* why;
  };
  for (const Row& row : {
           Row{"RETR refused",
               Script({Opening({130}),
                       {S::Expect("RETR 1"), S::Send("-ERR message is locked\r\n"),
                        S::Expect("QUIT"), S::Send("+OK\r\n")}}),
               AccountOutcome::Status::Incomplete, "message is locked"},
           Row{"STAT without numbers",
               Script({Login(),
                       {S::Expect("STAT"), S::Send("+OK mailbox locked by another session\r\n"),
                        S::Expect("QUIT"), S::Send("+OK\r\n")}}),
               AccountOutcome::Status::Failed, "mailbox locked by another session"},
           // A reply to a command never sent: every later reply would answer
           // the command before it.
           Row{"stray reply after PASS", Script({Login("+OK\r\n+OK\r\n"), {S::StallUntilClosed()}}),
               AccountOutcome::Status::Failed, "out of step"},
       }) {
    SCOPED_TRACE(row.name);
    ScriptedServer server(row.script);
    Pass pass(server);
    const AccountOutcome& outcome = pass.Run();
    EXPECT_TRUE(server.Finish());
    EXPECT_EQ(outcome.status, row.status);
    EXPECT_NE(outcome.error.find(row.why), std::string::npos) << outcome.error;
    EXPECT_EQ(pass.store.Count(), 0);
  }
}

// CAPA and UIDL are optional: when either breaks the connection the pass starts
// again without it, says so, and checks every message. UTF8 goes before USER
// when CAPA lists it.
TEST(HostileServerTest, OptionalCommandsThatFailAreLeftOut) {
  struct Row {
    const char* name;
    std::vector<S::Step> script;
    const char* traced;
  };
  // A mailbox of one message, and the pass's steps through it.
  const auto one = [](const char* capa, bool uidl = true) {
    return Script(
        {Opening({130}, capa, uidl),
         {S::Expect("RETR 1"), S::Send(Retrieved(kLegit)), S::Expect("QUIT"), S::Send("+OK\r\n")}});
  };
  const auto capaThen = [&](std::vector<S::Step> answer) {
    return Script(
        {{S::Send("+OK ready\r\n"), S::Expect("CAPA")}, answer, {S::Accept()}, one(nullptr)});
  };
  std::string manyLines = "+OK\r\n";
  for (int k = 0; k < 100000; ++k) {
    manyLines += "X-CAPABILITY\r\n";
  }
  std::vector<S::Step> utf8 = one(nullptr);
  utf8.insert(utf8.begin() + 1, {S::Expect("CAPA"), S::Send("+OK\r\nUIDL\r\nUTF8 USER\r\n.\r\n"),
                                 S::Expect("UTF8"), S::Send("+OK\r\n")});
  const std::vector<S::Step> endlessUidl =
      Script({Opening({130}, "-ERR unknown command\r\n", false),
              {S::Expect("UIDL"), S::Send("+OK\r\n"), S::Endless("1 uid1\r\n"), S::Accept()},
              one("-ERR unknown command\r\n", false)});
  for (const Row& row : {
           Row{"CAPA never answers", capaThen({S::StallUntilClosed()}), "CAPA failed ("},
           Row{"CAPA of 100,000 lines", capaThen({S::Send(manyLines)}), "more than 200 lines"},
           Row{"CAPA with a 1 MB line",
               capaThen({S::Send("+OK\r\n" + std::string(1 << 20, 'a') + "\r\n.\r\n")}),
               "longer than"},
           Row{"CAPA never ends", capaThen({S::Send("+OK\r\nTOP\r\n"), S::StallUntilClosed()}),
               "CAPA failed ("},
           Row{"endless UIDL", endlessUidl, "UIDL failed ("},
           Row{"UTF8 listed", utf8, "Connected server"},
       }) {
    SCOPED_TRACE(row.name);
    ScriptedServer server(row.script);
    Pass pass(server);
    const AccountOutcome& outcome = pass.Run();
    EXPECT_TRUE(server.Finish());
    EXPECT_EQ(outcome.status, AccountOutcome::Status::Checked) << outcome.error;
    EXPECT_EQ(pass.store.Count(), 1);
    const std::string trace = test::ReadFile(pass.dir.File("state/command.log"));
    EXPECT_NE(trace.find(row.traced), std::string::npos) << trace;
  }
}

// A server that lists PIPELINING and then refuses all but the first RETR of a
// batch: the rest of the pass goes one command at a time.
TEST(HostileServerTest, RefusedPipeliningFallsBackToOneAtATime) {
  constexpr int kCount = 16;
  std::vector<S::Step> steps = Opening(std::vector<int>(kCount, 150), "+OK\r\nPIPELINING\r\n.\r\n");
  steps.insert(steps.end(), {S::Expect("RETR 1"), S::Send(Retrieved(kLegit))});
  for (int n = 2; n <= kCount; ++n) {
    steps.insert(steps.end(), {S::Expect("RETR " + std::to_string(n)),
                               S::Send("-ERR pipelined commands are not allowed\r\n")});
  }
  for (int n = 2; n <= kCount; ++n) {
    steps.insert(steps.end(), {S::Expect("RETR " + std::to_string(n)), S::Send(Retrieved(kLegit))});
  }
  steps.insert(steps.end(), {S::Expect("QUIT"), S::Send("+OK\r\n")});
  ScriptedServer server(steps);
  Pass pass(server);
  const AccountOutcome& outcome = pass.Run();
  EXPECT_TRUE(server.Finish());
  EXPECT_EQ(outcome.status, AccountOutcome::Status::Checked) << outcome.error;
  EXPECT_EQ(pass.store.Count(), kCount);
  EXPECT_NE(test::ReadFile(pass.dir.File("state/command.log")).find("refused pipelined"),
            std::string::npos);
}

// Without UIDL or Message-ID, and with no date or display name, every message
// has the same key: the sender's address, the subject and the size must match
// too, and a message that still looks like another is not deleted.
TEST(HostileServerTest, LookAlikeMessagesWithoutUniqueIds) {
  const std::string friendly = "From: <a@good.example>\r\nSubject: lunch\r\n\r\nAt noon.\r\n";
  const std::string spam = "From: <b@spam.example>\r\nSubject: free pills\r\n\r\nBuy.\r\n";
  const std::string later = "From: <c@good.example>\r\nSubject: minutes\r\n\r\nAttached.\r\n";
  const int spamSize = static_cast<int>(spam.size());
  const auto mailbox = [](const std::vector<std::string>& texts) {
    std::vector<int> sizes;
    std::vector<S::Step> retrieved;
    for (size_t i = 0; i < texts.size(); ++i) {
      sizes.push_back(static_cast<int>(texts[i].size()));
      retrieved.insert(retrieved.end(),
                       {S::Expect("RETR " + std::to_string(i + 1)), S::Send(Retrieved(texts[i]))});
    }
    return Script({Opening(sizes, "-ERR unknown command\r\n", false),
                   {S::Expect("UIDL"), S::Send("-ERR not supported\r\n")},
                   retrieved});
  };
  struct Row {
    const char* name;
    std::vector<S::Step> script;
    int deleted;
    const char* why;
  };
  for (const Row& row : {
           Row{"confirmed by address, subject and size",
               Script({mailbox({friendly, spam}),
                       {S::Expect("TOP 2 0"), S::Send(HeadersOf(spam)), S::Expect("LIST 2"),
                        S::Send("+OK 2 " + std::to_string(spamSize) + "\r\n"), S::Expect("DELE 2"),
                        S::Send("+OK\r\n"), S::Expect("QUIT"), S::Send("+OK\r\n")}}),
               1, ""},
           // Another client deleted message 1: number 2 is the later message now.
           Row{"renumbered behind the pass",
               Script({mailbox({friendly, spam, later}),
                       {S::Expect("TOP 2 0"), S::Send(HeadersOf(later)), S::Expect("QUIT"),
                        S::Send("+OK\r\n")}}),
               0, "headers differ"},
           // Message 3 is message 2 again by every field read: it is not
           // deleted, lest it be the other one.
           Row{"two that cannot be told apart",
               Script({mailbox({friendly, spam, spam}),
                       {S::Expect("TOP 2 0"), S::Send(HeadersOf(spam)), S::Expect("LIST 2"),
                        S::Send("+OK 2 " + std::to_string(spamSize) + "\r\n"), S::Expect("DELE 2"),
                        S::Send("+OK\r\n"), S::Expect("QUIT"), S::Send("+OK\r\n")}}),
               1, "cannot be told apart"},
       }) {
    SCOPED_TRACE(row.name);
    ScriptedServer server(row.script);
    Pass pass(server);
    pass.settings.accounts[0].FilterSubject = true;
    pass.settings.accounts[0].Filter = "pills;";
    const AccountOutcome& outcome = pass.Run();
    EXPECT_TRUE(server.Finish());
    EXPECT_EQ(outcome.deletedAsSpam, row.deleted);
    EXPECT_NE(outcome.error.find(row.why), std::string::npos) << outcome.error;
  }
}

TEST(HostileServerTest, EchoedPasswordNeverReachesLogsOrOutcome) {
  ScriptedServer server(Script({Login("-ERR password secret\r\nrejected for alice\r\n")}));
  Pass pass(server);
  const AccountOutcome& outcome = pass.Run();
  EXPECT_EQ(outcome.status, AccountOutcome::Status::Failed);
  EXPECT_EQ(outcome.error, "server said: -ERR password ********");
  const std::string trace = test::ReadFile(pass.dir.File("state/command.log"));
  EXPECT_NE(trace.find("-ERR password ********"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("secret"), std::string::npos) << trace;

  struct stat info {};
  ASSERT_EQ(::stat(pass.dir.File("state/command.log").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(pass.dir.File("state").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

// A session logged in to `server` (a 3 s limit, CAPA first) that has read
// STAT; null when either step failed.
std::unique_ptr<Pop3Session> LoggedInWithStat(const ScriptedServer& server) {
  TransportOptions options;
  options.timeoutMs = 3000;
  auto session = std::make_unique<Pop3Session>(MakeSocketTransport(options));
  session->AskCapabilitiesFirst();
  if (!session->Connect("127.0.0.1", server.port(), "alice", "secret", Security::None) ||
      !session->Stat()) {
    return nullptr;
  }
  return session;
}

TEST(HostileServerTest, ListingIsReadByMessageNumber) {
  ScriptedServer server(
      Script({LoginAndStat(3, 700),
              {S::Expect("LIST"), S::Send("+OK\r\n3 300\r\nbroken 55\r\n1 100\r\n.\r\n")}}));
  const auto session = LoggedInWithStat(server);
  ASSERT_TRUE(session);
  ASSERT_TRUE(session->List());
  EXPECT_EQ(session->MessageSize(1), 100);
  EXPECT_EQ(session->MessageSize(2), 0);
  EXPECT_EQ(session->MessageSize(3), 300);
}

TEST(HostileServerTest, OverlongListingFails) {
  std::string listing = "+OK\r\n";
  for (int n = 1; n <= 200; ++n) {
    listing += std::to_string(n) + " 10\r\n";
  }
  ScriptedServer server(
      Script({LoginAndStat(2, 20), {S::Expect("LIST"), S::Send(listing), S::StallUntilClosed()}}));
  const auto session = LoggedInWithStat(server);
  ASSERT_TRUE(session);
  EXPECT_FALSE(session->List());
  EXPECT_NE(session->lastError().find("more lines than"), std::string::npos)
      << session->lastError();
}

}  // namespace
}  // namespace bc
