#pragma once

#include <string>
#include <vector>

#include "cli/commands.h"

namespace bc::cli {

/// brindlecast check [--json] [--account NAME]: one check pass with the stored
/// settings and the context's mail environment; prints the accepted envelopes and one line per
/// account. Exit status 0 when every enabled account was checked, 1 when one failed (or none is
/// configured), 2 on bad usage.
int RunCheckCommand(const std::vector<std::string>& args, const CommandContext& context);

}  // namespace bc::cli
