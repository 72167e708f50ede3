#include "watch/mail_controller.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QThread>
#include <future>
#include <optional>
#include <thread>

#include "speech/mail_announcer.h"
#include "support/fake_mailbox.h"
#include "support/fake_transport.h"
#include "support/manual_clock.h"
#include "support/scripted_server.h"
#include "support/test_env.h"
#include "support/wait.h"

namespace bc {
namespace {

using test::FakeTransport;

struct RecordingView final : MailView {
  void SetTitle(const std::string& t) override { titles.push_back(t); }
  void SetAccountsProgress(int, int) override {}
  void SetEmailsProgress(int, int) override {}
  void SetTrayIcon(TrayState icon) override { icons.push_back(icon); }
  void SetTrayTooltip(const std::string& t) override { tooltips.push_back(t); }
  void ListCleared() override { ++cleared; }
  void EnvelopeAccepted(int, const Envelope& e) override { appended.push_back(e.subject); }
  void PassFinished(int) override { ++rebuilt; }
  void SetWorkerRunning(bool running) override { workerRunning.push_back(running); }
  void ShowNewMailNotice(const Notice&) override {}
  void StorageAlert(const Notice& n) override { storage.push_back(n.body); }
  void NoAccountConfigured(Settings&) override {
    ++propertiesOpened;
    if (onProperties) {
      onProperties();
    }
  }
  void ShowSuspended(bool s) override { suspendedShown.push_back(s); }
  void ShowBackgroundMessage(const std::string& t) override { messages.push_back(t); }
  void ShowCheckProblems(const std::vector<CheckProblem>& lines) override { problems = lines; }

  std::vector<std::string> titles, tooltips, appended, storage, messages;
  std::vector<CheckProblem> problems;
  std::vector<TrayState> icons;
  std::vector<bool> workerRunning, suspendedShown;
  int cleared = 0, rebuilt = 0, propertiesOpened = 0;
  std::function<void()> onProperties;
};

// The list's selected rows, kept as the desktop list keeps them: for the UI
// thread (this test's) alone.
struct UiThreadRows final : DeletionRows {
  explicit UiThreadRows(std::vector<long long> ids = {}) : selected(std::move(ids)) {}
  std::optional<long long> FirstSelectedMessageId() override {
    Touched();
    return selected.empty() ? std::nullopt : std::optional(selected.front());
  }
  void RemoveRow(long long id) override {
    Touched();
    std::erase(selected, id);
  }
  void RenumberRows(int, int) override { Touched(); }
  void Touched() {
    offThread += QThread::currentThread() != QCoreApplication::instance()->thread();
  }

  std::vector<long long> selected;
  std::atomic<int> offThread{0};
};

std::vector<std::string> OneMessageMailbox(const std::string& subject) {
  const std::string message = "+OK\r\nFrom: A <a@x.com>\r\nSubject: " + subject +
                              "\r\nMessage-ID: <" + subject + "@x>\r\n\r\nbody\r\n.\r\n";
  // Greeting, CAPA (not known), USER, PASS, STAT, LIST, UIDL (not known), RETR 1, QUIT.
  return {"+OK\r\n",  "-ERR\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 100\r\n", "+OK\r\n1 100\r\n.\r\n",
          "-ERR\r\n", message,    "+OK\r\n"};
}

class MailControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    environment_.commandLogPath = dir_.File("command.log");
    environment_.deletedLogDir = dir_.File("Log");
    environment_.makeTransport = [this](const MailAccount& account) {
      ++connections_;
      auto transport = std::make_unique<FakeTransport>(log_);
      if (gate_.valid()) {
        gate_.wait();  // holds the pass until the test lets it go
      }
      for (const std::string& reply : OneMessageMailbox(account.UserName)) {
        transport->Serve(reply);
      }
      return transport;
    };
    MailAccount account;
    account.UserName = "alice";
    account.CheckMark = true;
    settings_.accounts.push_back(account);
  }

