#pragma once

#include <string>

namespace bc {

/// Where texts to be spoken go: the speech engine, or a recorder in tests.
/// Both calls may come from any thread.
class SpeechOutput {
 public:
  virtual ~SpeechOutput() = default;
  /// Queues a UTF-8 text behind what is already queued; empty text does nothing.
  virtual void Speak(const std::string& text) = 0;
  /// Empties the queue, silences the voice and leaves it idle and not paused.
  virtual void StopSpeaking() = 0;
};

/// Where notification sounds go. Both calls may come from any thread.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  /// Starts playing a WAV file, replacing any sound still playing; a file that
  /// is missing or cannot be played gives the default beep.
  virtual void PlaySoundFile(const std::string& path) = 0;
  /// Silences the sound playing, if any.
  virtual void StopSound() = 0;
};

}  // namespace bc
