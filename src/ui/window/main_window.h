#pragma once

#include <QMainWindow>
#include <functional>
#include <map>

#include "config/settings.h"
#include "ui/props/properties_command.h"
#include "ui/window/commands.h"
#include "ui/window/control_states.h"
#include "ui/window/qt_prompt.h"
#include "watch/mail_controller.h"
#include "watch/mail_view.h"

class QAction;
class QLineEdit;
class QTabWidget;

namespace bc {

class CIconButton;
class CWaveViewCtrl;
class ClipboardReaderPage;
class EmailList;
class MailAnnouncer;
class NoticePresenter;
class PageHolder;
class SettingsStore;
class SoundPlayer;
class SpeechEngine;
class TextReaderPage;
class TrayIcon;
class WavReaderPage;

/// What the main window shows and drives. The session that makes the window
/// owns every part and keeps it alive until the window is gone.
struct MainWindowParts {
  SettingsStore& store;
  Settings& settings;
  SpeechEngine& speech;
  SoundPlayer& sound;
  MailController& controller;
  MailAnnouncer& announcer;
  std::function<bool()> saveSettings;  // Properties, OK: false when they could not be written
  bool silentAudio = false;            // the WAV Reader plays to no device
  Prompt* prompt = nullptr;            // nullptr: message boxes owned by the window
};

/// The program's one top-level window: toolbar, menu bar and the four tabs
/// (Email Reader, Text Reader, Clipboard Reader, WAV Reader), the tray icon and
/// the notices. It shows what the mail controller reports (it is the MailView
/// the session attaches) and routes the user's commands to the speech engine,
/// the announcement rules and the controller. Closing or minimising it hides
/// it; only Exit ends the program.
class MainWindow final : public QMainWindow, public MailView {
  Q_OBJECT
 public:
  explicit MainWindow(MainWindowParts parts, QWidget* parent = nullptr);
  ~MainWindow() override;

  /// Gives the window the program's icon, for the title bar and the task bar.
  /// Called once the window is up: the desktop takes the icon at four sizes,
  /// drawn from the picture then, which would hold back the window's first
  /// appearance by about a millisecond; the desktop shows the icon when it comes.
  void ShowProgramIcon();

  // The commands.
  void Play();
  void Pause();
  void Stop();
  void ReadEmail();
  void Delete();
  void Refresh();
  void CheckEmails();
  void ToggleAlwaysOnTop();
  /// Suspends or resumes checking; unlike the tray's command it leaves the window shown.
  void ToggleSuspend();
  /// A later start of the program: where a tray exists, hides a shown window
  /// and shows a hidden one; elsewhere shows, raises and activates it, with
  /// the desktop's `activationToken` (Wayland) when there is one.
  void AnswerSecondStart(const QString& activationToken);
  void HideWindow();
  void ShowHide();
  void OpenTextFile();
  void ReadFile();
  void PasteClipboard();
  void ReadClipboard();
  void OpenWavFile();
  void ReadWav();
  /// Renders what Play would read on the current page into a chosen WAV file.
  void SaveToWav();
  void Properties();
  /// The pages of account `index` alone (the error line's "Edit Account...").
  void EditAccount(int index);
  void HelpTopics();
  void FeedbackAndSupport();
  void About();
  /// The "Tip of the Day" dialog, whatever the start-up choice says.
  void TipOfTheDay();
  /// Asks for the update check (the Help menu does Stop first).
  void CheckLatestVersion();
  /// Asks "Do you want to exit?"; on Yes removes the tray icon and drops the
  /// WAV view, then ExitConfirmed ends the session. True when the program is ending.
  bool Exit();

  /// Whether the voice is speaking or paused.
  [[nodiscard]] bool IsVoiceBusy() const;

