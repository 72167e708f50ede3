#include "ui/desktop_notice.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QWidget>

#include "support/wait.h"
#include "ui/notice_presenter.h"

namespace bc {
namespace {

using test::WaitUntil;

const QString kBus = QStringLiteral(BC_TEST_BUS);
const Notice kNewMail = NewMailNotice("Ann", "Lunch on Friday");
const Notice kStorage{"Brindlecast",
                      "Your email account 'ann' has reached 80% of it's storage limit"};

// ---------------------------------------------------------------------------
// The rules without a server.

TEST(DesktopNoticeText, SplitsTitleFromMessageAndGuardsServerText) {
  const QStringList plain{QStringLiteral("body")};
  const QStringList markup{QStringLiteral("body"), QStringLiteral("body-markup")};
  struct Row {
    const char* message;
    const QStringList& capabilities;
    const char* body;
  };
  const Row rows[] = {
      {"from 'Ann'", plain, "from 'Ann'"},
      {"from '<b>A&B</b>'", markup, "from '&lt;b&gt;A&amp;B&lt;/b&gt;'"},  // a name is not markup
      {"from '<b>'", plain, "from '<b>'"},
      {"from 'A\nB\tC'", plain, "from 'A B C'"},
  };
  for (const Row& row : rows) {
    const DesktopNoticeText shown =
        DesktopNoticeTextOf(Notice{"Brindlecast", row.message}, row.capabilities);
    EXPECT_EQ(shown.summary, QStringLiteral("Brindlecast")) << row.message;
    EXPECT_EQ(shown.body, QString::fromUtf8(row.body)) << row.message;
  }
  // Without a body the message is the summary: the server names the program.
  EXPECT_EQ(DesktopNoticeTextOf(kStorage, {}).summary, QString::fromStdString(kStorage.body));
  // New mail: the sender (or the count) over the subject (or the senders).
  const Notice three = NewMailNotice({kNewMail, NewMailNotice("Bo", "b"), NewMailNotice("Cy", "")});
  const std::pair<Notice, DesktopNoticeText> mail[] = {
      {kNewMail, {QStringLiteral("Ann"), QStringLiteral("Lunch on Friday")}},
      {NewMailNotice("Ann", ""), {QStringLiteral("Ann"), QString()}},
      {three, {QStringLiteral("3 new messages"), QStringLiteral("From Ann, Bo and 1 more")}},
  };
  for (const auto& [notice, text] : mail) {
    EXPECT_EQ(DesktopNoticeTextOf(notice, plain), text) << notice.body;
  }
  EXPECT_EQ(DesktopNoticeTextOf(kNewMail, {}).summary, QStringLiteral("Ann: Lunch on Friday"));
  const std::string longName(600, 'x');
  EXPECT_EQ(DesktopNoticeTextOf(Notice{"Brindlecast", longName}, plain).body,
            QString::fromStdString(longName).left(kMaxDesktopBody - 1) + QChar(0x2026));
}

TEST(DesktopNoticeText, IconFromTheBuildTreeOrTheTheme) {
  const QString id = QStringLiteral("com.quenmark.brindlecast");
  EXPECT_EQ(NotificationIcon(""), id);
  EXPECT_EQ(NotificationIcon("/nonexistent/icons/x.svg"), id);
  const std::string built = BC_TEST_DATA_DIR "/../../res/icons/logo.svg";
  EXPECT_TRUE(NotificationIcon(built).startsWith(QStringLiteral("file:///")));
  EXPECT_TRUE(NotificationIcon(built).endsWith(QStringLiteral("/res/icons/logo.svg")));
}

TEST(NoticeStyle, ChosenOrBySession) {
  // platform, WAYLAND_DISPLAY, DISPLAY: whether the window cannot place itself
  EXPECT_TRUE(IsWaylandSession(QStringLiteral("wayland"), "wayland-0", ":0"));
  EXPECT_TRUE(IsWaylandSession(QStringLiteral("wayland-egl"), "", ""));
  EXPECT_FALSE(IsWaylandSession(QStringLiteral("xcb"), "wayland-0", ":0"));  // XWayland
  EXPECT_TRUE(IsWaylandSession(QStringLiteral("offscreen"), "wayland-0", ""));
  EXPECT_FALSE(IsWaylandSession(QStringLiteral("offscreen"), "wayland-0", ":0"));
  EXPECT_EQ(NoticeStyleOf("0", true), NoticeStyle::OwnWindow);
  EXPECT_EQ(NoticeStyleOf("1", false), NoticeStyle::Desktop);
  for (const char* automatic : {"", "2", " 1"}) {
    EXPECT_EQ(NoticeStyleOf(automatic, true), NoticeStyle::Desktop) << automatic;
    EXPECT_EQ(NoticeStyleOf(automatic, false), NoticeStyle::OwnWindow) << automatic;
  }
}

// ---------------------------------------------------------------------------
// Against a notification server on the private session bus.

/// A notification server: records every Notify, hands out ids, can refuse.
class NotificationServer : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Call {
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
  };

