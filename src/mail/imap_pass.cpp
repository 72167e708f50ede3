#include "mail/imap_pass.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "antispam/spam_classifier.h"
#include "mail/imap_session.h"
#include "mail/message_envelope.h"
#include "mime/mime_decoder.h"

namespace bc {
namespace {

// The start of a body the content lines are taken from: a few lines need
// little, "All" gets more; neither fetches a whole large message.
constexpr size_t kTextForLines = 64 * 1024;
constexpr size_t kTextForAll = 256 * 1024;

// The fetched parts as the message decoder reads a retrieved message: a status
// line, the header fields, an empty line, the start of the body (dot-stuffed)
// and the terminator.
std::string DecoderText(const ImapFetched& fetched) {
  std::string text = "+OK\r\n" + fetched.headers;
  // HEADER.FIELDS ends with its own empty line; a server that leaves it out
  // must not make the body part of the header.
  if (text.size() < 4 || text.compare(text.size() - 4, 4, "\r\n\r\n") != 0) {
    text += "\r\n";
  }
  size_t lineStart = 0;
  for (size_t at = 0; at <= fetched.text.size(); ++at) {
    if (at == fetched.text.size() || fetched.text[at] == '\n') {
      const std::string_view line(fetched.text.data() + lineStart, at - lineStart);
      if (!line.empty() && line.front() == '.') {
        text += '.';
      }
      text += line;
      if (at < fetched.text.size()) {
        text += '\n';
      }
      lineStart = at + 1;
    }
  }
  if (!text.empty() && text.back() != '\n') {
    text += "\r\n";
  }
  return text + ".\r\n";
}

size_t TextBytes(const AppOptions& options) {
  if (options.CheckLines == 0) {
    return 0;
  }
  return options.ComboLines == "All" ? kTextForAll : kTextForLines;
}

// A line in the account's deleted-mail log for a message the server removed.
void LogRemoved(const std::string& logDir, const Clock& clock, const MailAccount& account,
                const Envelope& e) {
  PrepareLogDir(logDir);
  AppendLogLine(DeletedLogPath(logDir, account.UserName, clock.LocalNow()),
                DeletedLogLine(e.from, e.subject, e.address, e.received, e.size, e.account));
}

int PortOf(const MailAccount& account, Security security) {
  const int port = account.POP3Port.value();
  return port > 0 ? port : DefaultPort(MailProtocol::Imap, security);
}

class ImapAccountPass {
 public:
  ImapAccountPass(const Settings& settings, int index, EnvelopeStore& store,
                  CheckObserver& observer, const MailEnvironment& environment,
                  const CommandTrace& trace, const Clock& clock)
      : options_(settings.options),
        account_(settings.accounts[static_cast<size_t>(index)]),
        index_(index),
        store_(store),
        observer_(observer),
        environment_(environment),
        trace_(trace),
        clock_(clock) {
    result_.outcome.accountIndex = index;
    result_.outcome.userName = account_.UserName;
  }

