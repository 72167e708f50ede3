#pragma once

#include <string>

#include "config/notice.h"
#include "config/settings.h"
#include "mail/envelope_store.h"

namespace bc {

/// The four pictures of the notification-area icon.
enum class TrayState { Idle, MailPresent, Checking, Disconnected };

/// How one account fared in a pass (for the headless command and the log).
struct AccountOutcome {
  /// Incomplete: the mailbox was reached, but a message could not be read,
  /// checked or deleted as decided; `error` says which and why.
  enum class Status { Skipped, Checked, Incomplete, Failed };
  int accountIndex = 0;
  std::string userName;
  Status status = Status::Skipped;
  int messages = 0;       // left in the mailbox after spam was deleted
  int deletedAsSpam = 0;  // DELE accepted and committed by QUIT
  std::string error;      // why it failed or is incomplete, for people
  /// What failed: the verb of the command the server refused or that broke
  /// ("PASS", "STLS", "LIST"), "connect" when the server was not reached or
  /// did not greet, "password" when no password could be had, "Security" for
  /// an unknown Security value; empty when nothing failed.
  std::string failedStep;
  // What the pass did about remembered mail, when it could not use it as it
  // was (no UIDL, a damaged store), for people.
  std::string memoryNote;
  int newMessages = 0;  // accepted and reported as new
};

/// Marks `outcome` Incomplete and adds `why` to its reasons, keeping only the
/// first few: a mailbox of broken messages must not grow the text without end.
/// `problems` counts the reasons given so far for the account.
inline void AddIncompleteReason(AccountOutcome& outcome, int& problems, const std::string& why) {
  constexpr int kReasonsShown = 3;
  outcome.status = AccountOutcome::Status::Incomplete;
  if (++problems <= kReasonsShown) {
    outcome.error += (outcome.error.empty() ? "" : "; ") + why;
  } else if (problems == kReasonsShown + 1) {
    outcome.error += "; and more";
  }
}

/// What a check pass tells the windows. The desktop program forwards each call to
/// the user-interface thread; the headless command prints; tests record. Every
/// call comes from the worker thread running the pass.
class CheckObserver {
 public:
  virtual ~CheckObserver() = default;

  virtual void SetTitle(const std::string& /*title*/) {}
  /// Accounts bar: position in 0..maximum.
  virtual void SetAccountsProgress(int /*position*/, int /*maximum*/) {}
  /// Emails bar: position in 0..maximum.
  virtual void SetEmailsProgress(int /*position*/, int /*maximum*/) {}
  virtual void SetTrayIcon(TrayState /*icon*/) {}
  virtual void SetTrayTooltip(const std::string& /*text*/) {}
  /// The list was emptied with the store at the start of the pass.
  virtual void ListCleared() {}
  /// An accepted message was appended to the store as entry `index`; the list
  /// shows the row and the announcement decides whether it is new.
  virtual void EnvelopeAccepted(int /*index*/, const Envelope& /*envelope*/) {}
  /// A listed message left the mailbox (expunged by another client while an
  /// IMAP account idles): its row goes, and the account's later rows move down
  /// one, as after a deletion. The store has done the same.
  virtual void EnvelopeRemoved(long long /*messageId*/) {}
  /// The mailbox passed its storage limit: show the storage notice.
  virtual void StorageAlert(const Notice& /*notice*/) {}
  /// No account is configured: let the user add one (the desktop program opens
  /// the property sheet and waits for it), then put the result into `settings`.
  virtual void NoAccountConfigured(Settings& /*settings*/) {}
  virtual void AccountFinished(const AccountOutcome& /*outcome*/) {}
  /// The pass is over; `largestMailbox` chooses the tray animation's last icon.
  virtual void PassFinished(int /*largestMailbox*/) {}
};

}  // namespace bc
