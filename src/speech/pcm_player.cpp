#include "speech/pcm_player.h"

#include <QIODevice>
#include <QTimer>
#include <utility>
#include <vector>

#include "speech/audio_outputs.h"

namespace bc {
namespace {

// The pace of the output: small enough that the first audio of a text goes out
// within a few milliseconds, large enough not to busy the machine.
constexpr int kTickMs = 10;
// How far the device's own buffer reaches ahead of what is heard: also how long
// a pause or stop takes to be heard.
constexpr int kDeviceBufferMs = 150;

}  // namespace

// What the sink pulls from: the player's queue. The sink runs in pull mode
// because in push mode Qt's PulseAudio sink stops taking data when it lives on
// a thread other than the main one.
class PcmSource final : public QIODevice {
 public:
  explicit PcmSource(PcmPlayer& player) : player_(player) { open(QIODevice::ReadOnly); }
  bool isSequential() const override { return true; }
  // The stream never ends while the sink is open: more speech may follow. An
  // end makes Qt's PulseAudio sink drain with a pointer to itself that outlives
  // it when the sink is closed before the drain completes (a crash on the
  // sound server's thread); without one it goes idle on an underflow instead.
  bool atEnd() const override { return false; }
  qint64 bytesAvailable() const override {
    std::lock_guard lock(player_.mutex_);
    return static_cast<qint64>(player_.queue_.size()) + QIODevice::bytesAvailable();
  }

