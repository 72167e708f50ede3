#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "config/settings.h"

namespace bc {

/// The password an account logs in with, or why there is none.
struct PasswordAnswer {
  bool found = false;
  std::string password;
  std::string error;  // for people, when not found
};

/// Where a pass takes an account's password from. Called on the worker thread;
/// a lookup that waits gives up once `cancel` (when given) turns true.
using PasswordLookup =
    std::function<PasswordAnswer(const MailAccount&, const std::atomic<bool>* cancel)>;

/// The password the record holds: the settings file's, or the one typed in
/// this session. Never fails.
[[nodiscard]] inline PasswordAnswer RecordedPassword(
    const MailAccount& account, const std::atomic<bool>* /*cancel*/ = nullptr) {
  return {true, account.Passwd, {}};
}

}  // namespace bc
