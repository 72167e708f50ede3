#include "mail/pop3_session.h"

#include <gtest/gtest.h>

#include "mail/pop3_reply.h"
#include "support/fake_transport.h"

namespace bc {
namespace {

using test::FakeTransport;

constexpr const char* kGreeting = "+OK POP3 ready\r\n";
constexpr const char* kLogin = "USER alice\r\nPASS secret\r\n";

// A session whose server sends `chunks`, one per read.
struct Scripted {
  FakeTransport::Log log;
  FakeTransport* transport = nullptr;
  std::unique_ptr<Pop3Session> session;

  explicit Scripted(std::initializer_list<std::string> chunks) {
    auto t = std::make_unique<FakeTransport>(log);
    transport = t.get();
    for (const auto& chunk : chunks) {
      t->Serve(chunk);
    }
    session = std::make_unique<Pop3Session>(std::move(t));
  }
  bool Connect(Security security = Security::None) {
    return session->Connect("pop.example.com", 110, "alice", "secret", security);
  }
};

TEST(Pop3ReplyTest, OnlyErrFailsInAnyCase) {
  EXPECT_TRUE(IsErrReply("-ERR no such message"));
  EXPECT_TRUE(IsErrReply("-err"));
  EXPECT_TRUE(IsErrReply("-ErRx"));
  EXPECT_FALSE(IsErrReply("+OK"));
  EXPECT_FALSE(IsErrReply(""));
  EXPECT_FALSE(IsErrReply("-ER"));
  EXPECT_FALSE(IsErrReply(" -ERR"));
  EXPECT_FALSE(IsErrReply("hello"));  // neither +OK nor -ERR: success
}

TEST(Pop3ReplyTest, StatAndListParsing) {
  int count = 7;
  int64_t size = 9;
  ParseStatReply("+OK 0 0", count, size);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(size, 0);
  ParseStatReply("+OK 2 320", count, size);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(size, 320);
  ParseStatReply("+OK\t5", count, size);  // no size: the old one stays
  EXPECT_EQ(count, 5);
  EXPECT_EQ(size, 320);
  ParseStatReply("+OK 3 5000000000", count, size);  // mailboxes beyond 4 GB
  EXPECT_EQ(size, 5000000000);

  EXPECT_EQ(ParseListLine("1 120"), (std::make_pair(1, int64_t{120})));
  EXPECT_EQ(ParseListLine("12\t4096 extra"), (std::make_pair(12, int64_t{4096})));
  // Lines that cannot be read give no size at all, never one for another message.
  for (const char* bad : {"", "7", "3 abc", "0 12", "-1 5", "x 5", "99999999999 5"}) {
    EXPECT_EQ(ParseListLine(bad), std::nullopt) << bad;
  }

  EXPECT_EQ(ParseUidlLine("3 XyZ.1"), (std::make_pair(3, std::string_view("XyZ.1"))));
  EXPECT_EQ(ParseUidlLine("3"), std::nullopt);
}

TEST(Pop3SessionTest, ConnectSendsTheLogin) {
  Scripted s({kGreeting, "+OK\r\n", "+OK logged in\r\n"});
  EXPECT_TRUE(s.Connect());
  EXPECT_EQ(s.log.sent, kLogin);
  EXPECT_EQ(s.log.host, "pop.example.com");
  EXPECT_EQ(s.log.port, 110);
}

TEST(Pop3SessionTest, ErrAnywhereInTheLoginFails) {
  for (const char* err : {"-ERR", "-err"}) {
    Scripted greeting({std::string(err) + " go away\r\n"});
    EXPECT_FALSE(greeting.Connect());
    EXPECT_EQ(greeting.log.sent, "") << "USER must not follow a refused greeting";
    EXPECT_EQ(greeting.session->lastError(), std::string("server said: ") + err + " go away");

    Scripted user({kGreeting, std::string(err) + " unknown\r\n"});
    EXPECT_FALSE(user.Connect());
    EXPECT_EQ(user.log.sent, "USER alice\r\n");

    Scripted pass({kGreeting, "+OK\r\n", std::string(err) + " bad password\r\n"});
    EXPECT_FALSE(pass.Connect());
    EXPECT_EQ(pass.log.sent, kLogin);
  }
}

TEST(Pop3SessionTest, OddRepliesCountAsSuccess) {
  Scripted s({"\r\n", "welcome\r\n", "something\r\n"});
  EXPECT_TRUE(s.Connect());
}

TEST(Pop3SessionTest, GreetingOnlyServerFailsTheLogin) {
  Scripted s({kGreeting});
  EXPECT_FALSE(s.Connect());
  EXPECT_EQ(s.log.sent, "USER alice\r\n");
}

TEST(Pop3SessionTest, ConnectionRefusedFailsWithTheReason) {
  FakeTransport::Log log;
  auto t = std::make_unique<FakeTransport>(log);
  t->openFails = true;
  Pop3Session session(std::move(t));
  EXPECT_FALSE(session.Connect("pop.example.com", 110, "a", "b", Security::None));
  EXPECT_EQ(session.lastError(), "connection refused");
}

TEST(Pop3SessionTest, LineBreaksInCredentialsAreNeverSent) {
  for (auto [user, pass] : {std::pair{"alice\r\nDELE 1", "x"}, std::pair{"alice", "pw\nDELE 1"},
                            std::pair{"alice\r", "x"}}) {
    FakeTransport::Log log;
    Pop3Session session(std::make_unique<FakeTransport>(log));
    EXPECT_FALSE(session.Connect("h", 110, user, pass, Security::None));
    EXPECT_FALSE(log.opened);
    EXPECT_EQ(log.sent, "");
  }
}

TEST(Pop3SessionTest, StartTlsBeforeCredentials) {
  Scripted ok({kGreeting, "+OK begin TLS\r\n", "+OK\r\n", "+OK\r\n"});
  EXPECT_TRUE(ok.Connect(Security::StartTls));
  EXPECT_TRUE(ok.log.tlsStarted);
  EXPECT_EQ(ok.log.sent, std::string("STLS\r\n") + kLogin);

  // A server that refuses STLS gets no credentials in plain text.
  Scripted refused({kGreeting, "-ERR not supported\r\n"});
  EXPECT_FALSE(refused.Connect(Security::StartTls));
  EXPECT_EQ(refused.log.sent, "STLS\r\n");
  EXPECT_NE(refused.session->lastError().find("refused STARTTLS"), std::string::npos);

  Scripted handshake({kGreeting, "+OK\r\n"});
  handshake.transport->tlsFails = true;
  EXPECT_FALSE(handshake.Connect(Security::StartTls));
  EXPECT_EQ(handshake.log.sent, "STLS\r\n");
  EXPECT_NE(handshake.session->lastError().find("self-signed"), std::string::npos);
}

TEST(Pop3SessionTest, StatFillsCountAndSize) {
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", "+OK 2 320\r\n"});
  ASSERT_TRUE(s.Connect());
  ASSERT_TRUE(s.session->Stat());
  EXPECT_EQ(s.session->messageCount(), 2);
  EXPECT_EQ(s.session->mailboxSize(), 320);
  EXPECT_EQ(s.log.sent, std::string(kLogin) + "STAT\r\n");
}

const std::string kListReply = "+OK 2 messages\r\n1 120\r\n2 4096\r\n.\r\n";

// Every way of cutting a reply into two reads gives the same result.
TEST(Pop3SessionTest, ListSplitAnywhereGivesTheSameSizes) {
  for (size_t cut = 0; cut <= kListReply.size(); ++cut) {
    Scripted s(
        {kGreeting, "+OK\r\n", "+OK\r\n", kListReply.substr(0, cut), kListReply.substr(cut)});
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.session->List()) << "cut at " << cut;
    EXPECT_EQ(s.session->MessageSize(1), 120) << "cut at " << cut;
    EXPECT_EQ(s.session->MessageSize(2), 4096) << "cut at " << cut;
    EXPECT_EQ(s.session->MessageSize(3), 0);
    EXPECT_EQ(s.session->MessageSize(0), 0);
  }
}

TEST(Pop3SessionTest, ListOneByteAtATime) {
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n"});
  for (char c : kListReply) {
    s.transport->Serve(std::string(1, c));
  }
  ASSERT_TRUE(s.Connect());
  ASSERT_TRUE(s.session->List());
  EXPECT_EQ(s.session->MessageSize(2), 4096);
}

TEST(Pop3SessionTest, ListClosedBeforeItsEndFails) {
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", "+OK\r\n1 120\r\n"});
  ASSERT_TRUE(s.Connect());
  EXPECT_FALSE(s.session->List());
}

const std::string kMessage =
    "+OK 180 octets\r\n"
    "From: Joe <joe@example.com>\r\n"
    "Subject: hi\r\n"
    "\r\n"
    "A body line that says +OK in the middle\r\n"
    "..a dot-stuffed line\r\n"
    "+OK at the start of a line\r\n"
    "last line\r\n"
    ".\r\n";

TEST(Pop3SessionTest, RetrieveSplitAnywhereKeepsEveryByte) {
  for (size_t cut = 0; cut <= kMessage.size(); ++cut) {
    Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", kMessage.substr(0, cut), kMessage.substr(cut),
                "+OK bye\r\n"});
    ASSERT_TRUE(s.Connect());
    ASSERT_TRUE(s.session->Retrieve(1)) << "cut at " << cut;
    EXPECT_EQ(s.session->messageText(), kMessage) << "cut at " << cut;
    // The session does not wait for more after the terminator: QUIT's reply is next.
    EXPECT_TRUE(s.session->Quit()) << "cut at " << cut << ": " << s.session->lastError();
  }
  // The terminator itself cut in every possible place, two cuts at once.
  const size_t end = kMessage.size() - 5;
  for (size_t a = end; a <= kMessage.size(); ++a) {
    for (size_t b = a; b <= kMessage.size(); ++b) {
      Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", kMessage.substr(0, a), kMessage.substr(a, b - a),
                  kMessage.substr(b)});
      ASSERT_TRUE(s.Connect());
      ASSERT_TRUE(s.session->Retrieve(1));
      EXPECT_EQ(s.session->messageText(), kMessage);
    }
  }
}

