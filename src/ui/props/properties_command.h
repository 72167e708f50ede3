#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "config/settings.h"
#include "ui/props/props_context.h"

class QWidget;

namespace bc {

class Prompt;
class PropertySheet;
class SettingsStore;
class SpeechEngine;

/// What the Properties command asks of the main window, in the order it asks.
class PropertiesHost {
 public:
  virtual ~PropertiesHost() = default;
  /// Before anything else: stop speech as the Stop command does.
  virtual void StopSpeech() = 0;
  /// Called with true before the sheet opens (and when the command finds a sheet
  /// already open), so the scheduler starts no check. The command never clears
  /// the flag itself: ArmChecking does, and with checking off it stays set until
  /// checking is next armed.
  virtual void SetBusy(bool busy) = 0;
  /// OK, first: the email list keeps the direction of the column it is sorted by.
  virtual void SaveSortDirection() = 0;
  /// OK, when "Show Tool Tips" is off: empty the tray icon's tooltip at once.
  virtual void ClearTrayToolTip() = 0;
  /// OK, last: save all settings (the shared Settings already hold the sheet's
  /// values). Returns false when they could not be written.
  virtual bool SaveSettings() = 0;
  /// After OK or Cancel when CheckMail is 1: the period from Freq and FreqUnit,
  /// a running check told to quit, the busy flag cleared, the last check set to now.
  virtual void ArmChecking() = 0;
  /// After OK or Cancel, always last: rebuild the email list's columns.
  virtual void RebuildList() = 0;
  /// After OK that added or changed an account: check now, not a period later
  /// (nothing when a check runs already: it goes on with the new settings).
  virtual void CheckSoon() {}
};

/// The voices of a speech engine; the default is kept in the settings store.
class EngineVoiceSelector final : public VoiceSelector {
 public:
  EngineVoiceSelector(SpeechEngine& engine, SettingsStore& store)
      : engine_(engine), store_(store) {}
  [[nodiscard]] std::vector<VoiceInfo> Voices() const override;
  [[nodiscard]] std::string CurrentVoice() const override;
  bool MakeDefault(const std::string& voiceId) override;

 private:
  SpeechEngine& engine_;
  SettingsStore& store_;
};

/// The Properties command: the modal "Brindlecast Properties" sheet with the
/// pages "Account", "General" and "Notification", on the UI thread. The command
/// knows the sheet it has open.
class PropertiesCommand {
 public:
  /// Runs the command.
  ///
  /// Only one sheet runs at a time: called while one is open, it stops speech,
  /// sets the busy flag and returns. Otherwise the sheet edits a copy of
  /// `settings`; when it closes the copy is written back, so a check pass that
  /// took its own copy at its start never sees a change mid-pass. What the pages
  /// change at once comes back on Cancel too (accounts added, edited, deleted or
  /// switched, the field dialogs, a WAV file chosen with "Browse...", a unit or a
  /// line count taken when their switches are turned on); OK also takes over the
  /// pages' values, writes or removes the autostart entry for "Run Brindlecast on
  /// Linux Startup" (failures ignored) and has the host save all settings.
  ///
  /// OK after the first account was added offers the starter settings
  /// (FirstRunOffer) before the settings are saved; OK after any account was
  /// added or changed has the host check soon.
  void Run(QWidget* parent, Settings& settings, PropertiesHost& host, const PropsContext& context);

  /// The same with the program's own parts: dialogs run with exec(), voices come
  /// from `speech`, the default voice is kept in `store`.
  void Run(QWidget* parent, Settings& settings, PropertiesHost& host, SettingsStore& store,
           SpeechEngine& speech, Prompt& prompt);

  /// The "Account Properties" sheet of account `index` alone, as the error line
  /// under the list offers it: on OK the account takes the pages' values, the
  /// settings are saved and the account is checked soon. Nothing while the
  /// Properties sheet is open, or for an index with no account.
  void EditAccount(QWidget* parent, Settings& settings, int index, PropertiesHost& host,
                   const PropsContext& context);
  void EditAccount(QWidget* parent, Settings& settings, int index, PropertiesHost& host,
                   SettingsStore& store, SpeechEngine& speech, Prompt& prompt);

  /// Whether the sheet is open now.
  [[nodiscard]] bool SheetOpen() const { return !openSheet_.isNull(); }

  /// Closes the open sheet and the property sheets opened from it (such as
  /// "Account Properties"), innermost first, as if their close boxes were pressed.
  void CloseSheets();

 private:
  void OfferStarterSettings(QWidget* parent, AppOptions& options, const PropsContext& context);

  QPointer<PropertySheet> openSheet_;
};

}  // namespace bc
