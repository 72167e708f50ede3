#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <thread>

#include "support/test_env.h"
#include "ui/new_release_dialog.h"
#include "ui/tip_of_day_dialog.h"
#include "ui/update_presenter.h"

namespace bc {
namespace {

// Receives what QDesktopServices::openUrl would hand to the browser.
class UrlRecorder final : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public Q_SLOTS:
  void open(const QUrl& url) { opened.push_back(url); }
};

TEST(NewReleaseDialogTest, DownloadNowOpensTheUpgradePageNeverTheFilesDownload) {
  UrlRecorder browser;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
  QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
  const QUrl upgrade(QStringLiteral("https://127.0.0.1:45123/upgrade.html"));
  CNewReleaseDlg dialog({"2.00", "2004-09-01", "http://evil.example/x.exe"}, upgrade);
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("version"))->text(), QStringLiteral("2.00"));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("releaseDate"))->text(),
            QStringLiteral("2004-09-01"));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("headline"))->text(),
            QStringLiteral("A new release of Brindlecast is available  now"));
  dialog.findChild<QPushButton*>(QStringLiteral("downloadNow"))->click();
  EXPECT_EQ(browser.opened, QList<QUrl>{upgrade});
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}

// The program's end must not wait for a worker that waits for a dialog.
TEST(UpdatePresenterTest, AbandonReleasesAWaitingWorkerAndShowsNothingLater) {
  QtUpdatePresenter presenter(nullptr);
  std::thread worker([&] { presenter.ShowInformation("never shown"); });
  presenter.Abandon();
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

class TipDialogTest : public ::testing::Test {
 protected:
  TipDialogTest() { test::WriteFile(tips, "first\nsecond\nthird\n"); }
  QString StartUp() {
    return QSettings(QString::fromStdString(profile), QSettings::IniFormat)
        .value(QStringLiteral("BrindlecastDayTip/BrindlecastStartUp"))
        .toString();
  }
  test::TempDir dir;
  std::string tips = dir.File("DayTips.dat");
  std::string profile = dir.File("brindlecast.ini");
  test::RecordingPrompt prompt;
};

TEST_F(TipDialogTest, NextTipUndoesAnUnconfirmedClickAndCloseStoresTheOpeningChoice) {
  CTipOfDayDlg dialog(nullptr, prompt, tips, profile);
  auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("showTipsAtStartup"));
  ASSERT_TRUE(box->isChecked());
  box->click();
  EXPECT_FALSE(box->isChecked());
  const auto before = dialog.model().lastIndex();
  dialog.findChild<QPushButton*>(QStringLiteral("nextTip"))->click();
  EXPECT_TRUE(box->isChecked());
  EXPECT_NE(dialog.model().lastIndex(), before);
  dialog.findChild<QPushButton*>(QStringLiteral("closeTips"))->click();
  EXPECT_EQ(StartUp(), QStringLiteral("0"));
  // Escape closes without storing the box.
  CTipOfDayDlg again(nullptr, prompt, tips, profile);
  again.findChild<QCheckBox*>(QStringLiteral("showTipsAtStartup"))->click();
  again.show();
  QTest::keyClick(&again, Qt::Key_Escape);
  EXPECT_EQ(StartUp(), QStringLiteral("0"));
}

TEST_F(TipDialogTest, AMissingFileShowsItsTextWithNextTipDisabled) {
  CTipOfDayDlg dialog(nullptr, prompt, dir.File("none.dat"), profile);
  EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("nextTip"))->isEnabled());
  EXPECT_EQ(dialog.model().tip(), kMissingTipsText);
}

TEST_F(TipDialogTest, TheBulbSitsOnTheBandWithItsWhiteGroundFlooded) {
  const QColor band(90, 90, 90);
  const QImage bulb = LightBulbOn(band);
  ASSERT_EQ(bulb.size(), QSize(26, 32));
  EXPECT_EQ(bulb.pixelColor(0, 0), band);
  EXPECT_EQ(bulb.pixelColor(25, 31), band);
  EXPECT_NE(bulb.pixelColor(13, 10), band);  // the glass keeps its colour
}

}  // namespace
}  // namespace bc

#include "update_tips_dialogs_test.moc"
