#include "ui/window/main_window.h"
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "config/paths.h"
#include "config/settings_store.h"
#include "gui/window/session_fixture.h"
#include "speech/mail_announcer.h"
#include "speech/speech_engine.h"
#include "support/scripted_server.h"
#include "support/test_env.h"
#include "support/wait.h"
#include "ui/icon_button.h"
#include "ui/notice_presenter.h"
#include "ui/pages/email_list.h"
#include "ui/pages/envelope_table_model.h"
#include "ui/pages/text_pages.h"
#include "ui/tip_of_day_dialog.h"
#include "ui/tray_icon.h"
#include "ui/window/control_states.h"

namespace bc {
namespace {

bool WaitFor(const std::function<bool()>& condition, int ms = 5000) {
  return test::WaitUntil(condition, std::chrono::milliseconds(ms));
}

class MainWindowTest : public test::SessionTest {
 protected:
  void SetUp() override {
    // One account, checking off, every column on.
    WriteSettings({"From", "Subject", "Address", "Received", "size", "Account", "Attachment",
                   "ShowEnvelopeInfo"});
    StartSession();
  }

  bool Enabled(ToolButton button) { return window_->button(button)->isEnabled(); }
  bool MenuEnabled(Command command) { return window_->action(command)->isEnabled(); }

  void CheckMail() {
    window_->Refresh();
    ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
    ASSERT_EQ(window_->emailList().RowCount(), 3);
  }
};

// Plays the user's part in the modal dialogs as they come up, by their titles:
// each step runs once, from the event loop, so a step may open the next dialog.
class ModalScript : public QObject {
 public:
  using Step = std::function<void(QWidget&)>;
  explicit ModalScript(std::vector<std::pair<QString, Step>> steps) : steps_(std::move(steps)) {
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || done_ == steps_.size() || modal->windowTitle() != steps_[done_].first ||
          modal == last_) {
        return;
      }
      last_ = modal;
      QTimer::singleShot(0, modal, [this, modal, step = steps_[done_++].second] { step(*modal); });
    });
    timer_.start();
  }
  [[nodiscard]] bool Done() const { return done_ == steps_.size(); }

 private:
  std::vector<std::pair<QString, Step>> steps_;
  size_t done_ = 0;
  QPointer<QWidget> last_;
  QTimer timer_;
};

void Type(QWidget& dialog, const char* name, const QString& text) {
  auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
  ASSERT_NE(edit, nullptr) << name;
  edit->setText(text);
}

void Press(QWidget& dialog, const char* name) {
  auto* button = dialog.findChild<QAbstractButton*>(QString::fromLatin1(name));
  ASSERT_NE(button, nullptr) << name;
  button->click();
}

TEST_F(MainWindowTest, StartsOnTheEmailTabWithPlayOnly) {
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Brindlecast"));
  EXPECT_EQ(window_->CurrentTab(), Tab::Email);
  EXPECT_EQ(window_->tabs().tabText(2), QStringLiteral(" Clipboard Reader "));
  EXPECT_TRUE(Enabled(ToolButton::Play));
  EXPECT_TRUE(MenuEnabled(Command::Play));
  EXPECT_FALSE(Enabled(ToolButton::Pause));
  EXPECT_FALSE(Enabled(ToolButton::Stop));
  EXPECT_FALSE(Enabled(ToolButton::Open));
  EXPECT_EQ(window_->button(ToolButton::Delete)->toolTip(),
            QStringLiteral("Delete selected itmems"));
  EXPECT_EQ(window_->action(Command::Play)->text(),
            QStringLiteral("&Play"));  // the shortcut is its own
}

TEST_F(MainWindowTest, ControlsAreFoundByTheirNames) {
  const std::pair<ToolButton, const char*> buttons[] = {{ToolButton::Play, "playButton"},
                                                        {ToolButton::Delete, "deleteButton"},
                                                        {ToolButton::Close, "closeButton"}};
  for (const auto& [id, name] : buttons) {
    EXPECT_EQ(window_->findChild<CIconButton*>(QString::fromLatin1(name)), window_->button(id))
        << name;
  }
  const std::pair<Command, const char*> actions[] = {{Command::Play, "playAction"},
                                                     {Command::Delete, "deleteAction"},
                                                     {Command::SaveToWav, "saveToWavAction"}};
  for (const auto& [id, name] : actions) {
    EXPECT_EQ(window_->findChild<QAction*>(QString::fromLatin1(name)), window_->action(id)) << name;
  }
}

