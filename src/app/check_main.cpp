// The mail commands' program: `brindlecast check ...` and `brindlecast watch
// ...` carry on as this one (main.cpp), so that only they load the network,
// keyring and D-Bus libraries. Called with the same words: argv[1] is the
// command.
#include <cstdio>
#include <string>
#include <vector>

#include "app/default_environment.h"
#include "cli/check_command.h"
#include "cli/commands.h"
#include "cli/watch_command.h"

int main(int argc, char** argv) {
  const std::string command = argc < 2 ? "" : argv[1];
  if (command != "check" && command != "watch") {
    std::fputs("brindlecast-check: run `brindlecast check` or `brindlecast watch` instead\n",
               stderr);
    return bc::cli::kUsageError;
  }
  const bc::cli::CommandApplication app;
  const bc::cli::CommandContext context{bc::DefaultMailEnvironment};
  const std::vector<std::string> args(argv + 2, argv + argc);
  return command == "check" ? bc::cli::RunCheckCommand(args, context)
                            : bc::cli::RunWatchCommand(args, context);
}
