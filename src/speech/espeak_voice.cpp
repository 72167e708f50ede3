#include "speech/espeak_voice.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <mutex>

namespace bc {
namespace {

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

struct EspeakState {
  bool available = false;
  std::vector<VoiceInfo> voices;
  std::string currentVoice;
};

// Call with the mutex held.
EspeakState& State() {
  static EspeakState state = [] {
    EspeakState s;
    const int rate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    s.available = rate == 22050;
    if (!s.available) {
      return s;
    }
    espeak_SetSynthCallback(OnSynthesised);
    if (const espeak_VOICE** list = espeak_ListVoices(nullptr)) {
      for (int i = 0; list[i]; ++i) {
        VoiceInfo voice;
        voice.id = list[i]->identifier ? list[i]->identifier : "";
        voice.name = list[i]->name ? list[i]->name : "";
        std::replace(voice.name.begin(), voice.name.end(), '_', ' ');
        // languages: a priority byte, then a NUL-terminated name, repeated.
        if (list[i]->languages && list[i]->languages[0] != '\0') {
          voice.language = list[i]->languages + 1;
        }
        if (!voice.id.empty()) {
          s.voices.push_back(std::move(voice));
        }
      }
    }
    return s;
  }();
  return state;
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

bool SynthesizerAvailable() {
  std::lock_guard lock(EspeakMutex());
  return State().available;
}

const std::vector<VoiceInfo>& InstalledVoices() {
  std::lock_guard lock(EspeakMutex());
  return State().voices;
}

bool IsInstalledVoice(const std::string& id) {
  const auto& voices = InstalledVoices();
  return std::any_of(voices.begin(), voices.end(),
                     [&id](const VoiceInfo& v) { return v.id == id; });
}

bool Synthesize(std::string_view utf8, const std::string& voiceId, const PcmChunkSink& sink) {
  const bool known = !voiceId.empty() && IsInstalledVoice(voiceId);
  const std::string voice = known ? voiceId : std::string(kFallbackVoiceId);

  std::lock_guard lock(EspeakMutex());
  EspeakState& state = State();
  if (!state.available) {
    return false;
  }
  if (state.currentVoice != voice) {
    if (espeak_SetVoiceByName(voice.c_str()) != EE_OK) {
      return false;
    }
    state.currentVoice = voice;
  }
  const std::string text(utf8);  // NUL-terminated copy
  SynthContext context{&sink, false};
  tCurrentSynth = &context;
  const espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                           espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, nullptr);
  tCurrentSynth = nullptr;
  return result == EE_OK && !context.aborted;
}

}  // namespace bc
