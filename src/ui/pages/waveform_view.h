#pragma once

#include <QImage>
#include <QPolygon>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "speech/wav_file.h"
#include "speech/waveform_trace.h"

namespace bc {

class WavStreamPlayer;

/// The polyline the view draws for a trace: where many points share a column
/// (a long file has dozens per column), only where the trace enters the
/// column, its lowest and highest point there and where it leaves. Drawn with
/// a one-pixel pen it covers exactly the pixels the whole trace covers, in a
/// fraction of the time.
[[nodiscard]] QPolygon TraceOutline(const std::vector<TracePoint>& trace);

/// Shows one PCM WAV file (8 or 16 bits, any channel count) as a waveform,
/// lets the user place a caret and drag a selection, and plays the file from
/// the caret or the selection's start while the caret follows the playback.
///
/// The file is never read whole: the waveform is rendered once, on a thread of
/// its own, into an off-screen image of the view's size at its first paint and
/// stretched to the view from then on; playback streams from the file. A file
/// that is not a PCM WAV leaves the view empty and silent, with the reason in
/// small grey letters; so does a sample rate no sound output plays. A file
/// cut short while it plays stops playing at its new end, and the view says so.
///
/// Columns (caret, selection anchor) are in pixels of the view. Playback
/// starts at the whole percent of the width the start column lies at, as that
/// percent of the sample bytes; the caret then moves in steps of whole seconds.
///
/// The keyboard works it too: Left and Right move the caret a tenth of a
/// second (with Ctrl a second), Home and End to the ends, Shift with them
/// selects, Space plays (or stops). A caret or selection the keys placed plays
/// from its exact time, and a selection's playback ends at its end. A screen
/// reader hears the view as "Waveform of NAME, 8.2 seconds" and its
/// description as "caret at 3.4 seconds" (and what is selected).
class CWaveViewCtrl final : public QWidget {
  Q_OBJECT
 public:
  /// `silentAudio` plays through the silent real-time sink even when an audio
  /// device exists.
  explicit CWaveViewCtrl(bool silentAudio = false, QWidget* parent = nullptr);
  ~CWaveViewCtrl() override;

  /// LoadWave: opens the file read-only and reads its chunks. Returns whether a
  /// PCM file was loaded; otherwise LoadError says why.
  bool LoadWave(const std::string& path);
  [[nodiscard]] bool IsLoaded() const { return wav_ != nullptr; }
  [[nodiscard]] const std::string& LoadError() const { return error_; }
  /// Why the last playback ended early or could not start; empty when it did not.
  [[nodiscard]] const std::string& PlaybackNotice() const { return notice_; }

  /// Puts the selection anchor at column 1 when there is none.
  void EnsureSelectionAnchor();
  /// true: starts playback from the caret or the selection's start unless it
  /// is already playing; false: stops it. Returns false when nothing can play
  /// (no file loaded).
  bool PlayOrStop(bool play);
  /// Repaints the view.
  void RefreshDisplay() { update(); }

  [[nodiscard]] bool IsPlaying() const;
  /// Holds playback where it is, or goes on; nothing while nothing plays.
  void SetPaused(bool paused);
  [[nodiscard]] bool IsPaused() const;
  [[nodiscard]] int caretX() const { return caret_; }
  /// The caret and the selection's other end in milliseconds (anchor -1: none).
  [[nodiscard]] int64_t caretMs() const { return caretMs_; }
  [[nodiscard]] int64_t anchorMs() const { return anchorMs_; }
  /// The file's length in milliseconds (0 when none is loaded).
  [[nodiscard]] int64_t DurationMs() const;
  [[nodiscard]] int selectionAnchor() const { return anchor_; }
  [[nodiscard]] bool selectionEnabled() const { return selectionEnabled_; }
  /// The rendered waveform, null until the first rendering has finished.
  [[nodiscard]] const QImage& bitmap() const { return bitmap_; }
  /// The audio output of the view, created at the first play (else null).
  [[nodiscard]] WavStreamPlayer* player() const { return player_.get(); }
  /// The byte playback last started at.
  [[nodiscard]] uint64_t playStartByte() const { return playStartByte_; }

 Q_SIGNALS:
  /// Playback has ended: run out, reached the selection's end, or stopped.
  void PlaybackEnded();
  /// The first rendering has finished and is shown.
  void BitmapReady();
  /// Space: the user asks to play from the caret or the selection, or to stop.
  void PlayRequested();
  void StopRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void StartRendering();
  void Press(int x, int y);
  void Tick();
  void ShowNotice(std::string notice);
  [[nodiscard]] int ClampColumn(int x) const;
  /// Where a moment of the file is drawn, and the moment drawn at a column.
  [[nodiscard]] int ColumnOf(int64_t ms) const;
  [[nodiscard]] int64_t MsOf(int column) const;
  /// The sample byte (a frame boundary) heard at a moment.
  [[nodiscard]] uint64_t ByteOf(int64_t ms) const;
  /// The caret placed by the keys: columns follow, the screen reader is told.
  void KeyCaret(int64_t ms, bool select);
  /// Name and description for screen readers.
  void Describe();

  bool silentAudio_;
  std::shared_ptr<const WavFileReader> wav_;
  std::string error_;
  std::string notice_;
  bool selectionEnabled_ = false;
  int anchor_ = -1;
  int caret_ = 0;
  bool mouseSelected_ = false;
  int playStartX_ = 0;
  int playAnchorX_ = -1;
  uint64_t playStartByte_ = 0;
  std::string name_;          // the file's name, for screen readers
  int64_t caretMs_ = 0;       // the caret in time, as the keys move it
  int64_t anchorMs_ = -1;     // the selection's other end in time; -1: none
  bool keyed_ = false;        // the keys placed the caret last (else the mouse)
  uint64_t playEndByte_ = 0;  // a keyed selection's playback stops here (0: at the end)

  QImage bitmap_;
  bool renderingStarted_ = false;
  std::atomic<bool> cancelRendering_{false};
  std::thread renderer_;

  QTimer timer_;
  std::unique_ptr<WavStreamPlayer> player_;
};

}  // namespace bc
