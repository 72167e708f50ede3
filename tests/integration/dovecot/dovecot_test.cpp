// The check pass and the deletion against a real POP3 server: Dovecot unless
// the environment names another (its script, directory, ports, login domain).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "mail/check_cycle.h"
#include "mail/deletion.h"
#include "mail/pop3_session.h"
#include "server_pass_test.h"
#include "support/test_env.h"

namespace bc {
namespace {

// The server under test: Dovecot, unless POP3_PEER names another as
// "SCRIPT|DIR|PORT|TLS_PORT|LOGIN_SUFFIX|LACKS" (one variable: CTest's list of
// a discovered test's properties cannot carry several).
struct Peer {
  std::string script = BC_POP3_SCRIPT;
  std::string dir = BC_POP3_DIR;
  int port = BC_POP3_PORT;
  int tlsPort = BC_POP3S_PORT;
  std::string loginSuffix;  // makes a mailbox's login ("@domain" for virtual domains)
  std::string lacks;        // features the server lacks, each followed by a space
};

Peer PeerFromEnvironment() {
  Peer peer;
  const char* value = std::getenv("POP3_PEER");
  if (value == nullptr || *value == '\0') {
    return peer;
  }
  std::vector<std::string> fields(1);
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c == '|') {
      fields.emplace_back();
    } else {
      fields.back().push_back(*c);
    }
  }
  fields.resize(6);
  peer = {fields[0], fields[1],      std::atoi(fields[2].c_str()), std::atoi(fields[3].c_str()),
          fields[4], fields[5] + " "};
  return peer;
}

const Peer kPeer = PeerFromEnvironment();
const std::string& kScript = kPeer.script;
const std::string& kDir = kPeer.dir;
const int kPort = kPeer.port;
const int kTlsPort = kPeer.tlsPort;
const std::string& kLoginSuffix = kPeer.loginSuffix;
const std::string kLacks = " " + kPeer.lacks;

bool Lacks(const std::string& feature) {
  return kLacks.find(" " + feature + " ") != kLacks.npos;
}

std::string Login(const std::string& user) {
  return user + kLoginSuffix;
}

// The strongest security the server offers.
Security Strongest() {
  return !Lacks("pop3s") ? Security::Tls : !Lacks("stls") ? Security::StartTls : Security::None;
}

// Fills the mailbox of `user` (one of the users the suite's server was started
// with) with `count` generated messages, replacing what it held. The kinds
// repeat: plain, alternative, attachment, base64, qp, utf8subject, dotlines, spam.
void Populate(const std::string& user, int count) {
  const std::string quiet = " >/dev/null 2>&1";
  ASSERT_EQ(std::system(("bash '" + kScript + "' clear '" + kDir + "' " + user + quiet).c_str()),
            0);
  ASSERT_EQ(std::system(("bash '" + kScript + "' populate '" + kDir + "' " + user + " " +
                         std::to_string(count) + " 2500" + quiet)
                            .c_str()),
            0);
}

MailAccount Account(const std::string& user, Security security = Security::None) {
  MailAccount a;
  a.UserName = Login(user);
  a.Passwd = "secret";
  a.RememberPasswd = true;
  a.POP3Server = "127.0.0.1";
  a.POP3Port = security == Security::Tls ? kTlsPort : kPort;
  a.Security = security;
  a.CAFile = kDir + "/tls/cert.pem";
  a.CheckMark = true;
  return a;
}

// The subjects now on the server, in message number order.
std::vector<std::string> ServerSubjects(const MailAccount& account) {
  Settings settings;
  settings.accounts = {account};
  settings.accounts[0].ExclusiveApproved = false;
  settings.accounts[0].FilterSubject = false;
  EnvelopeStore store;
  CheckObserver quiet;
  test::TempDir dir;
  MailEnvironment environment;
  environment.commandLogPath = dir.File("command.log");
  environment.deletedLogDir = dir.File("Log");
  RunCheck(settings, store, quiet, environment);
  std::vector<std::string> subjects;
  for (const Envelope& e : store.Snapshot()) {
    subjects.push_back(e.subject);
  }
  return subjects;
}

