#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "speech/outputs.h"
#include "speech/pcm_player.h"

namespace bc {

/// Plays notification sounds: one at a time, asynchronously, each new one
/// cutting off the last. A file that is missing, unreadable or not a playable
/// PCM WAV plays the default beep instead, and nothing is shown.
class SoundPlayer final : public SoundOutput {
 public:
  /// `forceSilent` uses the silent sink even when an audio device exists.
  explicit SoundPlayer(bool forceSilent = false);

  void PlaySoundFile(const std::string& path) override;
  void StopSound() override;

  /// Looks for the audio device now, without waiting, rather than when the
  /// first sound plays.
  void FindAudioDevice() { player_.FindDevice(); }

  /// Whether a sound is still playing (on the silent sink: would still be heard).
  [[nodiscard]] bool IsPlaying() const { return playing_.load(); }
  /// Length in seconds of the sound last started (the beep's when it fell back).
  [[nodiscard]] double LastSoundSeconds() const;
  /// Whether the last sound started was the default beep.
  [[nodiscard]] bool LastWasBeep() const;

 private:
  mutable std::mutex mutex_;
  uint64_t epoch_ = 0;
  double lastSeconds_ = 0;
  bool lastWasBeep_ = false;
  std::atomic<bool> playing_{false};
  PcmPlayer player_;  // last: its thread calls back into the members above
};

}  // namespace bc
