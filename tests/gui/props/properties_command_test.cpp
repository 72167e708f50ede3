#include "ui/props/properties_command.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "config/field_order.h"
#include "config/paths.h"
#include "props_test_util.h"
#include "ui/props/property_sheet.h"

namespace bc {
namespace {

using Calls = std::vector<std::string>;
enum Page { kAccount = 0, kGeneral = 1, kNotification = 2 };

struct RecordingHost final : PropertiesHost {
  void StopSpeech() override { calls.push_back("StopSpeech"); }
  void SetBusy(bool busy) override { calls.push_back(busy ? "SetBusy(1)" : "SetBusy(0)"); }
  void SaveSortDirection() override { calls.push_back("SaveSortDirection"); }
  void ClearTrayToolTip() override { calls.push_back("ClearTrayToolTip"); }
  bool SaveSettings() override {
    calls.push_back("SaveSettings");
    saved = *settings;
    return true;
  }
  void ArmChecking() override { calls.push_back("ArmChecking"); }
  void RebuildList() override { calls.push_back("RebuildList"); }
  void CheckSoon() override { calls.push_back("CheckSoon"); }

  Calls calls;
  Settings* settings = nullptr;
  Settings saved;
};

PropertySheet& Sheet(QDialog& d) {
  return static_cast<PropertySheet&>(d);
}

// Opens the Notification page, lets `work` act on it, and closes with OK or Cancel.
test::DialogScript::Step OnNotification(std::function<void(QDialog&)> work, bool ok = true) {
  return [work, ok](QDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "Brindlecast Properties");
    Sheet(d).SetActivePage(kNotification);
    work(d);
    ok ? test::Ok(d) : test::Cancel(d);
  };
}

class PropertiesCommandTest : public ::testing::Test {
 protected:
  PropertiesCommandTest() { host.settings = &settings; }

  void Run() { command.Run(nullptr, settings, host, f.context); }

  QComboBox* Combo(QDialog& d, const char* name) { return test::Find<QComboBox>(d, name); }

