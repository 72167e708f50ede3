#pragma once

#include <QWidget>
#include <string>

class QLineEdit;
class QVBoxLayout;

namespace bc {

class CWaveViewCtrl;
class Prompt;

/// What the WAV Reader's path box says while no file is loaded.
inline constexpr const char* kWavPrompt =
    " To listen, please click the 'Open' button on the 'Toolbar' to choose your favorite WAV file";
/// The open dialog of Open WAV File and Read WAV, and the save dialog of Save to WAV.
inline constexpr const char* kWavOpenDialogTitle = "Open";
inline constexpr const char* kWavSaveDialogTitle = "Save As";
inline constexpr const char* kWavFileFilter = "WAV (*.wav)";
inline constexpr const char* kWavFileSuffix = "wav";

/// The " WAV Reader " page: a "Playing" frame holding the waveform view of one
/// file and the file's path in a read-only box. The page owns at most one view,
/// made for one file and destroyed when another is loaded or the user turns to
/// another page's content; the path stays, so coming back makes the view again.
class WavReaderPage : public QWidget {
  Q_OBJECT
 public:
  /// `silentAudio` makes every view play through the silent sink.
  explicit WavReaderPage(bool silentAudio = false, QWidget* parent = nullptr);

  /// The open dialog for a WAV file; empty when the user cancelled.
  [[nodiscard]] static std::string ChooseFile(Prompt& prompt);
  /// Writes `path` into the path box and makes a view for the file.
  void ShowFile(const std::string& path);
  /// Destroys the view there is and makes a new one for the file at `path`.
  /// A file that cannot be read shows an empty view that does not play.
  void CreateView(const std::string& path);
  /// Destroys the view, if any.
  void ReleaseView();
  /// Puts the prompt back in the path box (the view, if any, stays).
  void ShowPrompt();

  /// Whether the path box names a file (it is neither empty nor the prompt).
  [[nodiscard]] bool HasFile() const;
  /// The path box's text as UTF-8.
  [[nodiscard]] std::string Path() const;
  [[nodiscard]] CWaveViewCtrl* view() const { return view_; }
  [[nodiscard]] QLineEdit* pathBox() const { return path_; }

 Q_SIGNALS:
  /// The view's playback has ended.
  void PlaybackEnded();
  /// Space in the view: play from its caret or selection, or stop.
  void PlayRequested();
  void StopRequested();

 private:
  bool silentAudio_;
  QWidget* viewArea_ = nullptr;
  QVBoxLayout* viewLayout_ = nullptr;
  CWaveViewCtrl* view_ = nullptr;
  QLineEdit* path_ = nullptr;
};

}  // namespace bc
