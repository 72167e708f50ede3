#pragma once

#include <QPointer>
#include <QWidget>

#include "config/prompt.h"

namespace bc {

/// Message boxes and file dialogs of the desktop program, owned by `parent`.
class QtPrompt final : public Prompt {
 public:
  explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::string ChooseOpenFile(const std::string& title, const std::string& filter,
                             const std::string& defaultSuffix) override;
  std::string ChooseSaveFile(const std::string& title, const std::string& filter,
                             const std::string& defaultSuffix) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace bc
