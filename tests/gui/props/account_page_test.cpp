#include "ui/props/account_page.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidgetItem>

#include "props_test_util.h"
#include "ui/check_tree.h"
#include "ui/props/account_sheet.h"

namespace bc {
namespace {

using test::Click;
using test::Text;
using test::Type;

MailAccount Account(const std::string& user, const std::string& server) {
  MailAccount a;
  a.UserName = user;
  a.POP3Server = server;
  a.POP3Port = 110;
  a.Passwd = "pw-" + user;
  a.RememberPasswd = true;
  a.ApproveSender = "friend@" + server + ";";
  a.BlockSender = "spam@" + server + ";";
  a.Filter = "offer;";
  a.CheckMark = true;
  return a;
}

class AccountPageTest : public ::testing::Test {
 protected:
  void Open() {
    page = new CPropAccount(f.context, accounts);
    sheet.AddPage(page, QStringLiteral("Account"));
    sheet.Prepare();
    sheet.show();
  }

  void Select(int entry) { page->tree()->setCurrentItem(page->root()->child(entry)); }

  test::PropsFixture f;
  std::vector<MailAccount> accounts;
  PropertySheet sheet{QStringLiteral("Brindlecast Properties")};
  CPropAccount* page = nullptr;
};

TEST_F(AccountPageTest, AddShowsTheSheetAgainUntilEveryFieldIsValidAndKeepsWhatWasTyped) {
  accounts.push_back(Account("first", "pop.one.example"));
  Open();
  f.script
      .Then([](QDialog& d) {
        // Every field empty but the port's default: shown again, no message.
        EXPECT_EQ(Text(d, "portEdit"), "110");
        EXPECT_EQ(Text(d, "serverEdit"), "");
        Type(d, "portEdit", "");
        test::Ok(d);
      })
      .Then([](QDialog& d) {
        EXPECT_EQ(Text(d, "portEdit"), "");
        Type(d, "serverEdit", "pop.two.example");
        Type(d, "portEdit", "0");
        Type(d, "userEdit", "second");
        Type(d, "passwordEdit", "pw2");
        Click(d, "alertCheck");
        Type(d, "percentEdit", "90");
        test::Ok(d);
      })
      .Then([](QDialog& d) {
        EXPECT_EQ(Text(d, "serverEdit"), "pop.two.example");
        EXPECT_EQ(Text(d, "portEdit"), "0");
        EXPECT_EQ(Text(d, "userEdit"), "second");
        EXPECT_EQ(Text(d, "passwordEdit"), "pw2");
        EXPECT_EQ(Text(d, "percentEdit"), "90");
        Type(d, "portEdit", "65536");
        test::Ok(d);
      })
      .Then([](QDialog& d) {
        // A valid port but no password: shown again without a word.
        Type(d, "portEdit", "110");
        Type(d, "passwordEdit", "");
        test::Ok(d);
      })
      .Then([](QDialog& d) {
        Type(d, "passwordEdit", "pw2");
        test::Ok(d);
      });

  Click(*page, "addButton");

  EXPECT_TRUE(f.script.Done());
  EXPECT_EQ(f.prompt.messages,
            (std::vector<std::string>{"Port field must be a number between 1 to 65535",
                                      "Port field must be a number between 1 to 65535"}));
  ASSERT_EQ(accounts.size(), 2u);
  const MailAccount& added = accounts[1];
  EXPECT_EQ(added.POP3Server, "pop.two.example");
  EXPECT_EQ(added.POP3Port, "110");
  EXPECT_EQ(added.UserName, "second");
  EXPECT_EQ(added.Passwd, "pw2");
  EXPECT_TRUE(added.RememberPasswd);
  EXPECT_TRUE(added.MailCap);
  EXPECT_EQ(added.MailCapValue, "10");
  EXPECT_EQ(added.MailCapUnit, "MB");
  EXPECT_EQ(added.Perentage, "90");
  EXPECT_TRUE(added.CheckMark);
  EXPECT_EQ(accounts[0].UserName, "first");
  ASSERT_EQ(page->root()->childCount(), 2);
  EXPECT_EQ(page->root()->child(1)->text(0).toStdString(), "second");
  EXPECT_EQ(CCheckTreeCtrl::CheckOf(page->root()->child(1)), CCheckTreeCtrl::kChecked);
  // The count reaches the file at once; the record follows with the next save.
  EXPECT_EQ(f.Stored(kAccountsKey, "Users"), "2");
}

TEST_F(AccountPageTest, AddWithAnEmptyPortReturnsToTheServerPageAndCancelAddsNothing) {
  Open();
  f.script
      .Then([](QDialog& d) {
        auto& accountSheet = static_cast<PropertySheet&>(d);
        Type(d, "serverEdit", "pop.example");
        Type(d, "portEdit", "");
        accountSheet.SetActivePage(2);
        test::Ok(d);
      })
      .Then([](QDialog& d) {
        EXPECT_EQ(static_cast<PropertySheet&>(d).ActiveIndex(), 0);
        test::Cancel(d);
      });
  Click(*page, "addButton");
  EXPECT_TRUE(f.script.Done());
  EXPECT_TRUE(accounts.empty());
  EXPECT_EQ(page->root()->childCount(), 0);
}

TEST_F(AccountPageTest, ATwentyFirstAccountIsRefused) {
  for (int i = 0; i < kMaxAccounts; ++i) {
    accounts.push_back(Account("user" + std::to_string(i), "pop.example"));
  }
  Open();
  Click(*page, "addButton");
  EXPECT_EQ(f.script.shown, 0);
  ASSERT_EQ(f.prompt.messages.size(), 1u);
  EXPECT_NE(f.prompt.messages[0].find("20"), std::string::npos);
  EXPECT_EQ(accounts.size(), static_cast<size_t>(kMaxAccounts));
}

TEST_F(AccountPageTest, EditWithRememberOffKeepsTheSessionPasswordTypable) {
  MailAccount a = Account("forgetful", "pop.example");
  a.RememberPasswd = false;
  a.Passwd = "typed-this-session";
  accounts.push_back(a);
  Open();
  Select(0);
  f.script.Then([](QDialog& d) {
    EXPECT_EQ(Text(d, "passwordEdit"), "typed-this-session");
    EXPECT_TRUE(test::Enabled(d, "passwordEdit"));
    Type(d, "passwordEdit", "typed-again");
    test::Find<QCheckBox>(d, "rememberCheck")->click();  // on and off again
    test::Find<QCheckBox>(d, "rememberCheck")->click();
    EXPECT_TRUE(test::Enabled(d, "passwordEdit"));
    Type(d, "userEdit", "renamed");
    test::Ok(d);
  });
  Click(*page, "editButton");
  EXPECT_EQ(accounts[0].Passwd, "typed-again");
  EXPECT_FALSE(accounts[0].RememberPasswd);
  EXPECT_EQ(accounts[0].UserName, "renamed");
  EXPECT_EQ(accounts[0].ApproveSender, a.ApproveSender);
  EXPECT_EQ(page->root()->child(0)->text(0).toStdString(), "renamed");
}

TEST_F(AccountPageTest, EditKeepsSecurityPortAndTrustChoices) {
  accounts.push_back(Account("tls", "pop.example"));
  Open();
  Select(0);
  f.prompt.chosenFile = "/etc/ssl/private-ca.pem";
  f.script.Then([](QDialog& d) {
    auto* security = test::Find<QComboBox>(d, "securityCombo");
    security->setCurrentIndex(1);
    EXPECT_EQ(Text(d, "portEdit"), "995");
    security->setCurrentIndex(2);
    EXPECT_EQ(Text(d, "portEdit"), "110");
    auto* protocol = test::Find<QComboBox>(d, "protocolCombo");
    // The server row names the protocol, to the eye and to a screen reader,
    // and keeps its access key.
    const auto serverRow = [&] {
      return test::Find<QLabel>(d, "serverEditLabel")->text().toStdString() + " / " +
             test::Find<QLineEdit>(d, "serverEdit")->accessibleName().toStdString();
    };
    EXPECT_EQ(serverRow(), "&Incoming Mail Server (POP3): / Incoming Mail Server (POP3)");
    protocol->setCurrentIndex(1);
    EXPECT_EQ(serverRow(), "&Incoming Mail Server (IMAP): / Incoming Mail Server (IMAP)");
    EXPECT_EQ(Text(d, "portEdit"), "143");
    security->setCurrentIndex(1);
    EXPECT_EQ(Text(d, "portEdit"), "993");
    security->setCurrentIndex(2);
    EXPECT_EQ(Text(d, "portEdit"), "143");
    // A port the user typed is left alone.
    Type(d, "portEdit", "1110");
    security->setCurrentIndex(1);
    EXPECT_EQ(Text(d, "portEdit"), "1110");
    Click(d, "caFileBrowse");
    Type(d, "fingerprintEdit", "AB:CD");
    test::Ok(d);
  });
  Click(*page, "editButton");
  EXPECT_EQ(accounts[0].Security, "1");
  EXPECT_EQ(accounts[0].Protocol, "IMAP");
  EXPECT_EQ(accounts[0].POP3Port, "1110");
  EXPECT_EQ(accounts[0].CAFile, "/etc/ssl/private-ca.pem");
  EXPECT_EQ(accounts[0].CertFingerprint, "AB:CD");
}

// A Security text that names no choice shows none and survives OK, so the
// account goes on failing with its reason instead of sending in plain text.
TEST_F(AccountPageTest, UnknownSecurityShowsNoChoiceAndStaysUntilOneIsPicked) {
  const char* texts[] = {"STARTTLS", "02"};
  for (const char* text : texts) {
    accounts.push_back(Account(text, "pop.example"));
    accounts.back().Security = StoredSecurity::FromText(text);
  }
  Open();
  for (int i = 0; i < 2; ++i) {
    for (const bool pick : {false, true}) {
      Select(i);
      f.script.Then([pick](QDialog& d) {
        auto* security = test::Find<QComboBox>(d, "securityCombo");
        EXPECT_EQ(security->currentIndex(), -1);
        if (pick) {
          security->setCurrentIndex(2);
        }
        test::Ok(d);
      });
      Click(*page, "editButton");
      EXPECT_EQ(accounts[i].Security, pick ? "2" : texts[i]);
    }
  }
}

TEST_F(AccountPageTest, AlertOfAnExistingAccountSwitchesAtOnceEvenWhenCancelled) {
  MailAccount a = Account("capped", "pop.example");
  a.MailCapValue = "";
  a.MailCapUnit = "";
  a.Perentage = "";
  accounts.push_back(a);
  Open();
  Select(0);
  f.script.Then([](QDialog& d) {
    EXPECT_FALSE(test::Enabled(d, "capacityEdit"));
    Click(d, "alertCheck");
    EXPECT_EQ(Text(d, "capacityEdit"), "10");
    EXPECT_EQ(Text(d, "percentEdit"), "80");
    EXPECT_EQ(test::Find<QComboBox>(d, "unitCombo")->currentText().toStdString(), "B");
    EXPECT_TRUE(test::Enabled(d, "unitCombo"));
    test::Cancel(d);
  });
  Click(*page, "editButton");
  EXPECT_TRUE(accounts[0].MailCap);
  EXPECT_EQ(accounts[0].MailCapValue, "");
}

TEST_F(AccountPageTest, DeletingTheFirstOfTwoLeavesTheSecondWhole) {
  accounts.push_back(Account("first", "pop.one.example"));
  MailAccount second = Account("second", "pop.two.example");
  second.CheckMark = false;
  second.Filter = "casino;lottery;";
  accounts.push_back(second);
  Open();
  Select(0);
  Click(*page, "deleteButton");
  ASSERT_EQ(accounts.size(), 1u);
  EXPECT_EQ(accounts[0], second);
  ASSERT_EQ(page->root()->childCount(), 1);
  EXPECT_EQ(page->root()->child(0)->text(0).toStdString(), "second");
}

TEST_F(AccountPageTest, EntriesStandForTheirOwnAccountEvenWhenNamesRepeat) {
  accounts.push_back(Account("same", "pop.one.example"));
  accounts.push_back(Account("same", "pop.two.example"));
  Open();
  Select(1);
  f.script.Then([](QDialog& d) {
    EXPECT_EQ(Text(d, "serverEdit"), "pop.two.example");
    test::Cancel(d);
  });
  Click(*page, "editButton");
  Click(*page, "deleteButton");
  ASSERT_EQ(accounts.size(), 1u);
  EXPECT_EQ(accounts[0].POP3Server, "pop.one.example");
}

TEST_F(AccountPageTest, EditAndDeleteWithoutASelectionSayWhy) {
  accounts.push_back(Account("one", "pop.example"));
  Open();
  EXPECT_FALSE(test::Enabled(*page, "editButton"));
  EXPECT_TRUE(test::Enabled(*page, "addButton"));
  page->Edit();
  page->Delete();
  EXPECT_EQ(f.prompt.messages, (std::vector<std::string>{"There is no item be selected",
                                                         "There is no item be selected"}));
  Select(0);
  EXPECT_FALSE(test::Enabled(*page, "addButton"));
  EXPECT_TRUE(test::Enabled(*page, "deleteButton"));
  page->tree()->setCurrentItem(page->root());
  EXPECT_TRUE(test::Enabled(*page, "addButton"));
  EXPECT_FALSE(test::Enabled(*page, "editButton"));
  EXPECT_EQ(accounts.size(), 1u);
}

TEST_F(AccountPageTest, ClickOrSpaceOnAnAccountBoxSetsItsCheckMark) {
  accounts.push_back(Account("one", "pop.example"));
  accounts.push_back(Account("two", "pop.example"));
  Open();
  CCheckTreeCtrl* tree = page->tree();
  QTreeWidgetItem* second = page->root()->child(1);
  const QRect row = tree->visualItemRect(second);
  QPoint box;
  for (int x = row.left(); x <= row.right() && box.isNull(); ++x) {
    if (tree->CheckBoxAt(QPoint(x, row.center().y())) == second) {
      box = QPoint(x, row.center().y());
    }
  }
  ASSERT_FALSE(box.isNull());
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, box);
  EXPECT_TRUE(accounts[0].CheckMark);
  EXPECT_FALSE(accounts[1].CheckMark);

