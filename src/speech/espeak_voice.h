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
/// calling thread) and serialise every call behind one lock, so a synthesis on
/// the speech thread and a voice listing elsewhere never overlap.

/// Whether espeak-ng and its data could be initialised.
[[nodiscard]] bool SynthesizerAvailable();

/// Every installed voice, in espeak-ng's order (read once and kept: the list
/// does not change while the program runs). Empty when espeak-ng is unusable.
[[nodiscard]] const std::vector<VoiceInfo>& InstalledVoices();

/// Whether `id` names an installed voice.
[[nodiscard]] bool IsInstalledVoice(const std::string& id);

/// Speaks `utf8` (already passed through ToSpeechText) with voice `voiceId`
/// (kFallbackVoiceId when empty or unknown), feeding `sink` as audio comes.
/// Blocks the calling thread for the synthesis (and for as long as `sink`
/// blocks). Returns false when espeak-ng failed or `sink` aborted.
bool Synthesize(std::string_view utf8, const std::string& voiceId, const PcmChunkSink& sink);

}  // namespace bc
