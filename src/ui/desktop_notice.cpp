#include "ui/desktop_notice.h"

#include "config/text_util.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>
#include <QVariantMap>

#include "config/paths.h"

namespace bc {
namespace {

// The freedesktop.org notification service (protocol version 1.2).
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

const QString kDefaultAction = QStringLiteral("default");
const QString kShowAction = QStringLiteral("show");
constexpr uchar kUrgencyNormal = 1;
constexpr int kServerDefaultTimeout = -1;

QString WithoutControls(const QString& text) {
  return QString::fromStdString(ShownText(text.toStdString()));
}

}  // namespace

bool IsWaylandSession(const QString& platformName, const QByteArray& waylandDisplay,
                      const QByteArray& display) {
  if (platformName.startsWith(QLatin1String("wayland"))) {
    return true;
  }
  if (platformName == QLatin1String("offscreen") || platformName == QLatin1String("minimal")) {
    return !waylandDisplay.isEmpty() && display.isEmpty();
  }
  return false;
}

bool IsWaylandSession() {
  return IsWaylandSession(QGuiApplication::platformName(), qgetenv("WAYLAND_DISPLAY"),
                          qgetenv("DISPLAY"));
}

NoticeStyle NoticeStyleOf(const std::string& stored, bool wayland) {
  if (stored == kNoticeStyleOwnWindow) {
    return NoticeStyle::OwnWindow;
  }
  if (stored == kNoticeStyleDesktop) {
    return NoticeStyle::Desktop;
  }
  return wayland ? NoticeStyle::Desktop : NoticeStyle::OwnWindow;
}

DesktopNoticeText DesktopNoticeTextOf(const Notice& notice, const QStringList& capabilities) {
  // New mail reads as the sender (or the count) over the subject (or the senders).
  const bool headed = !notice.headline.empty();
  DesktopNoticeText result;
  result.summary =
      WithoutControls(QString::fromStdString(headed ? notice.headline : notice.title)).trimmed();
  result.body =
      WithoutControls(QString::fromStdString(headed ? notice.detail : notice.body)).trimmed();
  if (result.summary.size() > kMaxDesktopSummary) {
    result.summary = result.summary.left(kMaxDesktopSummary - 1) + QChar(0x2026);
  }
  if (result.body.size() > kMaxDesktopBody) {
    result.body = result.body.left(kMaxDesktopBody - 1) + QChar(0x2026);  // …
  }
  if (!capabilities.contains(QLatin1String("body"))) {
    // The server shows the program's name itself; the message must not go missing.
    if (headed && !result.body.isEmpty()) {
      result.summary += QStringLiteral(": ") + result.body;
    } else if (!result.body.isEmpty()) {
      result.summary = result.body;
    }
    result.body.clear();
  } else if (capabilities.contains(QLatin1String("body-markup"))) {
    // A sender named "<b>" is text, not markup.
    result.body = result.body.toHtmlEscaped();
  }
  return result;
}

DesktopNotices::DesktopNotices(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
  // Signals only from the server that owns the name, and only for our ids (below).
  bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
               SLOT(OnActionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
               SLOT(OnNotificationClosed(uint, uint)));
  bus_.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
               SLOT(OnActivationToken(uint, QString)));
  // A server that went away or was replaced knows none of our notifications.
  auto* watcher =
      new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
  connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
    newMail_.id = 0;
    storage_.id = 0;
  });
}

DesktopNotices::KindState& DesktopNotices::StateOf(NoticeKind kind) {
  return kind == NoticeKind::NewMail ? newMail_ : storage_;
}

quint32 DesktopNotices::CurrentId(NoticeKind kind) const {
  return kind == NoticeKind::NewMail ? newMail_.id : storage_.id;
}

bool DesktopNotices::IsOurs(uint id) const {
  return id != 0 && (id == newMail_.id || id == storage_.id);
}

