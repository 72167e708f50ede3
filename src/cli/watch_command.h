#pragma once

#include <string>
#include <vector>

#include "cli/commands.h"

namespace bc::cli {

/// brindlecast watch [--account NAME]: keeps the enabled IMAP accounts in IDLE
/// and prints each new envelope as one JSON line the moment it arrives, until
/// interrupted. Exit status 0 when interrupted, 1 when no account can be
/// watched, 2 on bad usage.
int RunWatchCommand(const std::vector<std::string>& args, const CommandContext& context);

}  // namespace bc::cli