  // For tests and the tray.
  [[nodiscard]] Settings& settings() { return settings_; }
  [[nodiscard]] MailController& controller() { return controller_; }
  [[nodiscard]] MailAnnouncer& announcer() { return announcer_; }
  [[nodiscard]] SpeechEngine& speech() { return speech_; }
  [[nodiscard]] EmailList& emailList() { return *emailList_; }
  // The pages besides the list's are made when first shown or asked for here.
  [[nodiscard]] TextReaderPage& textPage();
  [[nodiscard]] ClipboardReaderPage& clipboardPage();
  [[nodiscard]] WavReaderPage& wavPage();
  [[nodiscard]] QTabWidget& tabs() { return *tabs_; }
  [[nodiscard]] TrayIcon& tray() { return *tray_; }
  [[nodiscard]] NoticePresenter& notices() { return *notices_; }
  [[nodiscard]] CIconButton* button(ToolButton id) const;
  [[nodiscard]] QAction* action(Command id) const;
  [[nodiscard]] Tab CurrentTab() const;
  /// Shows a tab without the tab-change handling (as the commands do); any
  /// other than the WAV Reader lets the waveform view go.
  void ShowTab(Tab tab);
  /// The current page's main control: the list, the text, the waveform view
  /// (or the WAV path when there is none).
  [[nodiscard]] QWidget* PageControl();
  /// Gives the focus back to the current page when it rests where a keyboard
  /// user cannot go on from: nowhere, a hidden or grey control, the idle menu bar.
  void KeepFocusOnPage();

  // MailView: the background work's reports, on the UI thread.
  void SetTitle(const std::string& title) override;
  void SetAccountsProgress(int position, int maximum) override;
  void SetEmailsProgress(int position, int maximum) override;
  void SetTrayIcon(TrayState state) override;
  void SetTrayTooltip(const std::string& text) override;
  void ListCleared() override;
  void EnvelopeAccepted(int index, const Envelope& envelope) override;
  void EnvelopeRemoved(long long messageId) override;
  void PassFinished(int largestMailbox) override;
  void SetWorkerRunning(bool running) override;
  void ShowNewMailNotice(const Notice& notice) override;
  void StorageAlert(const Notice& notice) override;
  void NoAccountConfigured(Settings& settings) override;
  void ShowSuspended(bool suspended) override;
  void ShowBackgroundMessage(const std::string& text) override;
  void ShowCheckProblems(const std::vector<CheckProblem>& problems) override;

 Q_SIGNALS:
  /// The user asked for the update check.
  void LatestVersionRequested();
  /// The user confirmed Exit: the session saves the settings, ends the
  /// background work and quits.
  void ExitConfirmed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildToolbar(QWidget* parent);
  void BuildMenus();
  void BuildTabs();
  void ConnectSignals();
  void Apply(const ControlStates& states);
  void Apply(Situation situation);
  void OnTabChanged(int index);
  void OnSpeakingStarted();
  void OnSpeakingFinished();
  void OnListClicked(int selected);
  void OnWavePlayDone();
  void StopAndClear();
  void ResumeIfPaused();
  bool HasSelection() const;
  /// The WAV Reader's waveform view; nullptr while there is none (or no page yet).
  [[nodiscard]] CWaveViewCtrl* WavView() const;
  /// Lets the waveform view go, if there is one.
  void ReleaseWavView();
  void FocusPage();
  QAction* AddAction(QMenu* menu, const char* text, Command id, void (MainWindow::*slot)(),
                     const QKeySequence& shortcut = {});

  SettingsStore& store_;
  Settings& settings_;
  SpeechEngine& speech_;
  SoundPlayer& sound_;
  MailController& controller_;
  MailAnnouncer& announcer_;
  std::function<bool()> saveSettings_;
  QtPrompt ownPrompt_;
  Prompt& prompt_;
  TrayIcon* tray_ = nullptr;
  NoticePresenter* notices_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  EmailList* emailList_ = nullptr;
  PageHolder* textHolder_ = nullptr;
  PageHolder* clipboardHolder_ = nullptr;
  PageHolder* wavHolder_ = nullptr;
  TextReaderPage* textPage_ = nullptr;  // each nullptr until its holder makes it
  ClipboardReaderPage* clipboardPage_ = nullptr;
  WavReaderPage* wavPage_ = nullptr;
  bool silentAudio_ = false;
  std::map<ToolButton, CIconButton*> buttons_;
  std::map<Command, QAction*> actions_;
  bool handlingTabs_ = true;  // off while a command shows a tab itself
  PropertiesCommand properties_;
  bool exiting_ = false;
  bool suspendFromWindow_ = false;
};

}  // namespace bc
