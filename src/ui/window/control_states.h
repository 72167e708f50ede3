#pragma once

#include <array>
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
};

/// The tabs of the main window.
enum Tab { kEmailTab = 0, kTextTab = 1, kClipboardTab = 2, kWavTab = 3 };

/// What one situation does to the seven toolbar buttons and the six menu items
/// (Control > Play, Pause, Stop, Delete, Refresh and File > Save to WAV).
/// An empty optional leaves that control as it is.
struct ControlStates {
  std::optional<bool> play, pause, stop, del, refresh, open, save;
  std::optional<std::array<bool, 6>> menu;  // play, pause, stop, delete, refresh, save

  bool operator==(const ControlStates&) const = default;
};

/// The control states of a situation on a tab; `selected` says whether at least
/// one row of the email list is selected.
[[nodiscard]] ControlStates StatesFor(Situation situation, int tab, bool selected);

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
[[nodiscard]] ControlStates WavStatesFor(WavMoment moment, int tab);

}  // namespace bc
