#include <gtest/gtest.h>

#include <QAccessible>

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <array>
#include <atomic>
#include <thread>

#include "config/settings_store.h"
#include "mail/check_cycle.h"
#include "mail/deletion.h"
#include "mail/pop3_transport.h"
#include "support/fake_mailbox.h"
#include "support/test_env.h"
#include "ui/pages/email_list.h"
#include "ui/pages/envelope_table_model.h"

namespace bc {
namespace {

class EmailListTest : public ::testing::Test {
 protected:
  EmailListTest() : settings_(dir_.File("Brindlecast.conf"), prompt_) {
    options_.From = options_.Subject = options_.Address = options_.Received = options_.size =
        options_.Account = options_.Attachment = 1;
    options_.ShowEnvelopeInfo = true;
  }

  EmailList& List() {
    if (!list_) {
      list_ = std::make_unique<EmailList>(store_, settings_);
      list_->resize(700, 400);
      list_->show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(list_.get()));
    }
    return *list_;
  }

  Envelope Make(const std::string& from, const std::string& subject, int account = 0,
                const std::string& size = "1.000 KB") {
    const int index = nextIndex_[account]++;
    Envelope e;
    e.from = from;
    e.subject = subject;
    e.size = size;
    e.address = from + "@example.com";
    e.received = "2005/02/01 10:00:0" + std::to_string(index % 10);
    e.account = account == 0 ? "jsmith" : "other";
    e.attachment = "0";
    e.messageId = std::to_string(MakeMessageId(index, account));
    e.messageKey = "<" + std::to_string(account) + "." + std::to_string(index) + "@example.com>";
    e.uniqueId = "uid-" + std::to_string(account) + "-" + std::to_string(index);
    return e;
  }
  void Add(const std::string& from, const std::string& subject, int account = 0,
           const std::string& size = "1.000 KB") {
    store_.Append(Make(from, subject, account, size));
  }

  QStringList Headings() {
    QStringList headings;
    const EnvelopeTableModel* model = List().model();
    for (int c = 0; c < model->columnCount(); ++c) {
      headings << model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    return headings;
  }
  int ColumnOf(const QString& heading) { return static_cast<int>(Headings().indexOf(heading)); }
  QStringList Column(const QString& heading) {
    QStringList texts;
    for (int r = 0; r < List().RowCount(); ++r) {
      texts << List().model()->Text(r, ColumnOf(heading));
    }
    return texts;
  }
  void ClickHeader(const QString& heading, Qt::KeyboardModifiers keys = {}) {
    QHeaderView* header = List().view()->horizontalHeader();
    const int column = ColumnOf(heading);
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, keys, at);
  }
  long long IdOf(const QString& subject) {
    for (const Envelope& e : store_.Snapshot()) {
      if (QString::fromStdString(e.subject) == subject) {
        return std::stoll(e.messageId);
      }
    }
    return -1;
  }

