#include "antispam/spam_classifier.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

TEST(SpamRules, ValidAddress) {
  EXPECT_EQ(IsValidAddress("joe@example.com"), 0);
  EXPECT_EQ(IsValidAddress("first.last@localhost"), 0);  // the dot may come first
  EXPECT_EQ(IsValidAddress("root@localhost"), -1);
  EXPECT_EQ(IsValidAddress("example.com"), -1);
  EXPECT_EQ(IsValidAddress(""), -1);
}

TEST(SpamRules, SenderListEntries) {
  for (const char* list : {"example.com;", "@example.com;", "*@example.com;"}) {
    SCOPED_TRACE(list);
    EXPECT_EQ(MatchSenderList(list, "anyone@example.com"), 0);
    EXPECT_EQ(MatchSenderList(list, "Anyone@EXAMPLE.com"), 0);
    EXPECT_EQ(MatchSenderList(list, "anyone@mail.example.com"), -1);  // no subdomains
    EXPECT_EQ(MatchSenderList(list, "anyone@example.community"), -1);
  }
  EXPECT_EQ(MatchSenderList("joe@example.com;", "JOE@Example.COM"), 0);
  EXPECT_EQ(MatchSenderList("joe@example.com;", "jo@example.com"), -1);
  EXPECT_EQ(MatchSenderList("joe@example.com;", "joe"), -1);
  EXPECT_EQ(MatchSenderList("jörg@example.de;", "JÖRG@example.de"), 0);
}

TEST(SpamRules, ListWalkEndsAtTheLastSemicolonAndAtEmptyEntries) {
  EXPECT_EQ(MatchSenderList("joe@example.com", "joe@example.com"), -1);
  EXPECT_EQ(MatchSenderList("a@x.org;joe@example.com", "joe@example.com"), -1);
  EXPECT_EQ(MatchSenderList("a@x.org;joe@example.com;", "joe@example.com"), 0);
  EXPECT_EQ(MatchSenderList("a@x.org;;joe@example.com;", "joe@example.com"), -1);
  EXPECT_EQ(MatchSenderList("", "joe@example.com"), -1);
}

TEST(SpamRules, FilterEntriesAreSubstringsInAnyCase) {
  EXPECT_EQ(MatchFilterList("SEX;", "Visit Essex"), 0);
  EXPECT_EQ(MatchFilterList("viagra;free money;", "Get FREE MONEY now"), 0);
  EXPECT_EQ(MatchFilterList("viagra;free money", "Get FREE MONEY now"), -1);
  EXPECT_EQ(MatchFilterList("grüße;", "VIELE GRÜSSE"), 0);  // ß upper-cases to SS
  EXPECT_EQ(MatchFilterList("grüße;", "VIELE GRUSSE"), -1);
  EXPECT_EQ(MatchFilterList("für;", "Nur FÜR Sie"), 0);
  EXPECT_EQ(MatchFilterList("x;", ""), -1);
}

MailAccount Account() {
  MailAccount a;
  a.ApproveSender = "joe@example.com;";
  a.BlockSender = "spam.example;";
  a.Filter = "SEX;lottery;";
  return a;
}

TEST(SpamClassification, RulesInOrder) {
  MailAccount a = Account();
  // 1. A bad address is spam with every option off.
  EXPECT_EQ(ClassifyMessage(a, "root@localhost", "hi", ""), SpamVerdict::Spam);
  EXPECT_EQ(ClassifyMessage(a, "", "hi", ""), SpamVerdict::Spam);
  // Everything else is accepted while the options are off.
  EXPECT_EQ(ClassifyMessage(a, "x@spam.example", "Visit Essex", "lottery"), SpamVerdict::Accepted);

  a.FilterSubject = true;
  EXPECT_EQ(ClassifyMessage(a, "x@other.org", "Visit Essex", ""), SpamVerdict::Spam);
  a.ExclusiveApproved = true;
  // 2. An approved sender skips the later tests.
  EXPECT_EQ(ClassifyMessage(a, "JOE@Example.COM", "Visit Essex", ""), SpamVerdict::Accepted);
  // Not being approved is no reason by itself.
  EXPECT_EQ(ClassifyMessage(a, "ann@other.org", "hello", ""), SpamVerdict::Accepted);

  a.FilterContent = true;
  EXPECT_EQ(ClassifyMessage(a, "ann@other.org", "hello", "you won the LOTTERY"), SpamVerdict::Spam);
  // Content not read (empty) never matches.
  EXPECT_EQ(ClassifyMessage(a, "ann@other.org", "hello", ""), SpamVerdict::Accepted);

  EXPECT_EQ(ClassifyMessage(a, "x@spam.example", "hello", ""), SpamVerdict::Accepted);
  a.DeleteBlocked = true;
  EXPECT_EQ(ClassifyMessage(a, "x@spam.example", "hello", ""), SpamVerdict::Spam);
  EXPECT_EQ(ClassifyMessage(a, "x@sub.spam.example", "hello", ""), SpamVerdict::Accepted);
}

TEST(SpamClassification, ApprovedListIsIgnoredWithoutExclusiveApproved) {
  MailAccount a = Account();
  a.FilterSubject = true;
  EXPECT_EQ(ClassifyMessage(a, "joe@example.com", "lottery", ""), SpamVerdict::Spam);
}

}  // namespace
}  // namespace bc
