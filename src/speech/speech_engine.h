#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "speech/espeak_voice.h"
#include "speech/outputs.h"

namespace bc {

class PcmPlayer;
class Prompt;
class SettingsStore;
class WavFileWriter;

/// Subkey and value name of the default voice in the settings.
inline constexpr const char* kVoiceKey = "Voices";
inline constexpr const char* kDefaultVoiceValue = "DefaultVoice";

/// The voice's running state.
enum class RunState {
  Done = 1,      // nothing queued or playing
  Speaking = 2,  // a text is being spoken, or waits its turn
  Paused = 3,    // texts are queued or playing, held by TogglePause
};

/// The program's one text-to-speech voice, on espeak-ng.
///
/// Texts are queued and spoken in order on a speech thread of the engine's own
/// (synthesis never runs on the caller's thread) and played through PcmPlayer,
/// which falls back to a silent real-time sink when there is no audio device.
/// Each text gives one SpeakingStarted when its audio starts and one
/// SpeakingFinished when its audio has played out. Both are queued signals
/// emitted on the thread the engine lives on (the UI thread), in speaking order;
/// events of texts cut off by StopSpeaking are never emitted, even when they
/// were already on their way.
///
/// Speak, StopSpeaking, TogglePause and the state queries may be called from
/// any thread (the check worker announces new mail while the UI thread reads).
class SpeechEngine final : public QObject, public SpeechOutput {
  Q_OBJECT
 public:
  /// Speaks with `voiceId` (an InstalledVoices id; empty or unknown ids speak
  /// with the voice of the desktop's language, see VoiceForLocale).
  /// `forceSilent` skips the audio device.
  explicit SpeechEngine(std::string voiceId = {}, bool forceSilent = false,
                        QObject* parent = nullptr);
  /// Cuts off what is playing; no further events are emitted.
  ~SpeechEngine() override;

  /// Queues a UTF-8 text (bytes that are not valid UTF-8 are read as Latin-1).
  /// Returns at once. An empty text queues nothing and gives no events.
  void Speak(const std::string& text) override;
  /// Empties the queue, cuts off the audio, and leaves the voice idle and not
  /// paused, so the next Speak is heard at once.
  void StopSpeaking() override;
  /// Pauses a speaking voice; otherwise resumes (harmless on an idle voice).
  void TogglePause();

  [[nodiscard]] RunState State() const;
  /// True unless the running state is Done.
  [[nodiscard]] bool IsVoiceBusy() const { return State() != RunState::Done; }

  /// Blocks until everything queued has been spoken (forever while paused).
  void WaitUntilDone();
  /// The same with a limit; false when the time ran out first.
  bool WaitUntilDone(std::chrono::milliseconds limit);

  /// Renders into the WAV file at `path` (22050 Hz mono 16-bit PCM, replacing
  /// any file there) every text `readAction` queues through Speak, much faster
  /// than real time, then waits until everything queued is done. Texts queued
  /// before keep going to the audio output. When the file cannot be created
  /// this fails at once: the read action is not run, nothing is spoken, and
  /// `error` (when given) says why. Events of the rendered texts are emitted
  /// as usual, after this returns. Returns whether the file was written.
  bool SpeakToWaveFile(const std::string& path, const std::function<void()>& readAction,
                       std::string* error = nullptr);

  /// Renders `text` with the voice VoiceFor(voiceId) into the WAV file `path`
  /// on the calling thread, as SpeakToWaveFile does, without an engine, its
  /// threads or an event loop: for a program that renders one text and ends.
  /// Returns whether the file was written; `error` (when given) says why not.
  static bool RenderWaveFile(const std::string& path, const std::string& text,
                             const std::string& voiceId, std::string* error = nullptr);
  /// The voice a text is spoken with when `voiceId` is asked for: that voice
  /// when it is installed, else the desktop language's voice.
  [[nodiscard]] static std::string VoiceFor(const std::string& voiceId);

  /// The installed voices, for a voice list: id, name and language per voice.
  [[nodiscard]] static std::vector<VoiceInfo> ListVoices();
  /// The installed voices with the voice in use first (the others in the
  /// synthesiser's order), for the voice list.
  [[nodiscard]] std::vector<VoiceInfo> VoicesInUseFirst() const;
  /// The voice used for texts queued from now on (not stored); an empty or
  /// unknown id means the desktop language's voice.
  void UseVoice(const std::string& voiceId);
  /// The id of the voice in use: always an installed voice when there are any.
  [[nodiscard]] std::string Voice() const;
  /// Makes an installed voice the user's default: kept in the settings and used
  /// from now on. An unknown id, or settings that cannot be written, change nothing.
  bool SetDefaultVoice(SettingsStore& store, const std::string& voiceId);
  /// The user's default voice id from the settings (empty when none was chosen).
  [[nodiscard]] static std::string StoredDefaultVoice(SettingsStore& store);
  /// The same from the settings file at `settingsPath`, for a command that
  /// reads only this: straight from the file when it gives the value plainly,
  /// else through a settings store that shows its problems through `prompt`.
  [[nodiscard]] static std::string StoredDefaultVoice(const std::string& settingsPath,
                                                      Prompt& prompt);

  /// Whether audio goes to the silent sink (no usable audio device).
  [[nodiscard]] bool HasSilentOutput() const;
  /// Looks for the audio device now, without waiting, rather than when the
  /// first text is spoken.
  void FindAudioDevice();

 Q_SIGNALS:
  void SpeakingStarted();
  void SpeakingFinished();

 private:
  struct Job {
    uint64_t id = 0;
    std::string text;
    std::string voice;  // what VoiceFor gives, or with `voiceAsked` what was asked for
    bool voiceAsked = false;
    std::shared_ptr<WavFileWriter> file;
  };
  void Run();
  // The voice `job` is spoken with; on the speech thread.
  [[nodiscard]] static std::string JobVoice(const Job& job);
  void SpeakAloud(const Job& job);
  void RenderToFile(const Job& job);
  void OnMarker(uint64_t jobId, bool finished);
  void FinishJob(uint64_t jobId, bool audio);
  void Emit(uint64_t jobId, bool finished);
  [[nodiscard]] bool IsStale(uint64_t jobId) const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> jobs_;
  uint64_t nextJobId_ = 1;
  uint64_t generation_ = 0;
  int pending_ = 0;       // texts queued and not finished
  int audioPending_ = 0;  // of those, the ones going to the audio output
  bool paused_ = false;
  bool renderingFile_ = false;
  // The voice asked for, found (VoiceFor) only when first needed: finding the
  // desktop language's voice reads every voice file, and the program's window
  // need not wait for that.
  mutable std::string voice_;
  mutable bool voiceFound_ = false;
  std::shared_ptr<WavFileWriter> fileTarget_;
  std::atomic<uint64_t> firstLiveJob_{1};  // jobs below this were cut off by a stop
  std::atomic<bool> quit_{false};

  std::unique_ptr<PcmPlayer> player_;
  std::thread speechThread_;
};

}  // namespace bc