  test::PropsFixture f;
  PropertiesCommand command;
  Settings settings;
  RecordingHost host;
};

TEST_F(PropertiesCommandTest, WavPathSurvivesOnlyWithTheWavChoiceOnceThePageIsOpened) {
  settings.options.wavFile = "/sounds/ding.wav";
  settings.options.NotificationMethod = 0;
  f.script.Then([](QDialog& d) { test::Ok(d); });  // the Notification page never opened
  Run();
  EXPECT_EQ(settings.options.wavFile, "/sounds/ding.wav");

  f.script.Then(OnNotification([](QDialog& d) {
    EXPECT_FALSE(test::Enabled(d, "wavEdit"));
    EXPECT_TRUE(test::Enabled(d, "optionsButton"));
  }));
  Run();
  EXPECT_EQ(settings.options.wavFile, "");

  settings.options.wavFile = "/sounds/ding.wav";
  settings.options.NotificationMethod = 1;
  f.script.Then(OnNotification([](QDialog& d) {
    EXPECT_EQ(test::Text(d, "wavEdit"), "/sounds/ding.wav");
    // Choosing "None" disables the box but keeps its text, which OK stores.
    test::Click(d, "noneRadio");
    EXPECT_FALSE(test::Enabled(d, "browseButton"));
  }));
  Run();
  EXPECT_EQ(settings.options.wavFile, "/sounds/ding.wav");
  EXPECT_EQ(settings.options.NotificationMethod, 2);
}

// OK finishes the Notification values even when the page was never opened;
// Cancel leaves hand-typed values as they are.
TEST_F(PropertiesCommandTest, OkNormalisesTheNotificationValuesOfAPageNeverOpened) {
  for (const bool ok : {false, true}) {
    settings.options.CheckMail = 5;
    settings.options.CheckLines = -2;
    settings.options.FreqUnit = StoredFreqUnit::FromText("02");
    f.script.Then([ok](QDialog& d) { ok ? test::Ok(d) : test::Cancel(d); });
    Run();
    EXPECT_EQ(settings.options.CheckMail, ok ? 1 : 5);
    EXPECT_EQ(settings.options.CheckLines, ok ? 1 : -2);
    EXPECT_EQ(settings.options.FreqUnit, ok ? "2" : "02");
  }
}

TEST_F(PropertiesCommandTest, TabReachesThePageBeforeOkAndEveryControlHasAMnemonic) {
  f.script.Then(OnNotification([](QDialog& d) {
    // The focus chain from the tab bar meets the page's controls before OK.
    QWidget* ok = test::Find<QPushButton>(d, "okButton");
    QWidget* w = d.findChild<QTabWidget*>(QStringLiteral("sheetTabs"))->tabBar();
    bool pageFirst = false;
    for (int i = 0; i < 200 && w != ok; ++i) {
      w = w->nextInFocusChain();
      pageFirst = pageFirst || w->objectName() == QStringLiteral("checkMailCheck");
    }
    EXPECT_TRUE(pageFirst);
    // Each button and labelled box of the page answers its own Alt letter.
    QString letters;
    for (const char* name : {"checkMailCheck", "speechRadio", "wavRadio", "noneRadio",
                             "optionsButton", "browseButton", "readLinesCheck"}) {
      const QString text = test::Find<QAbstractButton>(d, name)->text();
      const qsizetype at = text.indexOf(QLatin1Char('&'));
      ASSERT_GE(at, 0) << name;
      EXPECT_FALSE(letters.contains(text[at + 1].toLower())) << name;
      letters += text[at + 1].toLower();
    }
  }));
  Run();
}

TEST_F(PropertiesCommandTest, PeriodWithCheckingOffAndOn) {
  settings.options.CheckMail = 0;
  settings.options.Freq = "5";
  settings.options.FreqUnit = FreqUnit::Minutes;
  f.script.Then(OnNotification([](QDialog& d) {
    EXPECT_EQ(test::Text(d, "freqEdit"), "");
    EXPECT_FALSE(test::Enabled(d, "unitCombo"));
  }));
  Run();
  EXPECT_EQ(settings.options.Freq, "");
  EXPECT_EQ(settings.options.FreqUnit, "1");
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "ArmChecking"), 0);

  // Turning checking on fills "10" and takes the unit at once, kept after Cancel.
  settings.options.FreqUnit = FreqUnit::Hours;
  f.script.Then(OnNotification(
      [this](QDialog& d) {
        Combo(d, "unitCombo")->setCurrentIndex(2);
        Combo(d, "unitCombo")->setCurrentIndex(0);
        test::Click(d, "checkMailCheck");
        EXPECT_EQ(test::Text(d, "freqEdit"), "10");
        EXPECT_TRUE(test::Enabled(d, "unitCombo"));
      },
      false));
  Run();
  EXPECT_EQ(settings.options.FreqUnit, "0");
  EXPECT_EQ(settings.options.CheckMail, 0);

  host.calls.clear();
  f.script.Then(OnNotification([this](QDialog& d) {
    test::Click(d, "checkMailCheck");
    test::Type(d, "freqEdit", "5");
    Combo(d, "unitCombo")->setCurrentIndex(2);
  }));
  Run();
  EXPECT_EQ(settings.options.CheckMail, 1);
  EXPECT_EQ(settings.options.Freq, "5");
  EXPECT_EQ(settings.options.FreqUnit, "2");
  EXPECT_EQ(CheckPeriodSeconds(settings.options), 18000);
  EXPECT_EQ(host.calls.back(), "RebuildList");
  EXPECT_EQ(host.calls[host.calls.size() - 2], "ArmChecking");

  // A unit text outside the three leaves the unit alone.
  f.script.Then(OnNotification(
      [this](QDialog& d) { Combo(d, "unitCombo")->setEditText(QStringLiteral("Fortnight")); }));
  Run();
  EXPECT_EQ(settings.options.FreqUnit, "2");
}

