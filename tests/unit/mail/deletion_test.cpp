#include "mail/deletion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "support/fake_transport.h"
#include "support/manual_clock.h"
#include "support/test_env.h"

namespace bc {
namespace {

using test::FakeTransport;

// The list's selection, by messageId, renumbered as the list would be.
class Selection final : public DeletionRows {
 public:
  explicit Selection(std::vector<long long> selected) : ids(std::move(selected)) {}
  std::optional<long long> FirstSelectedMessageId() override {
    if (ids.empty()) {
      return std::nullopt;
    }
    return ids.front();
  }
  void RemoveRow(long long id) override { std::erase(ids, id); }
  void RenumberRows(int account, int deleted) override {
    for (long long& id : ids) {
      if (AccountIndexOf(id) == account && MessageIndexOf(id) > deleted) {
        id = MakeMessageId(MessageIndexOf(id) - 1, account);
      }
    }
  }
  std::vector<long long> ids;
};

class DeletionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    for (const char* user : {"jsmith", "other"}) {
      MailAccount account;
      account.UserName = user;
      account.Passwd = "pw";
      account.POP3Port = 110;
      settings_.accounts.push_back(account);
    }
    environment_.clock = &clock_;
    environment_.deletedLogDir = dir_.File("Log");
    environment_.makeTransport = [this](const MailAccount& account) {
      sessions_.emplace_back();
      auto transport = std::make_unique<FakeTransport>(sessions_.back());
      if (unreachable_ == account.UserName) {
        transport->openFails = true;
      }
      for (const std::string& reply : replies_[account.UserName].front()) {
        transport->Serve(reply);
      }
      replies_[account.UserName].pop_front();
      return transport;
    };
  }

  void AddRow(int account, int index) {
    Envelope e;
    e.from = "From " + std::to_string(account) + "/" + std::to_string(index);
    e.subject = "Subject";
    e.address = "a@b.com";
    e.received = "2005/02/01 10:00:00";
    e.size = "1.000 KB";
    e.account = settings_.accounts[static_cast<size_t>(account)].UserName;
    e.messageId = std::to_string(MakeMessageId(index, account));
    e.messageKey = "<" + std::to_string(account) + "." + std::to_string(index) + "@x>";
    e.uniqueId = "uid-" + std::to_string(account) + "-" + std::to_string(index);
    store_.Append(e);
  }

  // The reply to TOP n 0 for the message of row (account, index).
  static std::string Headers(int account, int index) {
    return "+OK\r\nMessage-ID: <" + std::to_string(account) + "." + std::to_string(index) +
           "@x>\r\n\r\n.\r\n";
  }

  // One deleting session: login, UIDL n answered with the row's uid, TOP n 0
  // with its headers, DELE, QUIT.
  void ExpectSession(const std::string& user, int number, int account, int index) {
    replies_[user].push_back({"+OK\r\n", "+OK\r\n", "+OK\r\n",
                              "+OK " + std::to_string(number) + " uid-" + std::to_string(account) +
                                  "-" + std::to_string(index) + "\r\n",
                              Headers(account, index), "+OK deleted\r\n", "+OK bye\r\n"});
  }

  std::vector<std::string> RowIds() {
    std::vector<std::string> ids;
    for (const Envelope& e : store_.Snapshot()) {
      ids.push_back(e.messageId);
    }
    return ids;
  }

  test::TempDir dir_;
  test::ManualClock clock_{1107259200};  // 1 February 2005, noon UTC
  Settings settings_;
  EnvelopeStore store_;
  MailEnvironment environment_;
  std::map<std::string, std::deque<std::vector<std::string>>> replies_;
  std::deque<FakeTransport::Log> sessions_;
  std::string unreachable_;
};

TEST_F(DeletionTest, LaterRowsOfTheSameAccountMoveDown) {
  AddRow(0, 0);
  AddRow(0, 1);
  AddRow(0, 2);
  AddRow(1, 1);
  ExpectSession("jsmith", 2, 0, 1);
  Selection rows({MakeMessageId(1, 0)});
  EXPECT_EQ(DeleteSelected(settings_, store_, rows, environment_), 1);
  ASSERT_EQ(sessions_.size(), 1u);
  EXPECT_EQ(sessions_[0].sent, "USER jsmith\r\nPASS pw\r\nUIDL 2\r\nTOP 2 0\r\nDELE 2\r\nQUIT\r\n");
  EXPECT_EQ(RowIds(),
            (std::vector<std::string>{"0", "65536", std::to_string(MakeMessageId(1, 1))}));
  EXPECT_EQ(store_.Get(1).from, "From 0/2");
}

