#pragma once

#include <string>

#include "config/settings.h"
#include "mail/check_observer.h"

namespace bc {

/// Why an account could not be checked, as the user reads it under the list.
struct CheckProblem {
  int accountIndex = 0;  // the account to offer for editing
  std::string text;

  bool operator==(const CheckProblem&) const = default;
};

/// Whether an account's pass failed outright (not reached, login refused, the
/// mailbox not readable): the tray shows the disconnected picture meanwhile.
[[nodiscard]] inline bool IsFailing(const AccountOutcome& outcome) {
  return outcome.status == AccountOutcome::Status::Failed;
}

/// The explanation of an account's outcome in plain words first, naming the
/// account as user@server ("The server refused the password for
/// alice@pop.example.org"), then our detail and the server's own words in
/// brackets. Empty when the account went well.
[[nodiscard]] std::string PlainProblemText(const AccountOutcome& outcome,
                                           const MailAccount& account);

/// What the pass did about an account's remembered mail when it could not use
/// it as it was ("Remembered mail for alice@pop.example.org: ..."); empty when
/// there is nothing to say.
[[nodiscard]] std::string RememberedMailText(const AccountOutcome& outcome,
                                             const MailAccount& account);

}  // namespace bc
