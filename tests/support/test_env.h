#pragma once

#include <functional>
#include <string>
#include <vector>

#include "config/prompt.h"

namespace bc::test {

/// A fresh temporary folder, removed with everything in it when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  [[nodiscard]] const std::string& path() const { return path_; }
  [[nodiscard]] std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Points XDG_CONFIG_HOME and XDG_STATE_HOME at a fresh temporary folder for the
/// lifetime of the object, so a test never touches the real home.
class ScopedXdgHome {
 public:
  ScopedXdgHome();
  ~ScopedXdgHome();
  [[nodiscard]] const std::string& root() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::string oldConfig_, oldState_;
  bool hadConfig_ = false, hadState_ = false;
};

/// Records what the core tells the user; answers questions from a script.
class RecordingPrompt final : public Prompt {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return answer;
  }
  std::string ChooseOpenFile(const std::string& title, const std::string& filter,
                             const std::string& defaultSuffix) override {
    fileRequests.push_back(title + "|" + filter + "|" + defaultSuffix);
    return chosenFile;
  }
  std::string ChooseSaveFile(const std::string& title, const std::string& filter,
                             const std::string& defaultSuffix) override {
    fileRequests.push_back("save:" + title + "|" + filter + "|" + defaultSuffix);
    return chosenFile;
  }

  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answer = false;
  std::vector<std::string> fileRequests;  // "title|filter|suffix" per file dialog
  std::string chosenFile;                 // what every file dialog answers; empty cancels
};

/// The paths of the files in tests/data/<subdir>, sorted; empty when the folder
/// is missing or holds none (tests assert it is not empty).
[[nodiscard]] std::vector<std::string> DataFiles(const std::string& subdir);

/// Hands `check` the bytes of each file in tests/data/<subdir> in turn, with the
/// file named in any failure: the saved inputs of a fuzz target, replayed in the
/// unit and sanitizer builds. Fails when the folder holds no file.
void ReplaySavedInputs(const std::string& subdir,
                       const std::function<void(const std::string& bytes)>& check);

/// Reads a whole file; empty when it cannot be read.
[[nodiscard]] std::string ReadFile(const std::string& path);
/// Writes a whole file, replacing it.
void WriteFile(const std::string& path, const std::string& content);

}  // namespace bc::test
