#include "ui/pages/waveform_view.h"

#include <QAccessibleWidget>
#include <QFileInfo>
#include <QKeyEvent>
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
// The keys move the caret by these steps.
constexpr int64_t kStepMs = 100;
constexpr int64_t kCtrlStepMs = 1000;

QString Seconds(int64_t ms) {
  return QString::number(static_cast<double>(ms) / 1000.0, 'f', 1);
}

// The view as a screen reader meets it: a slider whose value is the caret in
// seconds. Qt 6.4's bridge hands a changed name or description to Orca as an
// object, which it cannot speak; a changed value it reads from the view.
class WaveViewAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit WaveViewAccessible(CWaveViewCtrl* view)
      : QAccessibleWidget(view, QAccessible::Slider), view_(view) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) {
      return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }
  QVariant currentValue() const override { return ToSeconds(view_->caretMs()); }
  void setCurrentValue(const QVariant&) override {}  // the keys move the caret
  QVariant maximumValue() const override { return ToSeconds(view_->DurationMs()); }
  QVariant minimumValue() const override { return 0.0; }
  QVariant minimumStepSize() const override { return 0.1; }

 private:
  static double ToSeconds(int64_t ms) { return static_cast<double>(ms) / 1000.0; }
  CWaveViewCtrl* view_;
};

QAccessibleInterface* WaveViewFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("bc::CWaveViewCtrl")) {
    if (auto* view = qobject_cast<CWaveViewCtrl*>(object)) {
      return new WaveViewAccessible(view);
    }
  }
  return nullptr;
}

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
    painter.drawPolyline(TraceOutline(*trace));
  }
  return image;
}

}  // namespace

QPolygon TraceOutline(const std::vector<TracePoint>& trace) {
  QPolygon line;
  line.reserve(static_cast<qsizetype>(std::min<size_t>(trace.size(), 4 * 4096)));
  const auto add = [&line](int x, int y) {
    if (line.isEmpty() || line.back() != QPoint(x, y)) {
      line.append(QPoint(x, y));
    }
  };
  for (size_t run = 0; run < trace.size();) {
    size_t end = run + 1;
    int low = trace[run].y;
    int high = low;
    while (end < trace.size() && trace[end].x == trace[run].x) {
      low = std::min(low, trace[end].y);
      high = std::max(high, trace[end].y);
      ++end;
    }
    // The last column as it is: the end of a line is drawn by its own rule.
    if (end - run <= 4 || end == trace.size()) {
      for (size_t i = run; i < end; ++i) {
        add(trace[i].x, trace[i].y);
      }
    } else {
      // In a column the trace only runs up and down: entering it, its lowest
      // and highest point and leaving it cover the same pixels as all of it.
      const int x = trace[run].x;
      add(x, trace[run].y);
      add(x, low);
      add(x, high);
      add(x, trace[end - 1].y);
    }
    run = end;
  }
  return line;
}

CWaveViewCtrl::CWaveViewCtrl(bool silentAudio, QWidget* parent)
    : QWidget(parent), silentAudio_(silentAudio) {
  setObjectName(QStringLiteral("waveView"));
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(WaveViewFactory);
    return true;
  }();
  (void)factoryInstalled;
  setFocusPolicy(Qt::StrongFocus);  // Tab reaches it: the keys work it
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
  name_ = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
  caretMs_ = 0;
  anchorMs_ = -1;
  keyed_ = false;
  Describe();
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
  playEndByte_ = 0;
  if (keyed_) {
    // The keys placed a time, not a column: play from exactly there.
    const bool selected = anchorMs_ >= 0 && anchorMs_ != caretMs_;
    playStartByte_ = ByteOf(selected ? std::min(caretMs_, anchorMs_) : caretMs_);
    playEndByte_ = selected ? ByteOf(std::max(caretMs_, anchorMs_)) : 0;
  } else {
    playStartByte_ =
        PlayStartByte(startColumn, width(), wav_->sampleBytes(), wav_->format().BlockAlign());
  }
  player_->Start(playStartByte_);
  timer_.start();
  update();
  return true;
}

