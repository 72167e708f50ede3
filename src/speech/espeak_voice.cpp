#include "speech/espeak_voice.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "speech/runtime_library.h"

namespace bc {
namespace {

// espeak-ng is opened when speech is first needed: with it come the sound
// server's client library and a dozen audio codecs, which a program's window
// does not need before it shows.
constexpr const char* kEspeakLibrary = "libespeak-ng.so.1";

// The calls made into espeak-ng.
struct EspeakCalls {
  decltype(&espeak_Initialize) initialize = nullptr;
  decltype(&espeak_SetSynthCallback) setSynthCallback = nullptr;
  decltype(&espeak_ListVoices) listVoices = nullptr;
  decltype(&espeak_SetVoiceByName) setVoiceByName = nullptr;
  decltype(&espeak_Synth) synth = nullptr;
};

// espeak-ng's calls, or null when its library is missing or is not one that
// has them all.
const EspeakCalls* Espeak() {
  static const std::optional<EspeakCalls> calls = []() -> std::optional<EspeakCalls> {
    const RuntimeLibrary library(kEspeakLibrary);
    EspeakCalls found;
    if (library.Find(found.initialize, "espeak_Initialize") &&
        library.Find(found.setSynthCallback, "espeak_SetSynthCallback") &&
        library.Find(found.listVoices, "espeak_ListVoices") &&
        library.Find(found.setVoiceByName, "espeak_SetVoiceByName") &&
        library.Find(found.synth, "espeak_Synth")) {
      return found;
    }
    return std::nullopt;
  }();
  return calls ? &*calls : nullptr;
}

// A piece is rendered whole before it is played: at most about 20 s of audio.
constexpr size_t kMaxPieceBytes = 300;
// 0.1 s of audio at 22050 Hz.
constexpr size_t kSinkChunkSamples = 2205;

std::mutex& EspeakMutex() {
  static std::mutex mutex;
  return mutex;
}

// The synthesis running on this thread. espeak-ng calls back on the thread that
// called espeak_Synth in synchronous mode, so a thread-local finds it.
struct SynthContext {
  const PcmChunkSink* sink = nullptr;
  bool aborted = false;
};
thread_local SynthContext* tCurrentSynth = nullptr;

int OnSynthesised(short* wav, int count, espeak_EVENT* /*events*/) {
  SynthContext* context = tCurrentSynth;
  if (!context || context->aborted) {
    return 1;
  }
  if (wav && count > 0) {
    if (!(*context->sink)(std::span<const int16_t>(wav, static_cast<size_t>(count)))) {
      context->aborted = true;
      return 1;
    }
  }
  return 0;
}

// Initialised once, on first use by any thread (the static's guard makes a
// second caller wait only for this, a few milliseconds).
bool Available() {
  static const bool available = [] {
    const EspeakCalls* espeak = Espeak();
    if (espeak == nullptr) {
      return false;
    }
    std::lock_guard lock(EspeakMutex());
    const int rate =
        espeak->initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (rate != 22050) {
      return false;
    }
    espeak->setSynthCallback(OnSynthesised);
    return true;
  }();
  return available;
}

// Listed on first use only: espeak-ng reads every voice file for it, which
// costs as much as speaking a short text, and speaking with the default voice
// needs no list. Read without the synthesis lock afterwards.
const std::vector<VoiceInfo>& Voices() {
  static const std::vector<VoiceInfo> voices = [] {
    std::vector<VoiceInfo> list;
    if (!Available()) {
      return list;
    }
    std::lock_guard lock(EspeakMutex());
    if (const espeak_VOICE** found = Espeak()->listVoices(nullptr)) {
      for (int i = 0; found[i]; ++i) {
        VoiceInfo voice;
        voice.id = found[i]->identifier ? found[i]->identifier : "";
        voice.name = found[i]->name ? found[i]->name : "";
        std::replace(voice.name.begin(), voice.name.end(), '_', ' ');
        // languages: a priority byte, then a NUL-terminated name, repeated.
        if (found[i]->languages && found[i]->languages[0] != '\0') {
          voice.language = found[i]->languages + 1;
        }
        if (!voice.id.empty()) {
          list.push_back(std::move(voice));
        }
      }
    }
    return list;
  }();
  return voices;
}

// The voice espeak-ng is set to; call with the mutex held.
std::string& CurrentVoice() {
  static std::string voice;
  return voice;
}

// Where a piece of text may end: after a sentence's or a line's end.
bool EndsPiece(std::string_view text, size_t i) {
  const char c = text[i];
  if (c == '\n') {
    return true;
  }
  const bool stop = c == '.' || c == '!' || c == '?';
  return stop && i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\n');
}

// Length of the valid UTF-8 sequence starting at text[i], or 0.
size_t ValidSequence(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  unsigned int min = 0;
  if (lead < 0x80) {
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) {
    return 0;
  }
  unsigned int code = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      return 0;
    }
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
  if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
    return 0;
  }
  return length;
}

}  // namespace

std::string VoiceDescription(const VoiceInfo& voice) {
  if (voice.language.empty()) {
    return voice.name;
  }
  return voice.name + " (" + voice.language + ")";
}

std::string LocaleLanguage(std::string_view locale) {
  // "de_DE.UTF-8@euro" -> "de-de"; espeak-ng names languages in lower case.
  std::string language(locale.substr(0, locale.find_first_of(".@")));
  std::transform(language.begin(), language.end(), language.begin(), [](unsigned char c) {
    return c == '_' ? '-' : static_cast<char>(std::tolower(c));
  });
  return language == "c" || language == "posix" ? std::string() : language;
}

