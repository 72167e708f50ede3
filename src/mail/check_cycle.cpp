#include "mail/check_cycle.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "antispam/spam_classifier.h"
#include "config/text_util.h"
#include "mail/deletion.h"
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

// A window pays for its CAPA only past a few messages.
constexpr int kPipelineFrom = 16;
constexpr int kWindowMessages = 64;
// Replies read ahead are held until their turn: the window's LIST sizes stay
// under this (one message at least), so memory does not grow with it.
constexpr int64_t kWindowBytes = 4 << 20;

// Which RETR of an account's pass are out: one ahead of the message being
// read, or with pipelining up to a window of them.
class RetrieveWindow {
 public:
  RetrieveWindow(Pop3Session& session, int count, bool pipelined)
      : session_(session), count_(count), pipelined_(pipelined) {}

  // Sends RETR up to message `first` (the next to be read) and, pipelined, as
  // far past it as the window allows.
  void SendThrough(int first) {
    // Refilled once half empty, so the commands go out in batches, not one
    // write (and wait) per message.
    const int outstanding = sent_ - first + 1;
    if (pipelined_ && outstanding > 0 &&
        (outstanding > kWindowMessages / 2 || bytes_ > kWindowBytes / 2)) {
      return;
    }
    const int last = std::min(count_, pipelined_ ? first + kWindowMessages - 1 : first);
    while (sendOk_ && sent_ < last) {
      const int n = sent_ + 1;
      const int64_t size = session_.MessageSize(n);
      if (n > first && bytes_ + size > kWindowBytes) {
        return;
      }
      sendOk_ = session_.SendRetrieve(n);
      if (sendOk_) {
        ++sent_;
        bytes_ += size;
      }
    }
  }

  [[nodiscard]] bool Sent(int n) const { return n <= sent_; }
  void Received(int n) { bytes_ -= session_.MessageSize(n); }

