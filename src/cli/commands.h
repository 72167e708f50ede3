#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "mail/check_cycle.h"

namespace bc::cli {

/// Exit status of a command used wrongly.
inline constexpr int kUsageError = 2;

/// What the program that runs a command gives it.
struct CommandContext {
  /// Where a check pass writes and takes the passwords from.
  std::function<MailEnvironment()> mailEnvironment;
};

/// A headless command: runs with a QCoreApplication, needs no display and does
/// not take the single-instance lock. `args` are the words after the command name.
struct Command {
  const char* name;
  const char* summary;  // one line for the program's --help
  const char* exits;    // its exit statuses but the usage error, for --help
  int (*run)(const std::vector<std::string>& args, const CommandContext& context);
};

/// Every command, in the order --help lists them.
[[nodiscard]] std::span<const Command> Commands();

/// The command called `name`, or nullptr.
[[nodiscard]] const Command* FindCommand(const std::string& name);

}  // namespace bc::cli
