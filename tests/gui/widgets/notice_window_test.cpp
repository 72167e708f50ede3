#include <gtest/gtest.h>

#include <QtTest/qtestaccessible.h>
#include <QAccessible>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>

#include "config/notice.h"
#include "ui/notice_presenter.h"
#include "ui/notice_window.h"

namespace bc {
namespace {

using Action = NoticeStep::Action;

const QRect kScreen(0, 0, 1024, 768);

QRect At(int x, int y) {
  return QRect(x, y, 180, 120);
}

TEST(NoticeGeometry, RisesRestsSinksAndCloses) {
  EXPECT_EQ(NoticeStepAt(0, kScreen).action, Action::None);
  EXPECT_EQ(NoticeStepAt(1, kScreen), (NoticeStep{Action::Move, At(826, 764)}));
  EXPECT_EQ(NoticeStepAt(2, kScreen), (NoticeStep{Action::Move, At(826, 761)}));
  EXPECT_EQ(NoticeStepAt(45, kScreen), (NoticeStep{Action::Move, At(826, 621)}));
  EXPECT_EQ(NoticeStepAt(46, kScreen).action, Action::None);
  EXPECT_EQ(NoticeStepAt(545, kScreen).action, Action::None);
  EXPECT_EQ(NoticeStepAt(546, kScreen), (NoticeStep{Action::Move, At(826, 625)}));
  EXPECT_EQ(NoticeStepAt(589, kScreen), (NoticeStep{Action::Move, At(826, 765)}));
  EXPECT_EQ(NoticeStepAt(590, kScreen).action, Action::Close);

  // The available area of a screen placed right of another, under a top panel.
  const QRect second(1920, 30, 1280, 994);
  EXPECT_EQ(NoticeStepAt(45, second).rect, At(1920 + 1280 - 198, 1024 - 147));
}

TEST(NoticeGeometry, CloseBoxHitRectangle) {
  EXPECT_TRUE(IsOnNoticeCloseBox({165, 8}));
  EXPECT_TRUE(IsOnNoticeCloseBox({159, 2}));
  EXPECT_TRUE(IsOnNoticeCloseBox({170, 13}));
  EXPECT_FALSE(IsOnNoticeCloseBox({172, 8}));
  EXPECT_FALSE(IsOnNoticeCloseBox({171, 8}));
  EXPECT_FALSE(IsOnNoticeCloseBox({158, 8}));
  EXPECT_FALSE(IsOnNoticeCloseBox({165, 14}));
}

TEST(NoticeLook, BackgroundRunsFromLightBlueToAlmostWhite) {
  EXPECT_EQ(NoticeBackgroundColor(0, 120), QColor(183, 219, 255));
  EXPECT_EQ(NoticeBackgroundColor(60, 120), QColor(219, 237, 255));
  EXPECT_EQ(NoticeBackgroundColor(119, 120), QColor(254, 254, 255));
}

int CharWidth(const QString& s) {
  return static_cast<int>(s.size());
}

TEST(NoticeWrap, BreaksAtBlanksSplitsLongWordsAndKeepsEveryCharacter) {
  EXPECT_EQ(WrapNoticeText(QStringLiteral("abcdef ghij"), 8, CharWidth),
            (QStringList{QStringLiteral("abcdef "), QStringLiteral("ghij")}));
  // A run of blanks fills lines of its own; the blank at each break and the
  // blanks left before the next word are dropped.
  EXPECT_EQ(
      WrapNoticeText(QStringLiteral("ab") + QString(10, QLatin1Char(' ')) + QStringLiteral("cd"), 4,
                     CharWidth),
      (QStringList{QStringLiteral("ab  "), QStringLiteral("    "), QStringLiteral("cd")}));
  // Blanks opening the text are its own: kept.
  EXPECT_EQ(WrapNoticeText(QStringLiteral("  ab"), 8, CharWidth),
            QStringList{QStringLiteral("  ab")});
  EXPECT_EQ(WrapNoticeText(QStringLiteral("a\r\nb\tc"), 20, CharWidth),
            (QStringList{QStringLiteral("a"), QStringLiteral("b        c")}));
  EXPECT_EQ(WrapNoticeText(QStringLiteral("x 'someone.with.a.long@address'"), 10, CharWidth),
            (QStringList{QStringLiteral("x "), QStringLiteral("'someone.w"),
                         QStringLiteral("ith.a.long"), QStringLiteral("@address'")}));
}

TEST(NoticeWrap, ProgramNameStandsAloneAboveTheRuleInTheRealFont) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(9);
  const QFontMetrics metrics(font);
  const auto measure = [&](const QString& s) { return metrics.horizontalAdvance(s); };
  for (const NoticeKind kind : {NoticeKind::NewMail, NoticeKind::Storage}) {
    const QString text =
        NoticeWindowText(kind, {"Brindlecast", "You have received a new email message from 'Ann'"});
    const QStringList lines = WrapNoticeText(text, kNoticeWidth, measure);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0].trimmed(), QStringLiteral("Brindlecast"));
    int firstMessageLine = 1;
    while (firstMessageLine < lines.size() && lines[firstMessageLine].trimmed().isEmpty()) {
      ++firstMessageLine;
    }
    ASSERT_LT(firstMessageLine, lines.size());
    EXPECT_TRUE(lines[firstMessageLine].startsWith(QStringLiteral("You have")));
    // The message's first line begins below the rule at rows 18 to 20.
    EXPECT_GT(firstMessageLine * metrics.height(), 20) << "kind " << static_cast<int>(kind);
  }
}

