#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

#include "speech/wav_file.h"

namespace bc {

class PcmPlayer;

/// Plays a stretch of a WAV file through the audio output (PcmPlayer: the
/// default device, or the silent real-time sink without one). A feeder thread
/// reads the samples a fraction of a second ahead of the output into a small
/// buffer, so a file of any length plays without being read into memory. A
/// file cut short while it plays ends the playback at its new end
/// (WasCutShort).
///
/// Start, Stop and the queries are for one thread (the UI thread); the
/// position is reported from the output's thread as it plays.
class WavStreamPlayer {
 public:
  /// `forceSilent` uses the silent sink even when an audio device exists.
  WavStreamPlayer(std::shared_ptr<const WavFileReader> wav, bool forceSilent = false);
  ~WavStreamPlayer();
  WavStreamPlayer(const WavStreamPlayer&) = delete;
  WavStreamPlayer& operator=(const WavStreamPlayer&) = delete;

  /// Plays from byte `from` of the samples (a frame boundary) to the end,
  /// cutting off whatever played before.
  void Start(uint64_t from);
  /// Cuts the sound at once.
  void Stop();
  /// Holds the sound where it is, or goes on from there. Start and Stop end a pause.
  void SetPaused(bool paused);
  [[nodiscard]] bool IsPaused() const { return paused_ && playing_.load(); }
  /// Whether sound is still playing (on the silent sink: would still be heard).
  [[nodiscard]] bool IsPlaying() const { return playing_.load(); }
  /// The byte of the samples being heard now.
  [[nodiscard]] uint64_t Position() const { return position_.load(); }
  /// When the first audio of the last Start went to the output, or nullopt.
  [[nodiscard]] std::chrono::steady_clock::time_point FirstAudioAt() const;
  [[nodiscard]] bool HasFirstAudio() const { return firstAudio_.load(); }
  /// Whether the last playback ended early because the file no longer held
  /// the samples (another program shortened it, or a read failed).
  [[nodiscard]] bool WasCutShort() const { return cutShort_.load(); }
  /// Whether the silent sink is in use.
  [[nodiscard]] bool IsSilent() const;

 private:
  void Feed(uint64_t epoch, uint64_t from);
  void OnMarker(uint64_t tag, bool end);
  void JoinFeeder();

  std::shared_ptr<const WavFileReader> wav_;
  std::atomic<uint64_t> epoch_{0};
  std::atomic<uint64_t> position_{0};
  std::atomic<uint64_t> start_{0};
  std::atomic<bool> playing_{false};
  bool paused_ = false;
  std::atomic<bool> firstAudio_{false};
  std::atomic<bool> cutShort_{false};
  std::atomic<int64_t> firstAudioAt_{0};
  std::thread feeder_;
  std::unique_ptr<PcmPlayer> player_;  // last: its thread calls OnMarker
};

}  // namespace bc