  test::TempDir dir_;
  test::RecordingPrompt prompt_;
  SettingsStore settings_;
  EnvelopeStore store_;
  AppOptions options_;
  std::map<int, int> nextIndex_;
  std::unique_ptr<EmailList> list_;
};

TEST_F(EmailListTest, ColumnsFollowFlagsAndOrder) {
  Add("Ann", "Hello");
  Add("Bob", "Agenda");
  List().Rebuild(options_);
  EXPECT_EQ(Headings(), (QStringList{QStringLiteral("Received"), QStringLiteral("From"),
                                     QStringLiteral("Subject"), QStringLiteral("Size"),
                                     QStringLiteral("Account"), QStringLiteral("Attachment"),
                                     QStringLiteral("Address")}));
  // Row k shows entry k, carries its messageId, and row 0 starts selected.
  ASSERT_EQ(List().RowCount(), 2);
  EXPECT_EQ(Column(QStringLiteral("From")),
            (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));
  EXPECT_EQ(List().model()->index(1, 0).data(Qt::UserRole).toLongLong(), MakeMessageId(1, 0));
  EXPECT_EQ(List().SelectedMessageIds(), std::vector<long long>{MakeMessageId(0, 0)});

  options_.size = 0;
  options_.ColumnOrder = "from=0,subject=1,address=2,received=9,size=3,account=4,attachment=4,";
  List().Rebuild(options_);
  // Received sits out of range; Account and Attachment share a place, in field order.
  EXPECT_EQ(Headings(), (QStringList{QStringLiteral("From"), QStringLiteral("Subject"),
                                     QStringLiteral("Address"), QStringLiteral("Account"),
                                     QStringLiteral("Attachment")}));

  EXPECT_TRUE(List().emptyHint()->isHidden());
  options_.ShowEnvelopeInfo = false;
  List().Rebuild(options_);
  EXPECT_EQ(List().model()->columnCount(), 0);
  EXPECT_EQ(List().RowCount(), 0);
  EXPECT_TRUE(List().SelectedMessageIds().empty());
  // The empty list says why it is empty.
  EXPECT_FALSE(List().emptyHint()->isHidden());
  EXPECT_EQ(List().emptyHint()->text(), QString::fromLatin1(kEnvelopeDisplayOffHint));

  options_.ShowEnvelopeInfo = true;
  options_.From = options_.Subject = options_.Address = options_.Received = options_.Account =
      options_.Attachment = 0;
  List().Rebuild(options_);
  EXPECT_EQ(List().RowCount(), 0);
  EXPECT_EQ(List().emptyHint()->text(), QString::fromLatin1(kNoColumnsHint));
}

// Each reason is a plain-text line in the Tab order with "Edit Account..."
// beside it; to a screen reader the box is a notification.
TEST_F(EmailListTest, ReasonsOfFailedAccountsShowUnderTheListAsPlainText) {
  CheckProblemsBox* box = List().problemsLine();
  EXPECT_TRUE(box->isHidden());
  List().SetCheckProblems(
      {{0, "The server refused the password for alice (-ERR <b>Authentication</b> failed.)"},
       {3, std::string(500, 'x')}});
  EXPECT_FALSE(box->isHidden());
  ASSERT_EQ(box->lines().size(), 2);
  EXPECT_EQ(box->lines()[0]->textFormat(), Qt::PlainText);
  EXPECT_EQ(box->lines()[0]->text(), QStringLiteral("The server refused the password for alice "
                                                    "(-ERR <b>Authentication</b> failed.)"));
  EXPECT_LT(box->lines()[1]->text().size(), 310);  // server text is cut
  EXPECT_EQ(box->lines()[0]->focusPolicy(), Qt::StrongFocus);
  EXPECT_TRUE(box->lines()[0]->textInteractionFlags().testFlag(Qt::TextSelectableByKeyboard));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(box)->role(), QAccessible::Notification);
  std::vector<int> edited;
  QObject::connect(box, &CheckProblemsBox::EditAccountRequested,
                   [&](int index) { edited.push_back(index); });
  ASSERT_EQ(box->editButtons().size(), 2);
  box->editButtons()[1]->click();
  EXPECT_EQ(edited, std::vector<int>{3});
  List().SetCheckProblems({});
  EXPECT_TRUE(box->isHidden());
}

TEST_F(EmailListTest, WidthsAreKeptAcrossRebuildsAndStored) {
  settings_.WriteValue("", "subjectWidth", "250");
  settings_.WriteValue("", "fromWidth", "0");
  settings_.WriteValue("", "addressWidth", "wide");
  ASSERT_TRUE(settings_.Commit());
  Add("Ann", "Hello");
  List().Rebuild(options_);
  QHeaderView* header = List().view()->horizontalHeader();
  EXPECT_EQ(header->sectionSize(ColumnOf(QStringLiteral("Subject"))), 250);
  EXPECT_EQ(header->sectionSize(ColumnOf(QStringLiteral("From"))), 100);
  EXPECT_EQ(header->sectionSize(ColumnOf(QStringLiteral("Address"))), 100);
  EXPECT_EQ(header->sectionSize(ColumnOf(QStringLiteral("Received"))), 100);

  // The user drags the Subject column wider; the next check keeps it.
  header->resizeSection(ColumnOf(QStringLiteral("Subject")), 321);
  List().Rebuild(options_);
  EXPECT_EQ(header->sectionSize(ColumnOf(QStringLiteral("Subject"))), 321);

  // A column taken away and brought back keeps its width too.
  options_.Subject = 0;
  List().Rebuild(options_);
  options_.Subject = 1;
  List().Rebuild(options_);
  EXPECT_EQ(header->sectionSize(ColumnOf(QStringLiteral("Subject"))), 321);

  // The widths reached the settings file.
  test::RecordingPrompt otherPrompt;
  SettingsStore reread(dir_.File("Brindlecast.conf"), otherPrompt);
  EXPECT_EQ(reread.ReadValue("", "subjectWidth"), "321");
  EXPECT_EQ(reread.ReadValue("", "fromWidth"), "100");
  EXPECT_EQ(reread.ReadValue("", "attachmentWidth"), "100");
  EXPECT_TRUE(prompt_.messages.empty());
}