TEST_F(PropertiesCommandTest, LinesListFollowsTheStoredTextAndReadingOnTakesItAtOnce) {
  settings.options.CheckLines = 0;
  for (const char* stored : {"All", "10"}) {
    settings.options.ComboLines = stored;
    f.script.Then(OnNotification([this, stored](QDialog& d) {
      QComboBox* lines = Combo(d, "linesCombo");
      EXPECT_EQ(lines->currentIndex(), std::string(stored) == "All" ? 0 : 10);
      EXPECT_FALSE(lines->isEnabled());
    }));
    Run();
    EXPECT_EQ(settings.options.ComboLines, stored);
  }

  // A number beyond the list is kept as typed.
  settings.options.ComboLines = "15";
  f.script.Then(OnNotification([this](QDialog& d) {
    EXPECT_EQ(Combo(d, "linesCombo")->currentText().toStdString(), "15");
  }));
  Run();
  EXPECT_EQ(settings.options.ComboLines, "15");

  f.script.Then(OnNotification(
      [this](QDialog& d) {
        Combo(d, "linesCombo")->setCurrentIndex(3);
        test::Click(d, "readLinesCheck");
        EXPECT_TRUE(test::Enabled(d, "linesCombo"));
      },
      false));
  Run();
  EXPECT_EQ(settings.options.ComboLines, "3");
  EXPECT_EQ(settings.options.CheckLines, 0);
}

TEST_F(PropertiesCommandTest, AWavFileChosenWithBrowseStaysAfterCancel) {
  settings.options.NotificationMethod = 1;
  f.prompt.chosenFile = "/home/me/new mail.wav";
  f.script.Then(OnNotification([](QDialog& d) { test::Click(d, "browseButton"); }, false));
  Run();
  EXPECT_EQ(settings.options.wavFile, "/home/me/new mail.wav");
  EXPECT_EQ(f.prompt.fileRequests, (Calls{"Open|WAV (*.wav)|wav"}));
}

TEST_F(PropertiesCommandTest, OkTakesThePagesOverInOrderAndCancelKeepsThemOut) {
  settings.options.ShowToolTip = true;
  settings.options.CheckMail = 1;
  settings.options.Freq = "2";
  settings.options.FreqUnit = FreqUnit::Minutes;
  const std::string entry = AutostartEntryPath();
  std::filesystem::remove(entry);

  f.script.Then([](QDialog& d) {
    Sheet(d).SetActivePage(kGeneral);
    test::Click(d, "runOnStartupCheck");
    test::Click(d, "showToolTipsCheck");
    test::Click(d, "logDeletedCheck");
    test::Cancel(d);
  });
  Run();
  EXPECT_EQ(host.calls, (Calls{"StopSpeech", "SetBusy(1)", "ArmChecking", "RebuildList"}));
  EXPECT_TRUE(settings.options.ShowToolTip);
  EXPECT_FALSE(settings.options.LogDeleted);
  EXPECT_FALSE(std::filesystem::exists(entry));

  host.calls.clear();
  f.script.Then([](QDialog& d) {
    Sheet(d).SetActivePage(kGeneral);
    test::Click(d, "runOnStartupCheck");
    test::Click(d, "showToolTipsCheck");
    test::Click(d, "logDeletedCheck");
    test::Ok(d);
  });
  Run();
  EXPECT_EQ(host.calls, (Calls{"StopSpeech", "SetBusy(1)", "SaveSortDirection", "ClearTrayToolTip",
                               "SaveSettings", "ArmChecking", "RebuildList"}));
  EXPECT_TRUE(host.saved.options.RunOnStart);
  EXPECT_TRUE(host.saved.options.LogDeleted);
  EXPECT_FALSE(host.saved.options.ShowToolTip);
  EXPECT_NE(test::ReadFile(entry).find("\nExec=" + ExecutablePath() + "\n"), std::string::npos);

  f.script.Then([](QDialog& d) {
    Sheet(d).SetActivePage(kGeneral);
    test::Click(d, "runOnStartupCheck");
    test::Ok(d);
  });
  Run();
  EXPECT_FALSE(settings.options.RunOnStart);
  EXPECT_FALSE(std::filesystem::exists(entry));
}

