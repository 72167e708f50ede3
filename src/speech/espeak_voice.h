#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bc {

/// One installed espeak-ng voice.
struct VoiceInfo {
  std::string id;        // espeak-ng identifier, e.g. "gmw/en-US"; what the settings keep
  std::string name;      // e.g. "English (America)"
  std::string language;  // the voice's first language, e.g. "en-us"
  bool operator==(const VoiceInfo&) const = default;
};

/// The readable description of a voice shown in voice lists: "name (language)".
[[nodiscard]] std::string VoiceDescription(const VoiceInfo& voice);

/// The voice used when none was chosen, or when the chosen one is not installed.
inline constexpr const char* kFallbackVoiceId = "gmw/en";

/// The voice espeak-ng picks for a desktop language: `locale` is a POSIX locale
/// name such as "de_DE.UTF-8"; the voice for its language and country, else for
/// its language, else kFallbackVoiceId (also for "C", "POSIX" and empty).
[[nodiscard]] std::string VoiceForLocale(const std::vector<VoiceInfo>& voices,
                                         std::string_view locale);

/// The language a POSIX locale name gives, as espeak-ng names languages:
/// "de_DE.UTF-8@euro" gives "de-de"; "C", "POSIX" and empty give "".
[[nodiscard]] std::string LocaleLanguage(std::string_view locale);

/// The desktop's language as a POSIX locale name: LC_ALL, LC_MESSAGES or LANG,
/// the first that is set.
[[nodiscard]] std::string DesktopLocale();

/// VoiceForLocale of the desktop's locale; the installed voices are listed
/// only when the locale names a language.
[[nodiscard]] std::string DesktopVoice();

/// Makes mail text safe to hand to the synthesiser as UTF-8: valid UTF-8 is kept,
/// and every byte that is not part of a valid sequence (an undecoded 8-bit
/// header, say) is read as Latin-1, so 0xE9 is spoken as U+00E9. NUL bytes
/// become blanks, since the synthesiser would stop at the first.
[[nodiscard]] std::string ToSpeechText(std::string_view text);

/// Receives synthesised audio, 22050 Hz mono 16-bit, chunk by chunk as it is
/// produced. Returning false aborts the synthesis.
using PcmChunkSink = std::function<bool(std::span<const int16_t> samples)>;

/// espeak-ng is one set of process-wide state. These functions are its only
/// users: they initialise it once (synchronous output, so audio comes back to the
/// calling thread) and serialise every synthesis behind one lock. The voice list
/// is read once, when first asked for (at most one piece of text being spoken
/// delays that), and needs no lock afterwards.

/// Whether espeak-ng and its data could be initialised.
[[nodiscard]] bool SynthesizerAvailable();

/// SynthesizerAvailable for a program that still runs on one thread, which
/// keeps espeak-ng off the sound server: while it initialises, espeak-ng 1.51
/// connects there and sets up a stream it closes again, even for synchronous
/// output, where it never plays; a command that speaks at once would wait for
/// that before its own first sound. It changes the environment for the moment
/// of the call, so no other thread may be running.
[[nodiscard]] bool SynthesizerAvailableBeforeThreads();

/// Every installed voice, in espeak-ng's order (read on first use and kept: the
/// list does not change while the program runs). Empty when espeak-ng is unusable.
[[nodiscard]] const std::vector<VoiceInfo>& InstalledVoices();

/// Whether `id` names an installed voice.
[[nodiscard]] bool IsInstalledVoice(const std::string& id);

/// Splits a text into the pieces synthesised one at a time: after each
/// sentence's or line's end, and run-on text at a blank (or a character
/// boundary) within a few hundred bytes. The pieces together are the text.
[[nodiscard]] std::vector<std::string_view> SpeechPieces(std::string_view text);

/// Loads the voice Synthesize speaks `voiceId` with, so that the first text
/// need not wait for it. Returns false when espeak-ng cannot load it.
bool LoadVoice(const std::string& voiceId);

/// Speaks `utf8` (already passed through ToSpeechText) with voice `voiceId`
/// (kFallbackVoiceId when empty or unknown), feeding `sink` as audio comes.
/// Blocks the calling thread for the synthesis (and for as long as `sink`
/// blocks, without holding espeak-ng's lock while it does). Returns false when
/// espeak-ng failed or `sink` aborted.
bool Synthesize(std::string_view utf8, const std::string& voiceId, const PcmChunkSink& sink);

}  // namespace bc