// The notices of 1, 3 and 10 messages in the real font: every sender's name
// stands whole on one line, a name too long for a line cut short.
TEST(NoticeWrap, NeverSplitsANameAcrossLines) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(9);
  const QFontMetrics metrics(font);
  const auto measure = [&](const QString& s) { return metrics.horizontalAdvance(s); };
  const std::string names[] = {"Priya Raman", "Jürgen Größ", "Maximiliane Wolkenstein-Oberhaus"};
  for (const size_t count : {1U, 3U, 10U}) {
    std::vector<Notice> arrived;
    for (size_t i = 0; i < count; ++i) {
      arrived.push_back(NewMailNotice(names[(i + 2) % 3], "s"));
    }
    const Notice notice = NewMailNotice(arrived);
    const QStringList lines =
        WrapNoticeText(NoticeWindowText(NoticeKind::NewMail, notice), kNoticeWidth - 10, measure);
    const QString shown = lines.join(QLatin1Char('\n'));
    int named = 0;
    for (const QString& name :
         {QStringLiteral("Priya\u00A0Raman"), QStringLiteral("J\u00FCrgen\u00A0Gr\u00F6\u00DF"),
          QStringLiteral("Maximiliane\u00A0Wolkenstein")}) {
      if (QString::fromStdString(notice.body).contains(name)) {
        ++named;
        EXPECT_TRUE(shown.contains(name)) << count << " messages: " << shown.toStdString();
      }
    }
    EXPECT_EQ(named, count == 1 ? 1 : 2);
    for (const QString& line : lines) {
      EXPECT_LE(measure(line.trimmed()), kNoticeWidth - 10) << line.toStdString();
    }
  }
}

QRect ScreenArea() {
  return QGuiApplication::primaryScreen()->availableGeometry();
}

void Advance(CNoticeWnd* window, int ticks) {
  for (int i = 0; i < ticks; ++i) {
    window->Tick();
  }
}

TEST(NoticeWindow, OneOfEachKindAtOnceMovingTogether) {
  QWidget owner;
  NoticeWindows notices(&owner);
  CNoticeWnd* mail = notices.Show(NoticeKind::NewMail, {"Brindlecast", "first"});
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(notices.Show(NoticeKind::NewMail, {"Brindlecast", "second"}), nullptr);
  CNoticeWnd* storage = notices.Show(NoticeKind::Storage, {"Brindlecast", "full"});
  ASSERT_NE(storage, nullptr);

  EXPECT_EQ(mail->windowTitle(), QStringLiteral("NoticeWindow"));
  EXPECT_EQ(storage->windowTitle(), QStringLiteral("NoticeWindow1"));
  // The title alone on the first line: the blanks wrap it there.
  EXPECT_EQ(mail->text(), QStringLiteral("Brindlecast") + QString(96, QLatin1Char(' ')) +
                              QStringLiteral("first"));
  EXPECT_EQ(storage->text(),
            QStringLiteral("Brindlecast") + QString(95, QLatin1Char(' ')) + QStringLiteral("full"));
  const Qt::WindowFlags flags = mail->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(flags.testFlag(Qt::Tool));
  EXPECT_FALSE(mail->isVisible());  // hidden until the first move

  Advance(mail, 46);
  Advance(storage, 46);
  EXPECT_TRUE(mail->isVisible());
  EXPECT_TRUE(storage->isVisible());
  EXPECT_EQ(mail->geometry(), NoticeStepAt(45, ScreenArea()).rect);
  EXPECT_EQ(storage->geometry(), mail->geometry());
}

