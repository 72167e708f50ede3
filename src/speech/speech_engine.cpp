#include "speech/speech_engine.h"

#include <algorithm>
#include <bit>

#include "config/settings_store.h"
#include "speech/pcm_player.h"
#include "speech/plain_setting.h"
#include "speech/wav_file.h"

namespace bc {
namespace {

static_assert(std::endian::native == std::endian::little,
              "PCM samples are handed on as little-endian bytes");

// How far synthesis may run ahead of playback: enough to ride out a busy
// moment, small enough that a long text does not sit in memory whole.
constexpr size_t kMaxAheadBytes = 2 * 22050 * 2;

// How long the speech thread must have been idle before it reads the voice
// list: long enough that a command speaking one text at once never pays for it.
constexpr std::chrono::milliseconds kIdleBeforeListingVoices{250};

std::span<const uint8_t> AsBytes(std::span<const int16_t> samples) {
  return {reinterpret_cast<const uint8_t*>(samples.data()), samples.size_bytes()};
}

}  // namespace

std::string SpeechEngine::VoiceFor(const std::string& voiceId) {
  return IsInstalledVoice(voiceId) ? voiceId : DesktopVoice();
}

SpeechEngine::SpeechEngine(std::string voiceId, bool forceSilent, QObject* parent)
    : QObject(parent), voice_(std::move(voiceId)) {
  player_ = std::make_unique<PcmPlayer>(
      kSpeechFormat,
      [this](uint64_t tag, PcmPlayer::MarkerKind kind) {
        OnMarker(tag, kind == PcmPlayer::MarkerKind::End);
      },
      forceSilent);
  speechThread_ = std::thread([this] { Run(); });
}

SpeechEngine::~SpeechEngine() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    jobs_.clear();
    firstLiveJob_ = UINT64_MAX;
    player_->Clear(++generation_);
  }
  changed_.notify_all();
  speechThread_.join();
  player_.reset();
}

void SpeechEngine::Speak(const std::string& text) {
  if (text.empty()) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    Job job;
    job.id = nextJobId_++;
    job.text = ToSpeechText(text);
    job.voice = voice_;
    job.voiceAsked = !voiceFound_;
    job.file = fileTarget_;
    ++pending_;
    if (!job.file) {
      ++audioPending_;
    }
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
}

void SpeechEngine::StopSpeaking() {
  {
    std::lock_guard lock(mutex_);
    jobs_.clear();
    firstLiveJob_ = nextJobId_;
    pending_ = 0;
    audioPending_ = 0;
    paused_ = false;
    // Under our lock, so a text queued right after the stop is never mistaken
    // for one of the texts cut off.
    player_->Clear(++generation_);
  }
  changed_.notify_all();
}

void SpeechEngine::TogglePause() {
  std::lock_guard lock(mutex_);
  const bool speaking = pending_ > 0 && !paused_;
  paused_ = speaking;
  player_->SetPaused(paused_);
}

RunState SpeechEngine::State() const {
  std::lock_guard lock(mutex_);
  if (pending_ == 0) {
    return RunState::Done;
  }
  return paused_ ? RunState::Paused : RunState::Speaking;
}

void SpeechEngine::WaitUntilDone() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return (pending_ == 0 && !renderingFile_) || quit_; });
}

bool SpeechEngine::WaitUntilDone(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit,
                           [this] { return (pending_ == 0 && !renderingFile_) || quit_; });
}

bool SpeechEngine::SpeakToWaveFile(const std::string& path, const std::function<void()>& readAction,
                                   std::string* error) {
  auto writer = std::make_shared<WavFileWriter>(path, kSpeechFormat);
  if (!writer->Open()) {
    // Not aloud instead: the user asked for a file, and the wait for a long
    // text would hold the window for minutes with Stop out of reach.
    if (error) {
      *error = writer->error();
    }
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    fileTarget_ = writer;
  }
  readAction();
  {
    std::lock_guard lock(mutex_);
    fileTarget_.reset();
  }
  // Also waits for the speech thread to let go of the file, should a stop on
  // another thread have ended the wait while a text was still being rendered.
  WaitUntilDone();
  const bool written = writer->Finish();
  if (!written && error) {
    *error = writer->error();
  }
  return written;
}

bool SpeechEngine::RenderWaveFile(const std::string& path, const std::string& text,
                                  const std::string& voiceId, std::string* error) {
  WavFileWriter writer(path, kSpeechFormat);
  if (!writer.Open()) {
    if (error) {
      *error = writer.error();
    }
    return false;
  }
  if (!text.empty()) {
    Synthesize(ToSpeechText(text), VoiceFor(voiceId), [&writer](std::span<const int16_t> samples) {
      writer.Append(AsBytes(samples));
      return true;
    });
  }
  const bool written = writer.Finish();
  if (!written && error) {
    *error = writer.error();
  }
  return written;
}

std::vector<VoiceInfo> SpeechEngine::ListVoices() {
  return InstalledVoices();
}

std::vector<VoiceInfo> SpeechEngine::VoicesInUseFirst() const {
  std::vector<VoiceInfo> voices = InstalledVoices();
  const std::string inUse = Voice();
  const auto it = std::find_if(voices.begin(), voices.end(),
                               [&inUse](const VoiceInfo& v) { return v.id == inUse; });
  if (it != voices.end()) {
    std::rotate(voices.begin(), it, it + 1);
  }
  return voices;
}

