// The desktop session that the window tests start: a settings file the test
// writes, silent audio, the test's prompt for every question and dialog, and a
// fake mailbox of three messages behind every account that names no server.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <array>
#include <initializer_list>
#include <memory>
#include <string>

#include "app/desktop_session.h"
#include "config/paths.h"
#include "config/settings_store.h"
#include "support/fake_mailbox.h"
#include "support/test_env.h"
#include "ui/window/main_window.h"

namespace bc::test {

using Subjects = std::array<std::string, 3>;

// Message n of the mailbox, from "Sender n".
inline std::string MessageText(int n, const std::string& subject) {
  return "From: Sender " + std::to_string(n) + " <s" + std::to_string(n) +
         "@example.com>\r\nSubject: " + subject + "\r\nMessage-ID: <" + std::to_string(n) +
         "@x>\r\n\r\nBody.\r\n";
}

// The reply to RETR of message n.
inline std::string FakeMessage(int n, const std::string& subject) {
  return "+OK\r\n" + MessageText(n, subject) + ".\r\n";
}

// A fresh mailbox of three messages (no UIDL) for every connection.
inline std::unique_ptr<Pop3Transport> ThreeMessages(const Subjects& subjects) {
  auto box = std::make_shared<FakeMailbox>();
  box->offersUidl = false;
  for (int n = 1; n <= 3; ++n) {
    box->messages.push_back({MessageText(n, subjects[n - 1]), ""});
  }
  return FakeMailbox::ConnectOwned(std::move(box));
}

class SessionTest : public ::testing::Test {
 protected:
  // A fresh settings file: one account "alice", checking off, the subject
  // spoken, and the list columns (value names) `columns` on.
  static void WriteSettings(std::initializer_list<const char*> columns) {
    QSettings raw(QString::fromStdString(SettingsFilePath()), QSettings::IniFormat);
    raw.clear();
    for (const char* key : columns) {
      raw.setValue(QString::fromLatin1(key), QStringLiteral("1"));
    }
    raw.setValue(QStringLiteral("Speak/SpeakSubject"), QStringLiteral("1"));
    raw.setValue(QStringLiteral("UserAccounts/Users"), QStringLiteral("1"));
    raw.setValue(QStringLiteral("UserAccounts/user1/UserName"), QStringLiteral("alice"));
    raw.setValue(QStringLiteral("UserAccounts/user1/CheckMark"), QStringLiteral("1"));
    raw.sync();
  }

  // Starts the session on `settingsFile` and shows its window.
  void StartSession(const std::string& settingsFile = SettingsFilePath(),
                    Subjects subjects = {"Subject 1", "Subject 2", "Subject 3"}) {
    store_ = std::make_unique<SettingsStore>(settingsFile, prompt_);
    MailEnvironment environment;
    environment.commandLogPath = dir_.File("command.log");
    environment.deletedLogDir = dir_.File("Log");
    // An account that names a server reaches it over a real socket (a test's
    // scripted server); the others read the fake mailbox.
    environment.makeTransport = [this, subjects,
                                 socket = SocketTransportFactory()](const MailAccount& account) {
      return account.POP3Server.empty() ? ThreeMessages(subjects) : socket(account);
    };
    session_ = std::make_unique<DesktopSession>(
        SessionSetup{*store_, environment, nullptr, /*silentAudio=*/true, &prompt_});
    window_ = &session_->window();
    window_->show();
  }

  void TearDown() override {
    if (session_) {
      window_->speech().StopSpeaking();
    }
    window_ = nullptr;
    session_.reset();
  }

  TempDir dir_;
  RecordingPrompt prompt_;
  std::unique_ptr<SettingsStore> store_;
  std::unique_ptr<DesktopSession> session_;
  MainWindow* window_ = nullptr;
};

}  // namespace bc::test
