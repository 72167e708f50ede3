#pragma once

#include <optional>

namespace bc {

/// The moments at which the main window sets its toolbar buttons and menu items.
enum class Situation {
  Initialised,
  PlayStarted,
  SpeakingStarted,
  SpeakingFinished,
  Stopped,        // Stop, or the end of a WAV playback
  ListSelection,  // a click in the email list
  PausePressed,
  TabSelected,
  ReadEmailStarted,  // Read Email, before the first entry is spoken
  TextFileOpened,    // Open Text File loaded a file
  ClipboardPasted,   // Paste Clipboard filled the Clipboard Reader
  ClipboardToRead,   // Read Clipboard found text to play
};

/// The tabs of the main window, in their order on screen.
enum class Tab { Email, Text, Clipboard, Wav };

/// A tab's position in the tab bar, and the tab at a position (0 to 3).
[[nodiscard]] constexpr int IndexOf(Tab tab) {
  return static_cast<int>(tab);
}
[[nodiscard]] constexpr Tab TabAt(int index) {
  return static_cast<Tab>(index);
}

/// What one moment does to the seven toolbar buttons and the six menu items
/// that follow the program's state. An empty optional leaves that control as it is.
struct ControlStates {
  // The toolbar buttons.
  std::optional<bool> playButton, pauseButton, stopButton, deleteButton, refreshButton, openButton,
      saveButton;
  // Control > Play, Pause, Stop, Delete, Refresh and File > Save to WAV.
  std::optional<bool> playItem, pauseItem, stopItem, deleteItem, refreshItem, saveToWavItem;

  bool operator==(const ControlStates&) const = default;
};

/// The control states of a situation on a tab; `selected` says whether at least
/// one row of the email list is selected.
[[nodiscard]] ControlStates StatesFor(Situation situation, Tab tab, bool selected);

/// The moments of the WAV Reader's commands and of Save to WAV.
enum class WavMoment {
  FileOpened,     // Open WAV File loaded a file
  ReadChosen,     // Read WAV loaded a file and plays it
  ReadCancelled,  // Read WAV's dialog was cancelled
  SaveButton,     // the Save button, before Save to WAV runs
  Saving,         // while the file is written
  SavingEnded,    // the wait for the file ended
  Saved,          // Save to WAV is done, on the page it ran from
};

/// The control states of a WAV Reader or Save to WAV moment on a tab.
[[nodiscard]] ControlStates WavStatesFor(WavMoment moment, Tab tab);

/// The control states when a check or deletion starts or ends; `voiceBusy` says
/// whether the voice is speaking or paused.
[[nodiscard]] ControlStates WorkerStatesFor(bool running, Tab tab, bool voiceBusy);

}  // namespace bc
