#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "speech/wav_file.h"

class QIODevice;
class QTimer;

namespace bc {

class AudioOutputs;
class DeviceSink;
class PcmOutput;
class PcmSource;

/// Plays a stream of PCM bytes at real-time pace on a thread of its own: through
/// the default audio output (DeviceOutputs) when there is one, and otherwise
/// through a silent sink that consumes the bytes at the pace a device would.
/// Either way markers placed in the stream are reached at the same moments, so
/// everything that follows playback (speech events, pause, stop) behaves the
/// same on a machine without sound. A device lost while playing hands over to
/// the silent sink.
///
/// Every public member may be called from any thread. Data and markers carry an
/// epoch: Clear moves to a new epoch and whatever is still appended for an older
/// one is dropped, so a producer racing a Clear cannot leak old audio.
class PcmPlayer {
 public:
  enum class MarkerKind {
    Start,  // reached when the first byte after it goes to the output, or when
            // the next marker directly follows (a stretch with no audio)
    End,    // reached when every byte before it has been played
  };
  /// Called on the player's thread, once per marker, in stream order.
  using MarkerHandler = std::function<void(uint64_t tag, MarkerKind kind)>;

  /// `forceSilent` skips the audio device (the silent sink is used). The
  /// device is looked for on the player's thread when first needed (the first
  /// sound, IsSilent) or when asked to (FindDevice): a program's window need
  /// not wait for the sound server.
  PcmPlayer(WavFormat format, MarkerHandler onMarker, bool forceSilent = false);
  ~PcmPlayer();
  PcmPlayer(const PcmPlayer&) = delete;
  PcmPlayer& operator=(const PcmPlayer&) = delete;

  /// Queues sample bytes (whole frames) behind what is queued.
  void Append(uint64_t epoch, std::span<const uint8_t> bytes);
  /// Queues a marker at the current end of the stream.
  void AppendMarker(uint64_t epoch, uint64_t tag, MarkerKind kind);
  /// Drops everything queued and not yet played, cuts the sound at once, leaves
  /// pause, and accepts only `epoch` from now on. With `format` the stream
  /// continues in that format.
  void Clear(uint64_t epoch, std::optional<WavFormat> format = std::nullopt);
  /// Holds or resumes playback where it is.
  void SetPaused(bool paused);
  /// Blocks until at most `limit` bytes are queued, or `stop` returns true
  /// (checked every few milliseconds). Returns false when stopped.
  bool WaitForRoom(size_t limit, const std::function<bool()>& stop);
  /// Whether the silent sink is in use (no usable audio device); waits for
  /// the device to be looked for.
  [[nodiscard]] bool IsSilent() const;
  /// Starts looking for the device without waiting, unless that has started.
  void FindDevice() const;

 private:
  friend class PcmOutput;
  friend class PcmSource;
  struct Marker {
    uint64_t position;
    uint64_t tag;
    MarkerKind kind;
  };
  // Starts the output's ticks; `now` also ticks at once while they run, so
  // sound arriving after silence does not wait for the next tick. Call
  // without the lock. A player that has not looked for its device plays
  // nothing yet: unless `sound` comes, there is nothing to tick for.
  void Kick(bool now = false, bool sound = true);

  // Recursive: the sink pulls (PcmSource::readData) from inside its own calls,
  // which the output makes with the lock held.
  mutable std::recursive_mutex mutex_;
  mutable std::condition_variable_any room_;
  MarkerHandler onMarker_;
  WavFormat format_;
  std::optional<WavFormat> newFormat_;
  std::deque<uint8_t> queue_;
  std::deque<Marker> markers_;
  uint64_t epoch_ = 0;
  uint64_t appended_ = 0;  // bytes appended in this epoch
  uint64_t written_ = 0;   // bytes handed to the output in this epoch
  bool paused_ = false;
  bool resetOutput_ = false;
  // The last marker is a start: the rest of its sound is still being made, so
  // a queue run dry keeps the device open (closing it would drop the sound it
  // holds).
  bool underway_ = false;
  bool ticking_ = false;
  bool tickPosted_ = false;  // a tick is on its way to the output's thread
  bool silent_ = false;
  bool initialised_ = false;  // the output has looked for its device

  // The output's Init is posted once, before any other call to it, and
  // everything posted after it runs after it on the player's thread.
  mutable std::once_flag initPosted_;
  mutable std::atomic<bool> initStarted_{false};
  QThread thread_;
  PcmOutput* output_ = nullptr;
};

/// The part of PcmPlayer that lives on its thread: the sink and the pacing timer.
class PcmOutput : public QObject {
  Q_OBJECT
 public:
  PcmOutput(PcmPlayer& player, bool forceSilent);
  ~PcmOutput() override;

 public Q_SLOTS:
  void Init();
  void Shutdown();
  void StartTicking();

 private:
  void Tick();
  [[nodiscard]] static int64_t BufferBytes(const WavFormat& format);
  bool OpenSink(const WavFormat& format);
  void CloseSink();
  [[nodiscard]] size_t SilentBudget();

  PcmPlayer& player_;
  bool forceSilent_;
  QTimer* timer_ = nullptr;
  AudioOutputs* outputs_ = nullptr;
  std::unique_ptr<DeviceSink> sink_;
  PcmSource* source_ = nullptr;
  bool deviceUsable_ = false;
  bool sinkSuspended_ = false;
  // A tick is running: Qt's PulseAudio sink runs this thread's pending events
  // while it closes, and a tick inside a tick would reopen what is closing.
  bool inTick_ = false;
  bool shutDown_ = false;  // no sink opens any more
  // The player's written count when the open sink started: its processed time
  // counts from zero at every open, the written count only from a Clear.
  uint64_t sinkBase_ = 0;
  // Silent sink pacing: bytes owed since the clock (re)started.
  std::chrono::steady_clock::time_point clockStart_;
  uint64_t clockConsumed_ = 0;
  bool clockRunning_ = false;
};

}  // namespace bc
