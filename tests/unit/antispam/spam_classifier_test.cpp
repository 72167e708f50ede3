#include "antispam/spam_classifier.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

TEST(SpamRules, ValidAddress) {
  EXPECT_TRUE(IsValidAddress("joe@example.com"));
  EXPECT_TRUE(IsValidAddress("first.last@localhost"));  // the dot may come first
  EXPECT_FALSE(IsValidAddress("root@localhost"));
  EXPECT_FALSE(IsValidAddress("example.com"));
  EXPECT_FALSE(IsValidAddress(""));
}

TEST(SpamRules, SenderListEntries) {
  for (const char* list : {"example.com;", "@example.com;", "*@example.com;"}) {
    SCOPED_TRACE(list);
    EXPECT_TRUE(MatchSenderList(list, "anyone@example.com"));
    EXPECT_TRUE(MatchSenderList(list, "Anyone@EXAMPLE.com"));
    EXPECT_FALSE(MatchSenderList(list, "anyone@mail.example.com"));  // no subdomains
    EXPECT_FALSE(MatchSenderList(list, "anyone@example.community"));
  }
  EXPECT_TRUE(MatchSenderList("joe@example.com;", "JOE@Example.COM"));
  EXPECT_FALSE(MatchSenderList("joe@example.com;", "jo@example.com"));
  EXPECT_FALSE(MatchSenderList("joe@example.com;", "joe"));
  EXPECT_TRUE(MatchSenderList("jörg@example.de;", "JÖRG@example.de"));
}

TEST(SpamRules, ListWalkEndsAtTheLastSemicolonAndAtEmptyEntries) {
  EXPECT_FALSE(MatchSenderList("joe@example.com", "joe@example.com"));
  EXPECT_FALSE(MatchSenderList("a@x.org;joe@example.com", "joe@example.com"));
  EXPECT_TRUE(MatchSenderList("a@x.org;joe@example.com;", "joe@example.com"));
  EXPECT_FALSE(MatchSenderList("a@x.org;;joe@example.com;", "joe@example.com"));
  EXPECT_FALSE(MatchSenderList("", "joe@example.com"));
}

TEST(SpamRules, FilterEntriesAreSubstringsInAnyCase) {
  EXPECT_TRUE(MatchFilterList("SEX;", "Visit Essex"));
  EXPECT_TRUE(MatchFilterList("viagra;free money;", "Get FREE MONEY now"));
  EXPECT_FALSE(MatchFilterList("viagra;free money", "Get FREE MONEY now"));
  EXPECT_TRUE(MatchFilterList("grüße;", "VIELE GRÜSSE"));  // ß upper-cases to SS
  EXPECT_FALSE(MatchFilterList("grüße;", "VIELE GRUSSE"));
  EXPECT_TRUE(MatchFilterList("für;", "Nur FÜR Sie"));
  EXPECT_FALSE(MatchFilterList("x;", ""));
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

TEST(SpamClassification, InvalidSenderRuleHasAnOffSwitchAndItsOwnReason) {
  MailAccount a = Account();
  EXPECT_EQ(JudgeMessage(a, "x at y.com", "hi", ""), SpamRule::InvalidSender);
  EXPECT_STREQ(SpamRuleText(SpamRule::InvalidSender), "the sender address is not valid");
  a.DeleteInvalidSenders = false;
  EXPECT_EQ(JudgeMessage(a, "x at y.com", "hi", ""), SpamRule::None);
  a.DeleteBlocked = true;
  a.BlockSender = "y.com;";
  EXPECT_EQ(JudgeMessage(a, "bob@y.com", "hi", ""), SpamRule::BlockedSender);
}

TEST(SpamClassification, ApprovedListIsIgnoredWithoutExclusiveApproved) {
  MailAccount a = Account();
  a.FilterSubject = true;
  EXPECT_EQ(ClassifyMessage(a, "joe@example.com", "lottery", ""), SpamVerdict::Spam);
}

}  // namespace
}  // namespace bc
