#include "cli/check_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "config/paths.h"
#include "config/prompt.h"
#include "config/settings.h"
#include "config/settings_store.h"
#include "mail/check_cycle.h"

namespace bc::cli {
namespace {

constexpr const char* kHelp =
    "Usage: brindlecast check [--json] [--account NAME]\n"
    "\n"
    "Runs one check pass over the enabled accounts of the settings file, exactly\n"
    "as the desktop program does: every message is retrieved and decoded, spam is\n"
    "deleted on the server (and logged when \"Log Deleted Email Information\" is on),\n"
    "and the envelopes of the accepted messages are printed.\n"
    "\n"
    "  --json          print one JSON object instead of a table\n"
    "  --account NAME  check only the account whose user name is NAME, enabled or not\n"
    "\n"
    "Exit status:\n"
    "  0  every enabled account was checked completely\n"
    "  1  an account could not be checked, or was checked incompletely (a message\n"
    "     could not be retrieved, was skipped, or a spam deletion was not confirmed\n"
    "     by the server), or no account is configured\n"
    "  2  bad usage\n";

const char* StatusWord(AccountOutcome::Status status) {
  switch (status) {
    case AccountOutcome::Status::Skipped:
      return "skipped";
    case AccountOutcome::Status::Checked:
      return "checked";
    case AccountOutcome::Status::Incomplete:
      return "incomplete";
    case AccountOutcome::Status::Failed:
      return "failed";
  }
  return "";
}

// Collects what the pass reports; the console shows it when the pass is over.
class ConsoleObserver final : public CheckObserver {
 public:
  void AccountFinished(const AccountOutcome& outcome) override { outcomes.push_back(outcome); }
  void StorageAlert(const std::string& text) override {
    // The notice text starts with the program name and a run of blanks.
    const size_t start = text.find("Your email account");
    std::fprintf(stderr, "brindlecast: %s\n",
                 text.substr(start == std::string::npos ? 0 : start).c_str());
  }
  void NoAccountConfigured(Settings&) override { noAccount = true; }