class Pop3ServerTest : public ServerPassTest {
 protected:
  CheckSummary Check(const MailAccount& account) { return CheckAccount(account); }
};

class Pop3ServerSecurityTest : public Pop3ServerTest,
                               public ::testing::WithParamInterface<Security> {};

TEST_P(Pop3ServerSecurityTest, APassListsThePopulatedMailbox) {
  const std::string user = GetParam() == Security::None  ? "plain"
                           : GetParam() == Security::Tls ? "pop3s"
                                                         : "starttls";
  if ((GetParam() == Security::Tls && Lacks("pop3s")) ||
      (GetParam() == Security::StartTls && Lacks("stls"))) {
    GTEST_SKIP() << "the server offers no " << (GetParam() == Security::Tls ? "POP3S" : "STLS");
  }
  Populate(user, 8);
  Check(Account(user, GetParam()));
  ASSERT_EQ(observer_.all.size(), 1u);
  EXPECT_EQ(observer_.all[0].status, AccountOutcome::Status::Checked) << observer_.all[0].error;
  ASSERT_EQ(store_.Count(), 8);
  EXPECT_EQ(store_.Get(0).subject, "Test message 1 (plain)");
  EXPECT_EQ(store_.Get(0).from, "Sender 1");
  EXPECT_EQ(store_.Get(0).address, "sender1@example.com");
  EXPECT_EQ(store_.Get(2).attachment, "1");
  EXPECT_EQ(store_.Get(5).from, "Jürgen Größ");
  EXPECT_EQ(store_.Get(5).subject, "Grüße, café ünïcödé 6 日本語");
  EXPECT_EQ(store_.Get(7).messageId, std::to_string(MakeMessageId(7, 0)));
  EXPECT_FALSE(store_.Get(7).uniqueId.empty());
  EXPECT_EQ(store_.Get(7).received.size(), 19u);
}

INSTANTIATE_TEST_SUITE_P(Security, Pop3ServerSecurityTest,
                         ::testing::Values(Security::None, Security::Tls, Security::StartTls),
                         [](const auto& row) {
                           return row.param == Security::None  ? std::string("Plain")
                                  : row.param == Security::Tls ? std::string("Pop3s")
                                                               : std::string("StartTls");
                         });

TEST_F(Pop3ServerTest, UntrustedCertificateFailsWithItsReasonInTheTrace) {
  if (Lacks("pop3s")) {
    GTEST_SKIP() << "the server offers no POP3S";
  }
  Populate("untrusted", 1);
  settings_.options.LogDeleted = true;
  MailAccount account = Account("untrusted", Security::Tls);
  account.CAFile.clear();
  Check(account);
  ASSERT_EQ(observer_.all.size(), 1u);
  EXPECT_EQ(observer_.all[0].status, AccountOutcome::Status::Failed);
  const std::string trace = test::ReadFile(dir_.File("command.log"));
  EXPECT_NE(trace.find("<" + Login("untrusted") + "> Failed to connect server\n"),
            std::string::npos);
  EXPECT_NE(trace.find("self-signed"), std::string::npos) << trace;
}

