#include "mail/deletion.h"

#include <filesystem>

#include "mail/envelope_fields.h"
#include "mail/imap_pass.h"
#include "mail/mail_log.h"
#include "mail/message_envelope.h"
#include "mail/pop3_session.h"
#include "mime/mime_decoder.h"

namespace bc {
JudgedMessage JudgedOf(const Envelope& envelope) {
  return {envelope.uniqueId, envelope.messageKey, envelope.address, envelope.subject,
          envelope.size};
}

bool NeedsMoreThanKey(const JudgedMessage& message) {
  // A Message-ID is enclosed in angle brackets; the fallback key starts with
  // the date.
  return message.uniqueId.empty() && !message.messageKey.starts_with('<');
}

bool LookAlike(const JudgedMessage& a, const JudgedMessage& b) {
  return a.messageKey == b.messageKey && a.address == b.address && a.subject == b.subject &&
         a.size == b.size;
}

std::string LookAlikeError(int n) {
  return "message " + std::to_string(n) +
         " cannot be told apart from another message of the mailbox (the server gives no unique "
         "ids), so it was not deleted";
}

bool ConfirmMessage(Pop3Session& session, int n, const JudgedMessage& judged, std::string& why) {
  const std::string changed =
      "the mailbox changed: message " + std::to_string(n) + " on the server is another message now";
  if (!judged.uniqueId.empty()) {
    std::string uid;
    if (session.UidlOf(n, uid) && uid != judged.uniqueId) {
      why = changed;
      return false;
    }
  }
  // The id proves which message has number n, not that the text judged was
  // that message's: a server whose replies are out of step hands out another
  // message's text under the right number and id. The headers prove the text.
  if (!session.Top(n, 0)) {
    why = "the message could not be identified on the server (" + session.lastError() + ")";
    return false;
  }
  DecodedMessage headers;
  MimeDecoder decoder;
  decoder.SetCollectBody(false);
  decoder.Decode(session.messageText(), headers);
  const std::string differ =
      "message " + std::to_string(n) +
      " on the server is not the message judged: its headers differ (the mailbox changed, "
      "or the server's replies are out of step)";
  if (MessageKeyOfHeaders(headers) != judged.messageKey) {
    why = differ;
    return false;
  }
  if (!NeedsMoreThanKey(judged)) {
    return true;
  }
  const Envelope shown = BuildEnvelope(headers, 0, AppOptions{}, MailAccount{}, 0, 0);
  if (shown.address != judged.address || shown.subject != judged.subject) {
    why = differ;
    return false;
  }
  int64_t size = 0;
  if (!session.SizeOf(n, size)) {
    why = "the message could not be identified on the server (" + session.lastError() + ")";
    return false;
  }
  if (SizeText(size) != judged.size) {
    why = "message " + std::to_string(n) +
          " on the server is not the message judged: its size differs";
    return false;
  }
  return true;
}

DeleteOutcome DeleteMessage(long long messageId, const Settings& settings,
                            const EnvelopeStore& store, const MailEnvironment& environment) {
  DeleteOutcome outcome;
  const int accountIndex = AccountIndexOf(messageId);
  const int number = MessageIndexOf(messageId) + 1;
  if (accountIndex >= static_cast<int>(settings.accounts.size())) {
    outcome.error = "the message's account no longer exists";
    return outcome;
  }
  const MailAccount& account = settings.accounts[static_cast<size_t>(accountIndex)];
  const int row = store.FindByMessageId(messageId);
  const Envelope entry = store.Get(row);
  if (row < 0) {
    outcome.error = "the message is not in the list";
    return outcome;
  }
  if (IsImapAccount(account)) {
    return DeleteImapMessage(entry, settings.options, account, environment);
  }

  const JudgedMessage judged = JudgedOf(entry);
  if (NeedsMoreThanKey(judged)) {
    for (const Envelope& other : store.Snapshot()) {
      if (other.messageId != entry.messageId &&
          AccountIndexOf(std::stoll("0" + other.messageId)) == accountIndex &&
          LookAlike(JudgedOf(other), judged)) {
        outcome.refused = true;
        outcome.error = LookAlikeError(number);
        return outcome;
      }
    }
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
  Pop3Session session(environment.makeTransport(account), environment.replyLimits);
  if (!session.Connect(account.POP3Server, account.POP3Port.value(), account.UserName,
                       password.password, *security)) {
    outcome.error = session.lastError();
    session.Close();
    return outcome;
  }
  if (!ConfirmMessage(session, number, judged, outcome.error)) {
    outcome.refused = true;
    session.Quit();
    session.Close();
    return outcome;
  }
  const bool accepted = session.Delete(number);
  if (!accepted) {
    outcome.error = session.lastError();
  } else if (settings.options.LogDeleted) {
    SystemClock systemClock;
    const Clock& clock = environment.clock ? *environment.clock : systemClock;
    LogDeletedMessage(environment.deletedLogDir, account.UserName, clock, entry);
  }
  const bool quit = session.Quit();
  if (!quit) {
    session.Close();
    if (accepted) {
      outcome.error = "the server did not confirm the deletion (" + session.lastError() + ")";
    }
  }
  session.Close();
  outcome.deleted = accepted && quit;
  return outcome;
}

void RenumberAfterDeletion(EnvelopeStore& store, int accountIndex, int deletedIndex) {
  for (int k = 0; k < store.Count(); ++k) {
    const long long id = std::stoll("0" + store.Get(k).messageId);
    if (AccountIndexOf(id) == accountIndex && MessageIndexOf(id) > deletedIndex) {
      store.SetMessageId(k, std::to_string(MakeMessageId(MessageIndexOf(id) - 1, accountIndex)));
    }
  }
}

int DeleteSelected(const Settings& settings, EnvelopeStore& store, DeletionRows& rows,
                   const MailEnvironment& environment, const DeletionReport& report) {
  int deleted = 0;
  while (const std::optional<long long> id = rows.FirstSelectedMessageId()) {
    const DeleteOutcome outcome = DeleteMessage(*id, settings, store, environment);
    const int row = store.FindByMessageId(*id);
    const Envelope entry = store.Get(row);
    rows.RemoveRow(*id);
    store.Remove(row);
    if (outcome.deleted) {
      ++deleted;
      RenumberAfterDeletion(store, AccountIndexOf(*id), MessageIndexOf(*id));
      rows.RenumberRows(AccountIndexOf(*id), MessageIndexOf(*id));
    }
    if (report) {
      report(entry, outcome);
    }
  }
  return deleted;
}

}  // namespace bc