TEST(Pop3SessionTest, RetrieveOfAnEmptyMessage) {
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", "+OK 0 octets\r\n.\r\n"});
  ASSERT_TRUE(s.Connect());
  ASSERT_TRUE(s.session->Retrieve(4));
  EXPECT_EQ(s.session->messageText(), "+OK 0 octets\r\n.\r\n");
  EXPECT_EQ(s.log.sent, std::string(kLogin) + "RETR 4\r\n");
}

TEST(Pop3SessionTest, RetrieveClosedMidwayKeepsWhatArrived) {
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", "+OK\r\nFrom: a@b.c\r\nSubject: cut"});
  ASSERT_TRUE(s.Connect());
  EXPECT_TRUE(s.session->Retrieve(1));
  EXPECT_EQ(s.session->messageText(), "+OK\r\nFrom: a@b.c\r\nSubject: cut");
}

TEST(Pop3SessionTest, StalledServerFailsInsteadOfHanging) {
  Scripted retr({kGreeting, "+OK\r\n", "+OK\r\n", "+OK\r\nFrom: a@b.c\r\n"});
  retr.transport->whenDry = ReadStatus::TimedOut;
  ASSERT_TRUE(retr.Connect());
  EXPECT_FALSE(retr.session->Retrieve(1));
  EXPECT_EQ(retr.session->lastError(), "no answer from the server");

  Scripted greeting({});
  greeting.transport->whenDry = ReadStatus::TimedOut;
  EXPECT_FALSE(greeting.Connect());
}

