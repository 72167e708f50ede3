#pragma once

#include <string>

namespace bc {

/// The one way the core asks the user something or tells them something.
/// The desktop program answers with message boxes, the headless commands on the
/// console, tests with a recorder. Texts are UTF-8.
class Prompt {
 public:
  virtual ~Prompt() = default;

  /// An OK-only message box captioned with the program name (exclamation icon).
  virtual void ShowMessage(const std::string& text) = 0;

  /// A Yes/No question; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;

  /// A file-open dialog for one existing file. `filter` is in Qt's form, e.g.
  /// "WAV (*.wav)"; `defaultSuffix` is added to a typed name without one.
  /// Returns the chosen full path, or empty text when the user cancelled. Where
  /// no one can choose (the console), nothing is ever chosen.
  virtual std::string ChooseOpenFile(const std::string& title, const std::string& filter,
                                     const std::string& defaultSuffix) {
    (void)title, (void)filter, (void)defaultSuffix;
    return {};
  }

  /// A file-save dialog that asks before it replaces an existing file.
  /// Arguments and answer as ChooseOpenFile.
  virtual std::string ChooseSaveFile(const std::string& title, const std::string& filter,
                                     const std::string& defaultSuffix) {
    (void)title, (void)filter, (void)defaultSuffix;
    return {};
  }
};

/// Writes messages to standard error and answers every question with No.
class ConsolePrompt final : public Prompt {
 public:
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
};

}  // namespace bc