void SpeechEngine::UseVoice(const std::string& voiceId) {
  std::string voice = VoiceFor(voiceId);
  std::lock_guard lock(mutex_);
  voice_ = std::move(voice);
  voiceFound_ = true;
}

std::string SpeechEngine::Voice() const {
  std::string asked;
  {
    std::lock_guard lock(mutex_);
    if (voiceFound_) {
      return voice_;
    }
    asked = voice_;
  }
  // Found without the lock: listing the voices may take a while.
  std::string voice = VoiceFor(asked);
  std::lock_guard lock(mutex_);
  if (!voiceFound_) {
    voice_ = voice;
    voiceFound_ = true;
  }
  return voice_;
}

std::string SpeechEngine::JobVoice(const Job& job) {
  return job.voiceAsked ? VoiceFor(job.voice) : job.voice;
}

bool SpeechEngine::SetDefaultVoice(SettingsStore& store, const std::string& voiceId) {
  if (!IsInstalledVoice(voiceId)) {
    return false;
  }
  const std::string previous = StoredDefaultVoice(store);
  store.WriteValue(kVoiceKey, kDefaultVoiceValue, voiceId);
  if (!store.Commit()) {
    store.WriteValue(kVoiceKey, kDefaultVoiceValue, previous);
    return false;
  }
  UseVoice(voiceId);
  return true;
}

std::string SpeechEngine::StoredDefaultVoice(SettingsStore& store) {
  return store.ReadValue(kVoiceKey, kDefaultVoiceValue);
}

std::string SpeechEngine::StoredDefaultVoice(const std::string& settingsPath, Prompt& prompt) {
  // The store's machinery costs a short command more memory than all of its
  // speech: a plain file is read directly.
  if (auto plain = ReadPlainSetting(settingsPath, kVoiceKey, kDefaultVoiceValue)) {
    return std::move(*plain);
  }
  SettingsStore store(settingsPath, prompt);
  return StoredDefaultVoice(store);
}

bool SpeechEngine::HasSilentOutput() const {
  return player_->IsSilent();
}

void SpeechEngine::FindAudioDevice() {
  player_->FindDevice();
}

bool SpeechEngine::IsStale(uint64_t jobId) const {
  return quit_ || jobId < firstLiveJob_;
}

void SpeechEngine::Run() {
  bool voicesListed = false;
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      const auto ready = [this] { return quit_ || !jobs_.empty(); };
      if (!voicesListed && !changed_.wait_for(lock, kIdleBeforeListingVoices, ready)) {
        // The list is read on first use, under the synthesiser's lock: read it
        // in an idle moment here, so that a voice list asked for later (the
        // speech options) does not wait for a text being spoken.
        lock.unlock();
        static_cast<void>(InstalledVoices());
        voicesListed = true;
        continue;
      }
      changed_.wait(lock, ready);
      if (quit_) {
        return;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
      if (job.file) {
        // Rendering is far faster than playback: hold the file's texts until
        // the audio queued before them has played, so events stay in order.
        changed_.wait(lock, [&] { return IsStale(job.id) || audioPending_ == 0; });
        if (IsStale(job.id)) {
          continue;
        }
        renderingFile_ = true;
      }
    }
    if (job.file) {
      RenderToFile(job);
    } else {
      SpeakAloud(job);
    }
  }
}

void SpeechEngine::SpeakAloud(const Job& job) {
  uint64_t epoch = 0;
  {
    std::lock_guard lock(mutex_);
    if (IsStale(job.id)) {
      return;
    }
    epoch = generation_;
  }
  // Markers and audio of a stopped text are dropped by the player (old epoch).
  player_->AppendMarker(epoch, job.id, PcmPlayer::MarkerKind::Start);
  Synthesize(job.text, JobVoice(job), [&](std::span<const int16_t> samples) {
    if (!player_->WaitForRoom(kMaxAheadBytes, [&] { return IsStale(job.id); })) {
      return false;
    }
    player_->Append(epoch, AsBytes(samples));
    return true;
  });
  // A text the synthesiser could not speak still ends, so queues keep moving.
  player_->AppendMarker(epoch, job.id, PcmPlayer::MarkerKind::End);
}

void SpeechEngine::RenderToFile(const Job& job) {
  Emit(job.id, false);
  Synthesize(job.text, JobVoice(job), [&](std::span<const int16_t> samples) {
    if (IsStale(job.id)) {
      return false;
    }
    job.file->Append(AsBytes(samples));
    return true;
  });
  {
    std::lock_guard lock(mutex_);
    renderingFile_ = false;
  }
  FinishJob(job.id, false);
}

void SpeechEngine::OnMarker(uint64_t jobId, bool finished) {
  if (finished) {
    FinishJob(jobId, true);
  } else {
    Emit(jobId, false);
  }
}

void SpeechEngine::FinishJob(uint64_t jobId, bool audio) {
  {
    std::lock_guard lock(mutex_);
    if (!IsStale(jobId)) {
      --pending_;
      if (audio) {
        --audioPending_;
      }
    }
  }
  changed_.notify_all();
  Emit(jobId, true);
}

void SpeechEngine::Emit(uint64_t jobId, bool finished) {
  // Posted to the engine's own thread; checked again there, since a stop may
  // come between posting and delivery.
  QMetaObject::invokeMethod(
      this,
      [this, jobId, finished] {
        if (IsStale(jobId)) {
          return;
        }
        if (finished) {
          Q_EMIT SpeakingFinished();
        } else {
          Q_EMIT SpeakingStarted();
        }
      },
      Qt::QueuedConnection);
}

}  // namespace bc
