#include "mail/check_cycle.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "antispam/spam_classifier.h"
#include "config/paths.h"
#include "config/text_util.h"
#include "mail/envelope_fields.h"
#include "mail/mail_log.h"
#include "mail/message_envelope.h"
#include "mail/pop3_session.h"
#include "mime/mime_decoder.h"

namespace bc {
namespace {

constexpr const char* kCheckingTitle = "Brindlecast Checking Email...";
// The tray keeps 63 bytes of a tooltip.
constexpr size_t kTooltipBytes = 63;
// Shorter than this, a retrieved text cannot be a message.
constexpr size_t kShortestMessage = 31;

std::string Disconnected(const MailAccount& account) {
  return CutUtf8("'" + account.UserName + "'" + " is disconnected", kTooltipBytes);
}

double ParseDecimalFraction(const std::string& text) {
  // Not strtod: the desktop program runs under the user's locale, where the
  // decimal point may be a comma.
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  while (begin < end && (*begin == ' ' || *begin == '\t')) {
    ++begin;
  }
  double value = 0;
  std::from_chars(begin, end, value);
  return value;
}

// How an account's part of the pass ended; each ending moves on differently.
enum class AccountEnd {
  ConnectFailed,  // not reachable or login refused
  Abandoned,      // STAT or LIST failed
  Empty,          // the mailbox holds nothing
  Done,           // the messages were examined
};

class AccountPass {
 public:
  AccountPass(const Settings& settings, int index, EnvelopeStore& store, CheckObserver& observer,
              const MailEnvironment& environment, const CommandTrace& trace, const Clock& clock)
      : options_(settings.options),
        account_(settings.accounts[static_cast<size_t>(index)]),
        index_(index),
        store_(store),
        observer_(observer),
        environment_(environment),
        trace_(trace),
        clock_(clock) {
    outcome_.accountIndex = index;
    outcome_.userName = account_.UserName;
  }

  AccountEnd Run(Pop3Session& session) {
    if (!session.Connect(account_.POP3Server, ParseInt(account_.POP3Port), account_.UserName,
                         account_.Passwd, ParseSecurity(account_.Security))) {
      Trace("Failed to connect server");
      Trace(session.lastError());
      session.Close();
      observer_.SetTrayIcon(TrayState::Disconnected);
      observer_.SetTrayTooltip(Disconnected(account_));
      Failed(session.lastError());
      return AccountEnd::ConnectFailed;
    }
    observer_.SetTrayIcon(TrayState::Idle);
    Trace("Connected server");

    if (!session.Stat()) {
      const std::string why = session.lastError();
      EndSession(session);
      observer_.SetTrayIcon(TrayState::Disconnected);
      Trace("STAT failed");
      Failed(why);
      return AccountEnd::Abandoned;
    }
    Trace("STAT");
    if (session.messageCount() <= 0) {
      EndSession(session);
      Trace("GetNumberOfMails failed");
      outcome_.status = AccountOutcome::Status::Checked;
      return AccountEnd::Empty;
    }
    Trace("GetNumberOfMails");

    if (!session.List()) {
      const std::string why = session.lastError();
      EndSession(session);
      observer_.SetTrayIcon(TrayState::Disconnected);
      Trace("LIST failed");
      Failed(why);
      return AccountEnd::Abandoned;
    }
    observer_.SetTrayIcon(TrayState::Idle);
    Trace("LIST");
    // Unique ids let a later deletion make sure it deletes this very message.
    // Servers without UIDL answer -ERR, which changes nothing here.
    const bool haveUniqueIds = session.Uidl();

    const int count = session.messageCount();
    observer_.SetEmailsProgress(0, count);
    messageCount_ = count;
    messagesLeft_ = count;
    outcome_.status = AccountOutcome::Status::Checked;
    // The next RETR goes out before a message is decoded, so the server reads
    // the next message while this one is worked on. Only one command is ever
    // outstanding: the DELE of a spam message waits until the next reply is in;
    // message numbers do not change before QUIT, so it deletes the same message.
    bool sent = session.SendRetrieve(1);
    for (int n = 1; n <= count; ++n) {
      observer_.SetTrayIcon(TrayState::Checking);
      std::string text;
      if (!ReadMessage(session, n, sent, text)) {
        break;
      }
      sent = n < count ? session.SendRetrieve(n + 1) : true;
      CheckMessage(n, text, session.MessageSize(n), haveUniqueIds ? session.UniqueId(n) : "");
    }
    DeletePendingSpam(session);
    observer_.SetEmailsProgress(0, count);
    StorageAlert(session);
    EndSession(session);
    return AccountEnd::Done;
  }

