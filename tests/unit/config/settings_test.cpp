#include "config/settings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "config/settings_store.h"
#include "support/test_env.h"

namespace bc {
namespace {

using test::RecordingPrompt;
using test::TempDir;

class SettingsTest : public ::testing::Test {
 protected:
  std::string Path() const { return dir_.File("Quenmark/Brindlecast.conf"); }

  // The file's raw value, invalid when it does not exist.
  QVariant Raw(const char* key) const {
    QSettings raw(QString::fromStdString(Path()), QSettings::IniFormat);
    return raw.value(QString::fromLatin1(key));
  }

  void Seed(std::initializer_list<std::pair<const char*, const char*>> values) {
    QSettings raw(QString::fromStdString(Path()), QSettings::IniFormat);
    for (const auto& [key, value] : values) {
      raw.setValue(QString::fromLatin1(key), QString::fromLatin1(value));
    }
  }

  Settings Load() {
    SettingsStore store(Path(), prompt_);
    return LoadSettings(store);
  }

  void Save(const Settings& settings) {
    SettingsStore store(Path(), prompt_);
    ASSERT_TRUE(SaveSettings(store, settings));
  }

  TempDir dir_;
  RecordingPrompt prompt_;
};

TEST_F(SettingsTest, FirstStartCreatesEveryValueEmpty) {
  const Settings s = Load();
  EXPECT_TRUE(s.accounts.empty());
  EXPECT_EQ(s.options.CheckMail, 0);
  EXPECT_EQ(s.options.ColumnOrder, kDefaultColumnOrder);
  EXPECT_EQ(s.options.SpeakOrder, kDefaultSpeakOrder);

  const char* created[] = {"UserAccounts/Users",
                           "From",
                           "Subject",
                           "Address",
                           "Received",
                           "Account",
                           "size",
                           "Attachment",
                           "RunOnStart",
                           "ShowEnvelopeInfo",
                           "ShowToolTip",
                           "LogDeleted",
                           "Freq",
                           "FreqUnit",
                           "wavFile",
                           "NotificationMethod",
                           "CheckMail",
                           "CheckLines",
                           "ComboLines",
                           "NoticeStyle",
                           "Speak/SpeakFrom",
                           "Speak/SpeakSubject",
                           "Speak/SpeakAddress",
                           "Speak/SpeakReceived",
                           "Speak/SpeakSize",
                           "Speak/SpeakAccount",
                           "Speak/SpeakAttachment",
                           "Speak/SpeakContent",
                           "AllEnvelopeInfo",
                           "AllSpeakInfo",
                           "ColumnOrder",
                           "Speak/SpeakOrder"};
  for (const char* key : created) {
    const QVariant value = Raw(key);
    EXPECT_TRUE(value.isValid()) << key << " was not created";
    EXPECT_EQ(value.toString(), QString()) << key << " is not empty";
  }
  EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(SettingsTest, UsersCountBeyondStoredRecordsLoadsEmptyAccounts) {
  Seed({{"UserAccounts/Users", "3"},
        {"UserAccounts/user1/UserName", "alice"},
        {"UserAccounts/user1/POP3Server", "pop.example.com"},
        {"UserAccounts/user1/CheckMark", "1"},
        {"UserAccounts/user2/UserName", "bob"}});
  const Settings s = Load();
  ASSERT_EQ(s.accounts.size(), 3u);
  EXPECT_EQ(s.accounts[0].UserName, "alice");
  EXPECT_TRUE(s.accounts[0].CheckMark);
  EXPECT_EQ(s.accounts[1].UserName, "bob");
  EXPECT_EQ(s.accounts[2].UserName, "");
  EXPECT_EQ(s.accounts[2].POP3Server, "");
  EXPECT_FALSE(s.accounts[2].CheckMark);
  // An existing file is the user's: a load fills in what it lacks in memory only.
  EXPECT_FALSE(Raw("UserAccounts/user3/POP3Server").isValid());
  EXPECT_TRUE(s.accounts[2].DeleteInvalidSenders);  // not stored: on
}

TEST_F(SettingsTest, MoreThanTwentyUsersLoadTwenty) {
  Seed({{"UserAccounts/Users", "25"}});
  EXPECT_EQ(Load().accounts.size(), 20u);
}

TEST_F(SettingsTest, FlagConversions) {
  Seed({{"UserAccounts/Users", "4"},
        {"UserAccounts/user1/CheckMark", "2"},
        {"UserAccounts/user2/CheckMark", " 1"},
        {"UserAccounts/user3/CheckMark", "1"},
        {"UserAccounts/user1/MailCap", "2"},
        {"UserAccounts/user2/MailCap", "0"},
        {"UserAccounts/user3/MailCap", "yes"},
        {"LogDeleted", " 1"},
        {"From", "abc"},
        {"Subject", "2"}});
  const Settings s = Load();
  EXPECT_FALSE(s.accounts[0].CheckMark);  // "2": only exactly "1" is on
  EXPECT_FALSE(s.accounts[1].CheckMark);  // " 1"
  EXPECT_TRUE(s.accounts[2].CheckMark);
  EXPECT_FALSE(s.accounts[3].CheckMark);  // empty
  EXPECT_TRUE(s.accounts[0].MailCap);     // any int but 0 is on
  EXPECT_FALSE(s.accounts[1].MailCap);
  EXPECT_FALSE(s.accounts[2].MailCap);  // non-numeric is 0
  EXPECT_TRUE(s.options.LogDeleted);
  EXPECT_EQ(s.options.From, 0);
  EXPECT_EQ(s.options.Subject, 2);
}

TEST_F(SettingsTest, PercentageDefaultsInMemoryOnlyUntilTheNextSave) {
  Seed({{"UserAccounts/Users", "1"}});
  Settings s = Load();
  EXPECT_EQ(s.accounts[0].Perentage, "80");
  EXPECT_EQ(s.accounts[0].Security, "0");
  EXPECT_EQ(Raw("UserAccounts/user1/Perentage").toString(), QString());
  Save(s);
  EXPECT_EQ(Raw("UserAccounts/user1/Perentage").toString(), QStringLiteral("80"));
  EXPECT_EQ(Raw("UserAccounts/user1/Security").toString(), QStringLiteral("0"));
}

TEST_F(SettingsTest, PasswordIsStoredOnlyWhenRemembered) {
  Settings s;
  s.accounts.resize(2);
  s.accounts[0].UserName = "forgetful";
  s.accounts[0].Passwd = "hunter2";
  s.accounts[0].RememberPasswd = false;
  s.accounts[1].UserName = "keeper";
  s.accounts[1].Passwd = "s3cret";
  s.accounts[1].RememberPasswd = true;
  Save(s);
  EXPECT_EQ(Raw("UserAccounts/user1/Passwd").toString(), QString());
  EXPECT_EQ(Raw("UserAccounts/user2/Passwd").toString(), QStringLiteral("s3cret"));
  const Settings back = Load();
  EXPECT_EQ(back.accounts[0].Passwd, "");
  EXPECT_EQ(back.accounts[1].Passwd, "s3cret");
}

TEST_F(SettingsTest, EveryValueRoundTrips) {
  Settings s;
  AppOptions& o = s.options;
  o.From = 1;
  o.Subject = 1;
  o.Address = 0;
  o.Received = 1;
  o.size = 1;
  o.Account = 0;
  o.Attachment = 1;
  o.RunOnStart = true;
  o.ShowEnvelopeInfo = true;
  o.ShowToolTip = true;
  o.LogDeleted = true;
  o.Freq = "5";
  o.FreqUnit = FreqUnit::Minutes;
  o.wavFile = "/usr/share/sounds/mail.wav";
  o.NotificationMethod = 1;
  o.CheckMail = 1;
  o.CheckLines = 1;
  o.ComboLines = "All";
  o.NoticeStyle = "2";  // unknown: kept as stored
  o.SpeakFrom = 1;
  o.SpeakSubject = 1;
  o.SpeakAddress = 1;
  o.SpeakReceived = 0;
  o.SpeakSize = 1;
  o.SpeakAccount = 0;
  o.SpeakAttachment = 1;
  o.SpeakContent = 1;
  o.AllEnvelopeInfo = "1";
  o.AllSpeakInfo = "0";
  o.ColumnOrder = "from=0,subject=1,address=2,received=3,size=4,account=5,attachment=6,";
  o.SpeakOrder = "from=7,subject=6,address=5,received=4,size=3,account=2,attachment=1,content=0,";
  MailAccount a;
  a.IncomingAuthentication = true;
  a.MailCap = true;
  a.MailCapUnit = "MB";
  a.MailCapValue = "100";
  a.UserName = "alice";
  a.Passwd = "pw;=,\"x";
  a.POP3Server = "pop.example.com";
  a.POP3Port = 995;
  a.RememberPasswd = true;
  a.ApproveSender = "friend@example.com;";
  a.BlockSender = "spam@example.com;";
  a.FilterSubject = true;
  a.FilterContent = true;
  a.Filter = "viagra;lottery;";
  a.ExclusiveApproved = true;
  a.DeleteBlocked = true;
  a.Perentage = "90";
  a.CheckMark = true;
  a.Security = Security::Tls;
  a.CAFile = "/etc/ssl/private-ca.pem";
  a.CertFingerprint = "AB:CD";
  s.accounts = {a, MailAccount{}};
  Save(s);
  EXPECT_EQ(Load(), s);
  EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(SettingsTest, RecordsOfRemovedAccountsAreLeftAlone) {
  Settings s;
  s.accounts.resize(2);
  s.accounts[0].UserName = "first";
  s.accounts[1].UserName = "second";
  Save(s);
  s.accounts.pop_back();
  Save(s);
  EXPECT_EQ(Raw("UserAccounts/Users").toString(), QStringLiteral("1"));
  EXPECT_EQ(Raw("UserAccounts/user2/UserName").toString(), QStringLiteral("second"));
  const Settings back = Load();
  ASSERT_EQ(back.accounts.size(), 1u);
  EXPECT_EQ(back.accounts[0].UserName, "first");
}

// A file the program wrote before its fields came from one table: odd texts
// (';', '#', quotes, backslashes, non-ASCII, Security "02", an empty port, an
// unknown FreqUnit) load as they were and save byte for byte the same.
TEST_F(SettingsTest, FileWrittenBeforeTheTableRoundTrips) {
  const std::string fixture = std::string(BC_TEST_DATA_DIR) + "/settings/written_before_table.conf";
  QFile original(QString::fromStdString(fixture));
  ASSERT_TRUE(original.open(QIODevice::ReadOnly));
  const QByteArray before = original.readAll();
  ASSERT_TRUE(QDir().mkpath(QFileInfo(QString::fromStdString(Path())).path()));
  ASSERT_TRUE(QFile::copy(QString::fromStdString(fixture), QString::fromStdString(Path())));
  QFile::setPermissions(QString::fromStdString(Path()), QFile::ReadOwner | QFile::WriteOwner);

  const Settings s = Load();
  EXPECT_EQ(s.options.size, -3);
  EXPECT_EQ(s.options.Freq, "07");
  EXPECT_EQ(s.options.FreqUnit, "9");
  EXPECT_EQ(s.options.wavFile, "/home/zo\u00eb/sounds/new mail;#1.wav");
  EXPECT_EQ(s.options.SpeakOrder, "from=3,subject=x,");
  ASSERT_EQ(s.accounts.size(), 3u);
  const MailAccount& a = s.accounts[0];
  EXPECT_EQ(a.Passwd, "p\\a\"s;s#w=o'rd");
  EXPECT_EQ(a.ApproveSender, "ann@example.org;\"Bob, Jr\" <bob@x.org>;#hash@x.org");
  EXPECT_EQ(a.BlockSender, "spam@x.org;C:\\path\\to;\u00fcn\u00ef@c\u00f6d\u00e9.de");
  EXPECT_EQ(a.Security, "02");
  EXPECT_EQ(a.POP3Port, "");
  EXPECT_TRUE(a.CheckMark);
  EXPECT_FALSE(a.DeleteInvalidSenders);
  EXPECT_EQ(s.accounts[1].ApproveSender, " leading and trailing ");
  EXPECT_EQ(s.accounts[1].Perentage, kDefaultPercentage);
  EXPECT_FALSE(s.accounts[1].RememberPasswd);
  EXPECT_EQ(s.accounts[2].Filter, "line1\nline2\ttab");
  EXPECT_EQ(s.accounts[2].Security, "2");

  // Saved into a new file, so that a value the table forgot cannot hide behind
  // the copy it would otherwise leave untouched.
  const std::string fresh = dir_.File("fresh/Brindlecast.conf");
  {
    SettingsStore store(fresh, prompt_);
    ASSERT_TRUE(SaveSettings(store, s));
  }
  QFile saved(QString::fromStdString(fresh));
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll(), before);
  EXPECT_TRUE(prompt_.messages.empty());
}

// Port, Security and FreqUnit are typed, yet text typed by hand reads back as it
// was: a text naming no value stays that text (an unknown Security still fails
// its account), and only a value the program sets writes the canonical text.
TEST_F(SettingsTest, TypedValuesKeepTheTextTheyWereStoredAs) {
  struct Row {
    const char* text;  // stored as port, Security and FreqUnit alike
    int port;
    std::optional<Security> security;
    std::optional<FreqUnit> unit;
  };
  const Row rows[] = {
      {"0110", 110, std::nullopt, std::nullopt},   {" 110", 110, std::nullopt, std::nullopt},
      {"", 0, Security::None, std::nullopt},  // Security "" reads and writes as "0"
      {"02", 2, std::nullopt, std::nullopt},       {"9", 9, std::nullopt, std::nullopt},
      {"STARTTLS", 0, std::nullopt, std::nullopt}, {"2", 2, Security::StartTls, FreqUnit::Hours},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    Seed({{"UserAccounts/Users", "1"},
          {"UserAccounts/user1/POP3Port", row.text},
          {"UserAccounts/user1/Security", row.text},
          {"FreqUnit", row.text}});
    const Settings s = Load();
    EXPECT_EQ(s.accounts[0].POP3Port.value(), row.port);
    EXPECT_EQ(s.accounts[0].Security.value(), row.security);
    EXPECT_EQ(s.options.FreqUnit.value(), row.unit);
    EXPECT_EQ(CheckPeriodSeconds(s.options).has_value(), row.unit.has_value());
    Save(s);
    const QString text = QString::fromLatin1(row.text);
    EXPECT_EQ(Raw("UserAccounts/user1/POP3Port").toString(), text);
    EXPECT_EQ(Raw("UserAccounts/user1/Security").toString(),
              text.isEmpty() ? QStringLiteral("0") : text);
    EXPECT_EQ(Raw("FreqUnit").toString(), text);
  }

  Settings s = Load();
  s.accounts[0].POP3Port = 110;
  s.accounts[0].Security = Security::Tls;
  s.options.FreqUnit = FreqUnit::Minutes;
  Save(s);
  EXPECT_EQ(Raw("UserAccounts/user1/POP3Port").toString(), QStringLiteral("110"));
  EXPECT_EQ(Raw("UserAccounts/user1/Security").toString(), QStringLiteral("1"));
  EXPECT_EQ(Raw("FreqUnit").toString(), QStringLiteral("1"));
}

TEST(CheckPeriodTest, FromFreqAndUnit) {
  AppOptions o;
  o.Freq = "5";
  o.FreqUnit = FreqUnit::Minutes;
  EXPECT_EQ(CheckPeriodSeconds(o), 300);
  o.FreqUnit = FreqUnit::Seconds;
  EXPECT_EQ(CheckPeriodSeconds(o), 5);
  o.FreqUnit = FreqUnit::Hours;
  o.Freq = "2";
  EXPECT_EQ(CheckPeriodSeconds(o), 7200);
  o.FreqUnit = StoredFreqUnit::FromText("");
  EXPECT_EQ(CheckPeriodSeconds(o), std::nullopt);  // the caller keeps its period
  o.FreqUnit = StoredFreqUnit::FromText("3");
  EXPECT_EQ(CheckPeriodSeconds(o), std::nullopt);
  o.FreqUnit = FreqUnit::Minutes;
  o.Freq = "";
  EXPECT_EQ(CheckPeriodSeconds(o), 0);
}

}  // namespace
}  // namespace bc