TEST_F(PropertiesCommandTest, RememberedMailAndTheCountOfNewMessages) {
  f.script.Then([](QDialog& d) {
    Sheet(d).SetActivePage(kGeneral);
    EXPECT_FALSE(test::Checked(d, "rememberMailCheck"));
    EXPECT_FALSE(test::Enabled(d, "announceCountOverSpin"));
    test::Click(d, "rememberMailCheck");
    test::Click(d, "announceCountOverCheck");
    d.findChild<QSpinBox*>(QStringLiteral("announceCountOverSpin"))->setValue(2000);
    test::Ok(d);
  });
  Run();
  EXPECT_EQ(host.saved.options.RememberMail, "1");
  EXPECT_EQ(host.saved.options.AnnounceCountOver, "2000");

  f.script.Then([](QDialog& d) {
    Sheet(d).SetActivePage(kGeneral);
    EXPECT_TRUE(test::Checked(d, "rememberMailCheck"));
    EXPECT_EQ(d.findChild<QSpinBox*>(QStringLiteral("announceCountOverSpin"))->value(), 2000);
    test::Click(d, "rememberMailCheck");
    test::Click(d, "announceCountOverCheck");
    test::Ok(d);
  });
  Run();
  EXPECT_EQ(host.saved.options.RememberMail, "0");
  EXPECT_EQ(host.saved.options.AnnounceCountOver, "0");
}

TEST_F(PropertiesCommandTest, EnvelopeOptionsChangeTheOptionsAtOnce) {
  settings.options.ShowEnvelopeInfo = false;
  settings.options.AllEnvelopeInfo = "";
  f.script
      .Then([](QDialog& d) {
        Sheet(d).SetActivePage(kGeneral);
        EXPECT_FALSE(test::Enabled(d, "envelopeOptionsButton"));
        test::Click(d, "displayEnvelopeCheck");
        test::Click(d, "envelopeOptionsButton");
        test::Cancel(d);
      })
      .Then([](QDialog& d) {
        EXPECT_EQ(d.windowTitle().toStdString(), "Envelope Options");
        // The dialog shows what is stored: an empty select-all memory (a first
        // start) with no column chosen ticks nothing.
        EXPECT_FALSE(test::Checked(d, "selectAllCheck"));
        test::Click(d, "selectAllCheck");
        test::Click(d, "downButton");
        test::Ok(d);
      });
  Run();
  EXPECT_TRUE(f.script.Done());
  EXPECT_FALSE(settings.options.ShowEnvelopeInfo);
  EXPECT_EQ(settings.options.AllEnvelopeInfo, "1");
  EXPECT_EQ(settings.options.ColumnOrder,
            "from=0,subject=2,address=6,received=1,size=3,account=4,attachment=5,");
  EXPECT_EQ(settings.options.Received, 1);
  EXPECT_EQ(settings.options.From, 1);
  EXPECT_EQ(host.calls.back(), "RebuildList");
}

// A first start holds every value empty: adding the first account offers what
// a new user needs, ticked, and OK checks at once whatever the answer.
TEST_F(PropertiesCommandTest, TheFirstAccountComesWithTheStarterSettingsAndACheckAtOnce) {
  for (const bool accept : {true, false}) {
    settings = {};
    host.calls.clear();
    f.script
        .Then([](QDialog& d) {
          test::Click(d, "addButton");
          test::Ok(d);
        })
        .Then([](QDialog& d) {
          test::Type(d, "serverEdit", "pop.example.org");
          test::Type(d, "userEdit", "alice");
          test::Type(d, "passwordEdit", "secret");
          test::Ok(d);
        })
        .Then([accept](QDialog& d) {
          EXPECT_EQ(d.windowTitle().toStdString(), "Start Watching");
          for (const char* box : {"starterCheck", "starterList", "starterAnnounce",
                                  "starterRemember", "starterCount"}) {
            EXPECT_TRUE(test::Checked(d, box)) << box;
          }
          accept ? test::Ok(d) : test::Cancel(d);
        });
    Run();
    EXPECT_TRUE(f.script.Done());
    const AppOptions& o = host.saved.options;  // what reached the settings file
    EXPECT_EQ(o.CheckMail, accept ? 1 : 0);
    EXPECT_EQ(accept ? CheckPeriodSeconds(o) : std::nullopt,
              accept ? std::optional<long long>(300) : std::nullopt);
    EXPECT_EQ(o.ShowEnvelopeInfo, accept);
    EXPECT_EQ(OrderedFields(o, FieldSet::Columns).size(), accept ? 3u : 0u);
    EXPECT_EQ(o.From + o.Subject + o.Received, accept ? 3 : 0);
    EXPECT_EQ(o.SpeakFrom + o.SpeakSubject, accept ? 2 : 0);
    EXPECT_EQ(OrderedFields(o, FieldSet::Speech).size(), accept ? 2u : 0u);
    EXPECT_EQ(o.RememberMail + "/" + o.AnnounceCountOver, accept ? "1/10" : "/");
    EXPECT_EQ(host.calls.back(), "CheckSoon") << accept;
  }
  // With an account there, OK offers nothing and, nothing changed, checks nothing new.
  f.script.Then([](QDialog& d) { test::Ok(d); });
  Run();
  EXPECT_TRUE(f.script.Done());
  EXPECT_EQ(host.calls.back(), "RebuildList");
}