  std::vector<Call> calls;
  QStringList capabilities{QStringLiteral("body"), QStringLiteral("actions")};
  bool refuse = false;

 public Q_SLOTS:
  QStringList GetCapabilities() { return capabilities; }
  uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
              const QString& body, const QStringList& actions, const QVariantMap& hints,
              int /*timeout*/) {
    if (refuse) {
      sendErrorReply(QDBusError::Failed, QStringLiteral("refused"));
      return 0;
    }
    calls.push_back({appName, replacesId, icon, summary, body, actions, hints});
    return replacesId != 0 ? replacesId : ++lastId_;
  }
  void CloseNotification(uint /*id*/) {}

 Q_SIGNALS:
  void ActionInvoked(uint id, const QString& actionKey);
  void NotificationClosed(uint id, uint reason);

 private:
  uint lastId_ = 0;
};

class DesktopNoticeTest : public ::testing::Test {
 protected:
  DesktopNoticeTest()
      : serverBus(QDBusConnection::connectToBus(kBus, QStringLiteral("server"))),
        clientBus(QDBusConnection::connectToBus(kBus, QStringLiteral("client"))),
        presenter(
            &owner, [this] { ++shownWindow; }, [this] { return clientBus; }) {}

  ~DesktopNoticeTest() override {
    serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    serverBus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
  }

  void StartServer() {
    ASSERT_TRUE(serverBus.isConnected()) << "no private session bus at " << kBus.toStdString();
    ASSERT_TRUE(serverBus.registerObject(
        QStringLiteral("/org/freedesktop/Notifications"), &server,
        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
  }

  /// Shows a desktop notice and waits until the server has had `calls` in all
  /// and its answer has reached the client.
  void ShowAndWait(NoticeKind kind, const Notice& notice, size_t calls) {
    presenter.Show(kind, notice, kNoticeStyleDesktop);
    ASSERT_TRUE(WaitUntil([&] { return server.calls.size() >= calls; }));
    Sync();
  }

  /// Sends a signal from the server and returns once the client has acted on it.
  void Signal(const char* name, uint id, const QVariant& argument) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QString::fromLatin1(name));
    signal << id << argument;
    ASSERT_TRUE(serverBus.send(signal));
    Sync();
  }

  /// Returns once the client has taken in everything the server sent before:
  /// the bus keeps the server's messages in order, so when the client has
  /// answered a ping sent after them, they wait in the UI thread's queue.
  void Sync() {
    const QDBusMessage pong = serverBus.call(QDBusMessage::createMethodCall(
        clientBus.baseService(), QStringLiteral("/"), QStringLiteral("org.freedesktop.DBus.Peer"),
        QStringLiteral("Ping")));
    ASSERT_NE(pong.type(), QDBusMessage::ErrorMessage) << pong.errorMessage().toStdString();
    QCoreApplication::sendPostedEvents();
  }

  QWidget owner;
  NotificationServer server;
  QDBusConnection serverBus;
  QDBusConnection clientBus;
  int shownWindow = 0;
  NoticePresenter presenter;
};

