// The IMAP pass against servers that are broken or hostile, over real sockets:
// each row is a script the server plays and what the pass must make of it.
#include <gtest/gtest.h>

#include "mail/check_cycle.h"
#include "mail/deletion.h"
#include "mail/imap_idle.h"
#include "mail/imap_pass.h"
#include "support/scripted_server.h"
#include "support/test_env.h"
#include "support/wait.h"

namespace bc {
namespace {

using test::ScriptedServer;
using S = ScriptedServer;

constexpr const char* kFetch =
    "a3 UID FETCH 1:* (UID RFC822.SIZE BODYSTRUCTURE BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE "
    "MESSAGE-ID CONTENT-TYPE CONTENT-TRANSFER-ENCODING MIME-VERSION TO)])";
constexpr const char* kLegit =
    "From: Friend <friend@example.com>\r\nSubject: lunch\r\nMessage-ID: <legit@x>\r\n\r\n";
constexpr const char* kSpam =
    "From: Seller <seller@example.com>\r\nSubject: cheap bounce\r\nMessage-ID: <spam@x>\r\n\r\n";

std::string Fetched(int number, int uid, const std::string& headers) {
  return "* " + std::to_string(number) + " FETCH (UID " + std::to_string(uid) +
         " RFC822.SIZE 300 BODYSTRUCTURE (\"text\" \"plain\" NIL NIL NIL \"7bit\" 10 1) "
         "BODY[HEADER.FIELDS (FROM SUBJECT)] {" +
         std::to_string(headers.size()) + "}\r\n" + headers + ")\r\n";
}

// Greeting, LOGIN and SELECT of a folder of `exists` messages, up to the FETCH.
std::vector<S::Step> Opening(const std::string& caps = "IMAP4rev1 UIDPLUS", int exists = 2) {
  return {S::Send("* OK [CAPABILITY " + caps + "] hi\r\n"),
          S::Expect("a1 LOGIN \"alice\" \"secret\""),
          S::Send("a1 OK [CAPABILITY " + caps + "] in\r\n"),
          S::Expect("a2 SELECT \"INBOX\""),
          S::Send("* " + std::to_string(exists) +
                  " EXISTS\r\n* OK [UIDVALIDITY 7] v\r\na2 OK [READ-WRITE] s\r\n"),
          S::Expect(kFetch)};
}

std::vector<S::Step> Then(std::vector<S::Step> steps, std::initializer_list<S::Step> more) {
  steps.insert(steps.end(), more);
  return steps;
}

S::Step Logout(int tag) {
  return S::Send("* BYE bye\r\na" + std::to_string(tag) + " OK out\r\n");
}

// Alice's IMAP account on the scripted server at `port`.
MailAccount Alice(int port, const char* protocol = "IMAP") {
  MailAccount account;
  account.UserName = "alice";
  account.Passwd = "secret";
  account.POP3Server = "127.0.0.1";
  account.POP3Port = port;
  account.Protocol = protocol;
  return account;
}

struct HostileRow {
  const char* name;
  std::vector<S::Step> script;
  AccountOutcome::Status status;
  std::string error;      // a part of the account's error ("" for none)
  int accepted = 0;       // envelopes listed
  int deleted = 0;        // spam the server confirmed removed
  std::string neverSent;  // no command the client sent holds this
  Security security = Security::None;
};

void PrintTo(const HostileRow& row, std::ostream* os) {
  *os << row.name;
}

using Status = AccountOutcome::Status;

const HostileRow kRows[] = {
    {"ExpungeRenumbersDuringTheFetch",
     Then(Opening(), {S::Send(Fetched(1, 10, kLegit) + "* 1 EXPUNGE\r\n" + Fetched(1, 12, kSpam) +
                              "a3 OK done\r\n"),
                      S::Expect("a4 UID STORE 12 +FLAGS.SILENT (\\Deleted)"), S::Send("a4 OK\r\n"),
                      S::Expect("a5 UID EXPUNGE 12"), S::Send("* 1 EXPUNGE\r\na5 OK\r\n"),
                      S::Expect("a6 LOGOUT"), Logout(6)}),
     Status::Checked, "", 1, 1, "xx"},
    {"UidValidityChangeDeletesNothing",
     Then(Opening(), {S::Send(Fetched(1, 10, kLegit) + "* OK [UIDVALIDITY 8] rebuilt\r\n" +
                              Fetched(2, 11, kSpam) + "a3 OK\r\n"),
                      S::Expect("a4 LOGOUT"), Logout(4)}),
     Status::Incomplete, "UIDVALIDITY changed", 1, 0, "STORE"},
    {"ByeMidPass",
     Then(Opening(), {S::Send(Fetched(1, 10, kLegit) + "* BYE shutting down\r\n"), S::Close()}),
     Status::Incomplete, "the server ended the session: shutting down", 1, 0, "STORE"},
    {"TaggedReplyToACommandNotSent",
     Then(Opening(), {S::Send(Fetched(1, 10, kLegit) + "a9 OK done\r\n")}), Status::Incomplete,
     "(tag a9)", 1, 0, "STORE"},
    {"EndlessLiteral",
     Then(Opening(), {S::Send("* 1 FETCH (UID 10 BODY[HEADER.FIELDS (FROM)] {9000}\r\n"),
                      S::Endless("xxxxxxxxxxxxxxxx")}),
     Status::Incomplete, "line longer than 4096 bytes", 0, 0, "xx"},
    {"HugeLiteral",
     Then(Opening(), {S::Send("* 1 FETCH (UID 10 BODY[HEADER.FIELDS (FROM)] {999999999}\r\n")}),
     Status::Incomplete, "literal larger than 65536 bytes", 0, 0, "xx"},
    {"Drip", Then(Opening(), {S::Drip(Fetched(1, 10, kLegit), 30)}), Status::Incomplete,
     "did not come in time", 0, 0, "xx"},
    {"NeitherUidplusNorMoveDeletesNothing",
     Then(Opening("IMAP4rev1"),
          {S::Send(Fetched(1, 11, kSpam) + "a3 OK\r\n"), S::Expect("a4 LOGOUT"), Logout(4)}),
     Status::Incomplete, "neither UIDPLUS nor MOVE", 0, 0, "EXPUNGE"},
    {"MoveToJunkWithoutUidplus",
     Then(Opening("IMAP4rev1 MOVE", 1),
          {S::Send(Fetched(1, 11, kSpam) + "a3 OK\r\n"), S::Expect("a4 LIST \"\" \"*\""),
           S::Send("* LIST (\\HasNoChildren) \"/\" INBOX\r\n* LIST (\\HasNoChildren \\Junk) \"/\" "
                   "\"Spam box\"\r\na4 OK\r\n"),
           S::Expect("a5 UID MOVE 11 \"Spam box\""),
           S::Send("* OK [COPYUID 1 11 1] x\r\n* 1 EXPUNGE\r\na5 OK\r\n"), S::Expect("a6 LOGOUT"),
           Logout(6)}),
     Status::Checked, "", 0, 1, "EXPUNGE"},
    {"StartTlsInjection",
     {S::Send("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\n"),
      S::Expect("a1 STARTTLS"),
      S::Send("a1 OK go\r\n* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] forged\r\n"), S::Pause(300)},
     Status::Failed,
     "more data after accepting STARTTLS",
     0,
     0,
     "secret",
     Security::StartTls},
    {"StartTlsThenAuthenticatePlain",
     {S::Send("* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\r\n"),
      S::Expect("a1 STARTTLS"), S::Send("a1 OK go\r\n"), S::StartTls(), S::Expect("a2 CAPABILITY"),
      S::Send("* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\na2 OK\r\n"), S::Expect("a3 AUTHENTICATE PLAIN"),
      S::Send("+ \r\n"), S::Expect("AGFsaWNlAHNlY3JldA=="), S::Send("a3 OK in\r\n"),
      S::Expect("a4 CAPABILITY"), S::Send("* CAPABILITY IMAP4rev1 UIDPLUS IDLE\r\na4 OK\r\n"),
      S::Expect("a5 SELECT \"INBOX\""),
      S::Send("* 0 EXISTS\r\n* OK [UIDVALIDITY 3] x\r\na5 OK\r\n"), S::Expect("a6 LOGOUT"),
      Logout(6)},
     Status::Checked,
     "",
     0,
     0,
     "LOGIN \"",
     Security::StartTls},
    {"LoginDisabledWithoutAnotherWay",
     {S::Send("* OK [CAPABILITY IMAP4rev1 LOGINDISABLED] hi\r\n"), S::Pause(300)},
     Status::Failed,
     "LOGINDISABLED",
     0,
     0,
     "secret"},
};

class ImapHostileRows : public ::testing::TestWithParam<HostileRow> {};

TEST_P(ImapHostileRows, ThePassEndsAsItMust) {
  const HostileRow& row = GetParam();
  ScriptedServer server(row.script);
  test::TempDir dir;
  MailEnvironment environment;
  environment.commandLogPath = dir.File("command.log");
  environment.deletedLogDir = dir.File("Log");
  environment.imapLimits.responseDeadline = std::chrono::milliseconds(500);
  environment.imapLimits.sizes.maxLine = 4096;
  environment.imapLimits.headerLiteral = 65536;
  Settings settings;
  MailAccount account = Alice(server.port());
  account.Security = row.security;
  account.CAFile = test::TestCertPath();
  account.CheckMark = true;
  account.FilterSubject = true;
  account.Filter = "bounce;";
  settings.accounts = {account};
  EnvelopeStore store;
  struct : CheckObserver {
    std::vector<AccountOutcome> all;
    void AccountFinished(const AccountOutcome& o) override { all.push_back(o); }
  } observer;
  RunCheck(settings, store, observer, environment);
  EXPECT_TRUE(server.Finish()) << "the client's commands differ from the script";

  ASSERT_EQ(observer.all.size(), 1u);
  const AccountOutcome& outcome = observer.all[0];
  EXPECT_EQ(outcome.status, row.status) << outcome.error;
  if (row.error.empty()) {
    EXPECT_EQ(outcome.error, "");
  } else {
    EXPECT_NE(outcome.error.find(row.error), std::string::npos) << outcome.error;
  }
  EXPECT_EQ(store.Count(), row.accepted);
  EXPECT_EQ(outcome.deletedAsSpam, row.deleted);
  for (const std::string& line : server.Received()) {
    EXPECT_EQ(line.find(row.neverSent), std::string::npos) << line;
    EXPECT_NE(line.find(" EXPUNGE"), 2u) << "a plain EXPUNGE: " << line;
  }
  if (row.accepted > 0) {
    EXPECT_EQ(store.Get(0).uniqueId, "IMAP:7:10");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ImapHostileRows, ::testing::ValuesIn(kRows),
                         [](const auto& r) { return std::string(r.param.name); });

// An IDLE watch: IDLE again before the reissue time, a new message reported
// once, and a dropped connection made again by itself.
TEST(ImapIdle, ReissuesReportsAndComesBack) {
  const auto login = [](int exists) {
    return std::vector<S::Step>{
        S::Send("* OK [CAPABILITY IMAP4rev1 IDLE] hi\r\n"),
        S::Expect("a1 LOGIN \"alice\" \"secret\""),
        S::Send("a1 OK [CAPABILITY IMAP4rev1 IDLE UIDPLUS] in\r\n"),
        S::Expect("a2 SELECT \"INBOX\""),
        S::Send("* " + std::to_string(exists) + " EXISTS\r\n* OK [UIDVALIDITY 7] v\r\na2 OK\r\n"),
        S::Expect("a3 IDLE"),
        S::Send("+ idling\r\n")};
  };
  std::vector<S::Step> script = login(2);
  script.insert(script.end(),
                {S::Expect("DONE"), S::Send("a3 OK\r\n"),  // the reissue time passed
                 S::Expect("a4 IDLE"), S::Send("+ idling\r\n* 2 EXISTS\r\n"),  // no change
                 S::Pause(100), S::Send("* 3 EXISTS\r\n"), S::Expect("DONE"), S::Send("a4 OK\r\n"),
                 S::Expect("a5 IDLE"), S::Close(), S::Accept()});
  const std::vector<S::Step> again = login(3);
  script.insert(script.end(), again.begin(), again.end());
  ScriptedServer server(script);
  const MailAccount account = Alice(server.port());
  ImapIdleWatcher::Timing timing;
  timing.reissue = std::chrono::milliseconds(300);
  timing.firstPause = std::chrono::milliseconds(50);
  std::atomic<int> changes{0};
  ImapIdleWatcher watcher(
      account, MailEnvironment{}, [&] { ++changes; }, timing);
  watcher.Start();
  EXPECT_TRUE(test::WaitUntil([&] { return watcher.connections() == 2; }));
  EXPECT_TRUE(test::WaitUntil([&] { return watcher.state() == ImapIdleWatcher::State::Idling; }));
  watcher.Stop();
  EXPECT_TRUE(server.Finish());
  EXPECT_EQ(changes, 1);
}

// A wake fetches by UID only what is above the last known UID, on the idling
// connection: a message another client expunged leaves the list (its
// renumbering followed through the EXPUNGE), new spam goes by UID, the new
// legitimate message is listed.
TEST(ImapIdle, AWakeFetchesOnlyTheNewAndDropsTheExpunged) {
  std::string fetch = kFetch;
  fetch.replace(0, std::string("a3 UID FETCH 1:*").size(), "a5 UID FETCH 13:*");
  ScriptedServer server({S::Send("* OK [CAPABILITY IMAP4rev1 IDLE UIDPLUS] hi\r\n"),
                         S::Expect("a1 LOGIN \"alice\" \"secret\""),
                         S::Send("a1 OK [CAPABILITY IMAP4rev1 IDLE UIDPLUS] in\r\n"),
                         S::Expect("a2 SELECT \"INBOX\""),
                         S::Send("* 3 EXISTS\r\n* OK [UIDVALIDITY 7] v\r\na2 OK\r\n"),
                         S::Expect("a3 UID SEARCH ALL"),
                         S::Send("* SEARCH 10 11 12\r\na3 OK\r\n"),
                         S::Expect("a4 IDLE"),
                         S::Send("+ idling\r\n* 2 EXPUNGE\r\n* 4 EXISTS\r\n"),
                         S::Expect("DONE"),
                         S::Send("a4 OK\r\n"),
                         S::Expect(fetch),
                         S::Send(Fetched(3, 13, kSpam) + Fetched(4, 14, kLegit) + "a5 OK\r\n"),
                         S::Expect("a6 UID STORE 13 +FLAGS.SILENT (\\Deleted)"),
                         S::Send("a6 OK\r\n"),
                         S::Expect("a7 UID EXPUNGE 13"),
                         S::Send("* 3 EXPUNGE\r\na7 OK\r\n"),
                         S::Expect("a8 IDLE"),
                         S::Send("+ idling\r\n"),
                         S::Pause(1000)});
  Settings settings;
  MailAccount account = Alice(server.port());
  account.FilterSubject = true;
  account.Filter = "bounce;";
  settings.accounts = {account};
  EnvelopeStore store;
  for (int uid : {10, 11, 12}) {  // as the pass listed them
    Envelope e;
    e.messageId = std::to_string(MakeMessageId(uid - 10, 0));
    e.uniqueId = "IMAP:7:" + std::to_string(uid);
    store.Append(e);
  }
  struct : CheckObserver {
    std::vector<long long> removed;
    void EnvelopeRemoved(long long id) override { removed.push_back(id); }
  } observer;
  test::TempDir dir;
  MailEnvironment environment;
  environment.commandLogPath = dir.File("command.log");
  ImapFollowed followed;
  ImapWakeResult wake;
  ImapIdleWatcher watcher(
      account, environment,
      [&](ImapSession& session, bool) { EXPECT_TRUE(FollowImapFolder(session, followed)); },
      [&](ImapSession& session) {
        wake = UpdateImapAccount(settings, 0, session, followed, store, observer, environment);
      });
  watcher.Start();
  EXPECT_TRUE(test::WaitUntil([&] { return server.Received().size() >= 9; }));
  watcher.Stop();
  EXPECT_TRUE(server.Finish());
  EXPECT_EQ(observer.removed, std::vector<long long>{MakeMessageId(1, 0)});
  ASSERT_EQ(store.Count(), 3);
  EXPECT_EQ(store.Get(1).uniqueId, "IMAP:7:12");
  EXPECT_EQ(store.Get(1).messageId, std::to_string(MakeMessageId(1, 0)));
  EXPECT_EQ(store.Get(2).uniqueId, "IMAP:7:14");
  EXPECT_EQ(wake.added, 1);
  EXPECT_EQ(wake.outcome.deletedAsSpam, 1);
  EXPECT_EQ(followed.lastUid, 14u);
}

// A Protocol text that names no protocol never falls back to either one.
TEST(ImapAccount, AnUnknownProtocolIsRefusedBeforeAnythingIsSent) {
  for (const char* text : {"IMAP4", " imap", "pop"}) {
    Settings settings;
    MailAccount account;
    account.UserName = "alice";
    account.POP3Server = "127.0.0.1";
    account.POP3Port = 1;
    account.Protocol = text;
    account.CheckMark = true;
    settings.accounts = {account};
    EnvelopeStore store;
    struct : CheckObserver {
      std::string error;
      void AccountFinished(const AccountOutcome& o) override { error = o.error; }
    } observer;
    test::TempDir dir;
    MailEnvironment environment;
    environment.commandLogPath = dir.File("command.log");
    RunCheck(settings, store, observer, environment);
    EXPECT_NE(observer.error.find("Protocol value \"" + std::string(text) + "\""),
              std::string::npos)
        << observer.error;
  }
}

// Delete on a row listed under UIDVALIDITY 7, when the folder now has 8: the
// UID may name another message, so nothing is stored or expunged.
TEST(ImapDelete, AFolderRebuiltSinceTheCheckDeletesNothing) {
  ScriptedServer server(
      Then(std::vector<S::Step>{S::Send("* OK [CAPABILITY IMAP4rev1 UIDPLUS] hi\r\n"),
                                S::Expect("a1 LOGIN \"alice\" \"secret\""),
                                S::Send("a1 OK [CAPABILITY IMAP4rev1 UIDPLUS] in\r\n"),
                                S::Expect("a2 SELECT \"INBOX\""),
                                S::Send("* 1 EXISTS\r\n* OK [UIDVALIDITY 8] v\r\na2 OK\r\n")},
           {S::Expect("a3 LOGOUT"), Logout(3)}));
  Settings settings;
  settings.accounts = {Alice(server.port(), "imap")};
  EnvelopeStore store;
  Envelope listed;
  listed.messageId = std::to_string(MakeMessageId(0, 0));
  listed.uniqueId = "IMAP:7:10";
  store.Append(listed);
  test::TempDir dir;
  MailEnvironment environment;
  environment.deletedLogDir = dir.File("Log");
  const DeleteOutcome outcome = DeleteMessage(MakeMessageId(0, 0), settings, store, environment);
  EXPECT_TRUE(server.Finish());
  EXPECT_FALSE(outcome.deleted);
  EXPECT_TRUE(outcome.refused);
  EXPECT_NE(outcome.error.find("UIDVALIDITY changed"), std::string::npos) << outcome.error;
}

}  // namespace
}  // namespace bc