TEST_F(MainWindowTest, CloseAndSecondStartNeverLoseTheWindow) {
  // Hiding is only for where the tray can bring the window back; elsewhere
  // closing minimises and a second start always brings the window forward.
  const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
  window_->close();
  EXPECT_EQ(window_->isVisible(), !tray);
  EXPECT_EQ(window_->isMinimized(), !tray);
  window_->AnswerSecondStart(QString());
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(window_->isMinimized());
  window_->AnswerSecondStart(QString());  // a tray toggles
  EXPECT_EQ(window_->isVisible(), !tray);
  window_->showNormal();
  QTest::keyClick(window_, Qt::Key_Escape);
  EXPECT_EQ(window_->isVisible(), !tray);
  window_->showNormal();
  window_->showMinimized();
  EXPECT_TRUE(WaitFor([&] { return window_->isVisible() == !tray; }));
  // Still working: a check runs minimised or hidden.
  CheckMail();
}

TEST_F(MainWindowTest, RefreshListsTheMailboxAndPlayReadsTheSelection) {
  CheckMail();
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Brindlecast"));
  window_->announcer().Stop();
  window_->emailList().SelectOnly(1);
  window_->Play();
  EXPECT_FALSE(Enabled(ToolButton::Play));
  EXPECT_TRUE(Enabled(ToolButton::Pause));
  EXPECT_TRUE(Enabled(ToolButton::Stop));
  EXPECT_EQ(window_->announcer().ReadIdQueue(), std::vector<std::string>{"65536"});
  window_->Stop();
  EXPECT_TRUE(Enabled(ToolButton::Play));
  EXPECT_FALSE(Enabled(ToolButton::Stop));
  EXPECT_TRUE(window_->announcer().ReadQueue().empty());
}

TEST_F(MainWindowTest, ReadEmailWalksTheWholeList) {
  CheckMail();
  window_->speech().StopSpeaking();
  // The message selected as each text starts to be spoken.
  std::vector<std::string> selectedWhenSpoken;
  QObject::connect(&window_->speech(), &SpeechEngine::SpeakingStarted, [&] {
    const std::vector<long long> ids = window_->emailList().SelectedMessageIds();
    selectedWhenSpoken.push_back(ids.size() == 1 ? std::to_string(ids.front()) : "none or many");
  });
  window_->ReadEmail();
  EXPECT_TRUE(window_->announcer().readAll());
  const std::vector<std::string> queue = window_->announcer().ReadIdQueue();
  ASSERT_EQ(queue.size(), 3u);
  // Each finished text moves the selection to the next message.
  ASSERT_TRUE(WaitFor([&] { return !window_->announcer().readAll(); }, 30000));
  ASSERT_TRUE(WaitFor([&] { return !window_->IsVoiceBusy(); }, 30000));
  // From the second text on, the message spoken is the one selected.
  ASSERT_EQ(selectedWhenSpoken.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(selectedWhenSpoken.begin() + 1, selectedWhenSpoken.end()),
            std::vector<std::string>(queue.begin() + 1, queue.end()));
}

TEST_F(MainWindowTest, DeleteAsksFirstAndNoDeletesNothing) {
  window_->Delete();  // nothing selected: nothing asked
  EXPECT_TRUE(prompt_.questions.empty());
  CheckMail();
  window_->emailList().SelectOnly(0);
  prompt_.answer = false;
  window_->Delete();
  EXPECT_EQ(prompt_.questions,
            std::vector<std::string>{"Do you want to delete?\n\nSender 1: Subject 1"});
  EXPECT_FALSE(window_->controller().deleteRunning());
  EXPECT_EQ(window_->emailList().RowCount(), 3);  // untouched since the exit
}