TEST_F(DeletionTest, TwoRowsOfOneAccountEachInItsOwnSession) {
  for (int i = 0; i < 5; ++i) {
    AddRow(0, i);
  }
  settings_.options.LogDeleted = true;
  ExpectSession("jsmith", 2, 0, 1);
  // After the first QUIT the server calls the old message 4 number 3.
  ExpectSession("jsmith", 3, 0, 3);
  Selection rows({MakeMessageId(1, 0), MakeMessageId(3, 0)});
  EXPECT_EQ(DeleteSelected(settings_, store_, rows, environment_), 2);
  ASSERT_EQ(sessions_.size(), 2u);
  EXPECT_NE(sessions_[0].sent.find("DELE 2\r\n"), std::string::npos);
  EXPECT_NE(sessions_[1].sent.find("UIDL 3\r\nTOP 3 0\r\nDELE 3\r\n"), std::string::npos);
  EXPECT_EQ(RowIds(), (std::vector<std::string>{"0", "65536", "131072"}));
  const std::string log = test::ReadFile(dir_.File("Log/jsmith2005-2-1.log"));
  EXPECT_EQ(log,
            "From 0/1  Subject  a@b.com  2005/02/01 10:00:00  1.000 KB  jsmith\n"
            "From 0/3  Subject  a@b.com  2005/02/01 10:00:00  1.000 KB  jsmith\n");
}

TEST_F(DeletionTest, UnreachableServerDropsTheRowOnly) {
  AddRow(0, 0);
  AddRow(0, 1);
  AddRow(0, 2);
  settings_.options.LogDeleted = true;
  unreachable_ = "jsmith";
  replies_["jsmith"].push_back({});
  Selection rows({MakeMessageId(1, 0)});
  EXPECT_EQ(DeleteSelected(settings_, store_, rows, environment_), 0);
  EXPECT_EQ(RowIds(), (std::vector<std::string>{"0", "131072"}));  // (0,2) keeps index 2
  EXPECT_TRUE(rows.ids.empty());
  EXPECT_EQ(test::ReadFile(dir_.File("Log/jsmith2005-2-1.log")), "");
}

TEST_F(DeletionTest, AnotherMessageUnderTheNumberIsNotDeleted) {
  struct Row {
    const char* name;
    std::vector<std::string> replies;  // after the login
    const char* sent;                  // after the login
  };
  for (const Row& row :
       {Row{"another id", {"+OK 2 uid-someone-else\r\n", "+OK bye\r\n"}, "UIDL 2\r\nQUIT\r\n"},
        // The id still matches, but the headers are another message's.
        Row{"another text",
            {"+OK 2 uid-0-1\r\n", Headers(0, 0), "+OK bye\r\n"},
            "UIDL 2\r\nTOP 2 0\r\nQUIT\r\n"}}) {
    SCOPED_TRACE(row.name);
    store_.Clear();
    sessions_.clear();
    AddRow(0, 0);
    AddRow(0, 1);
    std::vector<std::string> replies{"+OK\r\n", "+OK\r\n", "+OK\r\n"};
    replies.insert(replies.end(), row.replies.begin(), row.replies.end());
    replies_["jsmith"].push_back(replies);
    std::vector<DeleteOutcome> outcomes;
    Selection rows({MakeMessageId(1, 0)});
    EXPECT_EQ(
        DeleteSelected(settings_, store_, rows, environment_,
                       [&](const Envelope&, const DeleteOutcome& o) { outcomes.push_back(o); }),
        0);
    EXPECT_EQ(sessions_[0].sent, std::string("USER jsmith\r\nPASS pw\r\n") + row.sent);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].refused);
  }
}

TEST_F(DeletionTest, WithoutUniqueIdsTheHeadersIdentifyTheMessage) {
  AddRow(0, 0);
  Envelope e = store_.Get(0);
  store_.Clear();
  e.uniqueId.clear();
  store_.Append(e);
  replies_["jsmith"].push_back({"+OK\r\n", "+OK\r\n", "+OK\r\n",
                                "+OK\r\nMessage-ID: <0.0@x>\r\nFrom: x@y.z\r\n\r\n.\r\n",
                                "+OK deleted\r\n", "+OK bye\r\n"});
  const DeleteOutcome outcome = DeleteMessage(0, settings_, store_, environment_);
  EXPECT_TRUE(outcome.deleted) << outcome.error;
  EXPECT_EQ(sessions_[0].sent, "USER jsmith\r\nPASS pw\r\nTOP 1 0\r\nDELE 1\r\nQUIT\r\n");
}

TEST_F(DeletionTest, RefusedDeleStillQuitsAndLogsNothing) {
  AddRow(0, 0);
  settings_.options.LogDeleted = true;
  replies_["jsmith"].push_back({"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 uid-0-0\r\n", Headers(0, 0),
                                "-ERR locked\r\n", "+OK bye\r\n"});
  const DeleteOutcome outcome = DeleteMessage(0, settings_, store_, environment_);
  EXPECT_FALSE(outcome.deleted);
  EXPECT_EQ(sessions_[0].sent, "USER jsmith\r\nPASS pw\r\nUIDL 1\r\nTOP 1 0\r\nDELE 1\r\nQUIT\r\n");
  EXPECT_EQ(test::ReadFile(dir_.File("Log/jsmith2005-2-1.log")), "");
}

}  // namespace
}  // namespace bc
