#include "cli/watch_command.h"

#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>

#include "cli/check_command.h"
#include "config/text_util.h"
#include "mail/check_cycle.h"
#include "mail/imap_idle.h"
#include "mail/imap_pass.h"

namespace bc::cli {
namespace {

constexpr const char* kHelp =
    "Usage: brindlecast watch [--account NAME]\n"
    "\n"
    "Keeps every enabled IMAP account whose server offers IDLE connected, and\n"
    "prints each new message's envelope as one JSON object on a line of its own\n"
    "the moment the server reports it, until interrupted (Ctrl+C). Each report\n"
    "fetches the new messages by UID and judges them as `check` does (spam is\n"
    "deleted and logged); the mail there at the start is not printed. After a\n"
    "dropped connection the accounts are checked whole again.\n"
    "\n"
    "  --account NAME  watch only the account whose user name is NAME, enabled or not\n"
    "\n"
    "Exit status:\n"
    "  0  interrupted\n"
    "  1  no IMAP account to watch, or the settings file cannot be read\n"
    "  2  bad usage\n";

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnSignal(int) {
  interrupted = 1;
}

// Prints the envelopes a pass accepts that no earlier pass did.
class NewEnvelopePrinter final : public CheckObserver {
 public:
  NewEnvelopePrinter(std::set<std::string>& seen, bool print) : seen_(seen), print_(print) {}

  void EnvelopeAccepted(int /*index*/, const Envelope& e) override {
    const std::string identity = e.uniqueId.empty() ? e.messageKey : e.uniqueId;
    if (!seen_.insert(identity).second || !print_) {
      return;
    }
    std::printf(
        "{\"account\": %s, \"address\": %s, \"attachment\": %s, \"from\": %s, \"received\": %s, "
        "\"size\": %s, \"subject\": %s}\n",
        JsonString(e.account).c_str(), JsonString(e.address).c_str(),
        JsonString(e.attachment).c_str(), JsonString(e.from).c_str(),
        JsonString(e.received).c_str(), JsonString(e.size).c_str(), JsonString(e.subject).c_str());
    std::fflush(stdout);
  }
  void AccountFinished(const AccountOutcome& o) override {
    if (o.status == AccountOutcome::Status::Failed ||
        o.status == AccountOutcome::Status::Incomplete) {
      std::fprintf(stderr, "brindlecast watch: %s: %s\n", ShownText(o.userName).c_str(),
                   ShownText(o.error).c_str());
    }
  }

 private:
  std::set<std::string>& seen_;
  bool print_;
};

}  // namespace

int RunWatchCommand(const std::vector<std::string>& args, const CommandContext& context) {
  std::string only;
  bool haveOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (args[i] == "--account" && i + 1 < args.size()) {
      only = args[++i];
      haveOnly = true;
    } else {
      std::fprintf(stderr, "brindlecast watch: unexpected argument '%s'\n\n%s", args[i].c_str(),
                   kHelp);
      return kUsageError;
    }
  }
  std::optional<Settings> loaded = LoadSettingsForPass();
  if (!loaded) {
    return 1;
  }
  Settings& settings = *loaded;
  bool any = false;
  for (MailAccount& account : settings.accounts) {
    account.CheckMark = (haveOnly ? account.UserName == only : account.CheckMark) &&
                        IsImapAccount(account) && ParseProtocol(account.Protocol);
    any = any || account.CheckMark;
  }
  if (!any) {
    std::fprintf(stderr, "brindlecast watch: no enabled IMAP account%s\n",
                 haveOnly ? " with that user name" : "");
    return 1;
  }

  const MailEnvironment environment = context.mailEnvironment();
  std::set<std::string> seen;
  // One pass or wake at a time: the printer, the seen set and each account's
  // remembered mail are shared.
  std::mutex working;
  const auto pass = [&](bool print) {
    std::lock_guard lock(working);
    EnvelopeStore store(EnvelopeStore::Keep::CountOnly);
    NewEnvelopePrinter printer(seen, print);
    RunCheck(settings, store, printer, environment);
  };
  pass(false);

  std::mutex mutex;
  std::condition_variable wake;
  bool checkAll = false;
  const auto askForPass = [&] {
    {
      std::lock_guard lock(mutex);
      checkAll = true;
    }
    wake.notify_all();
  };
  std::vector<std::unique_ptr<ImapIdleWatcher>> watchers;
  std::vector<std::unique_ptr<ImapFollowed>> folders;
  for (size_t i = 0; i < settings.accounts.size(); ++i) {
    if (!settings.accounts[i].CheckMark) {
      continue;
    }
    ImapFollowed* followed = folders.emplace_back(std::make_unique<ImapFollowed>()).get();
    const int index = static_cast<int>(i);
    watchers.push_back(std::make_unique<ImapIdleWatcher>(
        settings.accounts[i], environment,
        [&, followed](ImapSession& session, bool again) {
          followed->uidValidity = 0;  // set again once the folder's UIDs are known
          if (!FollowImapFolder(session, *followed) || again) {
            askForPass();
          }
        },
        [&, followed, index](ImapSession& session) {
          if (followed->uidValidity == 0) {
            askForPass();
            return;
          }
          std::lock_guard lock(working);
          EnvelopeStore store(EnvelopeStore::Keep::CountOnly);
          NewEnvelopePrinter printer(seen, true);
          const ImapWakeResult result =
              UpdateImapAccount(settings, index, session, *followed, store, printer, environment);
          printer.AccountFinished(result.outcome);
          if (result.startAgain) {
            followed->uidValidity = 0;
            if (session.usable()) {
              (void)FollowImapFolder(session, *followed);
            }
            askForPass();
          }
        }));
    watchers.back()->Start();
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  while (interrupted == 0) {
    std::unique_lock lock(mutex);
    // A signal cannot wake the wait: it looks at the flag every second.
    if (wake.wait_for(lock, std::chrono::seconds(1), [&] { return checkAll; })) {
      checkAll = false;
      lock.unlock();
      pass(true);
    }
  }
  for (auto& watcher : watchers) {
    watcher->Stop();
  }
  return 0;
}

}  // namespace bc::cli