  // The account is reached over a real socket at `server`.
  void ReachOver(const test::ScriptedServer& server) {
    settings_.accounts[0].POP3Server = "127.0.0.1";
    settings_.accounts[0].POP3Port = server.port();
    settings_.accounts[0].Passwd = "secret";
    settings_.accounts[0].RememberPasswd = true;
    environment_.makeTransport = SocketTransportFactory(60000);
  }

  std::unique_ptr<MailController> Make() {
    auto controller = std::make_unique<MailController>(
        settings_, nullptr, [this] { return voiceBusy_; }, environment_, clock_);
    controller->AttachView(&view_);
    return controller;
  }

  test::TempDir dir_;
  test::ManualClock clock_;  // moved by hand: the scheduler's period passes at once
  MailEnvironment environment_;
  Settings settings_;
  RecordingView view_;
  FakeTransport::Log log_;
  std::atomic<int> connections_{0};
  std::shared_future<void> gate_;
  bool voiceBusy_ = false;
};

TEST_F(MailControllerTest, ACheckRunsOnAWorkerAndTheWindowFollows) {
  auto controller = Make();
  controller->StartCheck();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(view_.appended, std::vector<std::string>{"alice"});
  EXPECT_EQ(view_.cleared, 1);
  EXPECT_EQ(view_.rebuilt, 1);
  EXPECT_EQ(view_.workerRunning, (std::vector<bool>{true, false}));
  EXPECT_EQ(view_.titles.back(), "Brindlecast");
  EXPECT_EQ(controller->largestMailbox(), 1);
  // The animation's last picture follows the mail found.
  EXPECT_EQ(view_.icons.back(), TrayState::MailPresent);
  EXPECT_EQ(controller->store().Count(), 1);
}

// What one run of the program says: a fresh controller and announcer, one pass.
struct Spoken final : SpeechOutput, SoundOutput {
  void Speak(const std::string& text) override { texts.push_back(text); }
  void StopSpeaking() override {}
  void PlaySoundFile(const std::string&) override {}
  void StopSound() override {}
  std::vector<std::string> texts;
  int notices = 0;
};

TEST_F(MailControllerTest, RememberedMailIsAnnouncedOnceAcrossRestarts) {
  test::FakeMailbox box;
  const auto deliver = [&box](int count) {
    for (int i = 0; i < count; ++i) {
      const std::string n = std::to_string(box.messages.size() + 1);
      box.messages.push_back({"From: S" + n + " <s" + n + "@x.org>\r\nSubject: " + n +
                                  "\r\nMessage-ID: <" + n + "@x.org>\r\n\r\nbody\r\n",
                              "uid" + n});
    }
  };
  environment_.makeTransport = [&box](const MailAccount&) { return box.Connect(); };
  environment_.mailMemoryDir = dir_.File("mail");
  settings_.options.RememberMail = "1";
  const auto run = [this] {
    Spoken spoken;
    auto controller = Make();
    MailAnnouncer announcer(spoken, spoken, controller->store(),
                            [&spoken](const Notice&) { ++spoken.notices; });
    announcer.SetWindowReady(true);
    controller->SetAnnouncer(&announcer);
    controller->StartCheck();
    EXPECT_TRUE(test::WaitForWorkers(*controller));
    controller->Shutdown();
    EXPECT_EQ(controller->store().Count(), static_cast<int>(view_.appended.size()));
    view_.appended.clear();
    return spoken;
  };
  deliver(2);
  EXPECT_EQ(run().texts.size(), 2u);
  EXPECT_EQ(run().texts.size(), 0u);  // restarted: nothing already announced
  deliver(1);
  EXPECT_EQ(run().texts.size(), 1u);  // delivered later: announced once
  EXPECT_EQ(run().texts.size(), 0u);

  // Thirty new with the summary at five: one sentence, one notice.
  settings_.options.AnnounceCountOver = "5";
  deliver(30);
  const Spoken many = run();
  EXPECT_EQ(many.texts, std::vector<std::string>{"You have 30 new messages"});
  EXPECT_EQ(many.notices, 1);
  EXPECT_EQ(run().texts.size(), 0u);
}