 private:
  Pop3Session& session_;
  const int count_;
  const bool pipelined_;
  int sent_ = 0;
  bool sendOk_ = true;
  int64_t bytes_ = 0;  // LIST sizes of the RETR out and not yet read
};

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
    const std::optional<Security> security = account_.Security.value();
    // Asked only for an account that can be checked; a keyring that cannot
    // give the password fails the account with its reason.
    const PasswordAnswer password =
        security ? environment_.password(account_, environment_.cancel.get()) : PasswordAnswer{};
    const bool connected = security && password.found &&
                           session.Connect(account_.POP3Server, account_.POP3Port.value(),
                                           account_.UserName, password.password, *security);
    if (!connected) {
      const std::string why = !security         ? SecurityValueError(account_.Security.text())
                              : !password.found ? password.error
                                                : session.lastError();
      Trace("Failed to connect server");
      Trace(why);
      session.Close();
      observer_.SetTrayIcon(TrayState::Disconnected);
      observer_.SetTrayTooltip(Disconnected(account_));
      Failed(why);
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
    // Unique ids let every deletion make sure it deletes this very message.
    // Servers without UIDL answer -ERR, which changes nothing here.
    const bool haveUniqueIds = session.Uidl();

    const int count = session.messageCount();
    observer_.SetEmailsProgress(0, count);
    messageCount_ = count;
    messagesLeft_ = count;
    outcome_.status = AccountOutcome::Status::Checked;
    // The next RETR goes out before a message is decoded, so the server reads
    // the next message while this one is worked on; a server that takes
    // pipelined commands gets a window of them. The DELE of a spam message waits
    // until the next reply is in (the session reads the rest of the window
    // before it, so every reply still meets its command).
    const bool pipelined = count >= kPipelineFrom && session.Capabilities() && session.pipelining();
    RetrieveWindow window(session, count, pipelined);
    window.SendThrough(1);
    for (int n = 1; n <= count; ++n) {
      observer_.SetTrayIcon(TrayState::Checking);
      std::string text;
      const Retrieval got = ReadMessage(session, n, window.Sent(n), text);
      if (got == Retrieval::Failed) {
        break;
      }
      window.Received(n);
      window.SendThrough(n + 1);
      if (got == Retrieval::Ok) {
        CheckMessage(n, std::move(text), session.MessageSize(n),
                     haveUniqueIds ? session.UniqueId(n) : "");
      }
    }
    DeletePendingSpam(session);
    observer_.SetEmailsProgress(0, count);
    StorageAlert(session);
    const bool committed = session.Quit();
    session.Close();
    Committed(committed);
    return AccountEnd::Done;
  }

  [[nodiscard]] int messagesLeft() const { return messagesLeft_; }
  [[nodiscard]] const AccountOutcome& outcome() const { return outcome_; }

 private:
  enum class Retrieval { Ok, Skipped, Failed };

  // Reads the reply to RETR n (sent by the caller) into `text`. Failed ends the
  // account's message loop; Skipped passes over this one message.
  Retrieval ReadMessage(Pop3Session& session, int n, bool sent, std::string& text) {
    const int j = n - 1;
    char step[64];
    if (!sent || !session.ReadRetrieved()) {
      std::snprintf(step, sizeof step, "RETR %d of %d failed", j, messagesLeft_ - 1);
      Trace(step);
      Incomplete("message " + std::to_string(n) + " could not be retrieved (" +
                 session.lastError() + "); it and the messages after it were not checked");
      DeletePendingSpam(session);
      return Retrieval::Failed;
    }
    std::snprintf(step, sizeof step, "RETR %d of %d", j, messagesLeft_ - 1);
    Trace(step);
    text = session.TakeMessageText();
    DeletePendingSpam(session);
    if (text.size() < kShortestMessage) {
      // A broken message must not hide the rest of the mailbox: skip it alone.
      Trace("GetMsgContents failed");
      Trace("message " + std::to_string(n) + " skipped: the server sent only " +
            std::to_string(text.size()) + " bytes");
      Incomplete("message " + std::to_string(n) + " was skipped: the server sent only " +
                 std::to_string(text.size()) + " bytes");
      return Retrieval::Skipped;
    }
    return Retrieval::Ok;
  }

  // The message steps after the retrieval: decode, build the envelope, judge it.
  void CheckMessage(int n, std::string text, int64_t size, std::string uniqueId) {
    Trace("GetMsgContents");
    DecodedMessage decoded;
    MimeDecoder decoder;
    // The body text is only ever read as content.
    decoder.SetCollectBody(options_.CheckLines != 0);
    decoder.Decode(text, decoded);
    // The lines taken from the text are copies: let the text go before the
    // content is built from them, so a large message is not held twice.
    std::string().swap(text);
    Trace("Parse message,header=" + std::to_string(decoded.headerLines.size()));

    const int messageIndex = n - 1 - acceptedDeletions_;
    Envelope envelope = BuildEnvelope(decoded, size, options_, account_, index_, messageIndex);
    envelope.uniqueId = std::move(uniqueId);

    if (!HasReadableHeaders(decoded)) {
      // Rule 1 would delete it for its empty sender; without headers nothing
      // about it can be judged, so it is kept and shown.
      Trace("message " + std::to_string(n) + " has no readable header; not judged as spam");
    } else if (ClassifyMessage(account_, envelope.address, envelope.subject, envelope.content) ==
               SpamVerdict::Spam) {
      pendingDelete_ = n;
      pendingSpam_ = std::move(envelope);
      --messagesLeft_;  // as the trace counts; the result counts committed deletions
      return;
    }
    const int row = store_.Count();
    accepted_.emplace_back(row, n);
    store_.Append(envelope);
    observer_.EnvelopeAccepted(row, envelope);
    observer_.SetEmailsProgress(n, messageCount_);
  }

  // Sends the DELE of the spam message decided last, if any, once the server
  // confirms the message with that number is still the one judged.
  void DeletePendingSpam(Pop3Session& session) {
    if (pendingDelete_ == 0) {
      return;
    }
    const int n = pendingDelete_;
    pendingDelete_ = 0;
    std::string why;
    if (!ConfirmMessage(session, n, pendingSpam_.uniqueId, pendingSpam_.messageKey, why)) {
      Trace("message " + std::to_string(n) + " not deleted: " + why);
      Incomplete("spam message " + std::to_string(n) + " was not deleted: " + why);
      return;
    }
    // Logged whether or not the server accepts the DELE: the deletion was tried.
    if (options_.LogDeleted) {
      WriteDeletedLog(pendingSpam_);
    }
    if (!session.Delete(n)) {
      Incomplete("the server refused to delete spam message " + std::to_string(n) + " (" +
                 session.lastError() + ")");
      return;
    }
    ++acceptedDeletions_;
  }

  // QUIT commits the accepted deletions; without it none took place.
  void Committed(bool quitSucceeded) {
    if (quitSucceeded || acceptedDeletions_ == 0) {
      outcome_.deletedAsSpam = acceptedDeletions_;
      messagesLeft_ = messageCount_ - acceptedDeletions_;
      return;
    }
    messagesLeft_ = messageCount_;
    Incomplete("the server did not confirm QUIT, so its " + std::to_string(acceptedDeletions_) +
               " spam deletions did not take place");
    // The messages keep their numbers: so must the entries of this pass.
    for (const auto& [row, n] : accepted_) {
      store_.SetMessageId(row, std::to_string(MakeMessageId(n - 1, index_)));
    }
  }

  void WriteDeletedLog(const Envelope& e) {
    PrepareLogDir(environment_.deletedLogDir);
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

  // Keeps the first reasons; a mailbox of broken messages must not grow the text
  // without end.
  void Incomplete(const std::string& why) {
    outcome_.status = AccountOutcome::Status::Incomplete;
    if (++problems_ <= kReasonsShown) {
      outcome_.error += (outcome_.error.empty() ? "" : "; ") + why;
    } else if (problems_ == kReasonsShown + 1) {
      outcome_.error += "; and more";
    }
  }

  void Trace(std::string_view step) const { trace_.Write(account_.UserName, step); }

  static constexpr int kReasonsShown = 3;

  const AppOptions& options_;
  const MailAccount& account_;
  const int index_;
  EnvelopeStore& store_;
  CheckObserver& observer_;
  const MailEnvironment& environment_;
  const CommandTrace& trace_;
  const Clock& clock_;
  int messageCount_ = 0;  // STAT count
  int messagesLeft_ = 0;
  int acceptedDeletions_ = 0;  // DELE answered +OK in this session
  int problems_ = 0;
  int pendingDelete_ = 0;  // a spam message whose DELE waits for the next reply
  Envelope pendingSpam_;
  std::vector<std::pair<int, int>> accepted_;  // store row and message number
  AccountOutcome outcome_;
};

}  // namespace

TransportFactory SocketTransportFactory(int timeoutMs) {
  return [timeoutMs](const MailAccount& account) {
    TransportOptions options;
    // An invalid value never reaches Open (the pass refuses the account first);
    // the strictest choice keeps it so should that ever change.
    options.security = account.Security.value().value_or(Security::Tls);
    options.timeoutMs = timeoutMs;
    options.caFile = account.CAFile;
    options.certFingerprint = account.CertFingerprint;
    return MakeSocketTransport(options);
  };
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
         "' has reached " + std::to_string(ParseInt(account.Perentage)) + "% of it's storage limit";
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
    Pop3Session session(environment.makeTransport(account), environment.replyLimits);
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