TEST_F(EmailListTest, SubjectSortsUpThenDownAndComesBackAfterACheck) {
  Add("A", "banana");
  Add("B", "Apple");
  Add("C", "cherry");
  Add("D", "apple");
  List().Rebuild(options_);
  ClickHeader(QStringLiteral("Subject"));
  // Letter case does not count; equal texts keep their order.
  EXPECT_EQ(Column(QStringLiteral("Subject")),
            (QStringList{QStringLiteral("Apple"), QStringLiteral("apple"), QStringLiteral("banana"),
                         QStringLiteral("cherry")}));
  ClickHeader(QStringLiteral("Subject"));
  EXPECT_EQ(Column(QStringLiteral("Subject")),
            (QStringList{QStringLiteral("cherry"), QStringLiteral("banana"),
                         QStringLiteral("Apple"), QStringLiteral("apple")}));
  // The header shows which column sorts, and which way.
  const QHeaderView* header = List().view()->horizontalHeader();
  EXPECT_TRUE(header->isSortIndicatorShown());
  EXPECT_EQ(header->sortIndicatorSection(), ColumnOf(QStringLiteral("Subject")));
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

  // The next check brings other rows; they come back sorted the same way.
  store_.Clear();
  Add("E", "delta");
  Add("F", "Echo");
  Add("G", "alpha");
  List().Rebuild(options_);
  EXPECT_EQ(
      Column(QStringLiteral("Subject")),
      (QStringList{QStringLiteral("Echo"), QStringLiteral("delta"), QStringLiteral("alpha")}));

  // Still so when the property sheet moves the Subject column elsewhere.
  List().SaveSortDirection();
  options_.ColumnOrder = "from=1,subject=6,address=2,received=0,size=3,account=4,attachment=5,";
  List().Rebuild(options_);
  EXPECT_EQ(ColumnOf(QStringLiteral("Subject")), 6);
  EXPECT_EQ(
      Column(QStringLiteral("Subject")),
      (QStringList{QStringLiteral("Echo"), QStringLiteral("delta"), QStringLiteral("alpha")}));
  // And the next click on it goes the other way.
  ClickHeader(QStringLiteral("Subject"));
  EXPECT_EQ(
      Column(QStringLiteral("Subject")),
      (QStringList{QStringLiteral("alpha"), QStringLiteral("delta"), QStringLiteral("Echo")}));
}

TEST_F(EmailListTest, TextsSortAsTextWithoutRegardToCase) {
  Add("zoe", "s1", 0, "9.000 KB");
  Add("ÉCOLE", "s2", 0, "10.000 KB");
  Add("Zeta", "s3", 0, "100.000 KB");
  Add("école", "s4", 0, "2.500 KB");
  List().Rebuild(options_);
  ClickHeader(QStringLiteral("Size"));
  EXPECT_EQ(Column(QStringLiteral("Size")),
            (QStringList{QStringLiteral("10.000 KB"), QStringLiteral("100.000 KB"),
                         QStringLiteral("2.500 KB"), QStringLiteral("9.000 KB")}));
  ClickHeader(QStringLiteral("From"));
  const QStringList from = Column(QStringLiteral("From"));
  // Accented capitals fold like plain ones: the two spellings of one word sit
  // together in list order.
  EXPECT_EQ(from.indexOf(QStringLiteral("école")), from.indexOf(QStringLiteral("ÉCOLE")) + 1);
  EXPECT_EQ(from.indexOf(QStringLiteral("Zeta")), from.indexOf(QStringLiteral("zoe")) - 1);
}

