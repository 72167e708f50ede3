// Shows the three pages side by side in tabs with sample content, for a look
// under a real display (Xvfb): pages_demo [seconds]. Not a test.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QTabWidget>
#include <QTimer>

#include "config/prompt.h"
#include "config/settings_store.h"
#include "mail/envelope_store.h"
#include "ui/pages/email_list.h"
#include "ui/pages/text_pages.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  bc::ConsolePrompt prompt;
  bc::SettingsStore settings(QDir::tempPath().toStdString() + "/pages_demo.conf", prompt);
  bc::EnvelopeStore store;
  const char* senders[] = {"Sales Desk", "Anna Lindqvist", "build robot", "Émile Zola", "Kim"};
  const char* subjects[] = {"Quarterly figures", "Lunch on Friday?", "Nightly build failed",
                            "Re: manuscript", "Photos from the trip"};
  for (int i = 0; i < 12; ++i) {
    bc::Envelope e;
    e.from = senders[i % 5];
    e.subject = subjects[(i * 3) % 5];
    e.address = "user" + std::to_string(i) + "@example.com";
    e.received = "2005/02/" + std::to_string(10 + i) + " 09:1" + std::to_string(i % 10) + ":00";
    e.size = std::to_string(1 + i * 7 % 23) + ".250 KB";
    e.account = i % 3 == 0 ? "work" : "home";
    e.attachment = std::to_string(i % 2);
    e.messageId = std::to_string(bc::MakeMessageId(i, i % 3 == 0 ? 0 : 1));
    store.Append(e);
  }
  bc::AppOptions options;
  options.From = options.Subject = options.Address = options.Received = options.size =
      options.Account = options.Attachment = 1;
  options.ShowEnvelopeInfo = true;

  QTabWidget tabs;
  tabs.setWindowTitle(QStringLiteral("Brindlecast"));
  auto* list = new bc::EmailList(store, settings);
  list->Rebuild(options);
  list->SetAccountsProgress(1, 2);
  list->SetEmailsProgress(5, 12);
  auto* text = new bc::TextReaderPage;
  text->SetText(QStringLiteral("The quick brown fox jumps over the lazy dog.\nSecond line.\n"));
  auto* clip = new bc::ClipboardReaderPage;
  QGuiApplication::clipboard()->setText(QStringLiteral("Text taken from the clipboard."));
  clip->Paste(prompt);
  tabs.addTab(list, QStringLiteral(" Email Reader "));
  tabs.addTab(text, QStringLiteral(" Text Reader "));
  tabs.addTab(clip, QStringLiteral(" Clipboard Reader "));
  const int page = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
  tabs.setCurrentIndex(page);
  tabs.resize(480, 320);  // about 320 x 212 dialog units
  tabs.show();
  const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 0;
  if (seconds > 0) {
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  }
  return QApplication::exec();
}
