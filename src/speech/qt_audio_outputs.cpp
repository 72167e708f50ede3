#include "speech/qt_audio_outputs.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

namespace bc {
namespace {

QAudioFormat QtFormat(const WavFormat& format) {
  QAudioFormat qformat;
  qformat.setSampleRate(format.sampleRate);
  qformat.setChannelCount(format.channels);
  qformat.setSampleFormat(format.bitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
  return qformat;
}

// The default output when it plays `format`; otherwise a null device.
QAudioDevice OutputFor(const QAudioFormat& format) {
  if (format.sampleRate() < kLowestPlayableRate) {
    return QAudioDevice();
  }
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  return !device.isNull() && device.isFormatSupported(format) ? device : QAudioDevice();
}

class QtDeviceSink final : public DeviceSink {
 public:
  explicit QtDeviceSink(std::unique_ptr<QAudioSink> sink) : sink_(std::move(sink)) {}
  ~QtDeviceSink() override { sink_->stop(); }
  bool Failed() const override { return sink_->error() == QAudio::FatalError; }
  bool Idle() const override { return sink_->state() == QAudio::IdleState; }
  void Suspend() override { sink_->suspend(); }
  void Resume() override { sink_->resume(); }
  int64_t ProcessedUSecs() const override { return sink_->processedUSecs(); }

 private:
  std::unique_ptr<QAudioSink> sink_;
};

class QtOutputs final : public AudioOutputs {
 public:
  bool CanPlay(const WavFormat& format) override { return !OutputFor(QtFormat(format)).isNull(); }

  std::unique_ptr<DeviceSink> Open(const WavFormat& format, int64_t bufferBytes,
                                   QIODevice& source) override {
    const QAudioFormat qformat = QtFormat(format);
    const QAudioDevice device = OutputFor(qformat);
    if (device.isNull()) {
      return nullptr;
    }
    auto sink = std::make_unique<QAudioSink>(device, qformat);
    sink->setBufferSize(static_cast<qsizetype>(bufferBytes));
    sink->start(&source);
    if (sink->error() == QAudio::OpenError || sink->state() == QAudio::StoppedState) {
      sink->stop();
      return nullptr;
    }
    return std::make_unique<QtDeviceSink>(std::move(sink));
  }
};

}  // namespace

AudioOutputs& QtAudioOutputs() {
  static QtOutputs outputs;
  return outputs;
}

}  // namespace bc