TEST_F(EmailListTest, SelectionFollowsTheMessagesThroughASort) {
  Add("A", "delta");
  Add("B", "alpha");
  Add("C", "charlie");
  Add("D", "bravo");
  List().Rebuild(options_);
  List().SelectOnly(0);  // delta
  List().view()->selectionModel()->select(List().model()->index(2, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
  ClickHeader(QStringLiteral("Subject"));
  ASSERT_EQ(Column(QStringLiteral("Subject"))[3], QStringLiteral("delta"));
  // Ascending row order: charlie (row 2) before delta (row 3).
  EXPECT_EQ(List().SelectedMessageIds(), (std::vector<long long>{IdOf(QStringLiteral("charlie")),
                                                                 IdOf(QStringLiteral("delta"))}));
  EXPECT_EQ(List().FirstSelectedMessageId(), IdOf(QStringLiteral("charlie")));
}

TEST_F(EmailListTest, CtrlClicksSortBySeveralColumns) {
  Add("b", "x");
  Add("a", "y");
  Add("a", "x");
  Add("b", "y");
  List().Rebuild(options_);
  const auto rows = [&] {
    QStringList r;
    for (int i = 0; i < List().RowCount(); ++i) {
      r << List().model()->Text(i, ColumnOf(QStringLiteral("From"))) +
               List().model()->Text(i, ColumnOf(QStringLiteral("Subject")));
    }
    return r.join(QLatin1Char(' '));
  };
  ClickHeader(QStringLiteral("From"));
  EXPECT_EQ(rows(), QStringLiteral("ay ax bx by"));
  // From's bit was flipped by its click, so it now runs downwards; the Ctrl-
  // clicked Subject reads its clear bit as descending and orders within From.
  ClickHeader(QStringLiteral("Subject"), Qt::ControlModifier);
  EXPECT_EQ(rows(), QStringLiteral("by bx ay ax"));
  ClickHeader(QStringLiteral("Subject"), Qt::ControlModifier);
  EXPECT_EQ(rows(), QStringLiteral("bx by ax ay"));
  // A plain click starts over with one column.
  ClickHeader(QStringLiteral("Subject"));
  EXPECT_EQ(List().sortState().sortColumns(),
            std::vector<int>{ColumnOf(QStringLiteral("Subject"))});
  EXPECT_EQ(rows(), QStringLiteral("bx ax by ay"));
}

TEST_F(EmailListTest, MouseClicksReportTheSelectedCountKeysDoNot) {
  Add("A", "one");
  Add("B", "two");
  List().Rebuild(options_);
  QSignalSpy clicks(&List(), &EmailList::Clicked);
  EmailTableView* view = List().view();
  const QPoint row1 = view->visualRect(List().model()->index(1, 0)).center();

  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, row1);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, row1);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                    QPoint(10, view->viewport()->height() - 5));
  ASSERT_EQ(clicks.count(), 3);
  EXPECT_EQ(clicks[0][0].toInt(), 1);
  EXPECT_EQ(clicks[1][0].toInt(), 0);  // Ctrl took the only selected row away
  EXPECT_EQ(clicks[2][0].toInt(), 0);  // below the rows: nothing selected, still reported

  view->setFocus();
  QTest::keyClick(view, Qt::Key_Down);
  QTest::keyClick(view, Qt::Key_Up);
  EXPECT_EQ(clicks.count(), 3);
  EXPECT_EQ(List().SelectedCount(), 1);
}

TEST_F(EmailListTest, MoveSelectionKeepsAChosenPlayButFollowsReadAll) {
  for (const char* s : {"a", "b", "c"}) {
    Add("X", s);
  }
  List().Rebuild(options_);
  List().SelectAll();
  List().MoveSelection(1, /*playActive=*/true, /*readAll=*/false);
  EXPECT_EQ(List().SelectedCount(), 3);
  List().MoveSelection(1, true, true);
  EXPECT_EQ(List().SelectedMessageIds(), std::vector<long long>{MakeMessageId(1, 0)});
  List().MoveSelection(2, false, false);
  EXPECT_EQ(List().SelectedMessageIds(), std::vector<long long>{MakeMessageId(2, 0)});
  // The voice finished the last row: there is no row after it.
  List().MoveSelection(3, false, false);
  EXPECT_EQ(List().SelectedCount(), 0);
}

