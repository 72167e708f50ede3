#pragma once

#include <string>

#include "config/clock.h"
#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/check_observer.h"
#include "mail/deletion.h"
#include "mail/envelope_store.h"
#include "mail/imap_session.h"
#include "mail/mail_log.h"

namespace bc {

/// How an IMAP account's part of a pass ended (as the POP3 part's endings).
struct ImapAccountResult {
  enum class End { ConnectFailed, Abandoned, Empty, Done };
  End end = End::ConnectFailed;
  AccountOutcome outcome;
  int messagesLeft = 0;  // in the folder after the spam removals the server confirmed
};

/// What an IDLE watch knows of its folder between the server's reports.
struct ImapFollowed {
  uint32_t uidValidity = 0;
  uint32_t lastUid = 0;  // the highest UID known: judged, or there when the watch began
};

/// How a wake went.
struct ImapWakeResult {
  AccountOutcome outcome;
  /// The folder's UIDVALIDITY changed, or its UIDs could not be followed: no
  /// UID known before is certain, and a whole pass is due.
  bool startAgain = false;
  int added = 0;    // new messages accepted and reported
  int removed = 0;  // listed messages that left the folder
};

/// Begins following `session`'s selected folder for wakes: maps its UIDs; the
/// messages in it now are known (a pass lists them).
[[nodiscard]] bool FollowImapFolder(ImapSession& session, ImapFollowed& followed);

/// After the server reported a change on `session` (selected, followed, not
/// idling): fetches by UID only the messages above `followed.lastUid`, judges
/// them by the account's rules, removes the spam by UID (logged when LogDeleted
/// is on), appends the accepted ones to `store` and reports them through
/// `observer` as a pass does, where the announcement takes them; a listed
/// message the server expunged leaves `store` (EnvelopeRemoved). With
/// RememberMail on, the new messages are remembered and announced once ever.
[[nodiscard]] ImapWakeResult UpdateImapAccount(const Settings& settings, int index,
                                               ImapSession& session, ImapFollowed& followed,
                                               EnvelopeStore& store, CheckObserver& observer,
                                               const MailEnvironment& environment);

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
