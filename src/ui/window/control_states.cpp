#include "ui/window/control_states.h"

namespace bc {
namespace {

// The six menu items, set together: Play, Pause, Stop, Delete, Refresh, Save to WAV.
struct Menu {
  bool play, pause, stop, del, refresh, saveToWav;
};
constexpr std::optional<bool> kSame = std::nullopt;

// One row of the table: the buttons Play, Pause, Stop, Delete, Refresh, Open and
// Save, then the menu items (none: the menu stays as it is).
ControlStates Row(std::optional<bool> play, std::optional<bool> pause, std::optional<bool> stop,
                  std::optional<bool> del, std::optional<bool> refresh, std::optional<bool> open,
                  std::optional<bool> save, std::optional<Menu> menu) {
  ControlStates states;
  states.playButton = play;
  states.pauseButton = pause;
  states.stopButton = stop;
  states.deleteButton = del;
  states.refreshButton = refresh;
  states.openButton = open;
  states.saveButton = save;
  if (menu) {
    states.playItem = menu->play;
    states.pauseItem = menu->pause;
    states.stopItem = menu->stop;
    states.deleteItem = menu->del;
    states.refreshItem = menu->refresh;
    states.saveToWavItem = menu->saveToWav;
  }
  return states;
}

}  // namespace

ControlStates StatesFor(Situation situation, int tab, bool sel) {
  switch (situation) {
    case Situation::Initialised: {
      ControlStates states = Row(true, false, false, kSame, kSame, false, false, std::nullopt);
      states.playItem = true;
      return states;
    }
    case Situation::PlayStarted:
      if (tab == kWavTab) {
        return Row(false, false, true, false, kSame, false, false,
                   Menu{false, false, true, false, false, false});
      }
      return Row(false, true, true, false, kSame, false, false,
                 Menu{false, true, true, false, false, false});
    case Situation::SpeakingStarted:
    case Situation::ReadEmailStarted:
      return Row(false, true, true, false, false, false, false,
                 Menu{false, true, true, false, false, false});
    case Situation::SpeakingFinished:
      switch (tab) {
        case kEmailTab:
          return Row(true, false, false, sel, true, false, true,
                     Menu{true, false, false, sel, true, true});
        case kTextTab:
          return Row(true, false, false, false, kSame, true, true,
                     Menu{true, false, false, false, false, true});
        case kClipboardTab:
          return Row(true, false, false, false, kSame, false, true,
                     Menu{true, false, false, false, false, true});
        default:
          return Row(true, false, false, false, kSame, false, false,
                     Menu{true, false, false, false, false, false});
      }
    case Situation::Stopped:
      switch (tab) {
        case kEmailTab:
          return Row(true, false, false, sel, kSame, false, true,
                     Menu{sel, false, false, sel, true, true});
        case kTextTab:
          return Row(true, false, false, false, kSame, true, true,
                     Menu{true, false, false, false, false, true});
        case kClipboardTab:
          return Row(true, false, false, false, kSame, false, true,
                     Menu{true, false, false, false, false, true});
        default:
          return Row(true, false, false, false, kSame, true, false,
                     Menu{true, false, false, false, false, false});
      }
    case Situation::ListSelection:
      return Row(true, false, false, true, kSame, false, true,
                 Menu{true, false, false, true, true, true});
    case Situation::PausePressed:
      if (tab == kEmailTab) {
        return Row(false, true, true, false, false, kSame, kSame,
                   Menu{false, true, true, false, false, false});
      }
      return Row(kSame, kSame, kSame, kSame, kSame, kSame, kSame,
                 Menu{false, true, true, false, false, false});
    case Situation::TabSelected:
      switch (tab) {
        case kEmailTab:
          return Row(sel, false, false, sel, true, false, sel,
                     Menu{sel, false, false, sel, true, sel});
        case kTextTab:
          return Row(true, false, false, false, false, true, true,
                     Menu{true, false, false, false, false, true});
        case kClipboardTab:
          return Row(true, false, false, false, false, false, true,
                     Menu{true, false, false, false, false, true});
        default:
          return Row(true, false, false, false, false, true, false,
                     Menu{true, false, false, false, false, false});
      }
    case Situation::TextFileOpened:
      return Row(true, false, false, false, false, true, true,
                 Menu{true, false, false, false, false, true});
    case Situation::ClipboardPasted:
      return Row(kSame, kSame, kSame, kSame, kSame, kSame, kSame,
                 Menu{true, false, false, false, false, true});
    case Situation::ClipboardToRead:
      return Row(true, false, false, false, false, false, true,
                 Menu{true, false, false, false, false, true});
  }
  return {};
}

ControlStates WavStatesFor(WavMoment moment, int tab) {
  constexpr std::optional<Menu> kMenuSame = std::nullopt;
  switch (moment) {
    case WavMoment::FileOpened:
      return Row(true, false, false, false, kSame, true, false,
                 Menu{true, false, false, false, false, false});
    case WavMoment::ReadChosen:
      return Row(false, false, true, false, false, false, false,
                 Menu{false, false, true, false, false, false});
    case WavMoment::ReadCancelled:
      return Row(true, false, false, false, false, true, false,
                 Menu{false, false, true, false, false, false});
    case WavMoment::SaveButton:
      return Row(false, false, true, false, kSame, false, false,
                 Menu{false, false, true, false, false, false});
    case WavMoment::Saving:
      return Row(kSame, kSame, kSame, kSame, kSame, kSame, kSame,
                 Menu{true, false, false, false, false, false});
    case WavMoment::SavingEnded:
      return Row(kSame, kSame, kSame, kSame, kSame, kSame, kSame,
                 Menu{true, false, false, false, false, true});
    case WavMoment::Saved:
      switch (tab) {
        case kEmailTab:
          return Row(true, false, false, false, false, false, false, kMenuSame);
        case kTextTab:
          return Row(true, false, false, false, false, true, true, kMenuSame);
        case kClipboardTab:
          return Row(true, false, false, false, false, false, true, kMenuSame);
        default:
          return Row(true, false, false, false, false, kSame, kSame, kMenuSame);
      }
  }
  return {};
}

ControlStates WorkerStatesFor(bool running, int tab, bool voiceBusy) {
  ControlStates states;
  states.deleteButton = !running && tab == kEmailTab;
  states.refreshButton = !running;
  if (!running && !voiceBusy) {
    // A pass that spoke nothing sends no SpeakingFinished to turn Play back on.
    states.playButton = true;
    states.playItem = true;
  }
  return states;
}

}  // namespace bc
