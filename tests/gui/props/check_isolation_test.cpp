// A check pass works on the settings as they were when it started: what the
// property sheet changes meanwhile reaches the next pass, never this one.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <future>
#include <thread>

#include "mail/check_cycle.h"
#include "props_test_util.h"
#include "support/fake_transport.h"
#include "ui/props/properties_command.h"

namespace bc {
namespace {

TEST(CheckIsolationTest, EditsMadeWhileAPassRunsNeverReachThatPass) {
  test::PropsFixture f;
  Settings settings;
  MailAccount alice;
  alice.UserName = "alice";
  alice.Passwd = "old-pw";
  alice.RememberPasswd = true;
  alice.POP3Server = "pop.one.example";
  alice.POP3Port = 110;
  alice.CheckMark = true;
  settings.accounts.push_back(alice);

  std::promise<void> connecting, release;
  std::shared_future<void> released = release.get_future().share();
  test::FakeTransport::Log log;
  std::vector<std::string> usersConnected;
  MailEnvironment environment;
  environment.commandLogPath = f.dir.File("command.log");
  environment.deletedLogDir = f.dir.File("Log");
  environment.makeTransport = [&](const MailAccount& account) {
    usersConnected.push_back(account.UserName);
    if (usersConnected.size() == 1) {
      connecting.set_value();
      released.wait();  // the user edits the settings now
    }
    auto transport = std::make_unique<test::FakeTransport>(log);
    transport->Serve("+OK ready\r\n").Serve("-ERR\r\n").Serve("+OK\r\n").Serve("+OK\r\n");
    transport->Serve("+OK 0 0\r\n");
    transport->Serve("+OK bye\r\n");
    return transport;
  };

  EnvelopeStore store;
  CheckObserver observer;
  // The worker's copy is taken here, on the thread that owns the settings.
  std::thread worker([&, copy = settings] { RunCheck(copy, store, observer, environment); });
  connecting.get_future().wait();

  test::QuietHost host;
  f.script
      .Then([](QDialog& d) {
        auto* tree = d.findChild<QTreeWidget*>(QStringLiteral("accountTree"));
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        test::Click(d, "editButton");
        tree->setCurrentItem(tree->topLevelItem(0));
        test::Click(d, "addButton");
        test::Ok(d);
      })
      .Then([](QDialog& d) {
        test::Type(d, "serverEdit", "pop.changed.example");
        test::Type(d, "passwordEdit", "new-pw");
        test::Ok(d);
      })
      .Then([](QDialog& d) {
        test::Type(d, "serverEdit", "pop.two.example");
        test::Type(d, "userEdit", "bob");
        test::Type(d, "passwordEdit", "bob-pw");
        test::Ok(d);
      });
  PropertiesCommand().Run(nullptr, settings, host, f.context);
  ASSERT_TRUE(f.script.Done());
  ASSERT_EQ(settings.accounts.size(), 2u);
  EXPECT_EQ(settings.accounts[0].Passwd, "new-pw");

  release.set_value();
  worker.join();
  EXPECT_EQ(usersConnected, (std::vector<std::string>{"alice"}));
  EXPECT_EQ(log.host, "pop.one.example");
  EXPECT_NE(log.sent.find("PASS old-pw\r\n"), std::string::npos) << log.sent;
  EXPECT_EQ(log.sent.find("new-pw"), std::string::npos);
}

}  // namespace
}  // namespace bc
