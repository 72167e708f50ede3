#include "ui/props/sender_pages.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>

#include "props_test_util.h"
#include "ui/props/account_sheet.h"
#include "ui/props/sender_list_text.h"

namespace bc {
namespace {

enum Page { kServer = 0, kApproved = 1, kBlocked = 2, kFilter = 3 };

std::vector<std::string> Rows(QWidget& page) {
  std::vector<std::string> rows;
  auto* list = test::Find<QListWidget>(page, "senderList");
  for (int i = 0; list && i < list->count(); ++i) {
    rows.push_back(list->item(i)->text().toStdString());
  }
  return rows;
}

void SelectRow(QWidget& page, const std::string& text) {
  auto* list = test::Find<QListWidget>(page, "senderList");
  const auto found = list->findItems(QString::fromStdString(text), Qt::MatchExactly);
  ASSERT_EQ(found.size(), 1) << text;
  list->setCurrentItem(found[0]);
}

// Answers the "Sender Information" dialog with `text`.
test::DialogScript::Step Answer(const std::string& text) {
  return [text](QDialog& d) {
    EXPECT_EQ(d.windowTitle().toStdString(), "Sender Information");
    test::Type(d, "senderEdit", text);
    test::Ok(d);
  };
}

class SenderPagesTest : public ::testing::Test {
 protected:
  void Open(const MailAccount& account) {
    accounts.push_back(account);
    sheet = std::make_unique<AccountSheet>(f.context, accounts);
    sheet->FillFrom(0);
    sheet->Prepare();
    sheet->show();
  }

  MailAccount Stored() {
    sheet->accept();
    MailAccount stored = accounts[0];
    sheet->StoreInto(stored);
    return stored;
  }

