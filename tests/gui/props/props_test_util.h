#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>

#include "config/settings_store.h"
#include "quiet_host.h"
#include "support/test_env.h"
#include "ui/props/properties_command.h"
#include "ui/props/props_context.h"

namespace bc::test {

/// The named child of `parent`; fails the test when there is none.
template <typename T>
T* Find(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QString::fromUtf8(name));
  EXPECT_NE(child, nullptr) << "no child named " << name;
  return child;
}

inline std::string Text(QWidget& parent, const char* name) {
  QLineEdit* edit = Find<QLineEdit>(parent, name);
  return edit ? edit->text().toStdString() : std::string("<missing>");
}

inline void Type(QWidget& parent, const char* name, const std::string& text) {
  if (QLineEdit* edit = Find<QLineEdit>(parent, name)) {
    edit->setText(QString::fromStdString(text));
  }
}

/// Clicks a button as the user would: nothing happens when it is disabled.
inline void Click(QWidget& parent, const char* name) {
  if (QAbstractButton* button = Find<QAbstractButton>(parent, name)) {
    button->click();
  }
}

inline bool Enabled(QWidget& parent, const char* name) {
  QWidget* child = Find<QWidget>(parent, name);
  return child && child->isEnabled();
}

inline bool Checked(QWidget& parent, const char* name) {
  QAbstractButton* button = Find<QAbstractButton>(parent, name);
  return button && button->isChecked();
}

/// Plays the user's part in each modal dialog, in order: each step gets the
/// dialog, works it, and closes it (OK or Cancel) or returns a result. A dialog
/// with no step left fails the test and is cancelled.
class DialogScript {
 public:
  using Step = std::function<void(QDialog&)>;

  DialogScript& Then(Step step) {
    steps_.push_back(std::move(step));
    return *this;
  }

  DialogRunner Runner() {
    return [this](QDialog& dialog) {
      ++shown;
      titles.push_back(dialog.windowTitle().toStdString());
      if (steps_.empty()) {
        ADD_FAILURE() << "unexpected dialog \"" << dialog.windowTitle().toStdString() << "\"";
        return static_cast<int>(QDialog::Rejected);
      }
      Step step = std::move(steps_.front());
      steps_.pop_front();
      dialog.setResult(-1);
      step(dialog);
      // A step that closed nothing counts as Cancel.
      return dialog.result() == -1 ? static_cast<int>(QDialog::Rejected) : dialog.result();
    };
  }

  [[nodiscard]] bool Done() const { return steps_.empty(); }

  int shown = 0;
  std::vector<std::string> titles;

 private:
  std::deque<Step> steps_;
};

inline void Ok(QDialog& dialog) {
  Click(dialog, "okButton");
}
inline void Cancel(QDialog& dialog) {
  Click(dialog, "cancelButton");
}

/// A voice list of three with the second in use; remembers what was made default.
class FakeVoices final : public VoiceSelector {
 public:
  std::vector<VoiceInfo> Voices() const override {
    return {{"gmw/en", "English (Great Britain)", "en"},
            {"gmw/de", "German", "de"},
            {"roa/fr", "French (France)", "fr"}};
  }
  std::string CurrentVoice() const override { return current; }
  bool MakeDefault(const std::string& id) override {
    madeDefault.push_back(id);
    current = id;
    return true;
  }
  std::string current = "gmw/de";
  std::vector<std::string> madeDefault;
};

/// A prompt, settings store, voices and dialog script for the pages.
struct PropsFixture {
  TempDir dir;
  RecordingPrompt prompt;
  SettingsStore store{dir.File("Brindlecast.conf"), prompt};
  FakeVoices voices;
  DialogScript script;
  PropsContext context{prompt, store, voices, script.Runner()};

  /// The stored text of `name` under `subkey`, read from the file afresh.
  std::string Stored(const char* subkey, const char* name) {
    RecordingPrompt quiet;
    SettingsStore fresh(dir.File("Brindlecast.conf"), quiet);
    return fresh.ReadValue(subkey, name);
  }
};

}  // namespace bc::test
