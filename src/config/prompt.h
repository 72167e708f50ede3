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
};

/// Writes messages to standard error and answers every question with No.
class ConsolePrompt final : public Prompt {
 public:
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
};

}  // namespace bc
