#include "mail/envelope_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace bc {
namespace {

Envelope Make(const std::string& tag, long long id, const std::string& key) {
  Envelope e;
  e.from = "from " + tag;
  e.subject = "subject " + tag;
  e.messageId = std::to_string(id);
  e.messageKey = key;
  return e;
}

TEST(EnvelopeStoreTest, ClearEmptiesAndFindsFail) {
  EnvelopeStore store;
  store.Append(Make("a", 0, "<a@x>"));
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.FindByMessageId(0), -1);
  EXPECT_EQ(store.FindByMessageKey("<a@x>"), -1);
  EXPECT_EQ(store.Get(0), Envelope{});
}

TEST(EnvelopeStoreTest, CountOnlyCountsAndKeepsNothing) {
  EnvelopeStore store(EnvelopeStore::Keep::CountOnly);
  const Envelope a = Make("a", 0, "<a@x>");
  store.Append(a);
  store.Append(Make("b", 65536, "<b@x>"));
  EXPECT_EQ(store.Count(), 2);
  EXPECT_TRUE(store.Snapshot().empty());
  store.SetMessageId(1, "7");  // rows it does not keep are left alone
  EXPECT_EQ(store.Get(1), Envelope{});
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
}

TEST(EnvelopeStoreTest, FindsTakeTheFirstExactMatch) {
  EnvelopeStore store;
  store.Append(Make("account1", MakeMessageId(0, 1), "<same@x>"));
  store.Append(Make("msg1", MakeMessageId(1, 0), "<same@x>"));
  store.Append(Make("other", MakeMessageId(2, 0), "<same@x>x"));
  EXPECT_EQ(store.FindByMessageKey("<same@x>"), 0);
  EXPECT_EQ(store.FindByMessageKey("<SAME@x>"), -1);
  // 65536 is message index 1 of account 0, not account 1 (id 1).
  EXPECT_EQ(store.FindByMessageId(65536), 1);
  EXPECT_EQ(store.FindByMessageId(1), 0);
  EXPECT_EQ(MessageIndexOf(65536), 1);
  EXPECT_EQ(AccountIndexOf(65536), 0);
  EXPECT_EQ(MessageIndexOf(MakeMessageId(300, 19)), 300);
  EXPECT_EQ(AccountIndexOf(MakeMessageId(300, 19)), 19);
}

TEST(EnvelopeStoreTest, RemoveMovesLaterEntriesUp) {
  EnvelopeStore store;
  store.Append(Make("a", 0, "a"));
  store.Append(Make("b", 65536, "b"));
  store.Append(Make("c", 131072, "c"));
  store.Remove(1);
  store.Remove(7);  // out of range: nothing happens
  ASSERT_EQ(store.Count(), 2);
  EXPECT_EQ(store.Get(0).from, "from a");
  EXPECT_EQ(store.Get(1).from, "from c");
  store.SetMessageId(1, "65536");
  EXPECT_EQ(store.FindByMessageId(65536), 1);
}

// A reader on another thread only ever sees whole entries.
TEST(EnvelopeStoreTest, ReadersSeeWholeEntriesWhileAWorkerWrites) {
  EnvelopeStore store;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int round = 0; round < 200; ++round) {
      store.Clear();
      for (int i = 0; i < 50; ++i) {
        store.Append(Make(std::to_string(i), i, std::to_string(i)));
      }
      store.Remove(10);
    }
    done = true;
  });
  int checked = 0;
  while (!done) {
    for (const Envelope& e : store.Snapshot()) {
      ASSERT_EQ(e.from, "from " + e.messageKey);
      ASSERT_EQ(e.messageId, e.messageKey);
      ++checked;
    }
  }
  writer.join();
  EXPECT_EQ(store.Count(), 49);
  EXPECT_GE(checked, 0);
}

}  // namespace
}  // namespace bc
