#include "speech/sound_player.h"

#include "speech/audio_outputs.h"
#include "speech/wav_file.h"

namespace bc {

SoundPlayer::SoundPlayer(bool forceSilent)
    : player_(
          kSpeechFormat,
          [this](uint64_t tag, PcmPlayer::MarkerKind) {
            std::lock_guard lock(mutex_);
            if (tag == epoch_) {
              playing_ = false;
            }
          },
          forceSilent) {}

void SoundPlayer::PlaySoundFile(const std::string& path) {
  std::optional<WavData> sound;
  if (!path.empty()) {
    sound = ReadWavFile(path);
  }
  // A rate no output plays would only be heard as silence.
  const bool beep =
      !sound || sound->samples.empty() || sound->format.sampleRate < kLowestPlayableRate;
  if (beep) {
    sound = MakeBeep();
  }
  std::lock_guard lock(mutex_);
  ++epoch_;
  lastSeconds_ = sound->Seconds();
  lastWasBeep_ = beep;
  playing_ = true;
  player_.Clear(epoch_, sound->format);
  player_.Append(epoch_, sound->samples);
  player_.AppendMarker(epoch_, epoch_, PcmPlayer::MarkerKind::End);
}

void SoundPlayer::StopSound() {
  std::lock_guard lock(mutex_);
  ++epoch_;
  playing_ = false;
  player_.Clear(epoch_);
}

double SoundPlayer::LastSoundSeconds() const {
  std::lock_guard lock(mutex_);
  return lastSeconds_;
}

bool SoundPlayer::LastWasBeep() const {
  std::lock_guard lock(mutex_);
  return lastWasBeep_;
}

}  // namespace bc