// The user's choice survives the next check, the question names it, and the
// Delete key deletes it on the server.
TEST_F(MainWindowTest, ASelectionKeptThroughAPassIsWhatTheDeleteKeyDeletes) {
  CheckMail();
  window_->emailList().SelectOnly(1);
  window_->announcer().Stop();
  CheckMail();
  EXPECT_EQ(window_->emailList().SelectedMessageIds(), std::vector<long long>{65536});

  using S = test::ScriptedServer;
  S server({S::Send("+OK ready\r\n"), S::Expect("USER alice"), S::Send("+OK\r\n"),
            S::Expect("PASS secret"), S::Send("+OK\r\n"), S::Expect("TOP 2 0"),
            S::Send(test::FakeMessage(2, "Subject 2")), S::Expect("DELE 2"), S::Send("+OK\r\n"),
            S::Expect("QUIT"), S::Send("+OK\r\n")});
  MailAccount& account = window_->settings().accounts[0];
  account.POP3Server = "127.0.0.1";
  account.POP3Port = server.port();
  account.Passwd = "secret";
  prompt_.answer = true;
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
  window_->emailList().view()->setFocus();
  QTest::keyClick(window_->emailList().view(), Qt::Key_Delete);
  EXPECT_EQ(prompt_.questions,
            std::vector<std::string>{"Do you want to delete?\n\nSender 2: Subject 2"});
  ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
  EXPECT_TRUE(server.Finish());
  EXPECT_EQ(window_->emailList().RowCount(), 2);
}

// A refused password: plain words under the list with the server's after them,
// the tray disconnected, and Edit Account opens that account's pages; changed
// there, the account is checked again at once.
TEST_F(MainWindowTest, ARefusedPasswordSaysSoAndOffersTheAccount) {
  using S = test::ScriptedServer;
  S server({S::Send("+OK ready\r\n"), S::Expect("CAPA"), S::Send("-ERR\r\n"),
            S::Expect("USER alice"), S::Send("+OK\r\n"), S::Expect("PASS wrong"),
            S::Send("-ERR [AUTH] Authentication failed.\r\n"), S::Accept(),
            S::Send("+OK ready\r\n"), S::Expect("CAPA"), S::Send("-ERR\r\n"),
            S::Expect("USER alice"), S::Send("+OK\r\n"), S::Expect("PASS secret"),
            S::Send("+OK\r\n"), S::Expect("STAT"), S::Send("+OK 0 0\r\n"), S::Expect("QUIT"),
            S::Send("+OK\r\n")});
  MailAccount& account = window_->settings().accounts[0];
  account.POP3Server = "127.0.0.1";
  account.POP3Port = server.port();
  account.Passwd = "wrong";
  window_->Refresh();
  ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
  CheckProblemsBox* box = window_->emailList().problemsLine();
  ASSERT_EQ(box->lines().size(), 1);
  EXPECT_EQ(box->lines()[0]->text(),
            QStringLiteral("The server refused the password for alice@127.0.0.1 (server said: "
                           "-ERR [AUTH] Authentication failed.)"));
  EXPECT_FALSE(box->isHidden());
  EXPECT_EQ(window_->tray().image(), TrayImage::Disconnected);

  ModalScript script({{QStringLiteral("Account Properties"), [](QWidget& sheet) {
                         Type(sheet, "passwordEdit", QStringLiteral("secret"));
                         Press(sheet, "okButton");
                       }}});
  box->editButtons()[0]->click();
  EXPECT_TRUE(script.Done());
  EXPECT_EQ(window_->settings().accounts[0].Passwd, "secret");
  ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
  EXPECT_TRUE(server.Finish());
  EXPECT_TRUE(box->isHidden());
  EXPECT_EQ(window_->tray().image(), TrayImage::Idle);
}

TEST_F(MainWindowTest, ReturnPressesTheFocusedControlAndNeverHides) {
  CheckMail();
  window_->Stop();
  window_->emailList().SelectOnly(0);
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
  window_->emailList().view()->setFocus();
  QTest::keyClick(window_->emailList().view(), Qt::Key_Return);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_FALSE(Enabled(ToolButton::Play));  // the row is being read aloud
  window_->Stop();
  for (const ToolButton id :
       {ToolButton::Open, ToolButton::Save, ToolButton::Play, ToolButton::Pause, ToolButton::Stop,
        ToolButton::Delete, ToolButton::Refresh}) {
    window_->button(id)->setEnabled(true);
    window_->button(id)->setFocus();
    QTest::keyClick(window_->button(id), Qt::Key_Return);
    EXPECT_TRUE(window_->isVisible()) << ObjectName(id);
    ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
    window_->Stop();
  }
  // Pressed, not ignored: Delete asked its question.
  EXPECT_EQ(prompt_.questions.size(), 1u);
}

