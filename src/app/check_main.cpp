// The check command's program: `brindlecast check ...` carries on as this one
// (main.cpp), so that only a check loads the network, keyring and D-Bus
// libraries. Called with the same words: argv[1] is "check".
#include <cstdio>
#include <string>
#include <vector>

#include "app/default_environment.h"
#include "cli/check_command.h"
#include "cli/commands.h"

int main(int argc, char** argv) {
  if (argc < 2 || std::string(argv[1]) != "check") {
    std::fputs("brindlecast-check: run `brindlecast check` instead\n", stderr);
    return bc::cli::kUsageError;
  }
  const bc::cli::CommandApplication app;
  const bc::cli::CommandContext context{bc::DefaultMailEnvironment};
  return bc::cli::RunCheckCommand(std::vector<std::string>(argv + 2, argv + argc), context);
}