TEST_F(DesktopNoticeTest, NotifiesWithTextIconAndActionsAndReplacesPerKind) {
  StartServer();
  ShowAndWait(NoticeKind::NewMail, kNewMail, 1);
  const NotificationServer::Call& first = server.calls[0];
  const QString programId = QStringLiteral("com.quenmark.brindlecast");
  EXPECT_EQ(first.appName, QStringLiteral("Brindlecast"));
  EXPECT_EQ(first.replacesId, 0u);
  EXPECT_EQ(first.summary, QStringLiteral("Ann"));
  EXPECT_EQ(first.body, QStringLiteral("Lunch on Friday"));
  EXPECT_EQ(first.actions, (QStringList{QStringLiteral("default"), QStringLiteral("Show"),
                                        QStringLiteral("show"), QStringLiteral("Show")}));
  EXPECT_EQ(first.icon, programId);
  for (const char* hint : {"desktop-entry", "image-path"}) {
    EXPECT_EQ(first.hints.value(QString::fromLatin1(hint)).toString(), programId) << hint;
  }
  const uint mailId = presenter.desktop().CurrentId(NoticeKind::NewMail);
  EXPECT_NE(mailId, 0u);

  // The storage alert is a notification of its own; each kind replaces its own.
  ShowAndWait(NoticeKind::Storage, kStorage, 2);
  EXPECT_EQ(server.calls[1].replacesId, 0u);
  const uint storageId = presenter.desktop().CurrentId(NoticeKind::Storage);
  EXPECT_NE(storageId, mailId);
  ShowAndWait(NoticeKind::NewMail, kNewMail, 3);
  EXPECT_EQ(server.calls[2].replacesId, mailId);
  ShowAndWait(NoticeKind::Storage, kStorage, 4);
  EXPECT_EQ(server.calls[3].replacesId, storageId);

  // A closed notification is not replaced; one closed elsewhere changes nothing.
  Signal("NotificationClosed", mailId, QVariant::fromValue(2u));
  Signal("NotificationClosed", 999, QVariant::fromValue(2u));
  ShowAndWait(NoticeKind::NewMail, kNewMail, 5);
  EXPECT_EQ(server.calls[4].replacesId, 0u);
  ShowAndWait(NoticeKind::Storage, kStorage, 6);
  EXPECT_EQ(server.calls[5].replacesId, storageId);

  // A new server knows none of the old notifications.
  ASSERT_TRUE(serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications")));
  ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
  Sync();
  ShowAndWait(NoticeKind::Storage, kStorage, 7);
  EXPECT_EQ(server.calls[6].replacesId, 0u);
  EXPECT_EQ(presenter.windows().Current(NoticeKind::NewMail), nullptr);
}

TEST_F(DesktopNoticeTest, ShowActionOfOurNotificationShowsTheWindow) {
  StartServer();
  ShowAndWait(NoticeKind::NewMail, kNewMail, 1);
  const uint id = presenter.desktop().CurrentId(NoticeKind::NewMail);
  struct Row {
    uint id;
    const char* action;
    int shown;  // how often the window was asked for, in all
  };
  const Row rows[] = {
      {id + 100, "show", 0},  // another program's notification
      {id, "reply", 0},       // not an action of ours
      {id, "show", 1},
      {id, "default", 2},
  };
  for (const Row& row : rows) {
    Signal("ActionInvoked", row.id, QString::fromLatin1(row.action));
    EXPECT_EQ(shownWindow, row.shown) << row.id << " " << row.action;
  }
}

TEST_F(DesktopNoticeTest, FollowsTheServersCapabilitiesAndTheChosenStyle) {
  server.capabilities = {};
  StartServer();
  presenter.Show(NoticeKind::NewMail, kNewMail, kNoticeStyleOwnWindow);
  EXPECT_NE(presenter.windows().Current(NoticeKind::NewMail), nullptr);
  ShowAndWait(NoticeKind::Storage, kStorage, 1);  // the first the server hears of
  EXPECT_TRUE(server.calls[0].actions.isEmpty());
  EXPECT_EQ(server.calls[0].summary,
            QStringLiteral("Your email account 'ann' has reached 80% of it's storage limit"));
  EXPECT_TRUE(server.calls[0].body.isEmpty());
}

TEST_F(DesktopNoticeTest, TheOwnWindowShowsWhatTheDesktopCannot) {
  // No server on the bus: the own window, with the whole text.
  presenter.Show(NoticeKind::NewMail, kNewMail, kNoticeStyleDesktop);
  ASSERT_TRUE(WaitUntil([&] { return presenter.windows().Current(NoticeKind::NewMail); }));
  EXPECT_EQ(presenter.windows().Current(NoticeKind::NewMail)->text(),
            QStringLiteral("Brindlecast") + QString(96, QLatin1Char(' ')) +
                QStringLiteral("You have received a new email message from 'Ann'"));

  // A server that refuses.
  server.refuse = true;
  StartServer();
  presenter.Show(NoticeKind::Storage, kStorage, kNoticeStyleDesktop);
  ASSERT_TRUE(WaitUntil([&] { return presenter.windows().Current(NoticeKind::Storage); }));

  // No bus at all.
  QWidget other;
  NoticePresenter offline(
      &other, [] {}, [] { return QDBusConnection(QStringLiteral("none")); });
  offline.Show(NoticeKind::NewMail, kNewMail, kNoticeStyleDesktop);
  EXPECT_NE(offline.windows().Current(NoticeKind::NewMail), nullptr);
}

}  // namespace
}  // namespace bc

#include "desktop_notice_test.moc"