// Dovecot's own count of what the last session of `login` retrieved: the
// "retr=N/bytes" of its logout line. -1 when the server is not Dovecot.
int DovecotRetrieved(const std::string& login, size_t& logouts) {
  if (std::filesystem::path(kScript).filename() != "pop3-server.sh") {
    return -1;
  }
  const std::string marker = "pop3(" + login + ")";
  // The log process writes a moment after the session ends.
  for (int wait = 0; wait < 100; ++wait) {
    const std::string log = test::ReadFile(kDir + "/log/dovecot.log");
    size_t count = 0;
    size_t last = std::string::npos;
    for (size_t at = log.find(marker); at != std::string::npos; at = log.find(marker, at + 1)) {
      const size_t end = log.find('\n', at);
      const size_t out = log.find("Logged out", at);
      if (out != std::string::npos && out < end) {
        ++count;
        last = log.find("retr=", out);
      }
    }
    if (count > logouts) {
      logouts = count;
      return std::atoi(log.c_str() + last + 5);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -2;  // no new logout line
}

TEST_F(Pop3ServerTest, RememberedMailRetrievesOnlyWhatIsNew) {
  Populate("remembered", 6);
  settings_.options.RememberMail = "1";
  environment_.mailMemoryDir = dir_.File("mail");
  MailAccount account = Account("remembered");
  size_t logouts = 0;
  DovecotRetrieved(Login("remembered"), logouts);  // the sessions of Populate's server
  struct Pass {
    int retrieved;  // by the server's own count (Dovecot)
    int listed;
    int fresh;
  };
  auto pass = [&] {
    observer_.all.clear();
    Check(account);
    Pass p{DovecotRetrieved(Login("remembered"), logouts), store_.Count(), 0};
    for (const Envelope& e : store_.Snapshot()) {
      p.fresh += e.isNew ? 1 : 0;
    }
    EXPECT_EQ(observer_.all.at(0).status, AccountOutcome::Status::Checked)
        << observer_.all.at(0).error;
    return p;
  };
  const auto retrieved = [&](int n) {
    return std::filesystem::path(kScript).filename() == "pop3-server.sh" ? n : -1;
  };

  Pass p = pass();
  EXPECT_EQ(p.retrieved, retrieved(6));
  EXPECT_EQ(p.listed, 6);
  EXPECT_EQ(p.fresh, 6);
  // Unchanged: Dovecot counts no RETR, the list still shows every message.
  p = pass();
  EXPECT_EQ(p.retrieved, retrieved(0));
  EXPECT_EQ(p.listed, 6);
  EXPECT_EQ(p.fresh, 0);
  // Delivered later: retrieved and new once.
  ASSERT_EQ(std::system(("bash '" + kScript + "' populate '" + kDir + "' remembered 1 2500" +
                         " >/dev/null 2>&1")
                            .c_str()),
            0);
  p = pass();
  EXPECT_EQ(p.retrieved, retrieved(1));
  EXPECT_EQ(p.listed, 7);
  EXPECT_EQ(p.fresh, 1);
  p = pass();
  EXPECT_EQ(p.fresh, 0);

  // A sender blocked after its mail was remembered: deleted without a RETR.
  const std::string blocked = store_.Get(2).address;
  const std::vector<Envelope> before = store_.Snapshot();
  const auto mine = std::count_if(before.begin(), before.end(),
                                  [&](const Envelope& e) { return e.address == blocked; });
  account.BlockSender = blocked + ";";
  account.DeleteBlocked = true;
  p = pass();
  EXPECT_EQ(p.retrieved, retrieved(0));
  EXPECT_EQ(observer_.all.at(0).deletedAsSpam, mine);
  EXPECT_EQ(ServerSubjects(Account("remembered")).size(), 7u - static_cast<size_t>(mine));
  DovecotRetrieved(Login("remembered"), logouts);  // ServerSubjects' own pass

  // Off: every message retrieved and new, as without remembered mail.
  settings_.options.RememberMail = "";
  for (int i = 0; i < 2; ++i) {
    p = pass();
    EXPECT_EQ(p.retrieved, retrieved(7 - static_cast<int>(mine)));
    EXPECT_EQ(p.fresh, p.listed);
  }
}

TEST_F(Pop3ServerTest, SpamIsGoneFromTheServerAndTheRestStays) {
  Populate("spammed", 8);
  settings_.options.LogDeleted = true;
  MailAccount account = Account("spammed");
  account.FilterSubject = true;
  account.Filter = "win money;";
  Check(account);
  EXPECT_EQ(store_.Count(), 7);
  EXPECT_EQ(observer_.all.at(0).deletedAsSpam, 1);

  const std::vector<std::string> left = ServerSubjects(Account("spammed"));
  ASSERT_EQ(left.size(), 7u);
  EXPECT_EQ(std::count_if(left.begin(), left.end(),
                          [](const std::string& s) { return s.find("WIN MONEY") != s.npos; }),
            0);
  EXPECT_EQ(left.front(), "Test message 1 (plain)");

  const std::string trace = test::ReadFile(dir_.File("command.log"));
  EXPECT_NE(trace.find("<" + Login("spammed") + "> Connected server\n"), std::string::npos);
  EXPECT_NE(trace.find("<" + Login("spammed") + "> RETR 7 of 7\n"), std::string::npos);
  std::tm today{};
  const std::time_t now = std::time(nullptr);
  ::localtime_r(&now, &today);
  const std::string log = test::ReadFile(
      dir_.File("Log/" + Login("spammed") + std::to_string(today.tm_year + 1900) + "-" +
                std::to_string(today.tm_mon + 1) + "-" + std::to_string(today.tm_mday) + ".log"));
  EXPECT_NE(log.find("Sender 1  WIN MONEY NOW!!! message 8  sender1@example.com  "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("  " + Login("spammed") + "\n"), std::string::npos);
}

// Bare LF line ends, raw 8-bit headers and a 5 MB attachment, as delivered.
TEST_F(Pop3ServerTest, AwkwardMessagesAreListedWhole) {
  Populate("awkward", 0);
  std::string large =
      "From: Big Sender <big@example.com>\nSubject: the 5 MB report\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nSee "
      "attached.\n--b\nContent-Type: application/octet-stream; name=report.bin\n"
      "Content-Disposition: attachment; filename=report.bin\n"
      "Content-Transfer-Encoding: base64\n\n";
  for (int line = 0; line < 5 * 1024 * 1024 / 57; ++line) {
    large += std::string(76, 'Q') + "\n";
  }
  large += "--b--\n";
  test::WriteFile(dir_.File("1.eml"),
                  "From: J\xc3\xbcrgen <j@example.com>\nSubject: Gr\xc3\xbc\xc3\x9f"
                  "e aus K\xc3\xb6ln\n\nbare LF body\n.\n..dots\n");
  test::WriteFile(dir_.File("2.eml"), large);
  ASSERT_EQ(std::system(("bash '" + kScript + "' deliver '" + kDir + "' awkward '" +
                         dir_.File("1.eml") + "' '" + dir_.File("2.eml") + "'")
                            .c_str()),
            0);
  Check(Account("awkward"));
  ASSERT_EQ(observer_.all.size(), 1u);
  EXPECT_EQ(observer_.all[0].status, AccountOutcome::Status::Checked) << observer_.all[0].error;
  ASSERT_EQ(store_.Count(), 2);
  EXPECT_EQ(store_.Get(0).from, "J\xc3\xbcrgen");
  EXPECT_EQ(store_.Get(0).subject,
            "Gr\xc3\xbc\xc3\x9f"
            "e aus K\xc3\xb6ln");
  EXPECT_EQ(store_.Get(1).subject, "the 5 MB report");
  EXPECT_EQ(store_.Get(1).attachment, "1");
}

// Past 16 messages the pass pipelines its RETR (where the server offers
// PIPELINING); over TLS where the server has it, with spam all through the mailbox, it lists and
// deletes what a pass of one command at a time does.
TEST_F(Pop3ServerTest, APipelinedPassDeletesEverySpamAndListsTheRest) {
  Populate("pipelined", 60);
  settings_.options.LogDeleted = true;
  MailAccount account = Account("pipelined", Strongest());
  account.FilterSubject = true;
  account.Filter = "win money;";
  Check(account);
  ASSERT_EQ(observer_.all.size(), 1u);
  EXPECT_EQ(observer_.all[0].status, AccountOutcome::Status::Checked) << observer_.all[0].error;
  EXPECT_EQ(observer_.all[0].deletedAsSpam, 7);  // every eighth message
  ASSERT_EQ(store_.Count(), 53);
  for (int k = 0; k < store_.Count(); ++k) {
    const Envelope e = store_.Get(k);
    const int n = k + 1 + k / 7;  // the message number the row was retrieved as
    EXPECT_EQ(e.subject.find("WIN MONEY"), std::string::npos) << k;
    EXPECT_NE(e.subject.find(" " + std::to_string(n)), std::string::npos) << k << e.subject;
  }
  const std::vector<std::string> left = ServerSubjects(Account("pipelined"));
  ASSERT_EQ(left.size(), 53u);
  EXPECT_EQ(left.back(), store_.Get(52).subject);
  const std::string trace = test::ReadFile(dir_.File("command.log"));
  EXPECT_NE(trace.find("<" + Login("pipelined") + "> RETR 59 of 52\n"), std::string::npos)
      << trace.substr(0, 400);
}

// The list's selected rows, by messageId.
class Selection final : public DeletionRows {
 public:
  explicit Selection(std::vector<long long> ids) : ids_(std::move(ids)) {}
  std::optional<long long> FirstSelectedMessageId() override {
    if (ids_.empty()) {
      return std::nullopt;
    }
    return *std::min_element(ids_.begin(), ids_.end(), [](long long a, long long b) {
      return MessageIndexOf(a) < MessageIndexOf(b);
    });
  }
  void RemoveRow(long long id) override { std::erase(ids_, id); }
  void RenumberRows(int account, int deleted) override {
    for (long long& id : ids_) {
      if (AccountIndexOf(id) == account && MessageIndexOf(id) > deleted) {
        id = MakeMessageId(MessageIndexOf(id) - 1, account);
      }
    }
  }

 private:
  std::vector<long long> ids_;
};

TEST_F(Pop3ServerTest, DeletingTwoRowsLeavesExactlyTheOthers) {
  Populate("deleter", 5);
  settings_.options.LogDeleted = true;
  Check(Account("deleter"));
  ASSERT_EQ(store_.Count(), 5);
  Selection rows({MakeMessageId(1, 0), MakeMessageId(3, 0)});
  EXPECT_EQ(DeleteSelected(settings_, store_, rows, environment_), 2);
  EXPECT_EQ(store_.Count(), 3);
  // The store was renumbered as the server renumbered.
  EXPECT_EQ(store_.Get(2).messageId, std::to_string(MakeMessageId(2, 0)));
  EXPECT_EQ(ServerSubjects(Account("deleter")),
            (std::vector<std::string>{"Test message 1 (plain)", "Test message 3 (attachment)",
                                      "Test message 5 (qp)"}));
}

TEST_F(Pop3ServerTest, AChangedMailboxMakesTheDeletionRefuse) {
  for (bool withUniqueIds : {true, false}) {
    SCOPED_TRACE(withUniqueIds ? "by UIDL" : "by TOP headers");
    Populate("changed", 4);
    Check(Account("changed"));
    ASSERT_EQ(store_.Count(), 4);
    if (!withUniqueIds) {
      std::vector<Envelope> all = store_.Snapshot();
      store_.Clear();
      for (Envelope& e : all) {
        e.uniqueId.clear();
        store_.Append(e);
      }
    }
    // Another client deletes message 1 first: every later number now names
    // the message after the one the list shows.
    {
      Pop3Session other(MakeSocketTransport({}));
      ASSERT_TRUE(other.Connect("127.0.0.1", kPort, Login("changed"), "secret", Security::None));
      ASSERT_TRUE(other.Delete(1));
      ASSERT_TRUE(other.Quit());
    }
    const DeleteOutcome outcome =
        DeleteMessage(MakeMessageId(2, 0), settings_, store_, environment_);
    EXPECT_FALSE(outcome.deleted);
    EXPECT_TRUE(outcome.refused);
    EXPECT_NE(outcome.error.find("mailbox changed"), std::string::npos) << outcome.error;
    EXPECT_EQ(ServerSubjects(Account("changed")),
              (std::vector<std::string>{"Test message 2 (alternative)",
                                        "Test message 3 (attachment)", "Test message 4 (base64)"}));
  }
}

}  // namespace
}  // namespace bc