  [[nodiscard]] int messagesLeft() const { return messagesLeft_; }
  [[nodiscard]] const AccountOutcome& outcome() const { return outcome_; }

 private:
  // Reads the reply to RETR n (sent by the caller) into `text`; false ends the
  // account's message loop: the retrieval failed or brought no message.
  bool ReadMessage(Pop3Session& session, int n, bool sent, std::string& text) {
    const int j = n - 1;
    char step[64];
    if (!sent || !session.ReadRetrieved()) {
      std::snprintf(step, sizeof step, "RETR %d of %d failed", j, messagesLeft_ - 1);
      Trace(step);
      outcome_.error = session.lastError();
      DeletePendingSpam(session);
      return false;
    }
    std::snprintf(step, sizeof step, "RETR %d of %d", j, messagesLeft_ - 1);
    Trace(step);
    text = session.TakeMessageText();
    DeletePendingSpam(session);
    if (text.size() < kShortestMessage) {
      // Treated like a failed retrieval: the QUIT that follows still commits the
      // spam deletions of this session, and the other accounts are checked.
      Trace("GetMsgContents failed");
      outcome_.error = "the server sent a message of " + std::to_string(text.size()) + " bytes";
      return false;
    }
    return true;
  }

  // The message steps after the retrieval: decode, build the envelope, judge it.
  void CheckMessage(int n, const std::string& text, int64_t size, std::string uniqueId) {
    Trace("GetMsgContents");
    DecodedMessage decoded;
    MimeDecoder decoder;
    // The body text is only ever read as content.
    decoder.SetCollectBody(options_.CheckLines != 0);
    decoder.Decode(text, decoded);
    Trace("Parse message,header=" + std::to_string(decoded.headerLines.size()));

    const int messageIndex = n - 1 - outcome_.deletedAsSpam;
    Envelope envelope = BuildEnvelope(decoded, size, options_, account_, index_, messageIndex);
    envelope.uniqueId = std::move(uniqueId);

    if (ClassifyMessage(account_, envelope.address, envelope.subject, envelope.content) ==
        SpamVerdict::Spam) {
      pendingDelete_ = n;
      if (options_.LogDeleted) {
        WriteDeletedLog(envelope);
      }
      --messagesLeft_;
      ++outcome_.deletedAsSpam;
      // Message numbers stay as they are until QUIT, so the loop goes on to the end.
      return;
    }
    const int row = store_.Count();
    store_.Append(envelope);
    observer_.EnvelopeAccepted(row, envelope);
    observer_.SetEmailsProgress(n, messageCount_);
  }

  // Sends the DELE of the spam message decided last, if any.
  void DeletePendingSpam(Pop3Session& session) {
    if (pendingDelete_ > 0) {
      session.Delete(pendingDelete_);
      pendingDelete_ = 0;
    }
  }

  void WriteDeletedLog(const Envelope& e) {
    std::error_code error;
    std::filesystem::create_directories(environment_.deletedLogDir, error);
    AppendLogLine(DeletedLogPath(environment_.deletedLogDir, account_.UserName, clock_.LocalNow()),
                  DeletedLogLine(e.from, e.subject, e.address, e.received, e.size, e.account));
  }

  void StorageAlert(const Pop3Session& session) {
    if (!account_.MailCap) {
      return;
    }
    const double threshold = ParseDecimalFraction(account_.Perentage) *
                             static_cast<double>(MailboxCapacity(account_)) * 0.01;
    if (threshold < static_cast<double>(session.mailboxSize())) {
      observer_.StorageAlert(StorageAlertText(account_));
    }
  }

  void EndSession(Pop3Session& session) {
    session.Quit();
    session.Close();
  }

  void Failed(const std::string& why) {
    outcome_.status = AccountOutcome::Status::Failed;
    outcome_.error = why;
  }

