#include "ui/pages/waveform_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <array>

#include "speech/audio_outputs.h"
#include "speech/wav_stream_player.h"
#include "speech/waveform_trace.h"

namespace bc {
namespace {

const QColor kTraceColor(0, 88, 188);
// The caret follows playback in whole seconds; a tick this short stops a
// selection's playback close to its end without busying the machine.
constexpr int kTickMs = 10;

QImage RenderWaveform(const WavFileReader& wav, QSize size, const std::atomic<bool>& cancel) {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setPen(Qt::black);
  painter.setBrush(Qt::white);
  painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
  painter.setPen(QPen(kTraceColor, 0));
  const uint64_t step = TraceStep(wav.shape(), size.width());
  const uint64_t valueBytes = static_cast<uint64_t>(wav.format().bitsPerSample) / 8;
  // From a cold cache, one read after another would wait for the disk tens of
  // thousands of times: at the first read that would wait, every read still
  // to come is queued at the disk at once. A warm file never waits, and is
  // spared the calls.
  bool queued = false;
  const auto queueTheRest = [&](uint64_t fromByte) {
    for (uint64_t i = fromByte / valueBytes; i < ValueCount(wav.shape()) && !cancel; i += step) {
      wav.Prefetch(i * valueBytes, 2 * valueBytes);
    }
    queued = true;
  };
  // The values of a point of each trace are neighbours: one read serves both.
  constexpr uint64_t kBlock = 64;
  std::array<uint8_t, kBlock> block{};
  uint64_t blockStart = UINT64_MAX;
  uint64_t blockSize = 0;
  const auto read = [&](uint64_t offset, std::span<uint8_t> out) {
    if (offset < blockStart || offset + out.size() > blockStart + blockSize) {
      blockStart = offset;
      blockSize = std::min<uint64_t>(kBlock, wav.sampleBytes() - offset);
      const std::span<uint8_t> into(block.data(), blockSize);
      if (!queued && !wav.ReadCachedSamples(blockStart, into)) {
        queueTheRest(blockStart);
      }
      if (blockSize < out.size() || (queued && !wav.ReadSamples(blockStart, into))) {
        blockStart = UINT64_MAX;
        return false;
      }
    }
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(offset - blockStart), out.size(),
                out.begin());
    return true;
  };
  const WaveformTraces traces =
      ComputeTraces(wav.shape(), read, size.width(), size.height(), &cancel);
  for (const auto* trace : {&traces.first, &traces.second}) {
    if (trace->size() < 2) {
      continue;
    }
    QPolygon line(static_cast<int>(trace->size()));
    for (size_t i = 0; i < trace->size(); ++i) {
      line.setPoint(static_cast<int>(i), (*trace)[i].x, (*trace)[i].y);
    }
    painter.drawPolyline(line);
  }
  return image;
}

}  // namespace

