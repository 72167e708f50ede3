#include "speech/pulse_outputs.h"

#include <pulse/pulseaudio.h>

#include <QIODevice>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "speech/runtime_library.h"

namespace bc {
namespace {

// The sound server's client library is opened when sound is first to play:
// it links a dozen audio codecs, which a program's window does not need
// before it shows.
constexpr const char* kPulseLibrary = "libpulse.so.0";

// The calls made into it.
#define BC_PULSE_CALLS(X)             \
  X(pa_context_connect)               \
  X(pa_context_get_state)             \
  X(pa_context_new)                   \
  X(pa_context_set_state_callback)    \
  X(pa_operation_unref)               \
  X(pa_stream_connect_playback)       \
  X(pa_stream_cork)                   \
  X(pa_stream_disconnect)             \
  X(pa_stream_get_state)              \
  X(pa_stream_get_time)               \
  X(pa_stream_new)                    \
  X(pa_stream_set_state_callback)     \
  X(pa_stream_set_underflow_callback) \
  X(pa_stream_trigger)                \
  X(pa_stream_unref)                  \
  X(pa_stream_writable_size)          \
  X(pa_stream_write)                  \
  X(pa_threaded_mainloop_get_api)     \
  X(pa_threaded_mainloop_lock)        \
  X(pa_threaded_mainloop_new)         \
  X(pa_threaded_mainloop_signal)      \
  X(pa_threaded_mainloop_start)       \
  X(pa_threaded_mainloop_unlock)      \
  X(pa_threaded_mainloop_wait)        \
  X(pa_usec_to_bytes)

struct PulseCalls {
#define BC_PULSE_CALL(name) decltype(&::name) name = nullptr;
  BC_PULSE_CALLS(BC_PULSE_CALL)
#undef BC_PULSE_CALL
};

// The library's calls, or null when it is missing or lacks one.
const PulseCalls* LoadedPulse() {
  static const std::optional<PulseCalls> calls = []() -> std::optional<PulseCalls> {
    const RuntimeLibrary library(kPulseLibrary);
    PulseCalls found;
    bool all = true;
#define BC_PULSE_FIND(name) all = library.Find(found.name, #name) && all;
    BC_PULSE_CALLS(BC_PULSE_FIND)
#undef BC_PULSE_FIND
    return all ? std::optional<PulseCalls>(found) : std::nullopt;
  }();
  return calls ? &*calls : nullptr;
}

// The calls, once LoadedPulse has found them: only an Outputs that found them
// makes any.
const PulseCalls& Pa() {
  return *LoadedPulse();
}

// Playback starts once this much is buffered: enough that the first sound
// does not stutter, little enough that it is heard at once.
constexpr pa_usec_t kStartAfterUs = 20'000;
// The sound server's description of a stream's samples (its library's name).
using SampleFormat = pa_sample_spec;

// Holds the connection's lock for a scope (the library's own thread runs the
// connection; every call into it from another thread is made under it).
class Locked {
 public:
  explicit Locked(pa_threaded_mainloop* loop) : loop_(loop) {
    Pa().pa_threaded_mainloop_lock(loop_);
  }
  ~Locked() { Pa().pa_threaded_mainloop_unlock(loop_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

// With the connection's lock held: waits until `read()` gives `ready`; false
// once it gives a state that is no longer good (failed, ended).
template <typename State, typename Read, typename Good>
bool WaitUntil(pa_threaded_mainloop* loop, Read read, State ready, Good good) {
  for (;;) {
    const State state = read();
    if (state == ready) {
      return true;
    }
    if (!good(state)) {
      return false;
    }
    Pa().pa_threaded_mainloop_wait(loop);
  }
}

class PulseSink final : public DeviceSink {
 public:
  PulseSink(pa_threaded_mainloop* loop, pa_stream* stream, QIODevice& source)
      : loop_(loop), stream_(stream), source_(source) {
    Pa().pa_stream_set_underflow_callback(stream_, &PulseSink::OnUnderflow, this);
    // The player says when there is more to play: feed the stream then.
    connection_ = QObject::connect(&source_, &QIODevice::readyRead, [this] { Feed(); });
    Feed();
  }

  ~PulseSink() override {
    QObject::disconnect(connection_);
    Locked lock(loop_);
    Pa().pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
    Pa().pa_stream_set_state_callback(stream_, nullptr, nullptr);
    Pa().pa_stream_disconnect(stream_);
    Pa().pa_stream_unref(stream_);
  }

  bool Failed() const override {
    Locked lock(loop_);
    return Pa().pa_stream_get_state(stream_) != PA_STREAM_READY;
  }

  bool Idle() const override { return dry_.load(); }

  void Suspend() override { Cork(true); }
  void Resume() override {
    Cork(false);
    Feed();
  }

  int64_t ProcessedUSecs() const override {
    Locked lock(loop_);
    pa_usec_t played = 0;
    return Pa().pa_stream_get_time(stream_, &played) == 0 ? static_cast<int64_t>(played) : 0;
  }

 private:
  static void OnUnderflow(pa_stream*, void* self) { static_cast<PulseSink*>(self)->dry_ = true; }

  void Cork(bool cork) {
    Locked lock(loop_);
    pa_operation* op = Pa().pa_stream_cork(stream_, cork ? 1 : 0, nullptr, nullptr);
    if (op) {
      Pa().pa_operation_unref(op);
    }
  }

  // Hands the stream as much as it has room for and the player has.
  void Feed() {
    size_t room = 0;
    {
      Locked lock(loop_);
      const size_t writable = Pa().pa_stream_writable_size(stream_);
      room = writable == static_cast<size_t>(-1) ? 0 : writable;
    }
    if (room == 0) {
      return;
    }
    buffer_.resize(room);
    const qint64 got =
        source_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<qint64>(room));
    if (got <= 0) {
      return;
    }
    dry_ = false;
    Locked lock(loop_);
    Pa().pa_stream_write(stream_, buffer_.data(), static_cast<size_t>(got), nullptr, 0,
                         PA_SEEK_RELATIVE);
    if (got < static_cast<qint64>(room)) {
      // All there is for now: a sound shorter than the start threshold must
      // still be heard (and end), so start without waiting for more.
      pa_operation* op = Pa().pa_stream_trigger(stream_, nullptr, nullptr);
      if (op) {
        Pa().pa_operation_unref(op);
      }
    }
  }

  pa_threaded_mainloop* loop_;
  pa_stream* stream_;
  QIODevice& source_;
  QMetaObject::Connection connection_;
  std::vector<uint8_t> buffer_;
  std::atomic<bool> dry_{false};
};

class Outputs final : public AudioOutputs {
 public:
  // Starts connecting to the sound server; `ready` waits for its answer.
  Outputs() {
    if (LoadedPulse() == nullptr) {
      return;  // no sound server's client: silent
    }
    loop_ = Pa().pa_threaded_mainloop_new();
    if (!loop_) {
      return;
    }
    context_ = Pa().pa_context_new(Pa().pa_threaded_mainloop_get_api(loop_), "Brindlecast");
    if (!context_ || Pa().pa_threaded_mainloop_start(loop_) < 0) {
      return;
    }
    Locked lock(loop_);
    Pa().pa_context_set_state_callback(context_, &Outputs::Signal, loop_);
    // No spawning of a server: a machine without one plays silently.
    connecting_ = Pa().pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0;
  }
  // Lives as long as the program: the library's thread is left to the exit.
  ~Outputs() override = default;
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  // Whether the server answered: waits for its answer the first time.
  [[nodiscard]] bool ready() {
    std::call_once(answered_, [this] {
      if (!connecting_) {
        return;
      }
      Locked lock(loop_);
      ready_ = WaitUntil(
          loop_, [this] { return Pa().pa_context_get_state(context_); }, PA_CONTEXT_READY,
          [](pa_context_state_t state) { return PA_CONTEXT_IS_GOOD(state); });
    });
    return ready_;
  }

  bool CanPlay(const WavFormat& format) override {
    if (!ready() || format.sampleRate < kLowestPlayableRate ||
        static_cast<uint32_t>(format.sampleRate) > PA_RATE_MAX || format.channels < 1 ||
        format.channels > static_cast<int>(PA_CHANNELS_MAX)) {
      return false;
    }
    Locked lock(loop_);
    return PA_CONTEXT_IS_GOOD(Pa().pa_context_get_state(context_));
  }

  void Prepare(const WavFormat& format, int64_t bufferBytes) override {
    if (!CanPlay(format)) {
      return;
    }
    const Request request{format, bufferBytes};
    Locked lock(loop_);
    if (spare_ && spareRequest_ == request) {
      return;
    }
    Drop(std::exchange(spare_, nullptr));
    spare_ = Connect(request);
    spareRequest_ = request;
  }

  std::unique_ptr<DeviceSink> Open(const WavFormat& format, int64_t bufferBytes,
                                   QIODevice& source) override {
    if (!CanPlay(format)) {
      return nullptr;
    }
    const Request request{format, bufferBytes};
    pa_stream* stream = nullptr;
    {
      Locked lock(loop_);
      // The stream got ready ahead for this sound, or a new one.
      stream = std::exchange(spare_, nullptr);
      if (stream && !(spareRequest_ == request)) {
        Drop(std::exchange(stream, nullptr));
      }
      if (!stream) {
        stream = Connect(request);
      }
      if (!stream ||
          !WaitUntil(
              loop_, [stream] { return Pa().pa_stream_get_state(stream); }, PA_STREAM_READY,
              [](pa_stream_state_t state) { return PA_STREAM_IS_GOOD(state); })) {
        Drop(stream);
        return nullptr;
      }
    }
    return std::make_unique<PulseSink>(loop_, stream, source);
  }

 private:
  // What a stream is opened for.
  struct Request {
    WavFormat format;
    int64_t bufferBytes = 0;
    bool operator==(const Request&) const = default;
  };

  // With the lock held: a new playback stream for `request`, connecting
  // (ready once its state is); null when it cannot even start.
  pa_stream* Connect(const Request& request) {
    const SampleFormat samples = SamplesOf(request.format);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(request.bufferBytes);
    attributes.prebuf = static_cast<uint32_t>(std::min<size_t>(
        Pa().pa_usec_to_bytes(kStartAfterUs, &samples), static_cast<size_t>(request.bufferBytes)));
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    pa_stream* stream = Pa().pa_stream_new(context_, "Speech", &samples, nullptr);
    if (!stream) {
      return nullptr;
    }
    Pa().pa_stream_set_state_callback(stream, &Outputs::Signal, loop_);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (Pa().pa_stream_connect_playback(stream, nullptr, &attributes, flags, nullptr, nullptr) !=
        0) {
      Drop(stream);
      return nullptr;
    }
    return stream;
  }

  // With the lock held: ends a stream no sink took.
  static void Drop(pa_stream* stream) {
    if (!stream) {
      return;
    }
    Pa().pa_stream_set_state_callback(stream, nullptr, nullptr);
    if (Pa().pa_stream_get_state(stream) != PA_STREAM_UNCONNECTED) {
      Pa().pa_stream_disconnect(stream);
    }
    Pa().pa_stream_unref(stream);
  }

  static SampleFormat SamplesOf(const WavFormat& format) {
    SampleFormat samples{};
    samples.format = format.bitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
    samples.rate = static_cast<uint32_t>(format.sampleRate);
    samples.channels = static_cast<uint8_t>(format.channels);
    return samples;
  }

  // State changes wake whoever waits for the connection or a stream.
  static void Signal(pa_context*, void* loop) {
    Pa().pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
  }
  static void Signal(pa_stream*, void* loop) {
    Pa().pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
  }

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool connecting_ = false;
  std::once_flag answered_;
  bool ready_ = false;
  pa_stream* spare_ = nullptr;  // set up by Prepare for the next Open
  Request spareRequest_;
};

Outputs* TheOutputs() {
  // Never destroyed: streams may still close on other threads at exit.
  static Outputs* const outputs = new Outputs;
  return outputs;
}

}  // namespace

void ConnectPulseOutputs() {
  TheOutputs();
}

AudioOutputs* PulseOutputs() {
  Outputs* outputs = TheOutputs();
  return outputs->ready() ? outputs : nullptr;
}

}  // namespace bc