  void Trace(std::string_view step) const { trace_.Write(account_.UserName, step); }

  const AppOptions& options_;
  const MailAccount& account_;
  const int index_;
  EnvelopeStore& store_;
  CheckObserver& observer_;
  const MailEnvironment& environment_;
  const CommandTrace& trace_;
  const Clock& clock_;
  int messageCount_ = 0;   // STAT count
  int messagesLeft_ = 0;
  int pendingDelete_ = 0;  // a spam message whose DELE waits for the next reply
  AccountOutcome outcome_;
};

}  // namespace

TransportFactory SocketTransportFactory(int timeoutMs) {
  return [timeoutMs](const MailAccount& account) {
    TransportOptions options;
    options.security = ParseSecurity(account.Security);
    options.timeoutMs = timeoutMs;
    options.caFile = account.CAFile;
    options.certFingerprint = account.CertFingerprint;
    return MakeSocketTransport(options);
  };
}

MailEnvironment DefaultMailEnvironment() {
  MailEnvironment environment;
  environment.commandLogPath = CommandLogPath();
  environment.deletedLogDir = DeletedLogDir();
  return environment;
}

int64_t MailboxCapacity(const MailAccount& account) {
  int64_t capacity = ParseInt(account.MailCapValue);
  if (account.MailCapUnit == "KB") {
    capacity *= 1024;
  } else if (account.MailCapUnit == "MB") {
    capacity *= 1048576;
  }
  return capacity;
}

std::string StorageAlertText(const MailAccount& account) {
  return "Brindlecast" + std::string(95, ' ') + "Your email account '" + account.UserName +
         "' has reached " + std::to_string(ParseInt(account.Perentage)) +
         "% of it's storage limit";
}

CheckSummary RunCheck(Settings settings, EnvelopeStore& store, CheckObserver& observer,
                      const MailEnvironment& environment) {
  SystemClock systemClock;
  const Clock& clock = environment.clock ? *environment.clock : systemClock;
  CheckSummary summary;

  observer.SetTrayIcon(TrayState::Checking);
  store.Clear();
  observer.ListCleared();
  if (settings.accounts.empty()) {
    observer.NoAccountConfigured(settings);
  }
  const int count = std::min(static_cast<int>(settings.accounts.size()), kMaxAccounts);
  observer.SetAccountsProgress(0, count);
  const CommandTrace trace(environment.commandLogPath, settings.options.LogDeleted, clock);

  for (int i = 0; i < count; ++i) {
    observer.SetTitle(kCheckingTitle);
    const MailAccount& account = settings.accounts[static_cast<size_t>(i)];
    if (!account.CheckMark) {
      observer.SetAccountsProgress(i + 1, count);
      AccountOutcome skipped;
      skipped.accountIndex = i;
      skipped.userName = account.UserName;
      observer.AccountFinished(skipped);
      continue;
    }
    AccountPass pass(settings, i, store, observer, environment, trace, clock);
    Pop3Session session(environment.makeTransport(account));
    const AccountEnd end = pass.Run(session);
    observer.AccountFinished(pass.outcome());
    if (end == AccountEnd::ConnectFailed && i == count - 1) {
      // The disconnected tooltip of the last account stays in place.
      summary.endedEarly = true;
      return summary;
    }
    if (end == AccountEnd::Empty) {
      observer.SetAccountsProgress(i + 1, count);
    }
    if (end != AccountEnd::Done) {
      continue;
    }
    summary.largestMailbox = std::max(summary.largestMailbox, pass.messagesLeft());
    observer.SetTrayIcon(summary.largestMailbox < 1 ? TrayState::Idle : TrayState::MailPresent);
    summary.totalMessages += pass.messagesLeft();
    observer.SetAccountsProgress(i + 1, count);
  }

  observer.SetAccountsProgress(0, count);
  if (settings.options.ShowToolTip) {
    observer.SetTrayTooltip(summary.totalMessages == 0
                                ? std::string("You have no new email")
                                : "You have " + std::to_string(summary.totalMessages) +
                                      " new email");
  }
  observer.PassFinished(summary.largestMailbox);
  observer.SetTrayIcon(summary.largestMailbox < 1 ? TrayState::Idle : TrayState::MailPresent);
  return summary;
}

}  // namespace bc