TEST_F(MailControllerTest, ADetachedViewHearsNothingOfAPassUnderWay) {
  std::promise<void> open;
  gate_ = open.get_future().share();
  auto controller = Make();
  controller->StartCheck();
  ASSERT_TRUE(test::WaitUntil([&] { return connections_ > 0; }));
  controller->AttachView(nullptr);  // as the session does before the window goes
  const size_t titlesBefore = view_.titles.size();
  open.set_value();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(controller->store().Count(), 1);  // the pass ran to its end
  EXPECT_TRUE(view_.appended.empty());
  EXPECT_EQ(view_.rebuilt, 0);
  EXPECT_EQ(view_.titles.size(), titlesBefore);  // not even the closing "Brindlecast"
}

TEST_F(MailControllerTest, NoSecondWorkerWhileOneRuns) {
  std::promise<void> open;
  gate_ = open.get_future().share();
  auto controller = Make();
  controller->StartCheck();
  controller->StartCheck();  // Check Emails while a check runs: nothing
  UiThreadRows rows;
  EXPECT_FALSE(controller->StartDelete(rows));  // Delete while a check runs: nothing
  open.set_value();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(connections_, 1);
  EXPECT_TRUE(controller->StartDelete(rows));
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(view_.titles.back(), "Brindlecast");
  EXPECT_NE(std::find(view_.titles.begin(), view_.titles.end(), "Brindlecast Deleting Email..."),
            view_.titles.end());
}

TEST_F(MailControllerTest, SuspendLetsARunningPassFinishAndStopsTheSchedule) {
  std::promise<void> open;
  gate_ = open.get_future().share();
  settings_.options.CheckMail = 1;
  settings_.options.Freq = "1";
  settings_.options.FreqUnit = FreqUnit::Seconds;
  auto controller = Make();
  controller->StartCheck();
  // The pass is under way, waiting at its first connection.
  ASSERT_TRUE(test::WaitUntil([&] { return connections_ > 0; }));
  controller->ToggleSuspend();
  EXPECT_TRUE(controller->suspended());
  open.set_value();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(view_.appended.size(), 1u);  // the pass under way ran to its end
  EXPECT_EQ(view_.suspendedShown, std::vector<bool>{true});

  // Suspended: the schedule starts nothing and a started pass returns at once.
  controller->ArmChecking();
  clock_.Advance(2);
  controller->scheduler().Tick();
  controller->StartCheck();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(connections_, 1);

  controller->ToggleSuspend();
  EXPECT_FALSE(controller->suspended());
  EXPECT_EQ(view_.icons.back(), TrayState::Idle);
  controller->scheduler().Tick();  // re-armed: a full period from now
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(connections_, 1);
}

TEST_F(MailControllerTest, ExitDeclinedRestartsTheTimingEvenWithCheckingOff) {
  settings_.options.CheckMail = 0;
  settings_.options.Freq = "2";
  settings_.options.FreqUnit = FreqUnit::Minutes;
  auto controller = Make();
  controller->Start();
  EXPECT_EQ(controller->scheduler().period(), 0);
  controller->SetBusy(true);
  controller->RestartAfterExitDeclined();
  EXPECT_FALSE(controller->Busy());
  EXPECT_EQ(controller->scheduler().period(), 120);
  controller->Shutdown();
}

TEST_F(MailControllerTest, CheckingTurnedOffStaysOffWhenTheBusyFlagClears) {
  settings_.options.CheckMail = 1;
  settings_.options.Freq = "1";
  settings_.options.FreqUnit = FreqUnit::Seconds;
  auto controller = Make();
  controller->Start();
  // Properties confirmed with "Check for new mail" off (no re-arm), then Play.
  settings_.options.CheckMail = 0;
  controller->SetBusy(false);
  clock_.Advance(2);
  // Ticked on a thread of its own, as the scheduler's thread does: the start is
  // handed to this (UI) thread.
  std::thread([&] { controller->scheduler().Tick(); }).join();
  QCoreApplication::processEvents();  // the start the scheduler handed over
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(connections_, 0);
  controller->Shutdown();
}