TEST(NoticeWindow, ClosesAfterItsLastTickAndMakesRoomForTheNext) {
  QWidget owner;
  NoticeWindows notices(&owner);
  QPointer<CNoticeWnd> mail = notices.Show(NoticeKind::NewMail, {"Brindlecast", "x"});
  ASSERT_TRUE(mail);
  Advance(mail, 560);
  EXPECT_EQ(mail->geometry(), NoticeStepAt(559, ScreenArea()).rect);
  Advance(mail, 31);
  EXPECT_TRUE(mail->isClosed());
  EXPECT_FALSE(mail->isVisible());
  EXPECT_EQ(notices.Current(NoticeKind::NewMail), nullptr);

  CNoticeWnd* next = notices.Show(NoticeKind::NewMail, {"Brindlecast", "y"});
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next, mail.data());
  EXPECT_TRUE(QTest::qWaitFor([&] { return mail.isNull(); }));
}

TEST(NoticeWindow, CloseBoxClickClosesAndOtherClicksDoNot) {
  QWidget owner;
  NoticeWindows notices(&owner);
  CNoticeWnd* mail = notices.Show(NoticeKind::NewMail, {"Brindlecast", "x"});
  Advance(mail, 10);
  QTest::mouseClick(mail, Qt::LeftButton, {}, QPoint(172, 8));
  EXPECT_FALSE(mail->isClosed());
  QTest::mouseClick(mail, Qt::RightButton, {}, QPoint(165, 8));
  EXPECT_FALSE(mail->isClosed());
  QTest::mouseClick(mail, Qt::LeftButton, {}, QPoint(165, 8));
  EXPECT_TRUE(mail->isClosed());
}

TEST(NoticeWindow, ItsOwnTimerBringsItUp) {
  QWidget owner;
  NoticeWindows notices(&owner);
  QPointer<CNoticeWnd> mail = notices.Show(NoticeKind::NewMail, {"Brindlecast", "x"});
  EXPECT_TRUE(QTest::qWaitFor([&] { return mail && mail->tickCounter() > 45; }, 10000));
  EXPECT_TRUE(mail->isVisible());
  EXPECT_EQ(mail->geometry(), NoticeStepAt(45, ScreenArea()).rect);
}

// A screen reader hears the notice as a notification with its text, alerted
// when it shows, and hears the new count when more mail comes in the pass.
TEST(NoticeWindow, IsANotificationToScreenReaders) {
  QAccessible::setActive(true);
  QTestAccessibility::initialize();
  QWidget owner;
  NoticePresenter presenter(&owner, [] {});
  presenter.Show(NoticeKind::NewMail, NewMailNotice("Priya Raman", "Lunch"), "0");
  CNoticeWnd* mail = presenter.windows().Current(NoticeKind::NewMail);
  ASSERT_NE(mail, nullptr);
  Advance(mail, 2);
  QAccessibleInterface* notice = QAccessible::queryAccessibleInterface(mail);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(notice->role(), QAccessible::Notification);
  EXPECT_EQ(
      notice->text(QAccessible::Name),
      QStringLiteral("Brindlecast: You have received a new email message from 'Priya Raman'"));
  EXPECT_EQ(notice->text(QAccessible::Description), notice->text(QAccessible::Name));
  // Events flow only where a bridge to the accessibility bus is active (a
  // desktop session; the offscreen platform has none).
  const bool bridge = QAccessible::isActive();
  QAccessibleEvent alert(mail, QAccessible::Alert);
  EXPECT_EQ(QTestAccessibility::containsEvent(&alert), bridge);

  presenter.Show(NoticeKind::NewMail, NewMailNotice("J\u00fcrgen Gr\u00f6\u00df", "b"), "0");
  presenter.Show(NoticeKind::NewMail, NewMailNotice("Ann", "c"), "0");
  EXPECT_EQ(presenter.windows().Current(NoticeKind::NewMail), mail);  // the same window
  EXPECT_EQ(notice->text(QAccessible::Name),
            QStringLiteral("Brindlecast: 3 new messages, from Priya Raman, J\u00fcrgen "
                           "Gr\u00f6\u00df and 1 more"));
  QAccessibleEvent renamed(mail, QAccessible::NameChanged);
  EXPECT_EQ(QTestAccessibility::containsEvent(&renamed), bridge);

  // The next pass counts afresh.
  presenter.EndPass();
  mail->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !presenter.windows().Current(NoticeKind::NewMail); }));
  presenter.Show(NoticeKind::NewMail, NewMailNotice("Bo", "d"), "0");
  EXPECT_TRUE(presenter.windows()
                  .Current(NoticeKind::NewMail)
                  ->text()
                  .endsWith(QStringLiteral("from 'Bo'")));
  QTestAccessibility::cleanup();
  QAccessible::setActive(false);
}

}  // namespace
}  // namespace bc