TEST_F(EmailListTest, APassAppendsRowsAndItsRebuildSortsThem) {
  Add("A", "old");
  List().Rebuild(options_);
  ClickHeader(QStringLiteral("Subject"));

  store_.Clear();
  List().Clear();
  EXPECT_EQ(List().RowCount(), 0);
  for (const char* subject : {"zeta", "alpha", "mid"}) {
    const Envelope e = Make("P", subject);
    store_.Append(e);
    List().AppendEnvelope(store_.Count() - 1, e);
  }
  // Shown as they arrive; the message selected before is gone, so none is.
  EXPECT_EQ(Column(QStringLiteral("Subject")),
            (QStringList{QStringLiteral("zeta"), QStringLiteral("alpha"), QStringLiteral("mid")}));
  EXPECT_TRUE(List().SelectedMessageIds().empty());

  // A call that arrives after its successors were stored (one went missing):
  // the rows catch up with the store, and nothing shows twice.
  store_.Append(Make("P", "lost"));
  const Envelope late = Make("P", "late");
  store_.Append(late);
  List().AppendEnvelope(4, late);
  List().AppendEnvelope(4, late);
  EXPECT_EQ(List().RowCount(), 5);
  // A row that leaves with its store entry (a deletion, a message expunged
  // elsewhere while the account idles): a row appended after it still shows.
  List().RemoveRow(std::stoll(store_.Get(3).messageId));
  store_.Remove(3);
  const Envelope after = Make("P", "after");
  store_.Append(after);
  List().AppendEnvelope(store_.Count() - 1, after);
  EXPECT_EQ(List().RowCount(), 5);

  List().SetAccountsProgress(1, 2);
  List().SetEmailsProgress(0, 0);
  EXPECT_EQ(List().accountsBar()->value(), 1);
  EXPECT_EQ(List().emailsBar()->value(), 0);

  List().Rebuild(options_);
  EXPECT_EQ(Column(QStringLiteral("Subject")),
            (QStringList{QStringLiteral("after"), QStringLiteral("alpha"), QStringLiteral("late"),
                         QStringLiteral("mid"), QStringLiteral("zeta")}));
}

// A pass over the same mailbox: the store is filled again in the same order.
TEST_F(EmailListTest, APassKeepsTheSelectedMessagesAndTheScrollPosition) {
  const auto pass = [&](const std::vector<Envelope>& mailbox) {
    List().Clear();
    store_.Clear();
    for (const Envelope& e : mailbox) {
      store_.Append(e);
      List().AppendEnvelope(store_.Count() - 1, e);
    }
    List().Rebuild(options_);
  };
  std::vector<Envelope> mailbox;
  for (int i = 0; i < 60; ++i) {
    mailbox.push_back(Make("S" + std::to_string(i), "m" + std::to_string(100 + i)));
  }
  pass(mailbox);  // the first fill selects the first row
  EXPECT_EQ(List().SelectedMessageIds(), std::vector<long long>{IdOf(QStringLiteral("m100"))});
  ClickHeader(QStringLiteral("Subject"));
  ClickHeader(QStringLiteral("Subject"));  // descending: rows are not in store order
  List().SelectOnly(40);
  List().view()->selectionModel()->select(List().model()->index(45, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
  const std::vector<long long> chosen = List().SelectedMessageIds();
  List().view()->scrollTo(List().model()->index(40, 0), QAbstractItemView::PositionAtTop);
  const int top = List().view()->rowAt(0);
  ASSERT_GT(top, 0);

  pass(mailbox);
  EXPECT_EQ(List().SelectedMessageIds(), chosen);
  EXPECT_EQ(List().view()->rowAt(0), top);
  EXPECT_EQ(List().SelectionSummary(1), "S19: m119\nand 1 more");
  const std::set<std::string> keys = List().SelectedKeys();
  List().SelectOnly(0);
  List().SelectKeys(keys);
  EXPECT_EQ(List().SelectedMessageIds(), chosen);

  // One chosen message is gone: the other stays, nothing takes its place.
  mailbox.erase(mailbox.begin() + 19);
  pass(mailbox);
  ASSERT_EQ(List().SelectedCount(), 1);
  EXPECT_EQ(List().SelectionSummary(5), "S14: m114");
  mailbox.erase(mailbox.begin() + 14);
  pass(mailbox);
  EXPECT_EQ(List().SelectedCount(), 0);
}

TEST_F(EmailListTest, SubjectTakesTheFreeWidthAndKeepsTheUsersOwn) {
  options_.Address = options_.Received = options_.size = options_.Account = options_.Attachment = 0;
  Add("Ann", "Hello");
  List().Rebuild(options_);
  QHeaderView* header = List().view()->horizontalHeader();
  const int subject = ColumnOf(QStringLiteral("Subject"));
  EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1), List().view()->viewport()->width());
  header->resizeSection(ColumnOf(QStringLiteral("From")), 150);  // the user widens From
  List().Rebuild(options_);
  EXPECT_EQ(header->sectionSize(ColumnOf(QStringLiteral("From"))), 150);
  EXPECT_EQ(header->sectionSize(subject) + 150, List().view()->viewport()->width());
  // Stored as the user set it, not as it is stretched.
  EXPECT_EQ(settings_.ReadValue("", "subjectWidth"), "100");
}