CWaveViewCtrl::CWaveViewCtrl(bool silentAudio, QWidget* parent)
    : QWidget(parent), silentAudio_(silentAudio) {
  setObjectName(QStringLiteral("waveView"));
  setFocusPolicy(Qt::ClickFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  timer_.setInterval(kTickMs);
  connect(&timer_, &QTimer::timeout, this, &CWaveViewCtrl::Tick);
}

CWaveViewCtrl::~CWaveViewCtrl() {
  cancelRendering_ = true;
  if (renderer_.joinable()) {
    renderer_.join();
  }
  player_.reset();
}

bool CWaveViewCtrl::LoadWave(const std::string& path) {
  // Whatever showed or played the last file goes with it.
  cancelRendering_ = true;
  if (renderer_.joinable()) {
    renderer_.join();
  }
  cancelRendering_ = false;
  renderingStarted_ = false;
  bitmap_ = QImage();
  timer_.stop();
  player_.reset();
  error_.clear();
  ShowNotice({});
  wav_ = WavFileReader::Open(path, &error_);
  selectionEnabled_ = wav_ != nullptr;
  update();
  return wav_ != nullptr;
}

void CWaveViewCtrl::EnsureSelectionAnchor() {
  if (anchor_ == -1) {
    anchor_ = 1;
  }
}

bool CWaveViewCtrl::IsPlaying() const {
  return player_ && player_->IsPlaying();
}

void CWaveViewCtrl::SetPaused(bool paused) {
  if (IsPlaying()) {
    player_->SetPaused(paused);
  }
}

bool CWaveViewCtrl::IsPaused() const {
  return player_ && player_->IsPaused();
}

bool CWaveViewCtrl::PlayOrStop(bool play) {
  if (!wav_) {
    return false;
  }
  if (!play) {
    if (player_) {
      player_->Stop();  // the next tick restores the caret and reports the end
    }
    return true;
  }
  if (player_ && (player_->IsPlaying() || timer_.isActive())) {
    return true;
  }
  if (wav_->format().sampleRate < kLowestPlayableRate) {
    ShowNotice("This file cannot be played: its sample rate of " +
               std::to_string(wav_->format().sampleRate) + " Hz is below the " +
               std::to_string(kLowestPlayableRate) + " Hz the sound output plays at the least.");
    return false;
  }
  ShowNotice({});
  if (!player_) {
    player_ = std::make_unique<WavStreamPlayer>(wav_, silentAudio_);
  }
  playStartX_ = caret_;
  playAnchorX_ = anchor_;
  const int startColumn = std::max(0, std::min(playStartX_, playAnchorX_));
  Press(0, 0);
  selectionEnabled_ = false;
  playStartByte_ =
      PlayStartByte(startColumn, width(), wav_->sampleBytes(), wav_->format().BlockAlign());
  player_->Start(playStartByte_);
  timer_.start();
  update();
  return true;
}

void CWaveViewCtrl::Tick() {
  if (player_ && player_->IsPlaying()) {
    const int x = CaretWhilePlaying(player_->Position(), wav_->shape(), width());
    // Only a selection the user made ends playback early.
    if (mouseSelected_ && playStartX_ != playAnchorX_) {
      const int rightEnd = std::max(playStartX_, playAnchorX_);
      if (x >= rightEnd) {
        player_->Stop();
      }
    }
    caret_ = x;
    update();
    return;
  }
  if (player_ && player_->WasCutShort()) {
    ShowNotice("Playback stopped: the file was cut short while it played.");
  }
  caret_ = playStartX_;
  anchor_ = playAnchorX_;
  selectionEnabled_ = true;
  timer_.stop();
  update();
  Q_EMIT PlaybackEnded();
}

void CWaveViewCtrl::ShowNotice(std::string notice) {
  notice_ = std::move(notice);
  setAccessibleDescription(QString::fromStdString(notice_));  // heard, not only seen
  update();
}

int CWaveViewCtrl::ClampColumn(int x) const {
  return std::clamp(x, 0, std::max(0, width() - 1));
}

void CWaveViewCtrl::Press(int x, int y) {
  if (x != 0 || y != 0) {
    mouseSelected_ = true;
  }
  if (selectionEnabled_) {
    anchor_ = ClampColumn(x);
    caret_ = anchor_;
    update();
  }
}

void CWaveViewCtrl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    Press(event->position().toPoint().x(), event->position().toPoint().y());
  }
  QWidget::mousePressEvent(event);
}

void CWaveViewCtrl::mouseMoveEvent(QMouseEvent* event) {
  if (selectionEnabled_ && event->buttons() == Qt::LeftButton && anchor_ != -1) {
    caret_ = ClampColumn(event->position().toPoint().x());
    update();
  }
}

void CWaveViewCtrl::resizeEvent(QResizeEvent* event) {
  const int oldWidth = event->oldSize().width();
  const int newWidth = event->size().width();
  // Keep the caret and anchor at the same whole percent of the width.
  if (oldWidth > 0 && newWidth != oldWidth) {
    if (anchor_ != -1) {
      anchor_ = RescaleColumn(anchor_, oldWidth, newWidth);
    }
    caret_ = RescaleColumn(caret_, oldWidth, newWidth);
  }
  QWidget::resizeEvent(event);
}

void CWaveViewCtrl::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void CWaveViewCtrl::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

void CWaveViewCtrl::StartRendering() {
  renderingStarted_ = true;
  renderer_ = std::thread([this, wav = wav_, size = size()] {
    QImage image = RenderWaveform(*wav, size, cancelRendering_);
    if (cancelRendering_) {
      return;
    }
    // The view outlives this thread (its destructor joins it); the call is
    // dropped if the view is gone by the time it is delivered.
    QMetaObject::invokeMethod(
        this,
        [this, image = std::move(image)] {
          bitmap_ = image;
          update();
          Q_EMIT BitmapReady();
        },
        Qt::QueuedConnection);
  });
}

void CWaveViewCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!wav_) {
    painter.fillRect(rect(), Qt::white);
    if (!error_.empty()) {
      painter.setPen(Qt::gray);
      painter.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop,
                       QString::fromStdString(error_));
    }
    return;
  }
  if (!renderingStarted_ && width() > 0 && height() > 0) {
    StartRendering();
  }
  if (bitmap_.isNull()) {
    painter.fillRect(rect(), Qt::white);
  } else {
    painter.drawImage(rect(), bitmap_);
  }
  painter.setCompositionMode(QPainter::RasterOp_NotDestination);
  if (selectionEnabled_ && anchor_ != -1 && anchor_ != caret_) {
    const int left = std::min(anchor_, caret_);
    painter.fillRect(QRect(left, 0, std::max(anchor_, caret_) - left, height()), Qt::black);
  }
  if (hasFocus() || IsPlaying()) {
    painter.fillRect(QRect(caret_, 0, 1, height()), Qt::black);
  }
  if (!notice_.empty()) {
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setPen(Qt::darkRed);
    painter.drawText(rect().adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QString::fromStdString(notice_));
  }
}

}  // namespace bc
