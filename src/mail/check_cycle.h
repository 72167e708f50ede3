#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "config/clock.h"
#include "config/settings.h"
#include "mail/check_observer.h"
#include "mail/envelope_store.h"
#include "mail/imap_session.h"
#include "mail/password_lookup.h"
#include "mail/pop3_session.h"
#include "mail/pop3_transport.h"

namespace bc {

/// Makes the transport of an account's connection.
using TransportFactory = std::function<std::unique_ptr<Pop3Transport>(const MailAccount&)>;

/// The transport the program uses: a socket with the account's security settings.
[[nodiscard]] TransportFactory SocketTransportFactory(int timeoutMs = 60000);

/// Where a pass writes and how it connects.
struct MailEnvironment {
  TransportFactory makeTransport = SocketTransportFactory();
  const Clock* clock = nullptr;  // nullptr: the system clock
  std::string commandLogPath;    // the command trace
  std::string deletedLogDir;     // the daily deleted-mail logs
  ReplyLimits replyLimits;       // how long and large a server's reply may be
  ImapSessionLimits imapLimits;  // the same for IMAP accounts
  // Where an account's password comes from (called on the worker).
  PasswordLookup password = RecordedPassword;
  // Turns true when the program is ending: a password lookup stops waiting.
  std::shared_ptr<const std::atomic<bool>> cancel;
  // Where each account's remembered mail lives (RememberMail); empty: MailMemoryDir().
  std::string mailMemoryDir;
};

/// What a pass found, summed up.
struct CheckSummary {
  int totalMessages = 0;
  int largestMailbox = 0;
  bool endedEarly = false;  // the last account could not be reached
};

/// One pass over every enabled account: logs in, retrieves every message,
/// decodes it, deletes spam on the server once the message's identity is
/// confirmed (logging it when LogDeleted is on),
/// appends each accepted envelope to `store`, watches the storage limit, and
/// reports through `observer`. An account whose pass skipped or failed a message,
/// or whose deletions the server did not commit, ends Incomplete. Works on its own copy of the
/// settings, so edits made while it runs never reach it. Runs on the calling (worker) thread.
CheckSummary RunCheck(Settings settings, EnvelopeStore& store, CheckObserver& observer,
                      const MailEnvironment& environment);

/// The tray's tooltip after a pass that left totalMessages messages listed.
[[nodiscard]] std::string PassTooltip(int totalMessages);

/// The notice that an account's mailbox has passed its storage limit.
[[nodiscard]] Notice StorageNotice(const MailAccount& account);

/// The account's storage alert is on and `mailboxSize` bytes pass its limit.
[[nodiscard]] bool StorageLimitPassed(const MailAccount& account, int64_t mailboxSize);

/// The mailbox capacity of an account in bytes (64-bit: capacities of 2 GB and
/// more are common).
[[nodiscard]] int64_t MailboxCapacity(const MailAccount& account);

}  // namespace bc