// Nothing of the account table leaves the sheet until OK.
TEST_F(PropertiesCommandTest, CancelBringsBackADeletedAccount) {
  MailAccount a;
  a.UserName = "kept";
  a.CheckMark = true;
  settings.accounts.push_back(a);
  settings.accounts.push_back(a);
  f.script.Then([](QDialog& d) {
    auto* tree = d.findChild<QTreeWidget*>(QStringLiteral("accountTree"));
    tree->setCurrentItem(tree->topLevelItem(0)->child(1));
    test::Click(d, "deleteButton");
    test::Cancel(d);
  });
  Run();
  EXPECT_EQ(settings.accounts.size(), 2u);
}

TEST_F(PropertiesCommandTest, OnlyOneSheetRunsAtATime) {
  f.script.Then([this](QDialog& d) {
    EXPECT_TRUE(command.SheetOpen());
    Run();  // from the tray menu while the sheet is open
    test::Cancel(d);
  });
  Run();
  EXPECT_EQ(f.script.shown, 1);
  EXPECT_FALSE(command.SheetOpen());
  EXPECT_EQ(host.calls,
            (Calls{"StopSpeech", "SetBusy(1)", "StopSpeech", "SetBusy(1)", "RebuildList"}));
}

TEST_F(PropertiesCommandTest, TheProgramsRunnerShowsTheSheetModally) {
  f.context.runDialog = ExecDialogRunner();
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* sheet = qobject_cast<PropertySheet*>(QApplication::activeModalWidget());
    seen = sheet && sheet->windowTitle() == QStringLiteral("Brindlecast Properties");
    if (sheet) {
      test::Ok(*sheet);
    }
  });
  Run();
  EXPECT_TRUE(seen);
  EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "SaveSettings"), host.calls.end());
}

// Suspend closes the sheet and the account sheet opened from it, as Cancel would.
TEST_F(PropertiesCommandTest, CloseSheetsEndsTheSheetAndTheSheetsOpenedFromIt) {
  f.context.runDialog = ExecDialogRunner();
  QString inner;
  QTimer::singleShot(0, [&] {
    auto* sheet = qobject_cast<PropertySheet*>(QApplication::activeModalWidget());
    ASSERT_NE(sheet, nullptr);
    auto* tree = sheet->findChild<QTreeWidget*>(QStringLiteral("accountTree"));
    tree->setCurrentItem(tree->topLevelItem(0));
    QTimer::singleShot(0, [&] {
      if (auto* top = qobject_cast<PropertySheet*>(QApplication::activeModalWidget())) {
        inner = top->windowTitle();
      }
      command.CloseSheets();
    });
    test::Click(*sheet, "addButton");
  });
  Run();
  EXPECT_EQ(inner, QStringLiteral("Account Properties"));
  EXPECT_FALSE(command.SheetOpen());
  EXPECT_TRUE(settings.accounts.empty());
  EXPECT_EQ(std::find(host.calls.begin(), host.calls.end(), "SaveSettings"), host.calls.end());
}

}  // namespace
}  // namespace bc
