#include "cli/check_command.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/commands.h"
#include "config/paths.h"
#include "config/prompt.h"
#include "config/settings.h"
#include "config/settings_store.h"
#include "config/text_util.h"
#include "keyring/account_password.h"
#include "keyring/password_vault.h"
#include "mail/check_cycle.h"

namespace bc::cli {
namespace {

constexpr size_t kOutputBuffer = 1 << 16;

constexpr const char* kHelp =
    "Usage: brindlecast check [--json] [--account NAME]\n"
    "\n"
    "Runs one check pass over the enabled accounts of the settings file, exactly\n"
    "as the desktop program does: every message is retrieved and decoded, spam is\n"
    "deleted on the server (and logged when \"Log Deleted Email Information\" is on),\n"
    "and the envelopes of the accepted messages are printed. Passwords come from\n"
    "the desktop keyring where it keeps them; a remembered password still in the\n"
    "settings file moves there first (with BRINDLECAST_KEYRING=off: the file only).\n"
    "With \"Check only new messages\" on (RememberMail=1), only messages not seen\n"
    "before are retrieved, the others are judged from what was remembered of them,\n"
    "and each envelope says whether it is new (reported for the first time).\n"
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

// True when every byte is printable ASCII, shown as it is: one character a
// byte. Eight bytes at a time, as most texts are.
bool IsPrintableAscii(std::string_view text) {
  constexpr uint64_t kOnes = 0x0101010101010101;
  constexpr uint64_t kHighs = 0x8080808080808080;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t v = 0;
    std::memcpy(&v, text.data() + i, 8);
    // A byte below ' ' or above '~' sets its high bit in one of the three.
    if (((v | (v - kOnes * 0x20) | (v + kOnes * 0x01)) & kHighs) != 0) {
      return false;
    }
  }
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                     [](char c) { return c >= ' ' && c <= '~'; });
}

// Writes text fitted into a column of `width` characters at `out`: shown as
// ShownText makes it (no control or reordering character reaches the
// terminal), a longer text ends in "~", a shorter one is padded. Returns the
// end of what it wrote: at most 4 x width bytes.
char* PutFitted(char* out, const std::string& raw, size_t width) {
  std::string shown;
  std::string_view text = raw;
  size_t characters = raw.size();
  if (!IsPrintableAscii(raw)) {
    shown = ShownText(raw);  // valid UTF-8: characters are counted by lead bytes
    text = shown;
    characters = static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
  }
  if (characters <= width) {
    out = std::copy(text.begin(), text.end(), out);
    return std::fill_n(out, width - characters, ' ');
  }
  // The first width - 1 characters, then "~": more follows than fits.
  size_t end = 0;
  for (size_t kept = 0; kept < width - 1; ++kept) {
    do {
      ++end;
    } while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80);
  }
  out = std::copy_n(text.begin(), end, out);
  *out++ = '~';
  return out;
}

// Replaces `line` with one row of the table, written in place.
void TableRow(std::string& line, const std::array<const std::string*, 7>& fields) {
  static constexpr std::array<size_t, 7> kWidths = {22, 36, 28, 19, 12, 12, 10};
  static constexpr size_t kMostBytes = [] {
    size_t bytes = 0;
    for (const size_t width : kWidths) {
      bytes += 4 * width + 2;  // a character is at most 4 bytes; the gap or the line end
    }
    return bytes;
  }();
  line.resize(kMostBytes);
  char* out = line.data();
  for (size_t c = 0; c < fields.size(); ++c) {
    out = PutFitted(out, *fields[c], kWidths[c]);
    if (c + 1 < fields.size()) {
      out = std::fill_n(out, 2, ' ');
    } else {
      *out++ = '\n';
    }
  }
  line.resize(static_cast<size_t>(out - line.data()));
}

// One JSON object, indented as an element of a top-level array.
std::string JsonObject(const std::vector<std::pair<const char*, std::string>>& members) {
  std::string out = "        {\n";
  for (size_t i = 0; i < members.size(); ++i) {
    out += "            \"" + std::string(members[i].first) + "\": " + members[i].second +
           (i + 1 < members.size() ? ",\n" : "\n");
  }
  return out + "        }";
}

// Prints each envelope the moment the pass accepts it, as a table row or as an
// element of the JSON document's "envelopes" array, so nothing is held for
// printing; the accounts follow when the pass is over.
class ConsoleObserver final : public CheckObserver {
 public:
  explicit ConsoleObserver(bool json) : json_(json) {}

  void EnvelopeAccepted(int /*index*/, const Envelope& e) override {
    Begin();
    long long messageId = 0;
    std::from_chars(e.messageId.data(), e.messageId.data() + e.messageId.size(), messageId);
    ++accepted_[AccountIndexOf(messageId)];
    if (!json_) {
      TableRow(line_,
               {&e.from, &e.subject, &e.address, &e.received, &e.size, &e.account, &e.attachment});
      Print(line_);
      return;
    }
    Print((printed_ ? ",\n" : "\n") + JsonObject({{"account", JsonString(e.account)},
                                                  {"address", JsonString(e.address)},
                                                  {"attachment", JsonString(e.attachment)},
                                                  {"from", JsonString(e.from)},
                                                  {"new", e.isNew ? "true" : "false"},
                                                  {"received", JsonString(e.received)},
                                                  {"size", JsonString(e.size)},
                                                  {"subject", JsonString(e.subject)}}));
    printed_ = true;
  }
  void AccountFinished(const AccountOutcome& outcome) override {
    if (!outcome.memoryNote.empty()) {
      std::fprintf(stderr, "brindlecast: %s: %s\n", ShownText(outcome.userName).c_str(),
                   ShownText(outcome.memoryNote).c_str());
    }
    outcomes_.push_back(outcome);
    outcomes_.back().messages = accepted_[outcome.accountIndex];
  }
  void StorageAlert(const Notice& notice) override {
    std::fprintf(stderr, "brindlecast: %s\n", ShownText(notice.body).c_str());
  }
  void NoAccountConfigured(Settings&) override { noAccount_ = true; }

