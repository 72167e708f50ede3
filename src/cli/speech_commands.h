#pragma once

#include <string>
#include <vector>

#include "cli/commands.h"

namespace bc::cli {

/// brindlecast say TEXT... [--wav FILE] [--voice ID] [--verbose]
/// Speaks the text and waits until it has been spoken; with --wav renders it
/// into FILE instead. Returns 0, 1 when speaking or writing failed, or
/// kUsageError.
int RunSay(const std::vector<std::string>& args, const CommandContext& context);

/// brindlecast voices: one line per installed voice, its id and description.
int RunVoices(const std::vector<std::string>& args, const CommandContext& context);

}  // namespace bc::cli
