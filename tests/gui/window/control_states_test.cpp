#include "ui/window/control_states.h"

#include <gtest/gtest.h>

#include <iterator>
#include <span>
#include <string>
#include <vector>

namespace bc {
namespace {

using Member = std::optional<bool> ControlStates::*;
struct Control {
  const char* name;
  Member member;
};
constexpr Control kButtons[] = {
    {"Play", &ControlStates::playButton},       {"Pause", &ControlStates::pauseButton},
    {"Stop", &ControlStates::stopButton},       {"Delete", &ControlStates::deleteButton},
    {"Refresh", &ControlStates::refreshButton}, {"Open", &ControlStates::openButton},
    {"Save", &ControlStates::saveButton}};
constexpr Control kItems[] = {
    {"Play", &ControlStates::playItem},       {"Pause", &ControlStates::pauseItem},
    {"Stop", &ControlStates::stopItem},       {"Delete", &ControlStates::deleteItem},
    {"Refresh", &ControlStates::refreshItem}, {"SaveToWav", &ControlStates::saveToWavItem}};

// The toolbar and menu as the user meets them: every control starts enabled, as
// a new widget does, and each moment changes only what it names.
class Controls {
 public:
  Controls() {
    for (const Control& c : All()) {
      on_.*c.member = true;
    }
  }
  void Apply(const ControlStates& change) {
    for (const Control& c : All()) {
      if (const std::optional<bool>& on = change.*c.member) {
        on_.*c.member = *on;
      }
    }
  }
  // "buttons | menu items", the names of those that can be pressed.
  [[nodiscard]] std::string Pressable() const { return Names(kButtons) + " | " + Names(kItems); }

 private:
  static std::vector<Control> All() {
    std::vector<Control> all(std::begin(kButtons), std::end(kButtons));
    all.insert(all.end(), std::begin(kItems), std::end(kItems));
    return all;
  }
  [[nodiscard]] std::string Names(std::span<const Control> controls) const {
    std::string names;
    for (const Control& c : controls) {
      if (*(on_.*c.member)) {
        names += (names.empty() ? "" : " ") + std::string(c.name);
      }
    }
    return names;
  }

  ControlStates on_;
};

struct Step {
  const char* moment;
  ControlStates change;
  const char* pressable;
};

void Walk(const std::vector<Step>& story) {
  Controls controls;
  for (const Step& step : story) {
    controls.Apply(step.change);
    EXPECT_EQ(controls.Pressable(), step.pressable) << "after " << step.moment;
  }
}

TEST(ControlStates, ReadingTheEmailList) {
  const Tab e = Tab::Email;
  Walk({
      {"window built", StatesFor(Situation::TabSelected, e, false), "Refresh | Refresh"},
      {"window ready", StatesFor(Situation::Initialised, e, false), "Play Refresh | Play Refresh"},
      {"check starts", WorkerStatesFor(true, e, false), "Play | Play Refresh"},
      {"check ends silently", WorkerStatesFor(false, e, false),
       "Play Delete Refresh | Play Refresh"},
      {"row clicked", StatesFor(Situation::ListSelection, e, true),
       "Play Delete Refresh Save | Play Delete Refresh SaveToWav"},
      {"Play", StatesFor(Situation::PlayStarted, e, true), "Pause Stop Refresh | Pause Stop"},
      {"voice starts", StatesFor(Situation::SpeakingStarted, e, true), "Pause Stop | Pause Stop"},
      {"Pause", StatesFor(Situation::PausePressed, e, true), "Pause Stop | Pause Stop"},
      // Refresh stays off on the toolbar until the voice has finished once more.
      {"Stop", StatesFor(Situation::Stopped, e, true),
       "Play Delete Save | Play Delete Refresh SaveToWav"},
      {"voice finishes", StatesFor(Situation::SpeakingFinished, e, true),
       "Play Delete Refresh Save | Play Delete Refresh SaveToWav"},
      {"Stop, nothing selected", StatesFor(Situation::Stopped, e, false),
       "Play Refresh Save | Refresh SaveToWav"},
      {"Read Email", StatesFor(Situation::ReadEmailStarted, e, false), "Pause Stop | Pause Stop"},
      {"a check ends while speaking", WorkerStatesFor(false, e, true),
       "Pause Stop Delete Refresh | Pause Stop"},
  });
}

TEST(ControlStates, ReadingTextAndSavingItAsWav) {
  const Tab t = Tab::Text;
  Walk({
      {"Text tab", StatesFor(Situation::TabSelected, t, false), "Play Open Save | Play SaveToWav"},
      {"Play", StatesFor(Situation::PlayStarted, t, false), "Pause Stop | Pause Stop"},
      // Off the email tab Pause leaves the toolbar as it is.
      {"Pause", StatesFor(Situation::PausePressed, t, false), "Pause Stop | Pause Stop"},
      {"Stop", StatesFor(Situation::Stopped, t, false), "Play Open Save | Play SaveToWav"},
      {"Save", WavStatesFor(WavMoment::SaveButton, t), "Stop | Stop"},
      {"writing", WavStatesFor(WavMoment::Saving, t), "Stop | Play"},
      {"written", WavStatesFor(WavMoment::SavingEnded, t), "Stop | Play SaveToWav"},
      {"saved", WavStatesFor(WavMoment::Saved, t), "Play Open Save | Play SaveToWav"},
      {"check ends", WorkerStatesFor(false, t, false), "Play Refresh Open Save | Play SaveToWav"},
  });
}

TEST(ControlStates, ReadingTheClipboard) {
  const Tab c = Tab::Clipboard;
  Walk({
      {"Clipboard tab", StatesFor(Situation::TabSelected, c, false), "Play Save | Play SaveToWav"},
      {"pasted", StatesFor(Situation::ClipboardPasted, c, false), "Play Save | Play SaveToWav"},
      {"Play", StatesFor(Situation::PlayStarted, c, false), "Pause Stop | Pause Stop"},
      {"voice finishes", StatesFor(Situation::SpeakingFinished, c, false),
       "Play Save | Play SaveToWav"},
      {"Read Clipboard", StatesFor(Situation::ClipboardToRead, c, false),
       "Play Save | Play SaveToWav"},
  });
}

TEST(ControlStates, PlayingAWavFile) {
  const Tab w = Tab::Wav;
  Walk({
      {"WAV tab", StatesFor(Situation::TabSelected, w, false), "Play Open | Play"},
      {"Read WAV", WavStatesFor(WavMoment::ReadChosen, w), "Pause Stop | Pause Stop"},
      {"played to the end", StatesFor(Situation::Stopped, w, false), "Play Open | Play"},
      {"Play", StatesFor(Situation::PlayStarted, w, false), "Pause Stop | Pause Stop"},
      {"Stop", StatesFor(Situation::Stopped, w, false), "Play Open | Play"},
      {"Read WAV cancelled", WavStatesFor(WavMoment::ReadCancelled, w), "Play Open | Stop"},
      {"Open WAV File", WavStatesFor(WavMoment::FileOpened, w), "Play Open | Play"},
  });
}

}  // namespace
}  // namespace bc