  ImapAccountResult Run() {
    if (!ParseProtocol(account_.Protocol)) {
      return ConnectFailed(ProtocolValueError(account_.Protocol));
    }
    const std::optional<Security> security = account_.Security.value();
    if (!security) {
      return ConnectFailed(SecurityValueError(account_.Security.text()));
    }
    const PasswordAnswer password = environment_.password(account_, environment_.cancel.get());
    if (!password.found) {
      return ConnectFailed(password.error);
    }
    ImapSession session(environment_.makeTransport(account_), environment_.imapLimits);
    if (!session.Connect(account_.POP3Server, PortOf(account_, *security), account_.UserName,
                         password.password, *security)) {
      session.Close();
      return ConnectFailed(session.lastError());
    }
    observer_.SetTrayIcon(TrayState::Idle);
    Trace("Connected server");
    if (!session.Select(account_.IMAPFolder)) {
      const std::string why = "SELECT failed: " + session.lastError();
      End(session);
      observer_.SetTrayIcon(TrayState::Disconnected);
      Trace(why);
      result_.outcome.status = AccountOutcome::Status::Failed;
      result_.outcome.error = why;
      result_.end = ImapAccountResult::End::Abandoned;
      return result_;
    }
    uidValidity_ = session.uidValidity();
    result_.outcome.status = AccountOutcome::Status::Checked;
    if (session.exists() <= 0) {
      End(session);
      Trace("GetNumberOfMails failed");
      result_.end = ImapAccountResult::End::Empty;
      return result_;
    }
    Trace("GetNumberOfMails");
    expected_ = static_cast<int>(std::min<int64_t>(session.exists(), INT32_MAX));
    observer_.SetEmailsProgress(0, expected_);
    const bool fetched = session.Fetch("1:*", TextBytes(options_), [this](ImapFetched&& message) {
      CheckMessage(std::move(message));
    });
    if (!fetched) {
      Trace("UID FETCH failed: " + session.lastError());
      Incomplete("the folder could not be read whole (" + session.lastError() + ")");
    }
    if (session.expunged() > 0) {
      Trace(std::to_string(session.expunged()) + " messages were expunged during the check");
    }
    DeleteSpam(session);
    observer_.SetEmailsProgress(0, expected_);
    StorageAlert();
    End(session);
    result_.outcome.deletedAsSpam = removed_;
    result_.messagesLeft = seen_ - removed_;
    result_.end = ImapAccountResult::End::Done;
    return result_;
  }

 private:
  void CheckMessage(ImapFetched message) {
    ++seen_;
    mailboxSize_ += std::max<int64_t>(message.size, 0);
    const std::string identity = ImapIdentity(uidValidity_, message.uid);
    Trace("UID FETCH " + std::to_string(message.uid));
    DecodedMessage decoded;
    MimeDecoder decoder;
    decoder.SetCollectBody(options_.CheckLines != 0);
    decoder.Decode(DecoderText(message), decoded);
    // The structure knows every part; the start of the body may not.
    decoded.attachmentNames = std::move(message.attachmentNames);
    Envelope envelope = BuildEnvelope(decoded, std::max<int64_t>(message.size, 0), options_,
                                      account_, index_, seen_ - 1);
    envelope.uniqueId = identity;
    if (!HasReadableHeaders(decoded)) {
      Trace("message " + identity + " has no readable header; not judged as spam");
    } else if (const SpamRule rule =
                   JudgeMessage(account_, envelope.address, envelope.subject, envelope.content);
               rule != SpamRule::None) {
      Trace("message " + identity + " is spam: " + SpamRuleText(rule));
      spam_.push_back({message.uid, std::max<int64_t>(message.size, 0), std::move(envelope)});
      return;
    }
    const int row = store_.Count();
    store_.Append(envelope);
    observer_.EnvelopeAccepted(row, envelope);
    observer_.SetEmailsProgress(seen_, expected_);
  }

  // Removes each spam message by its UID; counted and logged once the server
  // confirmed it. The first refusal that would repeat for every message (no
  // UIDPLUS nor MOVE) ends the removals with its reason.
  void DeleteSpam(ImapSession& session) {
    for (const auto& [uid, size, spam] : spam_) {
      if (!session.usable()) {
        Incomplete("spam message " + spam.uniqueId + " was not deleted: the connection was lost");
        continue;
      }
      if (!session.Remove(uid)) {
        Trace("message " + spam.uniqueId + " not deleted: " + session.lastError());
        Incomplete("spam message " + spam.uniqueId + " was not deleted: " + session.lastError());
        if (session.removal() == ImapRemoval::None || session.uidValidityChanged()) {
          break;
        }
        continue;
      }
      ++removed_;
      mailboxSize_ -= size;
      if (options_.LogDeleted) {
        LogRemoved(environment_.deletedLogDir, clock_, account_, spam);
      }
    }
  }

