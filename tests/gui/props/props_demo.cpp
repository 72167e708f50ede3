// Shows the property sheet's pages and dialogs one after another and saves a
// picture of each into a folder, for looking at them under a real display
// (Xvfb): props_demo <folder>. Not a test.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <iostream>

#include "config/settings_store.h"
#include "quiet_host.h"
#include "ui/props/account_sheet.h"
#include "ui/props/field_options.h"
#include "ui/props/option_pages.h"
#include "ui/props/properties_command.h"
#include "ui/props/property_sheet.h"

namespace {

class ConsoleVoices final : public bc::VoiceSelector {
 public:
  std::vector<bc::VoiceInfo> Voices() const override {
    return {{"gmw/en", "English (Great Britain)", "en"},
            {"gmw/en-US", "English (America)", "en-us"}};
  }
  std::string CurrentVoice() const override { return "gmw/en"; }
  bool MakeDefault(const std::string&) override { return true; }
};

void Save(QWidget& widget, const QString& folder, const QString& name) {
  widget.show();
  widget.adjustSize();
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
  }
  const QString path = folder + QStringLiteral("/") + name + QStringLiteral(".png");
  widget.grab().save(path);
  std::cout << path.toStdString() << std::endl;
  // PROPS_DEMO_HOLD_MS keeps each picture on the screen a while, for a
  // screenshot of the whole display.
  const int hold = qEnvironmentVariableIntValue("PROPS_DEMO_HOLD_MS");
  QElapsedTimer shown;
  shown.start();
  while (shown.elapsed() < hold) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
  QDir().mkpath(folder);

  bc::ConsolePrompt prompt;
  bc::SettingsStore store(QDir::tempPath().toStdString() + "/props_demo.conf", prompt);
  ConsoleVoices voices;
  bc::Settings settings;
  settings.options.CheckMail = 1;
  settings.options.Freq = "5";
  settings.options.FreqUnit = bc::FreqUnit::Minutes;
  settings.options.ComboLines = "3";
  settings.options.CheckLines = 1;
  settings.options.NotificationMethod = 1;
  settings.options.wavFile = "/usr/share/sounds/new-mail.wav";
  settings.options.ShowEnvelopeInfo = true;
  for (const char* user : {"alice", "bob"}) {
    bc::MailAccount a;
    a.UserName = user;
    a.POP3Server = "pop.example.org";
    a.POP3Port = 110;
    a.RememberPasswd = true;
    a.Passwd = "secret";
    a.MailCap = true;
    a.MailCapValue = "50";
    a.MailCapUnit = "MB";
    a.ApproveSender = "friend@example.org;example.net;";
    a.CheckMark = user[0] == 'a';
    if (a.CheckMark) {  // one account of each protocol
      a.Protocol = "IMAP";
      a.POP3Server = "imap.example.org";
      a.POP3Port = 993;
      a.Security = bc::Security::Tls;
    }
    settings.accounts.push_back(a);
  }

  // Each dialog the command opens is pictured on every page, then cancelled.
  bc::DialogRunner runner = [&](QDialog& dialog) {
    if (auto* sheet = qobject_cast<bc::PropertySheet*>(&dialog)) {
      const QString stem = dialog.windowTitle().replace(QLatin1Char(' '), QLatin1Char('_'));
      for (int i = 0; i < sheet->PageCount(); ++i) {
        sheet->SetActivePage(i);
        Save(dialog, folder, stem + QString::number(i));
      }
      if (dialog.windowTitle() == QStringLiteral("Brindlecast Properties")) {
        auto* tree = dialog.findChild<QTreeWidget*>(QStringLiteral("accountTree"));
        sheet->SetActivePage(0);
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        dialog.findChild<QAbstractButton*>(QStringLiteral("editButton"))->click();
        sheet->SetActivePage(1);
        dialog.findChild<QAbstractButton*>(QStringLiteral("envelopeOptionsButton"))->click();
      }
    } else {
      Save(dialog, folder, dialog.windowTitle().replace(QLatin1Char(' '), QLatin1Char('_')));
    }
    return static_cast<int>(QDialog::Rejected);
  };
  bc::test::QuietHost host;
  const bc::PropsContext context{prompt, store, voices, runner};
  bc::PropertiesCommand().Run(nullptr, settings, host, context);

  bc::CSpeechOptionsDlg speech(settings.options, false, prompt, voices);
  Save(speech, folder, QStringLiteral("Email_Speech_Options"));
  bc::CSenderInfoDlg sender;
  Save(sender, folder, QStringLiteral("Sender_Information"));
  return 0;
}