TEST(Pop3SessionTest, ErrRepliesFailEachCommand) {
  for (const char* err : {"-ERR nope\r\n", "-err nope\r\n"}) {
    Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", err, err, err, err, err});
    ASSERT_TRUE(s.Connect());
    EXPECT_FALSE(s.session->Stat());
    EXPECT_FALSE(s.session->List());
    EXPECT_FALSE(s.session->Retrieve(1));
    EXPECT_FALSE(s.session->Delete(1));
    EXPECT_FALSE(s.session->Quit());
    EXPECT_EQ(s.log.sent, std::string(kLogin) + "STAT\r\nLIST\r\nRETR 1\r\nDELE 1\r\nQUIT\r\n");
  }
}

TEST(Pop3SessionTest, QuitOnAClosedConnectionFails) {
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n"});
  ASSERT_TRUE(s.Connect());
  EXPECT_FALSE(s.session->Quit());
}

TEST(Pop3SessionTest, LargeMessageInManyChunks) {
  std::string body;
  const std::string line(998, 'x');
  while (body.size() < 20 * 1024 * 1024) {
    body += line + "\r\n";
  }
  const std::string longLine(64 * 1024, 'y');
  const std::string reply = "+OK\r\n" + body + longLine + "\r\n.\r\n";
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n"});
  for (size_t pos = 0; pos < reply.size(); pos += 90000) {
    s.transport->Serve(reply.substr(pos, 90000));
  }
  ASSERT_TRUE(s.Connect());
  ASSERT_TRUE(s.session->Retrieve(1));
  EXPECT_EQ(s.session->messageText().size(), reply.size());
  EXPECT_TRUE(s.session->messageText() == reply);
}

TEST(Pop3SessionTest, UidlListingAndSingleQuery) {
  Scripted s({kGreeting, "+OK\r\n", "+OK\r\n", "+OK\r\n1 aaa\r\n2 bbb\r\n.\r\n", "+OK 2 bbb\r\n",
              "-ERR no such message\r\n"});
  ASSERT_TRUE(s.Connect());
  ASSERT_TRUE(s.session->Uidl());
  EXPECT_EQ(s.session->UniqueId(1), "aaa");
  EXPECT_EQ(s.session->UniqueId(2), "bbb");
  EXPECT_EQ(s.session->UniqueId(3), "");
  std::string uid;
  EXPECT_TRUE(s.session->UidlOf(2, uid));
  EXPECT_EQ(uid, "bbb");
  EXPECT_FALSE(s.session->UidlOf(9, uid));
}

}  // namespace
}  // namespace bc