  void StorageAlert() {
    if (StorageLimitPassed(account_, mailboxSize_)) {
      observer_.StorageAlert(StorageNotice(account_));
    }
  }

  void End(ImapSession& session) {
    if (session.usable()) {
      session.Logout();
    }
    session.Close();
  }

  ImapAccountResult ConnectFailed(const std::string& why) {
    Trace("Failed to connect server");
    Trace(why);
    observer_.SetTrayIcon(TrayState::Disconnected);
    observer_.SetTrayTooltip("'" + account_.UserName + "' is disconnected");
    result_.outcome.status = AccountOutcome::Status::Failed;
    result_.outcome.error = why;
    result_.end = ImapAccountResult::End::ConnectFailed;
    return result_;
  }

  void Incomplete(const std::string& why) { AddIncompleteReason(result_.outcome, problems_, why); }

  void Trace(std::string_view step) const { trace_.Write(account_.UserName, step); }

  const AppOptions& options_;
  const MailAccount& account_;
  const int index_;
  EnvelopeStore& store_;
  CheckObserver& observer_;
  const MailEnvironment& environment_;
  const CommandTrace& trace_;
  const Clock& clock_;
  ImapAccountResult result_;
  uint32_t uidValidity_ = 0;
  int expected_ = 0;  // EXISTS when the folder was selected
  int seen_ = 0;      // messages fetched
  int removed_ = 0;   // spam the server confirmed removed
  int problems_ = 0;
  int64_t mailboxSize_ = 0;
  struct Spam {
    uint32_t uid;
    int64_t size;
    Envelope envelope;
  };
  std::vector<Spam> spam_;
};

}  // namespace

bool IsImapAccount(const MailAccount& account) {
  return ParseProtocol(account.Protocol) != MailProtocol::Pop3;
}

ImapAccountResult RunImapAccount(const Settings& settings, int index, EnvelopeStore& store,
                                 CheckObserver& observer, const MailEnvironment& environment,
                                 const CommandTrace& trace, const Clock& clock) {
  return ImapAccountPass(settings, index, store, observer, environment, trace, clock).Run();
}

DeleteOutcome DeleteImapMessage(const Envelope& entry, const AppOptions& options,
                                const MailAccount& account, const MailEnvironment& environment) {
  DeleteOutcome outcome;
  uint32_t listedValidity = 0;
  uint32_t uid = 0;
  if (!ParseProtocol(account.Protocol)) {
    outcome.error = ProtocolValueError(account.Protocol);
    return outcome;
  }
  if (!ParseImapIdentity(entry.uniqueId, listedValidity, uid)) {
    outcome.refused = true;
    outcome.error = "the message was not listed from this IMAP account; check again first";
    return outcome;
  }
  const std::optional<Security> security = account.Security.value();
  if (!security) {
    outcome.error = SecurityValueError(account.Security.text());
    return outcome;
  }
  const PasswordAnswer password = environment.password(account, environment.cancel.get());
  if (!password.found) {
    outcome.error = password.error;
    return outcome;
  }
  ImapSession session(environment.makeTransport(account), environment.imapLimits);
  if (!session.Connect(account.POP3Server, PortOf(account, *security), account.UserName,
                       password.password, *security) ||
      !session.Select(account.IMAPFolder)) {
    outcome.error = session.lastError();
    session.Close();
    return outcome;
  }
  if (session.uidValidity() != listedValidity) {
    outcome.refused = true;
    outcome.error =
        "the folder was rebuilt on the server since the check (its UIDVALIDITY changed); "
        "nothing is deleted: check again";
  } else if (!session.Remove(uid)) {
    outcome.error = session.lastError();
  } else {
    outcome.deleted = true;
    if (options.LogDeleted) {
      SystemClock systemClock;
      LogRemoved(environment.deletedLogDir, environment.clock ? *environment.clock : systemClock,
                 account, entry);
    }
  }
  if (session.usable()) {
    session.Logout();
  }
  session.Close();
  return outcome;
}

}  // namespace bc
