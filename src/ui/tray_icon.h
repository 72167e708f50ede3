#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <string>

class QAction;
class QMenu;
class QWidget;

namespace bc {

/// The four pictures of the notification-area icon.
enum class TrayImage {
  Idle,          // no check running, no mail in the mailboxes
  MailPresent,   // the last check found mail; also the program's own icon
  Checking,      // a check is starting
  Disconnected,  // suspended, or a server could not be reached
};

/// The picture as an icon (drawn from the embedded SVGs, loaded once).
[[nodiscard]] QIcon TrayImageIcon(TrayImage image);
/// The program's icon: the mail-present picture.
[[nodiscard]] QIcon ProgramIcon();

/// The tooltip holds at most 63 bytes of text: longer texts are cut there,
/// never inside a UTF-8 sequence.
inline constexpr size_t kTrayToolTipMaxBytes = 63;

/// The tooltip the icon starts with: "Brindlecast" when the option ShowToolTip
/// is on, otherwise none.
[[nodiscard]] std::string InitialTrayToolTip(bool showToolTip);

/// The text of the first menu item when the menu opens: "Hide Brindlecast"
/// while the main window is visible, else "Show Brindlecast" (no mnemonic).
[[nodiscard]] QString ShowHideText(bool windowVisible);

/// What the menu shows for the program's state. Suspend greys Show/Hide,
/// Properties and Check Emails and checks Suspend; a running check or deletion
/// greys Check Emails.
struct TrayMenuLook {
  bool showHideEnabled = true;
  bool propertiesEnabled = true;
  bool checkEmailsEnabled = true;
  bool suspendChecked = false;

  bool operator==(const TrayMenuLook&) const = default;
};
[[nodiscard]] TrayMenuLook TrayMenuLookFor(bool suspended, bool workerRunning);

/// The menu commands, top to bottom.
enum class TrayCommand {
  ShowHide,
  Properties,
  CheckEmails,
  StopSpeaking,
  CheckLatestVersion,
  HelpTopics,
  About,
  Suspend,
  Exit,
};
/// The object name of a menu command's action, such as "trayShowHideAction".
[[nodiscard]] const char* ObjectName(TrayCommand command);

/// The notification-area icon with its picture, tooltip and right-click menu.
/// The menu's commands arrive as signals for the main window to act on; a
/// double click on the icon asks for Show/Hide like the first menu item.
/// Without a system tray the object still works (menu, state, signals): the
/// program runs on without an icon. The picture and tooltip setters may be
/// called from any thread; everything else on the UI thread.
class TrayIcon : public QObject {
  Q_OBJECT

 public:
  /// `mainWindow` is the window Show/Hide refers to; its visibility decides
  /// the first item's text.
  TrayIcon(QWidget* mainWindow, bool showToolTip, QObject* parent = nullptr);
  ~TrayIcon() override;

  /// Puts the icon into the notification area, making it the first time.
  /// Returns false when there is no system tray (nothing is reported; the
  /// program runs on without it).
  bool Install();
  /// Takes the icon out of the notification area.
  void Remove();

  void SetImage(TrayImage image);
  /// Sets the tooltip, cut to the tooltip's room. An empty text shows none.
  void SetToolTip(const std::string& text);
  /// Greys or enables the menu items for the suspended state and checks or
  /// unchecks Suspend.
  void SetSuspended(bool suspended);
  /// Greys Check Emails while a check or deletion runs.
  void SetWorkerRunning(bool running);
  /// Enables Stop Speaking while the voice speaks (or is paused mid-text).
  void SetSpeaking(bool speaking);

  [[nodiscard]] TrayImage image() const { return image_; }
  [[nodiscard]] std::string toolTip() const { return toolTip_; }
  [[nodiscard]] QMenu* menu() const { return menu_; }
  [[nodiscard]] QAction* action(TrayCommand command) const;

  /// Rewrites the Show/Hide text for the window's current visibility; runs
  /// whenever the menu opens and whenever the window is shown or hidden.
  void PrepareMenu();
  /// A mouse action on the icon: a double click requests Show/Hide.
  void HandleActivation(QSystemTrayIcon::ActivationReason reason);

 Q_SIGNALS:
  void ShowHideRequested();
  void PropertiesRequested();
  void CheckEmailsRequested();
  void StopSpeakingRequested();
  void CheckLatestVersionRequested();
  void HelpTopicsRequested();
  void AboutRequested();
  void SuspendRequested();
  void ExitRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyLook();
  QAction* AddCommand(const QString& text, TrayCommand command, void (TrayIcon::*signal)());

  QPointer<QWidget> window_;
  QSystemTrayIcon* icon_ = nullptr;
  QMenu* menu_ = nullptr;
  TrayImage image_ = TrayImage::Idle;
  std::string toolTip_;
  bool suspended_ = false;
  bool workerRunning_ = false;
  bool speaking_ = false;
};

}  // namespace bc
