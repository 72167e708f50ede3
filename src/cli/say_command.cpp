#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/commands.h"
#include "cli/speech_commands.h"
#include "config/paths.h"
#include "config/prompt.h"
#include "speech/audio_outputs.h"
#include "speech/espeak_voice.h"
#include "speech/speech_engine.h"

namespace bc::cli {
namespace {

constexpr const char* kSayUsage =
    "Usage: brindlecast say TEXT... [--wav FILE] [--voice ID] [--verbose]\n"
    "\n"
    "Speaks TEXT with the default voice and waits until it has been spoken.\n"
    "Without a sound device the speech plays silently, in real time.\n"
    "\n"
    "  --wav FILE   render the speech into FILE (PCM WAV, 22050 Hz, mono, 16-bit),\n"
    "               replacing it, instead of speaking aloud\n"
    "  --voice ID   speak with this voice (see brindlecast voices)\n"
    "  --verbose    report when the speech starts and ends\n";

struct SayArgs {
  std::string text;
  std::string wav;
  std::string voice;
  bool verbose = false;
};

// Returns false (after saying why) when the words are not a valid call.
bool Parse(const std::vector<std::string>& args, SayArgs& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if ((word == "--wav" || word == "--voice") && i + 1 < args.size()) {
      (word == "--wav" ? out.wav : out.voice) = args[++i];
    } else if (word == "--verbose" || word == "-v") {
      out.verbose = true;
    } else if (word == "--") {
      for (++i; i < args.size(); ++i) {
        out.text += (out.text.empty() ? "" : " ") + args[i];
      }
    } else if (word.starts_with("--")) {
      std::fprintf(stderr, "brindlecast say: unknown or incomplete option '%s'\n", word.c_str());
      return false;
    } else {
      out.text += (out.text.empty() ? "" : " ") + word;
    }
  }
  if (out.text.empty()) {
    std::fputs("brindlecast say: nothing to say\n", stderr);
    return false;
  }
  return true;
}

}  // namespace

int RunSay(const std::vector<std::string>& args, const CommandContext& /*context*/) {
  for (const std::string& word : args) {
    if (word == "--help" || word == "-h") {
      std::fputs(kSayUsage, stdout);
      return 0;
    }
  }
  SayArgs say;
  if (!Parse(args, say)) {
    std::fputs(kSayUsage, stderr);
    return kUsageError;
  }
  if (!say.wav.empty()) {
    // The file is written beside its target and renamed over it: a device, a
    // pipe or a folder cannot be replaced that way, and writing into one
    // directly could fail unseen (a full device takes nothing).
    std::error_code error;
    const auto target = std::filesystem::status(say.wav, error);
    if (std::filesystem::exists(target) && !std::filesystem::is_regular_file(target)) {
      std::fprintf(stderr, "brindlecast say: '%s' is not a regular file; nothing was written\n",
                   say.wav.c_str());
      return 1;
    }
  }
  if (!SynthesizerAvailableBeforeThreads()) {
    std::fputs("brindlecast say: the espeak-ng voice data cannot be loaded\n", stderr);
    return 1;
  }
  if (say.wav.empty()) {
    // Answered while the voice and the speech are made ready.
    PrepareDeviceOutputs();
  }
  if (say.voice.empty()) {
    ConsolePrompt prompt;
    say.voice = SpeechEngine::StoredDefaultVoice(SettingsFilePath(), prompt);
  } else if (!IsInstalledVoice(say.voice)) {
    std::fprintf(stderr, "brindlecast say: no voice '%s' (brindlecast voices lists them)\n",
                 say.voice.c_str());
    return kUsageError;
  }

  const auto start = std::chrono::steady_clock::now();
  const auto stamp = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  if (!say.wav.empty()) {
    // Rendered on this thread: no engine, sound device or event loop.
    if (say.verbose) {
      std::fprintf(stderr, "%.3f s: speaking started\n", stamp());
    }
    std::string error;
    if (!SpeechEngine::RenderWaveFile(say.wav, say.text, say.voice, &error)) {
      std::fprintf(stderr, "brindlecast say: cannot write '%s': %s\n", say.wav.c_str(),
                   error.c_str());
      return 1;
    }
    if (say.verbose) {
      std::fprintf(stderr, "%.3f s: speaking finished\n", stamp());
    }
    return 0;
  }

  const CommandApplication app;
  // Loaded while the sound server answers the connection, which the engine
  // waits for; after the application object, which sets the locale, as the
  // engine would load it.
  static_cast<void>(LoadVoice(SpeechEngine::VoiceFor(say.voice)));
  SpeechEngine engine(say.voice, /*forceSilent=*/false);
  bool finished = false;
  QObject::connect(&engine, &SpeechEngine::SpeakingStarted, [&] {
    if (say.verbose) {
      std::fprintf(stderr, "%.3f s: speaking started\n", stamp());
    }
  });
  QObject::connect(&engine, &SpeechEngine::SpeakingFinished, [&] {
    if (say.verbose) {
      std::fprintf(stderr, "%.3f s: speaking finished\n", stamp());
    }
    finished = true;
    QCoreApplication::quit();
  });
  if (say.verbose && engine.HasSilentOutput()) {
    std::fputs("no audio output device: speaking silently in real time\n", stderr);
  }
  engine.Speak(say.text);
  if (!finished) {
    QCoreApplication::exec();
  }
  return 0;
}

}  // namespace bc::cli
