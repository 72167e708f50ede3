#include "ui/window/control_states.h"

#include <string_view>

namespace bc {
namespace {

// Which tabs a row is for: one bit a tab.
using Tabs = unsigned;
constexpr Tabs Only(Tab tab) {
  return 1u << IndexOf(tab);
}
constexpr Tabs kEmail = Only(Tab::Email);
constexpr Tabs kText = Only(Tab::Text);
constexpr Tabs kClipboard = Only(Tab::Clipboard);
constexpr Tabs kWav = Only(Tab::Wav);
constexpr Tabs kAnyTab = kEmail | kText | kClipboard | kWav;

// One row of a table: what `moment` does on `tabs`. The buttons are written in
// the toolbar's order, Play Pause Stop Delete Refresh Open Save; the menu items
// as Control > Play Pause Stop Delete Refresh, then File > Save to WAV. Each
// control is one letter: '1' on, '0' off, 's' on when at least one row of the
// email list is selected, '-' left as it is.
template <typename Moment>
struct Row {
  Moment moment;
  Tabs tabs;
  std::string_view buttons;
  std::string_view menu;
};

// clang-format off
constexpr Row<Situation> kSituations[] = {
    // moment                     tabs                           buttons    menu
    {Situation::Initialised,      kAnyTab,                      "100--00", "1-----"},
    {Situation::PlayStarted,      kEmail | kText | kClipboard,  "0110-00", "011000"},
    {Situation::PlayStarted,      kWav,                         "0110-00", "011000"},
    {Situation::SpeakingStarted,  kAnyTab,                      "0110000", "011000"},
    {Situation::ReadEmailStarted, kAnyTab,                      "0110000", "011000"},
    {Situation::SpeakingFinished, kEmail,                       "100s101", "100s11"},
    {Situation::SpeakingFinished, kText,                        "1000-11", "100001"},
    {Situation::SpeakingFinished, kClipboard,                   "1000-01", "100001"},
    {Situation::SpeakingFinished, kWav,                         "1000-00", "100000"},
    {Situation::Stopped,          kEmail,                       "100s-01", "s00s11"},
    {Situation::Stopped,          kText,                        "1000-11", "100001"},
    {Situation::Stopped,          kClipboard,                   "1000-01", "100001"},
    {Situation::Stopped,          kWav,                         "1000-10", "100000"},
    {Situation::ListSelection,    kAnyTab,                      "1001-01", "100111"},
    {Situation::PausePressed,     kEmail,                       "01100--", "011000"},
    {Situation::PausePressed,     kText | kClipboard | kWav,    "-------", "011000"},
    {Situation::TabSelected,      kEmail,                       "s00s10s", "s00s1s"},
    {Situation::TabSelected,      kText,                        "1000011", "100001"},
    {Situation::TabSelected,      kClipboard,                   "1000001", "100001"},
    {Situation::TabSelected,      kWav,                         "1000010", "100000"},
    {Situation::TextFileOpened,   kAnyTab,                      "1000011", "100001"},
    {Situation::ClipboardPasted,  kAnyTab,                      "-------", "100001"},
    {Situation::ClipboardToRead,  kAnyTab,                      "1000001", "100001"},
};
// clang-format on

// clang-format off
constexpr Row<WavMoment> kWavMoments[] = {
    // moment                  tabs          buttons    menu
    {WavMoment::FileOpened,    kAnyTab,     "1000-10", "100000"},
    {WavMoment::ReadChosen,    kAnyTab,     "0110000", "011000"},
    {WavMoment::ReadCancelled, kAnyTab,     "1000010", "001000"},
    {WavMoment::SaveButton,    kAnyTab,     "0010-00", "001000"},
    {WavMoment::Saving,        kAnyTab,     "-------", "100000"},
    {WavMoment::SavingEnded,   kAnyTab,     "-------", "100001"},
    {WavMoment::Saved,         kEmail,      "1000000", "------"},
    {WavMoment::Saved,         kText,       "1000011", "------"},
    {WavMoment::Saved,         kClipboard,  "1000001", "------"},
    {WavMoment::Saved,         kWav,        "10000--", "------"},
};
// clang-format on

constexpr std::optional<bool> StateOf(char letter, bool selected) {
  if (letter == '-') {
    return std::nullopt;
  }
  return letter == '1' || (letter == 's' && selected);
}

template <typename Moment, size_t N>
constexpr const Row<Moment>* Find(const Row<Moment> (&rows)[N], Moment moment, Tab tab) {
  for (const Row<Moment>& row : rows) {
    if (row.moment == moment && (row.tabs & Only(tab)) != 0) {
      return &row;
    }
  }
  return nullptr;
}

template <typename Moment, size_t N>
ControlStates StatesOf(const Row<Moment> (&rows)[N], Moment moment, Tab tab, bool selected) {
  const Row<Moment>* row = Find(rows, moment, tab);
  if (row == nullptr) {
    return {};
  }
  const auto button = [&](size_t i) { return StateOf(row->buttons[i], selected); };
  const auto item = [&](size_t i) { return StateOf(row->menu[i], selected); };
  return {.playButton = button(0),
          .pauseButton = button(1),
          .stopButton = button(2),
          .deleteButton = button(3),
          .refreshButton = button(4),
          .openButton = button(5),
          .saveButton = button(6),
          .playItem = item(0),
          .pauseItem = item(1),
          .stopItem = item(2),
          .deleteItem = item(3),
          .refreshItem = item(4),
          .saveToWavItem = item(5)};
}

// Every row spells seven buttons and six menu items in the four letters, and
// every moment up to `last` has a row for each tab.
template <typename Moment, size_t N>
constexpr bool IsComplete(const Row<Moment> (&rows)[N], Moment last) {
  constexpr std::string_view kLetters = "10s-";
  for (const Row<Moment>& row : rows) {
    if (row.buttons.size() != 7 || row.menu.size() != 6) {
      return false;
    }
    for (const std::string_view letters : {row.buttons, row.menu}) {
      for (const char letter : letters) {
        if (kLetters.find(letter) == std::string_view::npos) {
          return false;
        }
      }
    }
  }
  for (int moment = 0; moment <= static_cast<int>(last); ++moment) {
    for (const Tab tab : {Tab::Email, Tab::Text, Tab::Clipboard, Tab::Wav}) {
      if (Find(rows, static_cast<Moment>(moment), tab) == nullptr) {
        return false;
      }
    }
  }
  return true;
}
static_assert(IsComplete(kSituations, Situation::ClipboardToRead));
static_assert(IsComplete(kWavMoments, WavMoment::Saved));

}  // namespace

ControlStates StatesFor(Situation situation, Tab tab, bool selected) {
  return StatesOf(kSituations, situation, tab, selected);
}

ControlStates WavStatesFor(WavMoment moment, Tab tab) {
  return StatesOf(kWavMoments, moment, tab, false);
}

ControlStates WorkerStatesFor(bool running, Tab tab, bool voiceBusy) {
  ControlStates states;
  states.deleteButton = !running && tab == Tab::Email;
  states.refreshButton = !running;
  if (!running && !voiceBusy) {
    // A pass that spoke nothing sends no SpeakingFinished to turn Play back on.
    states.playButton = true;
    states.playItem = true;
  }
  return states;
}

}  // namespace bc
