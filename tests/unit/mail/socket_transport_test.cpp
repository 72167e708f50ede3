#include <gtest/gtest.h>

#include <QTcpServer>

#include "mail/pop3_session.h"
#include "support/scripted_server.h"

namespace bc {
namespace {

using test::ScriptedServer;
using S = ScriptedServer;

std::vector<S::Step> Login() {
  return {S::Send("+OK ready\r\n"), S::Expect("USER alice"), S::Send("+OK\r\n"),
          S::Expect("PASS secret"), S::Send("+OK\r\n")};
}

template <typename... More>
std::vector<S::Step> Script(std::vector<S::Step> steps, More... more) {
  (steps.push_back(more), ...);
  return steps;
}

Pop3Session MakeSession(TransportOptions options = {}) {
  if (options.timeoutMs == 60000) {
    options.timeoutMs = 5000;
  }
  return Pop3Session(MakeSocketTransport(options));
}

TEST(SocketTransportTest, RepliesSplitAcrossWritesAreReassembled) {
  ScriptedServer server(
      Script(Login(), S::Expect("LIST"), S::Send("+OK 2 messages\r\n1 12"), S::Pause(50),
             S::Send("0\r\n2 4096\r"), S::Pause(50), S::Send("\n.\r\n"), S::Expect("RETR 1"),
             S::Send("+OK\r\nSubject: x\r\n\r\nbody +OK line\r\n\r"), S::Pause(50),
             S::Send("\n.\r\n"), S::Expect("QUIT"), S::Send("+OK bye\r\n")));
  Pop3Session session = MakeSession();
  ASSERT_TRUE(session.Connect("127.0.0.1", server.port(), "alice", "secret", Security::None))
      << session.lastError();
  ASSERT_TRUE(session.List());
  EXPECT_EQ(session.MessageSize(1), 120);  // "12" + "0" split inside the number
  EXPECT_EQ(session.MessageSize(2), 4096);
  ASSERT_TRUE(session.Retrieve(1));
  EXPECT_EQ(session.messageText(), "+OK\r\nSubject: x\r\n\r\nbody +OK line\r\n\r\n.\r\n");
  EXPECT_TRUE(session.Quit());
  session.Close();
  EXPECT_TRUE(server.Finish());
}

TEST(SocketTransportTest, StalledServerTimesOut) {
  ScriptedServer server(Script(Login(), S::Expect("STAT"), S::StallUntilClosed()));
  TransportOptions options;
  options.timeoutMs = 300;
  Pop3Session session = MakeSession(options);
  ASSERT_TRUE(session.Connect("127.0.0.1", server.port(), "alice", "secret", Security::None));
  EXPECT_FALSE(session.Stat());
  EXPECT_NE(session.lastError().find("no answer"), std::string::npos) << session.lastError();
  session.Close();
}

TEST(SocketTransportTest, CloseInTheMiddleOfRetrieveKeepsWhatArrived) {
  ScriptedServer server(Script(Login(), S::Expect("RETR 1"),
                               S::Send("+OK\r\nFrom: a@b.c\r\nSubject: cu"), S::Close()));
  Pop3Session session = MakeSession();
  ASSERT_TRUE(session.Connect("127.0.0.1", server.port(), "alice", "secret", Security::None));
  EXPECT_TRUE(session.Retrieve(1));
  EXPECT_EQ(session.messageText(), "+OK\r\nFrom: a@b.c\r\nSubject: cu");
  EXPECT_FALSE(session.Quit());
}

TEST(SocketTransportTest, RefusedConnection) {
  int port = 0;
  {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    port = probe.serverPort();
  }
  Pop3Session session = MakeSession();
  EXPECT_FALSE(session.Connect("127.0.0.1", port, "alice", "secret", Security::None));
  EXPECT_NE(session.lastError().find("connection to 127.0.0.1"), std::string::npos);
  EXPECT_FALSE(MakeSession().Connect("127.0.0.1", 0, "a", "b", Security::None));
}

TEST(SocketTransportTest, ImplicitTlsTrustsOnlyWhatTheUserVouchedFor) {
  {
    ScriptedServer server(Script(Login(), S::Expect("QUIT"), S::Send("+OK\r\n")), true);
    TransportOptions options;
    options.security = Security::Tls;
    options.caFile = test::TestCertPath();
    Pop3Session session = MakeSession(options);
    ASSERT_TRUE(session.Connect("localhost", server.port(), "alice", "secret", Security::Tls))
        << session.lastError();
    EXPECT_TRUE(session.Quit());
  }
  {
    ScriptedServer server(Script(Login(), S::Expect("QUIT"), S::Send("+OK\r\n")), true);
    TransportOptions options;
    options.security = Security::Tls;
    options.certFingerprint =
        "B0:57:33:15:E5:92:CB:9B:60:C8:68:7F:35:77:EC:A3:3F:80:8C:88:D4:08:51:8F:47:26:50:C5:C4:7F:"
        "C7:BE";
    Pop3Session session = MakeSession(options);
    ASSERT_TRUE(session.Connect("localhost", server.port(), "alice", "secret", Security::Tls))
        << session.lastError();
    EXPECT_TRUE(session.Quit());
  }
  {
    ScriptedServer server({}, true);
    TransportOptions options;
    options.security = Security::Tls;
    Pop3Session session = MakeSession(options);
    EXPECT_FALSE(session.Connect("localhost", server.port(), "alice", "secret", Security::Tls));
    EXPECT_NE(session.lastError().find("self-signed"), std::string::npos) << session.lastError();
  }
  {
    ScriptedServer server({}, true);
    TransportOptions options;
    options.security = Security::Tls;
    options.certFingerprint = "00:11";
    Pop3Session session = MakeSession(options);
    EXPECT_FALSE(session.Connect("localhost", server.port(), "alice", "secret", Security::Tls));
    EXPECT_NE(session.lastError().find("not the pinned one"), std::string::npos)
        << session.lastError();
  }
}

TEST(SocketTransportTest, StartTlsUpgradesBeforeTheLogin) {
  ScriptedServer server({S::Send("+OK ready\r\n"), S::Expect("STLS"), S::Send("+OK go ahead\r\n"),
                         S::StartTls(), S::Expect("USER alice"), S::Send("+OK\r\n"),
                         S::Expect("PASS secret"), S::Send("+OK\r\n"), S::Expect("QUIT"),
                         S::Send("+OK\r\n")});
  TransportOptions options;
  options.security = Security::StartTls;
  options.caFile = test::TestCertPath();
  Pop3Session session = MakeSession(options);
  ASSERT_TRUE(session.Connect("localhost", server.port(), "alice", "secret", Security::StartTls))
      << session.lastError();
  EXPECT_TRUE(session.Quit());
  session.Close();
  EXPECT_TRUE(server.Finish());
}

}  // namespace
}  // namespace bc