  Select(0);
  QTest::keyClick(tree, Qt::Key_Space);
  EXPECT_FALSE(accounts[0].CheckMark);
  EXPECT_FALSE(accounts[1].CheckMark);
  QTest::keyClick(tree, Qt::Key_Space);
  EXPECT_TRUE(accounts[0].CheckMark);
}

// Where the password is kept, and what an edit does to it. (The tests run with
// the keyring switched off; the keyring tests cover the keyring itself.)
TEST_F(AccountPageTest, ServerPageSaysWhereThePasswordIsKept) {
  struct Row {
    bool remember;
    bool inKeyring;
    const char* edit;  // typed into the named box, or nullptr
    const char* box;
    const char* home;
    bool stillInKeyring;
  } rows[] = {
      {true, false, nullptr, nullptr, "Kept in the settings file", false},
      {false, false, nullptr, nullptr, "Not kept after Brindlecast ends", false},
      {true, true, nullptr, nullptr, "Kept in the desktop keyring", true},
      // A new password, or the old one under a new key, must reach the keyring
      // again: the mark goes, so the save writes it and the move follows.
      {true, true, "new-password", "passwordEdit", "Kept in the desktop keyring", false},
      {true, true, "pop.moved.example", "serverEdit", "Kept in the desktop keyring", false},
  };
  MailAccount a = Account("kept", "pop.example");
  accounts.push_back(a);
  Open();
  for (const Row& row : rows) {
    accounts[0] = a;
    accounts[0].RememberPasswd = row.remember;
    accounts[0].PasswdInKeyring = row.inKeyring;
    Select(0);
    f.script.Then([&row](QDialog& d) {
      EXPECT_EQ(test::Find<QLabel>(d, "passwordHomeLabel")->text().toStdString(), row.home);
      if (row.edit) {
        Type(d, row.box, row.edit);
      }
      test::Ok(d);
    });
    Click(*page, "editButton");
    EXPECT_EQ(accounts[0].PasswdInKeyring, row.stillInKeyring)
        << row.home << " " << (row.edit ? row.edit : "");
  }
}

}  // namespace
}  // namespace bc
