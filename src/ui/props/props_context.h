#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "speech/espeak_voice.h"

namespace bc {

class Prompt;
class SettingsStore;

/// Runs a modal dialog and returns its result (QDialog::Accepted or Rejected).
/// The program runs dialogs with exec(); tests put a script in its place that
/// plays the user's part and closes the dialog itself.
using DialogRunner = std::function<int(QDialog&)>;

/// The runner of the program: dialog.exec().
[[nodiscard]] DialogRunner ExecDialogRunner();

/// The voices the speech options dialog offers and how the choice is kept.
class VoiceSelector {
 public:
  virtual ~VoiceSelector() = default;
  /// The installed voices, in the synthesiser's order.
  [[nodiscard]] virtual std::vector<VoiceInfo> Voices() const = 0;
  /// The id of the voice in use now.
  [[nodiscard]] virtual std::string CurrentVoice() const = 0;
  /// Makes the voice the default for all later speech and remembers it. Returns
  /// false, changing nothing, when it cannot.
  virtual bool MakeDefault(const std::string& voiceId) = 0;
};

/// What the property pages need from outside the settings they edit.
struct PropsContext {
  Prompt& prompt;          // message boxes and file dialogs
  SettingsStore& store;    // Add writes the account count at once
  VoiceSelector& voices;   // the speech options dialog's voice list
  DialogRunner runDialog;  // every modal dialog and sheet runs through this
};

}  // namespace bc