  std::vector<AccountOutcome> outcomes;
  bool noAccount = false;
};

// Fits UTF-8 text into a column of `width` characters: control characters
// become blanks, a longer text ends in "~", a shorter one is padded.
std::string Fit(const std::string& text, size_t width) {
  std::string out;
  size_t used = 0;
  size_t i = 0;
  while (i < text.size() && used < width) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (used + 1 == width && i + length < text.size()) {
      out += '~';  // more follows than fits
    } else if (c < 0x20) {
      out += ' ';
    } else {
      out.append(text, i, length);
    }
    ++used;
    i += length;
  }
  out.append(width - used, ' ');
  return out;
}

void PrintTable(const std::vector<Envelope>& envelopes) {
  const char* headers[] = {"From", "Subject", "Address",   "Received",
                           "Size", "Account", "Attachment"};
  const size_t widths[] = {22, 36, 28, 19, 12, 12, 10};
  std::string line;
  for (size_t c = 0; c < 7; ++c) {
    line += Fit(headers[c], widths[c]) + (c < 6 ? "  " : "");
  }
  std::printf("%s\n", line.c_str());
  for (const Envelope& e : envelopes) {
    const std::string* fields[] = {&e.from, &e.subject, &e.address,   &e.received,
                                   &e.size, &e.account, &e.attachment};
    line.clear();
    for (size_t c = 0; c < 7; ++c) {
      line += Fit(*fields[c], widths[c]) + (c < 6 ? "  " : "");
    }
    std::printf("%s\n", line.c_str());
  }
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

void PrintJson(const std::vector<Envelope>& envelopes,
               const std::vector<AccountOutcome>& outcomes) {
  QJsonArray list;
  for (const Envelope& e : envelopes) {
    list.append(QJsonObject{{QStringLiteral("from"), Q(e.from)},
                            {QStringLiteral("subject"), Q(e.subject)},
                            {QStringLiteral("address"), Q(e.address)},
                            {QStringLiteral("received"), Q(e.received)},
                            {QStringLiteral("size"), Q(e.size)},
                            {QStringLiteral("account"), Q(e.account)},
                            {QStringLiteral("attachment"), Q(e.attachment)}});
  }
  QJsonArray accounts;
  for (const AccountOutcome& o : outcomes) {
    QJsonObject account{{QStringLiteral("account"), Q(o.userName)},
                        {QStringLiteral("status"), QString::fromLatin1(StatusWord(o.status))},
                        {QStringLiteral("messages"), o.messages},
                        {QStringLiteral("deletedAsSpam"), o.deletedAsSpam}};
    if (!o.error.empty()) {
      account.insert(QStringLiteral("error"), Q(o.error));
    }
    accounts.append(account);
  }
  const QByteArray json = QJsonDocument(QJsonObject{{QStringLiteral("envelopes"), list},
                                                    {QStringLiteral("accounts"), accounts}})
                              .toJson(QJsonDocument::Indented);
  std::fwrite(json.constData(), 1, static_cast<size_t>(json.size()), stdout);
}

}  // namespace

int RunCheckCommand(const std::vector<std::string>& args) {
  bool json = false;
  std::string only;
  bool haveOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--account" && i + 1 < args.size()) {
      only = args[++i];
      haveOnly = true;
    } else {
      std::fprintf(stderr, "brindlecast check: unexpected argument '%s'\n\n%s", args[i].c_str(),
                   kHelp);
      return kUsageError;
    }
  }

  ConsolePrompt prompt;
  SettingsStore store(SettingsFilePath(), prompt);
  Settings settings = LoadSettings(store);
  if (haveOnly) {
    bool found = false;
    for (MailAccount& account : settings.accounts) {
      account.CheckMark = account.UserName == only;
      found = found || account.CheckMark;
    }
    if (!found) {
      std::fprintf(stderr, "brindlecast check: no account with the user name '%s' in %s\n",
                   only.c_str(), SettingsFilePath().c_str());
      return kUsageError;
    }
  }

  EnvelopeStore envelopes;
  ConsoleObserver observer;
  RunCheck(settings, envelopes, observer, DefaultMailEnvironment());
  if (observer.noAccount) {
    std::fprintf(stderr,
                 "brindlecast check: no account is configured; add one with the desktop "
                 "program's Properties, or in %s\n",
                 SettingsFilePath().c_str());
    return 1;
  }

  // Messages per account come from the store: what was accepted.
  const std::vector<Envelope> list = envelopes.Snapshot();
  for (AccountOutcome& o : observer.outcomes) {
    for (const Envelope& e : list) {
      o.messages += AccountIndexOf(std::stoll(e.messageId)) == o.accountIndex;
    }
  }
  if (json) {
    PrintJson(list, observer.outcomes);
  } else {
    PrintTable(list);
    std::printf("\n");
  }
  bool allChecked = true;
  for (const AccountOutcome& o : observer.outcomes) {
    if (o.status == AccountOutcome::Status::Failed ||
        o.status == AccountOutcome::Status::Incomplete) {
      allChecked = false;
    }
    if (!json) {
      std::printf("%s: %s", o.userName.c_str(), StatusWord(o.status));
      if (o.status == AccountOutcome::Status::Checked ||
          o.status == AccountOutcome::Status::Incomplete) {
        std::printf(", %d message%s, %d deleted as spam", o.messages, o.messages == 1 ? "" : "s",
                    o.deletedAsSpam);
      }
      if (!o.error.empty()) {
        std::printf(o.status == AccountOutcome::Status::Failed ? ": %s" : " (%s)", o.error.c_str());
      }
      std::printf("\n");
    }
  }
  return allChecked ? 0 : 1;
}

}  // namespace bc::cli