std::string VoiceForLocale(const std::vector<VoiceInfo>& voices, std::string_view locale) {
  const std::string language = LocaleLanguage(locale);
  const auto find = [&voices](std::string_view wanted) -> const VoiceInfo* {
    const auto it = std::find_if(voices.begin(), voices.end(),
                                 [wanted](const VoiceInfo& v) { return v.language == wanted; });
    return it == voices.end() ? nullptr : &*it;
  };
  if (language.empty()) {
    return kFallbackVoiceId;
  }
  if (const VoiceInfo* voice = find(language)) {
    return voice->id;
  }
  if (const VoiceInfo* voice = find(std::string_view(language).substr(0, language.find('-')))) {
    return voice->id;
  }
  return kFallbackVoiceId;
}

std::string DesktopLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      return value;
    }
  }
  return {};
}

std::string DesktopVoice() {
  const std::string locale = DesktopLocale();
  if (LocaleLanguage(locale).empty()) {
    return kFallbackVoiceId;
  }
  return VoiceForLocale(InstalledVoices(), locale);
}

std::string ToSpeechText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t length = ValidSequence(text, i);
    if (length == 0) {
      const auto latin1 = static_cast<unsigned char>(text[i]);
      out += static_cast<char>(0xC0 | (latin1 >> 6));
      out += static_cast<char>(0x80 | (latin1 & 0x3F));
      ++i;
    } else if (text[i] == '\0') {
      out += ' ';
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::vector<std::string_view> SpeechPieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  size_t lastBlank = std::string_view::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') {
      lastBlank = i;
    }
    size_t end = std::string_view::npos;
    if (EndsPiece(text, i)) {
      end = i + 1;
    } else if (i + 1 - start >= kMaxPieceBytes) {
      // A run-on text: cut at its last blank, or (no blank at all) here, on a
      // character boundary.
      end = lastBlank != std::string_view::npos && lastBlank > start ? lastBlank + 1 : i + 1;
      while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        ++end;
      }
    }
    if (end != std::string_view::npos) {
      pieces.push_back(text.substr(start, end - start));
      start = end;
      i = end - 1;
      lastBlank = std::string_view::npos;
    }
  }
  if (start < text.size()) {
    pieces.push_back(text.substr(start));
  }
  return pieces;
}

bool SynthesizerAvailable() {
  return Available();
}

bool SynthesizerAvailableBeforeThreads() {
  // The sound server's client library takes its address from here. One that
  // cannot answer makes the probe fail at once; espeak-ng then keeps an ALSA
  // output that it never opens.
  constexpr const char* kServerVariable = "PULSE_SERVER";
  const char* server = std::getenv(kServerVariable);
  const std::optional<std::string> saved =
      server ? std::optional<std::string>(server) : std::nullopt;
  setenv(kServerVariable, "unix:/dev/null", 1);
  const bool available = Available();
  if (saved) {
    setenv(kServerVariable, saved->c_str(), 1);
  } else {
    unsetenv(kServerVariable);
  }
  return available;
}

const std::vector<VoiceInfo>& InstalledVoices() {
  return Voices();
}

bool IsInstalledVoice(const std::string& id) {
  if (id.empty()) {
    return false;  // no voice has an empty id: no need to list them
  }
  const auto& voices = InstalledVoices();
  return std::any_of(voices.begin(), voices.end(),
                     [&id](const VoiceInfo& v) { return v.id == id; });
}

namespace {

// The voice espeak-ng speaks with for `voiceId`.
std::string SpokenVoice(const std::string& voiceId) {
  // The fallback voice is used whether or not it is listed: no need to list.
  const bool known = voiceId != kFallbackVoiceId && IsInstalledVoice(voiceId);
  return known ? voiceId : std::string(kFallbackVoiceId);
}

// Sets espeak-ng to `voice` unless it is set already; call with the lock held,
// once espeak-ng is Available.
bool SetVoice(const std::string& voice) {
  if (CurrentVoice() != voice) {
    if (Espeak()->setVoiceByName(voice.c_str()) != EE_OK) {
      return false;
    }
    CurrentVoice() = voice;
  }
  return true;
}

}  // namespace

bool LoadVoice(const std::string& voiceId) {
  const std::string voice = SpokenVoice(voiceId);
  if (!Available()) {
    return false;
  }
  std::lock_guard lock(EspeakMutex());
  return SetVoice(voice);
}

bool Synthesize(std::string_view utf8, const std::string& voiceId, const PcmChunkSink& sink) {
  const std::string voice = SpokenVoice(voiceId);
  if (!Available()) {
    return false;
  }
  // espeak-ng is rendered a piece at a time into memory under its lock, and the
  // piece is handed on with the lock released: the sink waits for the device
  // at real-time pace, and nobody else must wait that long for espeak-ng.
  std::vector<int16_t> audio;
  const PcmChunkSink collect = [&audio](std::span<const int16_t> samples) {
    audio.insert(audio.end(), samples.begin(), samples.end());
    return true;
  };
  for (const std::string_view piece : SpeechPieces(utf8)) {
    audio.clear();
    {
      std::lock_guard lock(EspeakMutex());
      if (!SetVoice(voice)) {
        return false;
      }
      const std::string text(piece);  // NUL-terminated copy
      SynthContext context{&collect, false};
      tCurrentSynth = &context;
      const espeak_ERROR result =
          Espeak()->synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                          espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, nullptr);
      tCurrentSynth = nullptr;
      if (result != EE_OK) {
        return false;
      }
    }
    // Handed on in the synthesiser's own chunk size, so the sink's waits stay short.
    for (size_t at = 0; at < audio.size(); at += kSinkChunkSamples) {
      const size_t n = std::min(kSinkChunkSamples, audio.size() - at);
      if (!sink(std::span<const int16_t>(audio.data() + at, n))) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace bc
