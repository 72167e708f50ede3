#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "ui/notice_window.h"

namespace bc {

/// How a notice reaches the user.
enum class NoticeStyle {
  OwnWindow,  // the program's sliding window at the screen corner
  Desktop,    // the desktop's notification server (org.freedesktop.Notifications)
};

/// The stored `NoticeStyle` texts: "0" the own window, "1" desktop notifications;
/// any other text (empty by default) chooses by the session.
inline constexpr const char* kNoticeStyleOwnWindow = "0";
inline constexpr const char* kNoticeStyleDesktop = "1";

/// Whether the program's windows live on a Wayland compositor, where a window
/// cannot place itself. The Qt platform decides: a program on XWayland ("xcb")
/// places its windows like on X11. Platforms without windows of their own
/// ("offscreen", "minimal") go by the session: Wayland when WAYLAND_DISPLAY is
/// set and DISPLAY is not.
[[nodiscard]] bool IsWaylandSession(const QString& platformName, const QByteArray& waylandDisplay,
                                    const QByteArray& display);

/// The same for this process (QGuiApplication's platform and its environment).
[[nodiscard]] bool IsWaylandSession();

/// The style a stored `NoticeStyle` text stands for: "0" and "1" as chosen,
/// anything else desktop notifications on Wayland and the own window elsewhere.
[[nodiscard]] NoticeStyle NoticeStyleOf(const std::string& stored, bool wayland);

/// A notice's text as a desktop notification shows it.
struct DesktopNoticeText {
  QString summary;
  QString body;

  bool operator==(const DesktopNoticeText&) const = default;
};

/// A notice as a notification: the title is the summary and the message the
/// body, both without blanks at their ends; a notice with a headline (new mail)
/// has the headline as its summary (cut to kMaxDesktopSummary characters) and
/// its detail as the body. The message carries text from a mail
/// server: control characters become blanks, the body is cut to kMaxDesktopBody
/// characters, and escaped when the server reads markup ("body-markup"). A
/// server without "body" gets the message as its summary.
[[nodiscard]] DesktopNoticeText DesktopNoticeTextOf(const Notice& notice,
                                                    const QStringList& capabilities);

inline constexpr int kMaxDesktopBody = 400;
inline constexpr int kMaxDesktopSummary = 80;

/// The icon a notification names: the file `builtIcon` as a file: address when
/// it exists (a build tree, where the icon theme has no icon of ours), else the
/// installed icon's theme name, the desktop entry id.
[[nodiscard]] QString NotificationIcon(const std::string& builtIcon);

/// How long a call to the notification server may take before the notice goes
/// to the own window instead. The calls are asynchronous: the UI never waits.
inline constexpr int kNotifyCallTimeoutMs = 5000;

/// Shows notices through the desktop's notification server, one notification of
/// each kind at a time: a notice of a kind whose notification is still known to
/// be up replaces it (replaces_id) instead of stacking beside it. Each
/// notification carries the program's icon and desktop entry, and, when the
/// server offers actions, "Show" (and the default action, a click on the
/// notification), which ask for the main window.
///
/// Every call is asynchronous. When the server is absent, refuses or does not
/// answer in time, Failed hands the notice back so it is shown another way: a
/// notice is never lost. A notice asked for while one of its kind is still on
/// its way waits for it (it needs the id to replace); only the newest waits.
/// UI thread only.
class DesktopNotices : public QObject {
  Q_OBJECT

 public:
  explicit DesktopNotices(QDBusConnection bus, QObject* parent = nullptr);

  void Show(NoticeKind kind, const Notice& notice);

  /// The server's id of the notification of `kind` that is up, 0 when none.
  [[nodiscard]] quint32 CurrentId(NoticeKind kind) const;

 Q_SIGNALS:
  /// The user chose "Show" or clicked one of our notifications.
  void ShowWindowRequested();
  /// The notice could not be shown as a desktop notification.
  void Failed(NoticeKind kind, const Notice& notice);

 private Q_SLOTS:
  void OnActionInvoked(uint id, const QString& action);
  void OnNotificationClosed(uint id, uint reason);
  void OnActivationToken(uint id, const QString& token);

 private:
  struct KindState {
    quint32 id = 0;                 // the notification up, 0 when none
    bool sending = false;           // a notice of this kind is on its way
    std::optional<Notice> waiting;  // the newest notice asked for meanwhile
  };

  KindState& StateOf(NoticeKind kind);
  [[nodiscard]] bool IsOurs(uint id) const;
  void Send(NoticeKind kind, const Notice& notice);
  void Notify(NoticeKind kind, const Notice& notice, const QStringList& capabilities);
  void Finish(NoticeKind kind, const Notice& notice, bool shown);

  QDBusConnection bus_;
  KindState newMail_;
  KindState storage_;
  QString activationToken_;  // from the server, for the window about to be shown
};

}  // namespace bc