TEST_F(EmailListTest, DeleteWorkerRemovesAndRenumbersRowsFromItsThread) {
  Settings settings;
  settings.options = options_;
  for (const char* user : {"jsmith", "other"}) {
    MailAccount account;
    account.UserName = user;
    account.Passwd = "pw";
    account.POP3Server = "pop.example.com";
    account.POP3Port = 110;
    settings.accounts.push_back(account);
  }
  std::array<test::FakeMailbox, 2> mailboxes;
  for (int account : {0, 1}) {
    for (int i = 0; i < (account == 0 ? 4 : 2); ++i) {
      Add((account == 0 ? "jsmith" : "other") + std::to_string(i),
          (account == 0 ? "s" : "t") + std::to_string(i), account);
      const std::string a = std::to_string(account), n = std::to_string(i);
      mailboxes[account].messages.push_back(
          {"Message-ID: <" + a + "." + n + "@example.com>\r\n\r\n", "uid-" + a + "-" + n});
    }
  }
  const auto uids = [&](int account) {
    std::vector<std::string> left;
    for (const test::FakeMailbox::Message& m : mailboxes[account].messages) {
      left.push_back(m.uid);
    }
    return left;
  };
  MailEnvironment environment;
  environment.makeTransport = [&](const MailAccount& account) {
    return mailboxes[account.UserName == "jsmith" ? 0 : 1].Connect();
  };
  List().Rebuild(options_);
  ClickHeader(QStringLiteral("From"));
  ClickHeader(QStringLiteral("From"));  // descending: rows no longer in store order
  List().view()->clearSelection();
  for (const char* from : {"jsmith1", "jsmith2", "other0"}) {
    const int row =
        static_cast<int>(Column(QStringLiteral("From")).indexOf(QString::fromLatin1(from)));
    List().view()->selectionModel()->select(
        List().model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

  std::atomic<bool> done = false;
  int deleted = 0;
  std::thread worker([&] {
    deleted = DeleteSelected(settings, store_, List(), environment);
    done = true;
  });
  while (!done) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  worker.join();

  EXPECT_EQ(deleted, 3);
  EXPECT_EQ(uids(0), (std::vector<std::string>{"uid-0-0", "uid-0-3"}));
  EXPECT_EQ(uids(1), (std::vector<std::string>{"uid-1-1"}));
  EXPECT_EQ(Column(QStringLiteral("From")),
            (QStringList{QStringLiteral("other1"), QStringLiteral("jsmith3"),
                         QStringLiteral("jsmith0")}));
  // Every row still names its own message, numbered as the server numbers it now.
  ASSERT_EQ(store_.Count(), 3);
  for (int row = 0; row < List().RowCount(); ++row) {
    const long long id = List().model()->MessageIdAt(row);
    const int entry = store_.FindByMessageId(id);
    ASSERT_GE(entry, 0);
    EXPECT_EQ(QString::fromStdString(store_.Get(entry).from),
              List().model()->Text(row, ColumnOf(QStringLiteral("From"))));
  }
  EXPECT_EQ(List().model()->MessageIdAt(1), MakeMessageId(1, 0));  // jsmith3 was number 4
  EXPECT_EQ(List().model()->MessageIdAt(0), MakeMessageId(0, 1));  // other1 was number 2
  EXPECT_EQ(List().FirstSelectedMessageId(), std::nullopt);        // asked on the UI thread itself
}

}  // namespace
}  // namespace bc