 protected:
  qint64 readData(char* data, qint64 maxSize) override {
    std::lock_guard lock(player_.mutex_);
    if (player_.paused_) {
      return 0;
    }
    size_t n = std::min(static_cast<size_t>(maxSize), player_.queue_.size());
    n -= n % static_cast<size_t>(player_.format_.BlockAlign());
    std::copy_n(player_.queue_.begin(), n, data);
    player_.queue_.erase(player_.queue_.begin(),
                         player_.queue_.begin() + static_cast<std::ptrdiff_t>(n));
    player_.written_ += n;
    player_.room_.notify_all();
    return static_cast<qint64>(n);
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  PcmPlayer& player_;
};

PcmPlayer::PcmPlayer(WavFormat format, MarkerHandler onMarker, bool forceSilent)
    : onMarker_(std::move(onMarker)), format_(format) {
  thread_.setObjectName(QStringLiteral("bc-audio"));
  output_ = new PcmOutput(*this, forceSilent);
  output_->moveToThread(&thread_);
  thread_.start();
}

PcmPlayer::~PcmPlayer() {
  QMetaObject::invokeMethod(output_, "Shutdown", Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
  {
    // The output's last tick ran under this lock: taking it shows the thread
    // checkers the hand-over, as they cannot see inside QThread::wait.
    std::lock_guard lock(mutex_);
  }
  delete output_;
}

void PcmPlayer::Append(uint64_t epoch, std::span<const uint8_t> bytes) {
  bool wasEmpty = false;
  {
    std::lock_guard lock(mutex_);
    if (epoch != epoch_ || bytes.empty()) {
      return;
    }
    wasEmpty = queue_.empty();
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    appended_ += bytes.size();
  }
  Kick(wasEmpty);
}

void PcmPlayer::AppendMarker(uint64_t epoch, uint64_t tag, MarkerKind kind) {
  {
    std::lock_guard lock(mutex_);
    if (epoch != epoch_) {
      return;
    }
    markers_.push_back({appended_, tag, kind});
    underway_ = kind == MarkerKind::Start;
  }
  Kick();
}

void PcmPlayer::Clear(uint64_t epoch, std::optional<WavFormat> format) {
  {
    std::lock_guard lock(mutex_);
    epoch_ = epoch;
    queue_.clear();
    markers_.clear();
    appended_ = 0;
    written_ = 0;
    paused_ = false;
    underway_ = false;
    resetOutput_ = true;
    if (format) {
      newFormat_ = format;
    }
  }
  room_.notify_all();
  Kick(false, false);
}

void PcmPlayer::SetPaused(bool paused) {
  {
    std::lock_guard lock(mutex_);
    paused_ = paused;
  }
  Kick(false, false);
}

bool PcmPlayer::WaitForRoom(size_t limit, const std::function<bool()>& stop) {
  std::unique_lock lock(mutex_);
  while (queue_.size() > limit) {
    if (stop()) {
      return false;
    }
    room_.wait_for(lock, std::chrono::milliseconds(kTickMs));
  }
  return !stop();
}

bool PcmPlayer::IsSilent() const {
  FindDevice();
  std::unique_lock lock(mutex_);
  room_.wait(lock, [this] { return initialised_; });
  return silent_;
}

void PcmPlayer::FindDevice() const {
  std::call_once(initPosted_, [this] {
    QMetaObject::invokeMethod(output_, "Init", Qt::QueuedConnection);
    initStarted_ = true;
  });
}

void PcmPlayer::Kick(bool now, bool sound) {
  if (sound) {
    FindDevice();
  } else if (!initStarted_) {
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (tickPosted_ || (ticking_ && !now)) {
      return;
    }
    ticking_ = true;
    tickPosted_ = true;
  }
  QMetaObject::invokeMethod(output_, "StartTicking", Qt::QueuedConnection);
}

PcmOutput::PcmOutput(PcmPlayer& player, bool forceSilent)
    : player_(player), forceSilent_(forceSilent) {}

PcmOutput::~PcmOutput() = default;

void PcmOutput::Init() {
  // One player at a time: the first to ask sets up the program's outputs (a
  // connection to the sound server, or Qt Multimedia loaded), the others find
  // them ready.
  static std::mutex lookingForDevice;
  std::lock_guard looking(lookingForDevice);
  timer_ = new QTimer(this);
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(kTickMs);
  connect(timer_, &QTimer::timeout, this, &PcmOutput::Tick);
  std::lock_guard lock(player_.mutex_);
  // Only whether there is a device for the format: the sink itself is opened
  // while there is sound to play. Opening one here just to close it again
  // would delay the first sound by a stream set-up on the sound server; a
  // device that then fails to open hands over to the silent sink in Tick.
  outputs_ = forceSilent_ ? nullptr : DeviceOutputs();
  deviceUsable_ = outputs_ && outputs_->CanPlay(player_.format_);
  player_.silent_ = !deviceUsable_;
  player_.initialised_ = true;
  player_.room_.notify_all();
}

void PcmOutput::Shutdown() {
  shutDown_ = true;
  if (timer_) {  // null when the device was never looked for
    timer_->stop();
  }
  std::lock_guard lock(player_.mutex_);
  CloseSink();
}

void PcmOutput::StartTicking() {
  if (shutDown_) {
    return;
  }
  {
    std::lock_guard lock(player_.mutex_);
    player_.tickPosted_ = false;
    player_.ticking_ = true;  // a tick that went idle meanwhile stopped them
  }
  if (!timer_->isActive()) {
    timer_->start();
  }
  Tick();
}

int64_t PcmOutput::BufferBytes(const WavFormat& format) {
  // 64-bit: a rate of many channels at a high sample rate overflows an int here.
  const int64_t buffer = static_cast<int64_t>(format.BytesPerSecond()) * kDeviceBufferMs / 1000;
  return buffer - buffer % format.BlockAlign();
}

// Call with the player's lock held.
bool PcmOutput::OpenSink(const WavFormat& format) {
  if (!deviceUsable_ || shutDown_) {
    return false;
  }
  source_ = new PcmSource(player_);
  source_->setParent(this);
  sinkBase_ = player_.written_;
  sink_ = outputs_->Open(format, BufferBytes(format), *source_);
  if (!sink_) {
    CloseSink();
    return false;
  }
  sinkSuspended_ = false;
  return true;
}

void PcmOutput::CloseSink() {
  // Taken out first: closing Qt's PulseAudio sink runs this thread's pending
  // events, and whatever they do must find no sink and no source.
  std::unique_ptr<DeviceSink> sink = std::move(sink_);
  PcmSource* source = std::exchange(source_, nullptr);
  if (sink) {
    sink.reset();  // before its source
    NoteStreamClosed();
  }
  delete source;
}

size_t PcmOutput::SilentBudget() {
  const auto now = std::chrono::steady_clock::now();
  if (!clockRunning_) {
    clockStart_ = now;
    clockConsumed_ = 0;
    clockRunning_ = true;
  }
  // One tick of lead, as a device buffer would take it, so audio starts at once.
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(now - clockStart_).count() +
      kTickMs * 1000;
  const auto due = static_cast<uint64_t>(elapsed) *
                   static_cast<uint64_t>(player_.format_.BytesPerSecond()) / 1'000'000;
  return due > clockConsumed_ ? static_cast<size_t>(due - clockConsumed_) : 0;
}

void PcmOutput::Tick() {
  if (inTick_ || shutDown_) {
    // Run from inside this tick's own closing of a sink: the tick that is
    // running looks at everything once the sink is closed.
    return;
  }
  inTick_ = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{inTick_};
  std::vector<std::pair<uint64_t, PcmPlayer::MarkerKind>> reached;
  {
    std::lock_guard lock(player_.mutex_);
    PcmPlayer& p = player_;
    if (p.resetOutput_) {
      p.resetOutput_ = false;
      if (p.newFormat_) {
        p.format_ = *p.newFormat_;
        p.newFormat_.reset();
      }
      // Closing drops whatever the device still holds, so a stop is heard at once.
      CloseSink();
      clockRunning_ = false;
    }
    if (sink_ && sink_->Failed()) {
      // The sound server went away mid-play: carry on silently.
      CloseSink();
      deviceUsable_ = false;
      p.silent_ = true;
      clockRunning_ = false;
    }
    if (!sink_ && deviceUsable_ && !p.queue_.empty() && !p.paused_ && !OpenSink(p.format_)) {
      deviceUsable_ = false;
      p.silent_ = true;
    }
    if (!sink_ && deviceUsable_ && p.queue_.empty() && p.underway_ && !p.paused_) {
      // A text's start, its sound still being made: the output may get its
      // stream ready meanwhile.
      outputs_->Prepare(p.format_, BufferBytes(p.format_));
    }

    if (p.paused_) {
      if (sink_ && !sinkSuspended_) {
        sink_->Suspend();
        sinkSuspended_ = true;
      }
      clockRunning_ = false;
    } else if (sink_) {
      if (sinkSuspended_) {
        sink_->Resume();
        sinkSuspended_ = false;
      }
      if (!p.queue_.empty()) {
        // A sink that found nothing to pull has stopped asking; more speech
        // is here, so it asks again (it ignores this while it is asking).
        Q_EMIT source_->readyRead();
      }
    } else if (p.queue_.empty()) {
      clockRunning_ = false;
    } else {
      size_t budget = std::min(SilentBudget(), p.queue_.size());
      budget -= budget % static_cast<size_t>(p.format_.BlockAlign());
      clockConsumed_ += budget;
      p.queue_.erase(p.queue_.begin(), p.queue_.begin() + static_cast<std::ptrdiff_t>(budget));
      p.written_ += budget;
      p.room_.notify_all();
    }

    // What the device has taken is heard once its processed time reaches it;
    // a device that ran dry has played everything.
    uint64_t played = p.written_;
    if (sink_ && !(sink_->Idle() && p.queue_.empty())) {
      const auto heard = sinkBase_ + static_cast<uint64_t>(sink_->ProcessedUSecs()) *
                                         static_cast<uint64_t>(p.format_.BytesPerSecond()) /
                                         1'000'000;
      played = std::min(played, heard);
    }
    while (!p.markers_.empty()) {
      const PcmPlayer::Marker& m = p.markers_.front();
      bool due = false;
      if (m.kind == PcmPlayer::MarkerKind::Start) {
        due = p.written_ > m.position ||
              (p.markers_.size() > 1 && p.markers_[1].position == m.position);
      } else {
        due = played >= m.position;
      }
      if (!due) {
        break;
      }
      reached.emplace_back(m.tag, m.kind);
      p.markers_.pop_front();
    }

    if (p.paused_ || (p.queue_.empty() && p.markers_.empty() && !p.underway_)) {
      timer_->stop();
      p.ticking_ = false;
      if (!p.paused_) {
        CloseSink();  // reopened with the next sound
      }
    }
  }
  for (const auto& [tag, kind] : reached) {
    player_.onMarker_(tag, kind);
  }
}

}  // namespace bc
