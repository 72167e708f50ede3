#pragma once

#include <optional>
#include <string>

#include "config/settings.h"
#include "mail/check_cycle.h"
#include "mail/envelope_store.h"

namespace bc {

/// The rows of the email list as the delete worker's loop sees them. The
/// desktop list implements it on the user-interface thread, and the worker's
/// calls are carried there. Once the program ends, the worker's view of the
/// list has no row selected and its other calls do nothing, so the loop stops
/// after the message under way.
class DeletionRows {
 public:
  virtual ~DeletionRows() = default;
  /// The messageId of the first (lowest) selected row, or nullopt when none is.
  virtual std::optional<long long> FirstSelectedMessageId() = 0;
  /// The row of `messageId` leaves the list (and its selection).
  virtual void RemoveRow(long long messageId) = 0;
  /// Rows of `accountIndex` whose message index is above `deletedIndex` move
  /// down one, as the server renumbers after the deleting session's QUIT.
  virtual void RenumberRows(int accountIndex, int deletedIndex) = 0;
};

class Pop3Session;

/// What the message on the server must show to be the one judged.
struct JudgedMessage {
  std::string uniqueId;    // from UIDL, may be empty
  std::string messageKey;  // Message-ID, else date and sender name
  // Without a unique id, a key made of date and sender name may be shared by
  // many messages (no Date, an address alone in From): then the sender's
  // address, the subject and the size must match as well.
  std::string address;
  std::string subject;
  std::string size;  // as SizeText gives it
};

/// True when a message without a unique id has a key that need not be its own
/// (no Message-ID): more of it must match before it is deleted.
[[nodiscard]] bool NeedsMoreThanKey(const JudgedMessage& message);

/// The same message as far as anything read can tell, when no unique id exists.
[[nodiscard]] bool LookAlike(const JudgedMessage& a, const JudgedMessage& b);
/// Why message n, which LookAlike another, was not deleted.
[[nodiscard]] std::string LookAlikeError(int n);

/// Confirms that message n on the server now is the one judged: by "UIDL n"
/// when the id is known and the server answers, and always by the headers of
/// "TOP n 0", which prove that the text judged is that message's (a server whose
/// replies are out of step hands out another message's text under the right
/// number and id); where NeedsMoreThanKey, also by address, subject and
/// "LIST n" size. Sets `why` when it is not, or cannot be told. Called before
/// every DELE, so a mailbox renumbered behind the client's back never loses the
/// wrong message.
[[nodiscard]] bool ConfirmMessage(Pop3Session& session, int n, const JudgedMessage& judged,
                                  std::string& why);

/// The identity of a listed or judged message.
[[nodiscard]] JudgedMessage JudgedOf(const Envelope& envelope);

/// How the deletion of one message went.
struct DeleteOutcome {
  bool deleted = false;  // the server accepted DELE and QUIT
  bool refused = false;  // the message on the server is no longer the listed one
  std::string error;     // why nothing was deleted, for people
};

/// Deletes one message in a POP3 session of its own (connect, log in, confirm
/// identity, DELE, QUIT) and logs it when LogDeleted is on. Before DELE it makes
/// sure the message with that number is still the one the list shows
/// (ConfirmMessage). On a mismatch, when it cannot be confirmed, or when
/// another row of the account cannot be told from it, nothing is deleted.
[[nodiscard]] DeleteOutcome DeleteMessage(long long messageId, const Settings& settings,
                                          const EnvelopeStore& store,
                                          const MailEnvironment& environment);

/// Called after each row is handled.
using DeletionReport = std::function<void(const Envelope&, const DeleteOutcome&)>;

/// The delete worker's loop: while a row is selected, deletes the message of the
/// first selected row, removes the row and its store entry whatever the outcome,
/// and after a real deletion renumbers the later rows of that account in the
/// list and the store. Returns the number of messages deleted on the server.
int DeleteSelected(const Settings& settings, EnvelopeStore& store, DeletionRows& rows,
                   const MailEnvironment& environment, const DeletionReport& report = {});

/// Renumbers the store entries of `accountIndex` whose message index is above
/// `deletedIndex` (the high 16 bits of their messageId go down by one).
void RenumberAfterDeletion(EnvelopeStore& store, int accountIndex, int deletedIndex);

}  // namespace bc
