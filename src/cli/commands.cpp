#include "cli/commands.h"

#include <array>

#include "cli/speech_commands.h"
#include "config/paths.h"

namespace bc::cli {
namespace {

// One entry per command; each command lives in its own file. `check` and
// `watch` run in a program of their own, which alone links the mail, keyring
// and D-Bus code.
constexpr std::array<Command, 4> kCommands = {{
    {"check", "run one check pass and print the envelopes found",
     "0 when every enabled account was checked completely; 1 when\n"
     "an account failed or was incomplete, or none is configured",
     nullptr, kCheckProgramName},
    {"say", "speak a text aloud, or render it into a WAV file",
     "0 when the text was spoken or the WAV file written; 1 when the\n"
     "voice data cannot be loaded or the WAV file cannot be written",
     RunSay},
    {"voices", "list the installed voices",
     "0 when they were listed; 1 when the voice data cannot be loaded", RunVoices},
    {"watch", "keep IMAP accounts in IDLE and print new envelopes as JSON lines",
     "0 when interrupted; 1 when no IMAP account can be watched", nullptr, kCheckProgramName},
}};

}  // namespace

std::span<const Command> Commands() {
  return kCommands;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) {
      return &command;
    }
  }
  return nullptr;
}

}  // namespace bc::cli