TEST_F(MainWindowTest, APassThatSpeaksNothingLeavesPlayOn) {
  window_->settings().options.NotificationMethod = 2;  // silently
  CheckMail();
  EXPECT_FALSE(window_->IsVoiceBusy());
  EXPECT_TRUE(Enabled(ToolButton::Play));
  EXPECT_TRUE(MenuEnabled(Command::Play));
}

TEST_F(MainWindowTest, DeleteActsOnlyOnTheEmailReaderPage) {
  window_->ShowTab(Tab::Clipboard);
  CheckMail();
  window_->emailList().SelectOnly(0);
  EXPECT_FALSE(Enabled(ToolButton::Delete));
  window_->Delete();
  EXPECT_TRUE(prompt_.questions.empty());
}

TEST_F(MainWindowTest, ClipboardLimits) {
  window_->ShowTab(Tab::Clipboard);
  window_->clipboardPage().SetText(QString(20001, QLatin1Char('a')));
  window_->Play();
  EXPECT_EQ(prompt_.messages, std::vector<std::string>{"Over 20000 characters in clipboard"});
  EXPECT_FALSE(window_->IsVoiceBusy());
  window_->clipboardPage().SetText(QString(20000, QLatin1Char('a')));
  window_->Play();
  EXPECT_EQ(prompt_.messages.size(), 1u);
  EXPECT_TRUE(window_->IsVoiceBusy());
  window_->Pause();  // paused, Pause is the way back and says so
  EXPECT_EQ(window_->action(Command::Pause)->text(), QStringLiteral("Res&ume"));
  EXPECT_EQ(window_->button(ToolButton::Pause)->toolTip(), QStringLiteral("Resume playing"));
  window_->Pause();
  EXPECT_EQ(window_->action(Command::Pause)->text(), QStringLiteral("Pa&use"));
  window_->Stop();
  EXPECT_FALSE(window_->IsVoiceBusy());
}

