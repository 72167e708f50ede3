#include "ui/window/control_states.h"

namespace bc {
namespace {

using Menu = std::array<bool, 6>;
constexpr std::optional<bool> kSame = std::nullopt;

ControlStates Row(std::optional<bool> play, std::optional<bool> pause, std::optional<bool> stop,
                  std::optional<bool> del, std::optional<bool> refresh, std::optional<bool> open,
                  std::optional<bool> save, std::optional<Menu> menu) {
  return {play, pause, stop, del, refresh, open, save, menu};
}

}  // namespace

ControlStates StatesFor(Situation situation, int tab, bool sel) {
  switch (situation) {
    case Situation::Initialised:
      return Row(true, false, false, kSame, kSame, false, false, std::nullopt);
    case Situation::PlayStarted:
      if (tab == kWavTab) {
        return Row(false, false, true, false, kSame, false, false,
                   Menu{false, false, true, false, false, false});
      }
      return Row(false, true, true, false, kSame, false, false,
                 Menu{false, true, true, false, false, false});
    case Situation::SpeakingStarted:
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

}  // namespace bc
