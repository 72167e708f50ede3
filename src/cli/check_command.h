#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"

#include "cli/commands.h"

namespace bc::cli {

/// brindlecast check [--json] [--account NAME]: one check pass with the stored
/// settings and the context's mail environment; prints the accepted envelopes and one line per
/// account. Exit status 0 when every enabled account was checked, 1 when one failed (or none is
/// configured), 2 on bad usage.
int RunCheckCommand(const std::vector<std::string>& args, const CommandContext& context);

/// The settings a pass runs with, remembered passwords moved to the keyring
/// first (as the desktop program does); nullopt when the settings file cannot
/// be read (the reason has been printed).
[[nodiscard]] std::optional<Settings> LoadSettingsForPass();

/// A JSON string: valid UTF-8, quotes and backslashes escaped, and every
/// character unsafe on a terminal as \uXXXX.
[[nodiscard]] std::string JsonString(const std::string& text);

}  // namespace bc::cli