TEST_F(MainWindowTest, CtrlVInAReaderBoxRunsPasteClipboard) {
  window_->textPage().SetText(QStringLiteral("file text"));
  const std::pair<Tab, QPlainTextEdit*> boxes[] = {
      {Tab::Clipboard, window_->clipboardPage().textBox()},
      {Tab::Text, window_->textPage().textBox()}};
  for (const auto& [tab, box] : boxes) {
    window_->ShowTab(tab);
    QApplication::clipboard()->setText(QStringLiteral("fresh"));
    window_->clipboardPage().SetText(QStringLiteral("old text"));
    box->moveCursor(QTextCursor::End);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(window_->clipboardPage().Text(), QStringLiteral("fresh"));
    EXPECT_EQ(window_->CurrentTab(), Tab::Clipboard);
  }
  EXPECT_EQ(window_->textPage().Text(), QStringLiteral("file text"));  // not pasted into
  QApplication::clipboard()->clear();
  QTest::keyClick(window_->clipboardPage().textBox(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(prompt_.messages, std::vector<std::string>{"Clipboard is empty"});
}

TEST_F(MainWindowTest, TabChangesFollowTheirRules) {
  window_->tabs().setCurrentIndex(IndexOf(Tab::Text));  // empty text: the open dialog comes up
  EXPECT_EQ(prompt_.fileRequests.size(), 1u);
  EXPECT_TRUE(Enabled(ToolButton::Open));  // Open on the Text Reader
  QApplication::clipboard()->setText(QStringLiteral("pasted text"));
  window_->tabs().setCurrentIndex(IndexOf(Tab::Clipboard));
  EXPECT_EQ(window_->clipboardPage().Text(), QStringLiteral("pasted text"));
  window_->clipboardPage().SetText(QStringLiteral("edited"));
  window_->tabs().setCurrentIndex(IndexOf(Tab::Email));
  window_->tabs().setCurrentIndex(IndexOf(Tab::Clipboard));  // pasted again: the edit is gone
  EXPECT_EQ(window_->clipboardPage().Text(), QStringLiteral("pasted text"));
  EXPECT_FALSE(Enabled(ToolButton::Open));
}

TEST_F(MainWindowTest, AlwaysOnTopTwiceReturnsToNormal) {
  QAction* onTop = window_->action(Command::AlwaysOnTop);
  onTop->trigger();
  EXPECT_TRUE(onTop->isChecked());
  EXPECT_TRUE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  onTop->trigger();
  EXPECT_FALSE(onTop->isChecked());
  EXPECT_FALSE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

// A first run creates its settings file once the window is up, not before:
// writing a new file waits for the disk. The window's icon comes then too.
using FirstRunTest = test::SessionTest;
TEST_F(FirstRunTest, WritesItsSettingsAndTakesItsIconOnceTheWindowIsUp) {
  const std::string file = dir_.File("first-run.conf");
  StartSession(file);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(file)));
  EXPECT_TRUE(session_->window().windowIcon().isNull());  // drawn after the first frame
  session_->FinishStart();
  QSettings raw(QString::fromStdString(file), QSettings::IniFormat);
  EXPECT_TRUE(raw.contains(QStringLiteral("UserAccounts/Users")));
  EXPECT_FALSE(session_->window().windowIcon().isNull());
}

TEST_F(MainWindowTest, ExitNoGoesOnAndYesSavesTheSettings) {
  window_->settings().options.Freq = "7";
  prompt_.answer = false;
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
  QTest::keyClick(window_, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(prompt_.questions, std::vector<std::string>{"Do you want to exit?"});
  EXPECT_FALSE(window_->Exit());
  EXPECT_FALSE(window_->controller().Busy());
  EXPECT_EQ(test::ReadFile(SettingsFilePath()).find("Freq=7"), std::string::npos);
  prompt_.answer = true;
  EXPECT_TRUE(window_->Exit());
  QSettings raw(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat);
  EXPECT_EQ(raw.value(QStringLiteral("Freq")).toString(), QStringLiteral("7"));
}

// Exit while a deletion waits for a server that went quiet after DELE: the
// program ends at once with the settings saved, the delete worker joined, and
// nothing more deleted.
TEST_F(MainWindowTest, ExitDuringAStalledDeletionEndsAtOnce) {
  CheckMail();
  using S = test::ScriptedServer;
  S server({S::Send("+OK ready\r\n"), S::Expect("USER alice"), S::Send("+OK\r\n"),
            S::Expect("PASS secret"), S::Send("+OK\r\n"), S::Expect("TOP 1 0"),
            S::Send(test::FakeMessage(1, "Subject 1")), S::Expect("DELE 1"),
            S::StallUntilClosed()});
  MailAccount& account = window_->settings().accounts[0];
  account.POP3Server = "127.0.0.1";
  account.POP3Port = server.port();
  account.Passwd = "secret";
  window_->settings().options.Freq = "7";
  window_->emailList().SelectAll();
  prompt_.answer = true;
  window_->Delete();
  ASSERT_TRUE(WaitFor([&] {
    const std::vector<std::string> received = server.Received();
    return !received.empty() && received.back() == "DELE 1";
  }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(window_->Exit());
  EXPECT_LT(std::chrono::steady_clock::now() - start, MailController::kShutdownLimit / 2);
  EXPECT_FALSE(window_->controller().deleteRunning());
  EXPECT_EQ(window_->emailList().RowCount(), 3);  // untouched since the exit
  QSettings raw(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat);
  EXPECT_EQ(raw.value(QStringLiteral("Freq")).toString(), QStringLiteral("7"));
  EXPECT_TRUE(server.Finish());
}

using StartupTest = test::SessionTest;

// A first start (every value empty): Refresh finds no account and opens the
// sheet; the first account comes with the starter settings ticked, and the
// pass goes on at once with them: the list shows From, Subject and Received,
// each message is announced by sender and subject, one notice counts them.
TEST_F(StartupTest, TheFirstAccountIsCheckedAtOnceWithTheStarterSettings) {
  QSettings(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat).clear();
  using S = test::ScriptedServer;
  S server({S::Send("+OK ready\r\n"), S::Expect("CAPA"), S::Send("-ERR\r\n"),
            S::Expect("USER alice"), S::Send("+OK\r\n"), S::Expect("PASS secret"),
            S::Send("+OK\r\n"), S::Expect("STAT"), S::Send("+OK 2 200\r\n"), S::Expect("LIST"),
            S::Send("+OK\r\n1 100\r\n2 100\r\n.\r\n"), S::Expect("UIDL"), S::Send("-ERR\r\n"),
            S::Expect("RETR 1"), S::Send(test::FakeMessage(1, "Lunch")), S::Expect("RETR 2"),
            S::Send(test::FakeMessage(2, "Minutes")), S::Expect("QUIT"), S::Send("+OK\r\n")});
  StartSession();
  ASSERT_TRUE(window_->settings().accounts.empty());
  EXPECT_EQ(window_->settings().options.CheckMail, 0);
  const QString port = QString::number(server.port());
  ModalScript script({
      {QStringLiteral("Brindlecast Properties"),
       [](QWidget& sheet) {
         Press(sheet, "addButton");
         Press(sheet, "okButton");
       }},
      {QStringLiteral("Account Properties"),
       [port](QWidget& sheet) {
         Type(sheet, "serverEdit", QStringLiteral("127.0.0.1"));
         Type(sheet, "portEdit", port);
         Type(sheet, "userEdit", QStringLiteral("alice"));
         Type(sheet, "passwordEdit", QStringLiteral("secret"));
         Press(sheet, "okButton");
       }},
      {QStringLiteral("Start Watching"), [](QWidget& offer) { Press(offer, "okButton"); }},
  });
  window_->Refresh();
  ASSERT_TRUE(WaitFor([&] { return script.Done(); }, 10000));
  ASSERT_TRUE(test::WaitForWorkers(window_->controller()));
  EXPECT_TRUE(server.Finish());

  const AppOptions& options = window_->settings().options;
  EXPECT_EQ(CheckPeriodSeconds(options), std::optional<long long>(300));
  const EnvelopeTableModel& model = *window_->emailList().model();
  ASSERT_EQ(model.rowCount(), 2);
  QStringList headings;
  for (int c = 0; c < model.columnCount(); ++c) {
    headings << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  }
  EXPECT_EQ(headings, (QStringList{QStringLiteral("From"), QStringLiteral("Subject"),
                                   QStringLiteral("Received")}));
  EXPECT_EQ(window_->announcer().AnnouncedKeys(), (std::vector<std::string>{"<1@x>", "<2@x>"}));
  EXPECT_EQ(
      ComposeSpokenText(options, window_->controller().store().Get(0), LabelSet::Announcement),
      "Mail from: Sender 1; Subject is: Lunch; ");
  const CNoticeWnd* notice = window_->notices().windows().Current(NoticeKind::NewMail);
  ASSERT_NE(notice, nullptr);
  EXPECT_TRUE(
      notice->text().endsWith(QStringLiteral("2 new messages, from Sender\u00A01 and "
                                             "Sender\u00A02")))
      << notice->text().toStdString();
  // Saved: the next start watches the same way.
  QSettings raw(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat);
  EXPECT_EQ(raw.value(QStringLiteral("CheckMail")).toString(), QStringLiteral("1"));
  EXPECT_EQ(raw.value(QStringLiteral("RememberMail")).toString(), QStringLiteral("1"));
  EXPECT_EQ(raw.value(QStringLiteral("AnnounceCountOver")).toString(), QStringLiteral("10"));
}

TEST_F(StartupTest, TheTipAtStartDoesNotHoldTheScheduledChecks) {
  WriteSettings({"From", "ShowEnvelopeInfo", "CheckMail", "Freq"});  // every second
  QSettings(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat)
      .setValue(QStringLiteral("FreqUnit"), QStringLiteral("0"));
  StartSession();
  QPointer<CTipOfDayDlg> tip =
      ShowStartupTip(window_, prompt_, dir_.File("none.dat"), dir_.File("tips.ini"));
  ASSERT_FALSE(tip.isNull());
  EXPECT_FALSE(tip->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(WaitFor([&] { return window_->emailList().RowCount() == 3; }, 15000));
  EXPECT_TRUE(tip->isVisible());
  tip->close();
  EXPECT_TRUE(WaitFor([&] { return tip.isNull(); }));
}

}  // namespace
}  // namespace bc
