#pragma once

#include <QCoreApplication>
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

/// Qt's application object, for a command that uses Qt's event loop, timers or
/// queued calls. Made by the command itself, and only when needed: a command
/// that needs none of them (say --wav, voices) is spared Qt's start-up.
class CommandApplication {
 public:
  CommandApplication();

 private:
  int argc_ = 1;
  char name_[12] = "brindlecast";
  char* argv_[2] = {name_, nullptr};
  QCoreApplication app_{argc_, argv_};
};

/// A headless command: needs no display and does not take the single-instance
/// lock. `args` are the words after the command name.
struct Command {
  const char* name;
  const char* summary;  // one line for the program's --help
  const char* exits;    // its exit statuses but the usage error, for --help
  /// Runs it in this program; null for a command of another program.
  int (*run)(const std::vector<std::string>& args, const CommandContext& context);
  /// The private program (config/paths.h) that runs it when `run` is null,
  /// given the same words.
  const char* program = nullptr;
};

/// Every command, in the order --help lists them.
[[nodiscard]] std::span<const Command> Commands();

/// The command called `name`, or nullptr.
[[nodiscard]] const Command* FindCommand(const std::string& name);

}  // namespace bc::cli
