#include "cli/commands.h"

#include <array>

#include "cli/check_command.h"
#include "cli/speech_commands.h"

namespace bc::cli {
namespace {

// One entry per command; each command lives in its own file.
constexpr std::array<Command, 3> kCommands = {{
    {"check", "run one check pass and print the envelopes found", RunCheckCommand},
    {"say", "speak a text aloud, or render it into a WAV file", RunSay},
    {"voices", "list the installed voices", RunVoices},
}};

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) {
      return &command;
    }
  }
  return nullptr;
}

}  // namespace bc::cli
