#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <thread>

#include "ui/tray_icon.h"

namespace bc {
namespace {

TEST(TrayToolTip, CutToSixtyThreeBytesOnCharacterBoundaries) {
  QWidget window;
  TrayIcon tray(&window, true);
  const std::string exact(63, 'a');
  // A two-byte character straddling the limit goes whole.
  const std::string straddle = std::string(62, 'a') + "\xC3\xA9" + "z";
  const std::string disconnected =
      "'" + std::string(70, 'u') + "@example.org'" + " is disconnected";
  const std::pair<std::string, std::string> rows[] = {{exact, exact},
                                                      {exact + "b", exact},
                                                      {straddle, std::string(62, 'a')},
                                                      {disconnected, disconnected.substr(0, 63)}};
  for (const auto& [text, shown] : rows) {
    tray.SetToolTip(text);
    EXPECT_EQ(tray.toolTip(), shown);
  }

  EXPECT_EQ(InitialTrayToolTip(true), "Brindlecast");
  EXPECT_EQ(InitialTrayToolTip(false), "");
}

QStringList MenuTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* a : menu->actions()) {
    texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
  }
  return texts;
}

TEST(TrayIcon, MenuItemsInOrderWithShowHideFollowingTheWindow) {
  QWidget window;
  TrayIcon tray(&window, true);
  QStringList expected;
  for (const char* text : {"Show Brindlecast", "&Properties...", "-", "&Check Emails", "-",
                           "Stop &Speaking", "-", "Check &Latest Version", "-", "Help &Topics",
                           "&About Brindlecast", "-", "&Suspend", "&Exit"}) {
    expected << QString::fromLatin1(text);
  }
  EXPECT_EQ(MenuTexts(tray.menu()), expected);
  EXPECT_EQ(tray.menu()->defaultAction(), tray.action(TrayCommand::ShowHide));
  EXPECT_TRUE(tray.action(TrayCommand::Suspend)->isCheckable());

  window.show();
  EXPECT_EQ(tray.action(TrayCommand::ShowHide)->text(), QStringLiteral("Hide Brindlecast"));
  window.hide();
  EXPECT_EQ(tray.action(TrayCommand::ShowHide)->text(), QStringLiteral("Show Brindlecast"));

  // Opening the menu rewrites the text too.
  tray.action(TrayCommand::ShowHide)->setText(QStringLiteral("stale"));
  Q_EMIT tray.menu()->aboutToShow();
  EXPECT_EQ(tray.action(TrayCommand::ShowHide)->text(), QStringLiteral("Show Brindlecast"));
}

TEST(TrayIcon, SuspendAndRunningWorkGreyTheMenu) {
  QWidget window;
  TrayIcon tray(&window, false);
  auto enabled = [&](TrayCommand c) { return tray.action(c)->isEnabled(); };

  tray.SetWorkerRunning(true);
  EXPECT_FALSE(enabled(TrayCommand::CheckEmails));
  EXPECT_TRUE(enabled(TrayCommand::Properties));

  tray.SetSuspended(true);
  EXPECT_FALSE(enabled(TrayCommand::ShowHide));
  EXPECT_FALSE(enabled(TrayCommand::Properties));
  EXPECT_FALSE(enabled(TrayCommand::CheckEmails));
  EXPECT_TRUE(tray.action(TrayCommand::Suspend)->isChecked());
  EXPECT_TRUE(enabled(TrayCommand::Exit));
  EXPECT_TRUE(enabled(TrayCommand::About));

  // The check ends while suspended: Check Emails stays grey until resumed.
  tray.SetWorkerRunning(false);
  EXPECT_FALSE(enabled(TrayCommand::CheckEmails));
  tray.SetSuspended(false);
  EXPECT_TRUE(enabled(TrayCommand::ShowHide));
  EXPECT_TRUE(enabled(TrayCommand::CheckEmails));
  EXPECT_FALSE(tray.action(TrayCommand::Suspend)->isChecked());
}

TEST(TrayIcon, CommandsAndDoubleClickArriveAsSignals) {
  QWidget window;
  TrayIcon tray(&window, true);
  const std::pair<TrayCommand, void (TrayIcon::*)()> commands[] = {
      {TrayCommand::ShowHide, &TrayIcon::ShowHideRequested},
      {TrayCommand::Properties, &TrayIcon::PropertiesRequested},
      {TrayCommand::CheckEmails, &TrayIcon::CheckEmailsRequested},
      {TrayCommand::CheckLatestVersion, &TrayIcon::CheckLatestVersionRequested},
      {TrayCommand::HelpTopics, &TrayIcon::HelpTopicsRequested},
      {TrayCommand::About, &TrayIcon::AboutRequested},
      {TrayCommand::Suspend, &TrayIcon::SuspendRequested},
      {TrayCommand::Exit, &TrayIcon::ExitRequested},
  };
  for (const auto& [command, signal] : commands) {
    QSignalSpy spy(&tray, signal);
    tray.action(command)->trigger();
    EXPECT_EQ(spy.count(), 1) << static_cast<int>(command);
  }

  QSignalSpy showHide(&tray, &TrayIcon::ShowHideRequested);
  tray.HandleActivation(QSystemTrayIcon::Trigger);
  tray.HandleActivation(QSystemTrayIcon::Context);
  tray.HandleActivation(QSystemTrayIcon::MiddleClick);
  EXPECT_EQ(showHide.count(), 0);
  tray.HandleActivation(QSystemTrayIcon::DoubleClick);
  tray.HandleActivation(QSystemTrayIcon::DoubleClick);
  EXPECT_EQ(showHide.count(), 2);
}

TEST(TrayIcon, RunsOnWithoutATrayAndTakesUpdatesFromWorkers) {
  QWidget window;
  TrayIcon tray(&window, true);
  EXPECT_EQ(tray.Install(), QSystemTrayIcon::isSystemTrayAvailable());
  EXPECT_EQ(tray.toolTip(), "Brindlecast");
  EXPECT_EQ(tray.image(), TrayImage::Idle);
  for (TrayImage image :
       {TrayImage::Idle, TrayImage::MailPresent, TrayImage::Checking, TrayImage::Disconnected}) {
    EXPECT_FALSE(TrayImageIcon(image).isNull());
  }

  std::thread worker([&] {
    tray.SetImage(TrayImage::Checking);
    tray.SetToolTip("You have 3 new email");
  });
  worker.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return tray.toolTip() == "You have 3 new email"; }));
  EXPECT_EQ(tray.image(), TrayImage::Checking);

  tray.SetToolTip("");
  EXPECT_EQ(tray.toolTip(), "");
  tray.Remove();
}

}  // namespace
}  // namespace bc