void CWaveViewCtrl::Tick() {
  if (player_ && player_->IsPlaying()) {
    const int x = CaretWhilePlaying(player_->Position(), wav_->shape(), width());
    if (playEndByte_ != 0 && player_->Position() >= playEndByte_) {
      player_->Stop();  // a keyed selection ends at its own end
    }
    // Only a selection the user made ends playback early.
    if (!keyed_ && mouseSelected_ && playStartX_ != playAnchorX_) {
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
  Describe();  // heard, not only seen
  update();
}

int64_t CWaveViewCtrl::DurationMs() const {
  if (!wav_ || wav_->format().BytesPerSecond() <= 0) {
    return 0;
  }
  return static_cast<int64_t>(wav_->sampleBytes() * 1000 /
                              static_cast<uint64_t>(wav_->format().BytesPerSecond()));
}

int CWaveViewCtrl::ColumnOf(int64_t ms) const {
  const int64_t duration = DurationMs();
  if (!wav_ || duration <= 0) {
    return 0;
  }
  // As the waveform is drawn: each whole second of a short file takes a tenth
  // of the width, a file of ten seconds or more fills it.
  const int64_t seconds = static_cast<int64_t>(WholeSeconds(wav_->shape()));
  const int64_t drawn = seconds < 10 ? seconds * (width() / 10) : width();
  return ClampColumn(static_cast<int>(drawn * std::clamp<int64_t>(ms, 0, duration) / duration));
}

int64_t CWaveViewCtrl::MsOf(int column) const {
  const int64_t duration = DurationMs();
  if (!wav_ || duration <= 0) {
    return 0;
  }
  const int64_t seconds = static_cast<int64_t>(WholeSeconds(wav_->shape()));
  const int64_t drawn = std::max<int64_t>(1, seconds < 10 ? seconds * (width() / 10) : width());
  return std::clamp<int64_t>(column * duration / drawn, 0, duration);
}

uint64_t CWaveViewCtrl::ByteOf(int64_t ms) const {
  const auto frame = static_cast<uint64_t>(wav_->format().BlockAlign());
  const uint64_t byte = static_cast<uint64_t>(std::max<int64_t>(0, ms)) *
                        static_cast<uint64_t>(wav_->format().BytesPerSecond()) / 1000;
  return std::min(byte / frame * frame, wav_->sampleBytes() / frame * frame);
}

void CWaveViewCtrl::KeyCaret(int64_t ms, bool select) {
  if (select && (anchorMs_ < 0 || !keyed_)) {
    anchorMs_ = caretMs_;  // the selection starts where the caret stood
  } else if (!select) {
    anchorMs_ = -1;
  }
  keyed_ = true;
  caretMs_ = std::clamp<int64_t>(ms, 0, DurationMs());
  caret_ = ColumnOf(caretMs_);
  anchor_ = anchorMs_ >= 0 ? ColumnOf(anchorMs_) : caret_;
  Describe();
  update();
}

void CWaveViewCtrl::Describe() {
  if (!wav_) {
    setAccessibleName(QStringLiteral("Waveform of ") + QString::fromStdString(name_));
    setAccessibleDescription(QString::fromStdString(error_.empty() ? notice_ : error_));
    return;
  }
  const QString name = QStringLiteral("Waveform of %1, %2 seconds")
                           .arg(QString::fromStdString(name_), Seconds(DurationMs()));
  if (accessibleName() != name) {
    setAccessibleName(name);
  }
  QString text = QStringLiteral("caret at %1 seconds").arg(Seconds(caretMs_));
  if (anchorMs_ >= 0 && anchorMs_ != caretMs_) {
    text +=
        QStringLiteral(", selected %1 to %2 seconds")
            .arg(Seconds(std::min(caretMs_, anchorMs_)), Seconds(std::max(caretMs_, anchorMs_)));
  }
  if (!notice_.empty()) {
    text += QStringLiteral(". ") + QString::fromStdString(notice_);
  }
  setAccessibleDescription(text);
  QAccessibleValueChangeEvent moved(this, static_cast<double>(caretMs_) / 1000.0);
  QAccessible::updateAccessibility(&moved);
}

void CWaveViewCtrl::keyPressEvent(QKeyEvent* event) {
  if (!wav_) {
    QWidget::keyPressEvent(event);
    return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (event->key() == Qt::Key_Space && mods == Qt::NoModifier) {
    if (IsPlaying()) {
      Q_EMIT StopRequested();
    } else {
      Q_EMIT PlayRequested();
    }
    return;
  }
  const bool select = mods.testFlag(Qt::ShiftModifier);
  const int64_t step = mods.testFlag(Qt::ControlModifier) ? kCtrlStepMs : kStepMs;
  if (!selectionEnabled_ || (mods & ~(Qt::ShiftModifier | Qt::ControlModifier))) {
    QWidget::keyPressEvent(event);  // playing: the caret follows the sound
    return;
  }
  switch (event->key()) {
    case Qt::Key_Left:
      KeyCaret(caretMs_ - step, select);
      return;
    case Qt::Key_Right:
      KeyCaret(caretMs_ + step, select);
      return;
    case Qt::Key_Home:
      KeyCaret(0, select);
      return;
    case Qt::Key_End:
      KeyCaret(DurationMs(), select);
      return;
    default:
      QWidget::keyPressEvent(event);
  }
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
    if (selectionEnabled_) {
      keyed_ = false;  // the mouse's column rules playback, as it always has
      caretMs_ = MsOf(caret_);
      anchorMs_ = -1;
      Describe();
    }
  }
  QWidget::mousePressEvent(event);
}

void CWaveViewCtrl::mouseMoveEvent(QMouseEvent* event) {
  if (selectionEnabled_ && event->buttons() == Qt::LeftButton && anchor_ != -1) {
    caret_ = ClampColumn(event->position().toPoint().x());
    caretMs_ = MsOf(caret_);
    anchorMs_ = MsOf(anchor_);
    Describe();
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
  if (keyed_ && selectionEnabled_) {
    caret_ = ColumnOf(caretMs_);  // the keys placed a time: it stays that time
    anchor_ = anchorMs_ >= 0 ? ColumnOf(anchorMs_) : caret_;
  }
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