// In plain words first, the server's after; the tray rests on the disconnected
// picture until a pass goes well.
TEST_F(MailControllerTest, AFailedAccountsReasonReachesTheWindow) {
  std::atomic<bool> refuse{true};
  FakeTransport::Log refusedLog;
  environment_.makeTransport = [this, &refuse, &refusedLog](const MailAccount& account) {
    auto transport = std::make_unique<FakeTransport>(refuse ? refusedLog : log_);
    if (refuse) {
      transport->Serve("+OK\r\n")
          .Serve("-ERR\r\n")
          .Serve("+OK\r\n")
          .Serve("-ERR [AUTH] Authentication failed.\r\n");
    } else {
      for (const std::string& reply : OneMessageMailbox(account.UserName)) {
        transport->Serve(reply);
      }
    }
    return transport;
  };
  auto controller = Make();
  controller->StartCheck();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  ASSERT_EQ(view_.problems.size(), 1u);
  EXPECT_EQ(view_.problems[0],
            (CheckProblem{0,
                          "The server refused the password for alice (server said: -ERR "
                          "[AUTH] Authentication failed.)"}));
  EXPECT_EQ(view_.icons.back(), TrayState::Disconnected);
  EXPECT_TRUE(controller->failing());
  // The next pass that goes well clears it.
  refuse = false;
  controller->StartCheck();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_TRUE(view_.problems.empty());
  EXPECT_EQ(view_.icons.back(), TrayState::MailPresent);
}

// Over real sockets: a server that speaks no TLS, refuses STARTTLS, or is not
// there at all; each told in plain words, the tray disconnected.
TEST_F(MailControllerTest, ConnectionFailuresAreToldInPlainWords) {
  using S = test::ScriptedServer;
  struct Row {
    const char* security;
    std::vector<S::Step> script;  // empty: nothing listens
    const char* plain;
  };
  const Row rows[] = {
      {"1",
       {S::Send("+OK ready\r\n"), S::Pause(500)},
       "A secure connection to 127.0.0.1 could not be made (TLS connection to 127.0.0.1 failed"},
      {"2",
       {S::Send("+OK ready\r\n"), S::Expect("STLS"), S::Send("-ERR not here\r\n")},
       "127.0.0.1 does not offer a secure connection (STARTTLS) (the server refused STARTTLS"},
      {"0", {}, "The mail server 127.0.0.1 could not be reached on port "},
  };
  for (const Row& row : rows) {
    std::optional<S> server;
    int port = 0;
    if (!row.script.empty()) {
      server.emplace(row.script);
      port = server->port();
    } else {
      // A port that was just free: nothing listens there now.
      QTcpServer gone;
      ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
      port = gone.serverPort();
    }
    environment_.makeTransport = SocketTransportFactory(5000);
    settings_.accounts[0].POP3Server = "127.0.0.1";
    settings_.accounts[0].POP3Port = port;
    settings_.accounts[0].Passwd = "secret";
    settings_.accounts[0].Security = StoredSecurity::FromText(row.security);
    auto controller = Make();
    controller->StartCheck();
    ASSERT_TRUE(test::WaitForWorkers(*controller));
    ASSERT_EQ(view_.problems.size(), 1u) << row.plain;
    EXPECT_EQ(view_.problems[0].text.rfind(row.plain, 0), 0u) << view_.problems[0].text;
    EXPECT_EQ(view_.icons.back(), TrayState::Disconnected) << row.plain;
  }
}

TEST_F(MailControllerTest, NoAccountOpensThePropertiesAndGoesOnWithTheirResult) {
  settings_.accounts.clear();
  view_.onProperties = [this] {
    MailAccount account;
    account.UserName = "added";
    account.CheckMark = true;
    settings_.accounts.push_back(account);
  };
  auto controller = Make();
  controller->StartCheck();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(view_.propertiesOpened, 1);
  EXPECT_EQ(view_.appended, std::vector<std::string>{"added"});
}

