#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/default_environment.h"
#include "config/clock.h"
#include "config/settings.h"
#include "mail/check_cycle.h"
#include "speech/mail_announcer.h"
#include "speech/sound_player.h"
#include "speech/speech_engine.h"
#include "watch/mail_controller.h"

namespace bc {

class MainWindow;
class PasswordMover;
class Prompt;
class QtUpdatePresenter;
class SettingsStore;
class UpdateCheck;

/// Writes "brindlecast: <text>" to standard error: how the desktop program
/// tells of a problem no window shows.
void WarnOnConsole(const std::string& text);

/// What the desktop session needs from outside; tests give their own.
struct SessionSetup {
  SettingsStore& store;
  MailEnvironment environment = DefaultMailEnvironment();
  const Clock* clock = nullptr;  // nullptr: the system clock
  bool silentAudio = false;      // no audio device even when one exists
  Prompt* prompt = nullptr;      // nullptr: message boxes owned by the window
  // Problems no window shows (a password the keyring would not take).
  std::function<void(const std::string&)> warn = WarnOnConsole;
};

/// The desktop program while it runs: loads the settings and owns them, the
/// speech engine, the sound player, the mail controller, the announcement
/// rules and the update check; saves the settings when the window asks, and
/// keeps the remembered passwords in the desktop keyring; makes the main window that shows and
/// drives them, attaches it as the controller's view and starts the checking. Exit in the window
/// ends the session: the settings are saved, the workers cancelled and joined, the voice and the
/// sound stopped, and the application quits.
///
/// The window goes first and the parts it uses after it, so nothing the window
/// holds is ever gone before the window.
class DesktopSession {
 public:
  explicit DesktopSession(SessionSetup setup);
  ~DesktopSession();

  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  [[nodiscard]] MainWindow& window() { return *window_; }

  /// What the window does not need before it shows, for once it is up: its
  /// icon, the settings a first run created reach the file, and the connection to the
  /// sound server and the devices of the voice and the sounds are looked for
  /// without waiting (otherwise the first text or sound does that).
  void FinishStart();

 private:
  /// Saves the settings (Properties, OK) and moves a new password on.
  bool SaveSettings();
  /// Keeps remembered passwords in the desktop keyring when there is one: the
  /// first call (after loading) finds the passwords the keyring already keeps;
  /// every call moves the ones still in the file there. Nothing waits: the
  /// keyring answers through the event loop.
  void KeepPasswordsInKeyring();
  void StartUpdateChecks();
  void RequestNotice(const Notice& notice);
  void End();

  SettingsStore& store_;
  std::function<void(const std::string&)> warn_;
  SystemClock systemClock_;
  Settings settings_;
  std::unique_ptr<PasswordMover> passwordMover_;  // reaches store_ and settings_
  SpeechEngine speech_;
  SoundPlayer sound_;
  MailController controller_;
  MailAnnouncer announcer_;
  std::unique_ptr<MainWindow> window_;
  // After the window, their dialogs' parent; after the controller, whose
  // scheduler hears of the check's end.
  std::unique_ptr<QtUpdatePresenter> updatePresenter_;
  std::unique_ptr<UpdateCheck> updateCheck_;
};

}  // namespace bc