  test::PropsFixture f;
  std::vector<MailAccount> accounts;
  std::unique_ptr<AccountSheet> sheet;
};

// Each check box of the list pages lands in its own value and no other.
TEST_F(SenderPagesTest, EachCheckBoxSetsItsOwnValue) {
  struct Row {
    Page page;
    const char* box;
    bool MailAccount::*value;
  };
  const Row rows[] = {{kApproved, "checkBox1", &MailAccount::ExclusiveApproved},
                      {kBlocked, "checkBox1", &MailAccount::DeleteBlocked},
                      {kFilter, "checkBox1", &MailAccount::FilterSubject},
                      {kFilter, "checkBox2", &MailAccount::FilterContent},
                      {kBlocked, "invalidSendersBox", &MailAccount::DeleteInvalidSenders}};
  for (const Row& row : rows) {
    MailAccount a;
    a.ApproveSender = "friend.org;";
    a.BlockSender = "junk.biz;";
    a.Filter = "casino;";
    a.DeleteInvalidSenders = false;
    accounts.clear();
    Open(a);
    sheet->SetActivePage(row.page);
    test::Click(*sheet->Page(row.page), row.box);
    const MailAccount stored = Stored();
    for (const Row& other : rows) {
      EXPECT_EQ(stored.*other.value, other.value == row.value)
          << row.box << " of page " << row.page;
    }
  }
}

TEST_F(SenderPagesTest, AnEntryMovedToOneListLeavesTheOtherOnceThatPageIsShownAgain) {
  MailAccount a;
  a.ApproveSender = "friend.org;";
  a.BlockSender = "example.com;junk.biz;";
  Open(a);
  sheet->SetActivePage(kBlocked);
  sheet->SetActivePage(kApproved);
  f.script.Then(Answer("example.com"));
  test::Click(*sheet->approved, "addButton");
  EXPECT_EQ(Rows(*sheet->approved), (std::vector<std::string>{"friend.org", "example.com"}));

  sheet->SetActivePage(kBlocked);
  EXPECT_EQ(Rows(*sheet->blocked), (std::vector<std::string>{"junk.biz"}));
  const MailAccount stored = Stored();
  EXPECT_EQ(stored.ApproveSender, "friend.org;example.com;");
  EXPECT_EQ(stored.BlockSender, "junk.biz;");
}

TEST_F(SenderPagesTest, AnOtherListNeverOpenedInTheSheetKeepsTheEntry) {
  MailAccount a;
  a.BlockSender = "example.com;";
  Open(a);
  sheet->SetActivePage(kApproved);
  f.script.Then(Answer("example.com"));
  test::Click(*sheet->approved, "addButton");
  // The blocked page opens from the account's list, which still has it.
  sheet->SetActivePage(kBlocked);
  EXPECT_EQ(Rows(*sheet->blocked), (std::vector<std::string>{"example.com"}));
  const MailAccount stored = Stored();
  EXPECT_EQ(stored.ApproveSender, "example.com;");
  EXPECT_EQ(stored.BlockSender, "example.com;");
}

TEST_F(SenderPagesTest, AddComparesWholeEntriesAndRefusesAFullList) {
  MailAccount a;
  a.Filter = "ab.com;";
  Open(a);
  sheet->SetActivePage(kFilter);
  f.script.Then(Answer("b.com")).Then(Answer("ab.com")).Then(Answer("")).Then(Answer("x;y"));
  for (int i = 0; i < 4; ++i) {
    test::Click(*sheet->filter, "addButton");
  }
  EXPECT_EQ(sheet->filter->listText, "ab.com;b.com;xy;");
  EXPECT_TRUE(f.prompt.messages.empty());

  // 1990 characters leave room for an 8-character entry and its ";", not for 9.
  sheet->filter->listText = std::string(1989, 'w') + ";";
  f.script.Then(Answer("123456789")).Then(Answer("12345678"));
  test::Click(*sheet->filter, "addButton");
  EXPECT_EQ(f.prompt.messages, (std::vector<std::string>{"There are too much items"}));
  test::Click(*sheet->filter, "addButton");
  EXPECT_EQ(sheet->filter->listText.size(), kMaxListText);
  EXPECT_EQ(f.prompt.messages.size(), 1u);
}

TEST_F(SenderPagesTest, EditReplacesTheWholeEntryAndAnEmptyEditRemovesIt) {
  MailAccount a;
  a.ApproveSender = "x.com;ab.com;b.com;";
  a.BlockSender = "new.com;";
  Open(a);
  sheet->SetActivePage(kBlocked);
  sheet->SetActivePage(kApproved);
  QWidget& page = *sheet->approved;

  SelectRow(page, "b.com");
  f.script.Then(Answer("new.com"));
  test::Click(page, "editButton");
  EXPECT_EQ(sheet->approved->listText, "x.com;ab.com;new.com;");
  EXPECT_EQ(Rows(page), (std::vector<std::string>{"ab.com", "new.com", "x.com"}));
  sheet->SetActivePage(kBlocked);
  EXPECT_TRUE(Rows(*sheet->blocked).empty());
  sheet->SetActivePage(kApproved);

  // Editing into an entry the list already has changes nothing.
  SelectRow(page, "x.com");
  f.script.Then(Answer("ab.com"));
  test::Click(page, "editButton");
  EXPECT_EQ(sheet->approved->listText, "x.com;ab.com;new.com;");

  // An empty edit takes the entry out; the entries after it stay in force.
  SelectRow(page, "ab.com");
  f.script.Then(Answer(""));
  test::Click(page, "editButton");
  EXPECT_EQ(sheet->approved->listText, "x.com;new.com;");
  EXPECT_EQ(Rows(page), (std::vector<std::string>{"new.com", "x.com"}));
  EXPECT_TRUE(f.script.Done());
}

TEST_F(SenderPagesTest, DeletingTheLastEntryDisablesTheBoxesButKeepsTheirState) {
  MailAccount a;
  a.Filter = "casino;";
  a.FilterSubject = true;
  a.FilterContent = false;
  Open(a);
  sheet->SetActivePage(kFilter);
  QWidget& page = *sheet->filter;
  EXPECT_TRUE(test::Enabled(page, "checkBox1"));
  EXPECT_FALSE(test::Enabled(page, "editButton"));
  SelectRow(page, "casino");
  EXPECT_TRUE(test::Enabled(page, "editButton"));
  test::Click(page, "deleteButton");
  EXPECT_EQ(sheet->filter->listText, "");
  EXPECT_FALSE(test::Enabled(page, "checkBox1"));
  EXPECT_FALSE(test::Enabled(page, "checkBox2"));
  EXPECT_TRUE(test::Checked(page, "checkBox1"));
  // Still enabled with nothing selected, and they do nothing.
  EXPECT_TRUE(test::Enabled(page, "editButton"));
  test::Click(page, "editButton");
  test::Click(page, "deleteButton");
  EXPECT_EQ(f.script.shown, 0);
  const MailAccount stored = Stored();
  EXPECT_TRUE(stored.FilterSubject);
  EXPECT_FALSE(stored.FilterContent);
  EXPECT_EQ(stored.Filter, "");
}

TEST_F(SenderPagesTest, NewEntriesGoLastUntilThePageIsShownAgain) {
  MailAccount a;
  a.BlockSender = "zeta.net;Alpha.org;";
  Open(a);
  sheet->SetActivePage(kBlocked);
  EXPECT_EQ(Rows(*sheet->blocked), (std::vector<std::string>{"Alpha.org", "zeta.net"}));
  EXPECT_TRUE(test::Enabled(*sheet->blocked, "checkBox1"));
  f.script.Then(Answer("beta.com"));
  test::Click(*sheet->blocked, "addButton");
  EXPECT_EQ(Rows(*sheet->blocked), (std::vector<std::string>{"Alpha.org", "zeta.net", "beta.com"}));
  sheet->SetActivePage(kServer);
  sheet->SetActivePage(kBlocked);
  EXPECT_EQ(Rows(*sheet->blocked), (std::vector<std::string>{"Alpha.org", "beta.com", "zeta.net"}));
}

}  // namespace
}  // namespace bc