  [[nodiscard]] bool noAccount() const { return noAccount_; }

  // Ends the listing and prints each account's outcome; true when every
  // enabled account was checked completely.
  bool Finish() {
    Begin();
    bool allChecked = true;
    for (const AccountOutcome& o : outcomes_) {
      allChecked = allChecked && o.status != AccountOutcome::Status::Failed &&
                   o.status != AccountOutcome::Status::Incomplete;
    }
    json_ ? FinishJson() : FinishTable();
    std::fflush(stdout);
    return allChecked;
  }

 private:
  void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

  void Begin() {
    if (begun_) {
      return;
    }
    begun_ = true;
    if (json_) {
      Print("{\n    \"envelopes\": [");
      return;
    }
    const std::string headers[] = {"From", "Subject", "Address",   "Received",
                                   "Size", "Account", "Attachment"};
    TableRow(line_, {&headers[0], &headers[1], &headers[2], &headers[3], &headers[4], &headers[5],
                     &headers[6]});
    Print(line_);
  }

  void FinishTable() {
    Print("\n");
    for (const AccountOutcome& o : outcomes_) {
      std::printf("%s: %s", ShownText(o.userName).c_str(), StatusWord(o.status));
      if (o.status == AccountOutcome::Status::Checked ||
          o.status == AccountOutcome::Status::Incomplete) {
        std::printf(", %d message%s, %d new, %d deleted as spam", o.messages,
                    o.messages == 1 ? "" : "s", o.newMessages, o.deletedAsSpam);
      }
      if (!o.error.empty()) {
        // The reason may quote the server's words: shown, never obeyed.
        std::printf(o.status == AccountOutcome::Status::Failed ? ": %s" : " (%s)",
                    ShownText(o.error).c_str());
      }
      std::printf("\n");
    }
  }

  void FinishJson() {
    Print(printed_ ? "\n    ],\n    \"accounts\": [" : "],\n    \"accounts\": [");
    for (size_t i = 0; i < outcomes_.size(); ++i) {
      const AccountOutcome& o = outcomes_[i];
      std::vector<std::pair<const char*, std::string>> members = {
          {"account", JsonString(o.userName)}, {"deletedAsSpam", std::to_string(o.deletedAsSpam)}};
      if (!o.error.empty()) {
        members.emplace_back("error", JsonString(o.error));
      }
      members.emplace_back("messages", std::to_string(o.messages));
      members.emplace_back("new", std::to_string(o.newMessages));
      members.emplace_back("status", JsonString(StatusWord(o.status)));
      Print((i > 0 ? ",\n" : "\n") + JsonObject(members));
    }
    Print(outcomes_.empty() ? "]\n}\n" : "\n    ]\n}\n");
  }

  const bool json_;
  bool begun_ = false;
  bool printed_ = false;  // an envelope is in the JSON array
  bool noAccount_ = false;
  std::map<int, int> accepted_;  // envelopes by account index
  std::string line_;             // the row being printed
  std::vector<AccountOutcome> outcomes_;
};

}  // namespace

// A JSON string: valid UTF-8 (a broken sequence becomes U+FFFD), quotes and
// backslashes escaped, and every character that must not reach a terminal as
// it is (controls, C1, bidirectional overrides) as \uXXXX, so it stays in the
// data without acting on a terminal that shows the document.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  ForEachCodePoint(text, [&out](char32_t c, std::string_view bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (IsUnsafeToShow(c)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else if (c == 0xFFFD && bytes.size() == 1) {
      out += "\xEF\xBF\xBD";
    } else {
      out.append(bytes);
    }
  });
  return out + "\"";
}

std::optional<Settings> LoadSettingsForPass() {
  ConsolePrompt prompt;
  SettingsStore store(SettingsFilePath(), prompt);
  if (!store.problem().empty()) {
    return std::nullopt;  // the prompt has said what is wrong
  }
  Settings settings = LoadSettings(store);
  // The same password source as the desktop program: remembered passwords
  // move from the file to the desktop keyring, and are read from it.
  FindPasswordHomes(settings, KeyringAvailable());
  PasswordMover mover(store, settings, [](const std::string& why) {
    std::fprintf(stderr, "brindlecast: %s\n", why.c_str());
  });
  mover.Start();
  mover.WaitIdle(kVaultPatience);
  return settings;
}

int RunCheckCommand(const std::vector<std::string>& args, const CommandContext& context) {
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

  // Rows for a file or a pipe go out in large writes; a terminal shows each
  // line as it comes.
  if (::isatty(STDOUT_FILENO) == 0) {
    static char buffer[kOutputBuffer];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  }
  std::optional<Settings> loaded = LoadSettingsForPass();
  if (!loaded) {
    return 1;
  }
  Settings& settings = *loaded;
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

  // Nothing is kept for printing: the rows go out as the pass accepts them.
  EnvelopeStore envelopes(EnvelopeStore::Keep::CountOnly);
  ConsoleObserver observer(json);
  RunCheck(settings, envelopes, observer, context.mailEnvironment());
  if (observer.noAccount()) {
    std::fprintf(stderr,
                 "brindlecast check: no account is configured; add one with the desktop "
                 "program's Properties, or in %s\n",
                 SettingsFilePath().c_str());
    return 1;
  }
  return observer.Finish() ? 0 : 1;
}

}  // namespace bc::cli