// Exit while the sheet a pass opened is up: the pass stops waiting for the
// sheet, ends, and is joined before the sheet closes.
TEST_F(MailControllerTest, ExitWhileAPassWaitsForThePropertiesJoinsIt) {
  settings_.accounts.clear();
  auto controller = Make();
  bool joined = false;
  view_.onProperties = [&] {
    controller->Shutdown();
    joined = !controller->checkRunning();
  };
  controller->StartCheck();
  ASSERT_TRUE(test::WaitUntil([&] { return view_.propertiesOpened == 1; }));
  EXPECT_TRUE(joined);
  EXPECT_TRUE(view_.appended.empty());
}

TEST_F(MailControllerTest, EditsDuringAPassNeverReachIt) {
  std::promise<void> open;
  gate_ = open.get_future().share();
  auto controller = Make();
  controller->StartCheck();
  // The property sheet changes the account while the pass waits to connect.
  settings_.accounts[0].UserName = "renamed";
  open.set_value();
  ASSERT_TRUE(test::WaitForWorkers(*controller));
  EXPECT_EQ(view_.appended, std::vector<std::string>{"alice"});
  EXPECT_EQ(log_.sent.substr(0, 18), "CAPA\r\nUSER alice\r\n");
}

// Exit in the middle of a pass against a server that stops answering: the
// worker gives up at its next wait and is joined, long before the transport's
// own time limit, and nothing it used is touched after the controller is gone.
TEST_F(MailControllerTest, ShutdownCancelsAndJoinsAPassStalledOnTheServer) {
  test::ScriptedServer server({test::ScriptedServer::Send("+OK ready\r\n"),
                               test::ScriptedServer::Expect("CAPA"),
                               test::ScriptedServer::StallUntilClosed()});
  ReachOver(server);
  auto controller = Make();
  controller->StartCheck();
  ASSERT_TRUE(test::WaitUntil([&] { return !server.Received().empty(); }));
  const auto start = std::chrono::steady_clock::now();
  controller->Shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, MailController::kShutdownLimit);
  EXPECT_FALSE(controller->checkRunning());
  controller.reset();
  EXPECT_TRUE(server.Finish());
}

// Exit while the delete worker waits for a server that went quiet after DELE:
// the worker stops at its wait, deletes nothing more and is joined at once;
// the list is touched only on the UI thread, never after the exit.
TEST_F(MailControllerTest, ShutdownCancelsAndJoinsADeletionStalledOnTheServer) {
  using S = test::ScriptedServer;
  S server({S::Send("+OK ready\r\n"), S::Expect("USER alice"), S::Send("+OK\r\n"),
            S::Expect("PASS secret"), S::Send("+OK\r\n"), S::Expect("UIDL 1"),
            S::Send("+OK 1 uid-1\r\n"), S::Expect("TOP 1 0"),
            S::Send("+OK\r\nMessage-ID: <1@x>\r\n\r\n.\r\n"), S::Expect("DELE 1"),
            S::StallUntilClosed()});
  ReachOver(server);
  auto controller = Make();
  for (const int index : {0, 1}) {
    Envelope envelope;
    envelope.messageId = std::to_string(MakeMessageId(index, 0));
    envelope.uniqueId = "uid-" + std::to_string(index + 1);
    envelope.messageKey = "<" + std::to_string(index + 1) + "@x>";
    controller->store().Append(envelope);
  }
  UiThreadRows rows({MakeMessageId(0, 0), MakeMessageId(1, 0)});
  ASSERT_TRUE(controller->StartDelete(rows));
  ASSERT_TRUE(test::WaitUntil([&] {
    const std::vector<std::string> received = server.Received();
    return !received.empty() && received.back() == "DELE 1";
  }));
  const auto start = std::chrono::steady_clock::now();
  controller->Shutdown();
  EXPECT_LT(std::chrono::steady_clock::now() - start, MailController::kShutdownLimit / 2);
  EXPECT_FALSE(controller->deleteRunning());
  QCoreApplication::processEvents();  // a call still queued does nothing now
  EXPECT_EQ(rows.selected.size(), 2u);
  EXPECT_EQ(rows.offThread, 0);
  EXPECT_EQ(controller->store().Count(), 1);  // the second message left alone
  controller.reset();
  EXPECT_TRUE(server.Finish());
}

}  // namespace
}  // namespace bc