void DesktopNotices::Show(NoticeKind kind, const Notice& notice) {
  KindState& state = StateOf(kind);
  if (state.sending) {
    state.waiting = notice;
    return;
  }
  Send(kind, notice);
}

void DesktopNotices::Send(NoticeKind kind, const Notice& notice) {
  if (!bus_.isConnected()) {
    Q_EMIT Failed(kind, notice);
    return;
  }
  StateOf(kind).sending = true;
  // Asked every time: the server may have been replaced since the last notice.
  const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                          QStringLiteral("GetCapabilities"));
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask, kNotifyCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, kind, notice](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<QStringList> reply = *call;
            if (reply.isError()) {
              Finish(kind, notice, false);
              return;
            }
            Notify(kind, notice, reply.value());
          });
}

QString NotificationIcon(const std::string& builtIcon) {
  if (!builtIcon.empty() && QFileInfo::exists(QString::fromStdString(builtIcon))) {
    return QUrl::fromLocalFile(QFileInfo(QString::fromStdString(builtIcon)).absoluteFilePath())
        .toString();
  }
  return QString::fromLatin1(kDesktopEntryId);
}

void DesktopNotices::Notify(NoticeKind kind, const Notice& notice,
                            const QStringList& capabilities) {
  const DesktopNoticeText shown = DesktopNoticeTextOf(notice, capabilities);
  const QString entry = QString::fromLatin1(kDesktopEntryId);
  const QString icon =
      NotificationIcon(DataFilePath("icons/" + std::string(kDesktopEntryId) + ".svg"));
  QStringList actions;
  if (capabilities.contains(QLatin1String("actions"))) {
    // The default action is a click on the notification; "Show" is a button.
    actions = {kDefaultAction, QStringLiteral("Show"), kShowAction, QStringLiteral("Show")};
  }
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), entry);
  hints.insert(QStringLiteral("image-path"), icon);
  hints.insert(QStringLiteral("category"), kind == NoticeKind::NewMail
                                               ? QStringLiteral("email.arrived")
                                               : QStringLiteral("email"));
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kUrgencyNormal));

  QDBusMessage notify =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  notify << QString::fromLatin1(kProgramTitle) << StateOf(kind).id << icon << shown.summary
         << shown.body << actions << hints << kServerDefaultTimeout;
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(notify, kNotifyCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, kind, notice](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            const QDBusPendingReply<uint> reply = *call;
            const bool displayed = !reply.isError() && reply.value() != 0;
            if (displayed) {
              StateOf(kind).id = reply.value();
            }
            Finish(kind, notice, displayed);
          });
}

void DesktopNotices::Finish(NoticeKind kind, const Notice& notice, bool shown) {
  KindState& state = StateOf(kind);
  state.sending = false;
  if (!shown) {
    Q_EMIT Failed(kind, notice);
  }
  if (state.waiting) {
    const Notice next = *state.waiting;
    state.waiting.reset();
    Send(kind, next);
  }
}

void DesktopNotices::OnActionInvoked(uint id, const QString& action) {
  if (!IsOurs(id) || (action != kDefaultAction && action != kShowAction)) {
    return;
  }
  // On Wayland only a token from the server lets the window come to the front.
  if (!activationToken_.isEmpty()) {
    qputenv("XDG_ACTIVATION_TOKEN", activationToken_.toUtf8());
    activationToken_.clear();
  }
  Q_EMIT ShowWindowRequested();
}

void DesktopNotices::OnNotificationClosed(uint id, uint /*reason*/) {
  // A closed notification cannot be replaced: the next notice starts a new one.
  for (KindState* state : {&newMail_, &storage_}) {
    if (id != 0 && state->id == id) {
      state->id = 0;
    }
  }
}

void DesktopNotices::OnActivationToken(uint id, const QString& token) {
  if (IsOurs(id)) {
    activationToken_ = token;
  }
}

}  // namespace bc
