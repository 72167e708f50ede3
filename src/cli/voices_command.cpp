#include <cstdio>

#include "cli/commands.h"
#include "cli/speech_commands.h"
#include "speech/espeak_voice.h"

namespace bc::cli {

int RunVoices(const std::vector<std::string>& args, const CommandContext& /*context*/) {
  if (!args.empty()) {
    const bool help = args[0] == "--help" || args[0] == "-h";
    std::fputs(
        "Usage: brindlecast voices\n"
        "\n"
        "Lists the installed voices, one a line: the id that brindlecast say --voice\n"
        "takes, then the voice's name and language.\n",
        help ? stdout : stderr);
    return help ? 0 : kUsageError;
  }
  if (!SynthesizerAvailable()) {
    std::fputs("brindlecast voices: the espeak-ng voice data cannot be loaded\n", stderr);
    return 1;
  }
  for (const VoiceInfo& voice : InstalledVoices()) {
    std::printf("%-20s %s\n", voice.id.c_str(), VoiceDescription(voice).c_str());
  }
  return 0;
}

}  // namespace bc::cli
