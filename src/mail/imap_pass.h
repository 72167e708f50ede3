#pragma once

#include <string>

#include "config/clock.h"
#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/check_observer.h"
#include "mail/deletion.h"
#include "mail/envelope_store.h"
#include "mail/mail_log.h"

namespace bc {

/// How an IMAP account's part of a pass ended (as the POP3 part's endings).
struct ImapAccountResult {
  enum class End { ConnectFailed, Abandoned, Empty, Done };
  End end = End::ConnectFailed;
  AccountOutcome outcome;
  int messagesLeft = 0;  // in the folder after the spam removals the server confirmed
};

/// True when an account is checked over IMAP (or names a protocol we do not
/// know, which the IMAP pass refuses with its reason).
[[nodiscard]] bool IsImapAccount(const MailAccount& account);

/// One IMAP account's part of a pass: logs in, selects the account's folder
/// (INBOX by default), fetches by UID what the envelopes need without marking
/// anything \Seen, builds and judges the envelopes as the POP3 pass does,
/// removes spam by UID only (UID EXPUNGE, or MOVE to Junk/Trash), logs what the
/// server confirmed removed, appends the accepted envelopes to `store` and
/// reports through `observer`. The identity of each envelope is UIDVALIDITY and
/// UID (Envelope::uniqueId).
[[nodiscard]] ImapAccountResult RunImapAccount(const Settings& settings, int index,
                                               EnvelopeStore& store, CheckObserver& observer,
                                               const MailEnvironment& environment,
                                               const CommandTrace& trace, const Clock& clock);

/// The Delete command on an envelope of an IMAP account: a session of its own
/// removes the message by its UID when the folder's UIDVALIDITY is still the
/// one listed; otherwise nothing is deleted.
[[nodiscard]] DeleteOutcome DeleteImapMessage(const Envelope& entry, const AppOptions& options,
                                              const MailAccount& account,
                                              const MailEnvironment& environment);

}  // namespace bc
