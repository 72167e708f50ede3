#pragma once

#include <cstdint>
#include <memory>

#include "speech/wav_file.h"

class QIODevice;

namespace bc {

/// The lowest sample rate the audio outputs play. Qt's PulseAudio output
/// works in periods of 20 ms and divides by the frames in one: at a lower
/// rate a period holds no frame and its audio thread dies of a division by
/// zero.
inline constexpr int kLowestPlayableRate = 50;

/// An open stream on an audio device, pulling its bytes from a QIODevice.
/// Destroying it stops the sound at once. Used on the thread that opened it.
class DeviceSink {
 public:
  virtual ~DeviceSink() = default;
  /// The sound server went away: nothing more will be played.
  [[nodiscard]] virtual bool Failed() const = 0;
  /// The device ran dry: everything it took has been played.
  [[nodiscard]] virtual bool Idle() const = 0;
  virtual void Suspend() = 0;
  virtual void Resume() = 0;
  /// Microseconds of sound played since the sink was opened.
  [[nodiscard]] virtual int64_t ProcessedUSecs() const = 0;
};

/// The machine's default audio output.
class AudioOutputs {
 public:
  virtual ~AudioOutputs() = default;
  /// Whether there is a default output that plays `format`.
  [[nodiscard]] virtual bool CanPlay(const WavFormat& format) = 0;
  /// A sound for Open with these values is on its way: outputs that can set
  /// up their stream ahead, while the sound is made, start that now.
  virtual void Prepare(const WavFormat& /*format*/, int64_t /*bufferBytes*/) {}
  /// Opens the default output for `format` with a buffer of `bufferBytes` and
  /// starts it pulling from `source`; null when it does not open.
  [[nodiscard]] virtual std::unique_ptr<DeviceSink> Open(const WavFormat& format,
                                                         int64_t bufferBytes,
                                                         QIODevice& source) = 0;
};

/// This program's audio outputs, or null when it has none (sound then plays
/// through the silent sink). Defined by the library the program links: the
/// tests link bc_audio_device (Qt Multimedia built in); the commands and the
/// desktop program link bc_audio_loader, which talks to the sound server
/// directly and otherwise loads the same code as a module the first time sound
/// is to play on a device, so a program that never plays aloud does not load
/// Qt Multimedia.
AudioOutputs* DeviceOutputs();

/// Starts connecting DeviceOutputs to the sound server without waiting, for a
/// program that is about to speak: the connection is made while it prepares
/// the speech. Does nothing where the outputs connect on their own.
void PrepareDeviceOutputs();

/// Qt's PulseAudio engine ends its connection in an exit handler without its
/// own lock, while its thread may still be finishing the last stream's close:
/// now and then an abort or a crash after all the work is done. Called last
/// in main, this waits until the last device stream closed a moment ago (at
/// most kStreamSettle); a program that never opened one does not wait.
void WaitForClosedStreams();
/// Called when a device stream closes.
void NoteStreamClosed();

}  // namespace bc
