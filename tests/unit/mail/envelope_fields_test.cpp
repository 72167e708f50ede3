#include "mail/envelope_fields.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "antispam/spam_classifier.h"
#include "config/paths.h"
#include "mail/mail_log.h"
#include "mail/message_envelope.h"
#include "mime/mime_decoder.h"
#include "support/test_env.h"

namespace bc {
namespace {

TEST(FormatReceivedTest, Rows) {
  struct Row {
    const char* date;
    const char* expected;
  };
  const Row rows[] = {
      {"Tue, 7 Dec 2004 10:11:12 +0800", "2004/12/07 10:11:12"},
      {"07 Dec 2004 09:05:00 GMT", "2004/12/07 09:05:00"},
      {"", "0000/00/00 "},
      {"Mon, 31 Jan 2000 23:59:59 -0000 (UTC)", "2000/01/31 23:59:59"},
      {"Fri, 1 Foo 2010 01:02:03 +0100", "2010/Foo/01 01:02:03"},  // unknown month kept
      {"garbage", "0000/00/ga "},  // no colon: the first two characters are all that is left
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FormatReceived(row.date), row.expected) << row.date;
  }
}

TEST(SenderTest, DisplayTextAndAddress) {
  EXPECT_EQ(FromDisplayText("Sales Desk <sales@example.com>"), "Sales Desk");
  EXPECT_EQ(SenderAddress("Sales Desk <sales@example.com>"), "sales@example.com");
  EXPECT_EQ(FromDisplayText("\"Joe\" <joe@example.com>"), "Joe");
  EXPECT_EQ(FromDisplayText("<only@example.com>"), "");
  EXPECT_EQ(SenderAddress("<only@example.com>"), "only@example.com");
  EXPECT_EQ(FromDisplayText("plain@example.com"), "plain@example.com");
  EXPECT_EQ(SenderAddress("  plain@example.com  "), "plain@example.com");
  EXPECT_EQ(SenderAddress("a <b"), "a <b");  // no ">": the whole value
  EXPECT_EQ(SenderAddress("x> <y"), "");     // ">" before "<"
  // Brackets inside a quoted string or an encoded word belong to the name.
  EXPECT_EQ(SenderAddress("\"a <b@c.d>\" <e@f.g>"), "e@f.g");
  EXPECT_EQ(SenderAddress("=?utf-8?Q?a<b@c.d>?= <e@f.g>"), "e@f.g");
  EXPECT_EQ(FromDisplayText("=?utf-8?Q?a<b@c.d>?= <e@f.g>"), "=?utf-8?Q?a<b@c.d>?=");
  EXPECT_EQ(SenderAddress("\"a \\\" <b>\" <e@f.g>"), "e@f.g");  // an escaped quote
}

// Real messages as servers hand them out, damaged on the way: each is judged by
// the address it still carries, and a message with no header of its own is not
// judged at all.
TEST(SenderTest, DamagedMessagesAreJudgedByTheAddressTheyCarry) {
  struct Row {
    const char* name;
    std::string text;  // the RETR reply
    bool readable;
    const char* address;
    const char* subject;
    SpamRule rule;
  };
  const std::string date = "Date: Tue, 7 Dec 2004 10:11:12 +0800";
  const Row rows[] = {
      {"lone CR inside From",
       "+OK\r\nFrom: Carol Smith\r<carol@good.example>\r\n" + date + "\r\n\r\nhi\r\n.\r\n", true,
       "carol@good.example", "", SpamRule::None},
      {"CR CR LF, From not first",
       "+OK\r\r\nSubject: Lunch\rplans\r\r\nTo: a@b.example\r\r\n"
       "From: Dan <dan@good.example>\r\r\n\r\r\nhi\r\r\n.\r\r\n",
       true, "dan@good.example", "Lunch plans", SpamRule::None},
      {"empty brackets, address beside them",
       "+OK\r\nFrom: Carol <> carol@good.example\r\n\r\n.\r\n", true, "carol@good.example", "",
       SpamRule::None},
      {"address only in a quoted name", "+OK\r\nFrom: \"boss@good.example\" <>\r\n\r\n.\r\n", true,
       "", "", SpamRule::InvalidSender},
      {"no address at all", "+OK\r\nReceived: from x\r\nFrom: x at y.com\r\n\r\n.\r\n", true,
       "x at y.com", "", SpamRule::InvalidSender},
      {"only what the server added", "+OK\r\nX-UIDL: 1a2b\r\nReturn-Path: <>\r\n\r\n.\r\n", false,
       "", "", SpamRule::InvalidSender},
  };
  MailAccount account;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DecodedMessage message;
    MimeDecoder().Decode(row.text, message);
    const Envelope e = BuildEnvelope(message, 100, AppOptions{}, account, 0, 0);
    EXPECT_EQ(HasReadableHeaders(message), row.readable);
    EXPECT_EQ(e.address, row.address);
    EXPECT_EQ(e.subject, row.subject);
    EXPECT_EQ(JudgeMessage(account, e.address, e.subject, e.content), row.rule);
  }
}

TEST(ContentLinesTest, TheLineLimit) {
  const TextLines body = {"one", "two", "three", "four", "five"};
  EXPECT_EQ(ContentLines(body, 0, "All"), "");
  EXPECT_EQ(ContentLines(body, 1, "All"), "one two three four five");
  EXPECT_EQ(ContentLines(body, 1, "2"), "one two");
  EXPECT_EQ(ContentLines(body, 1, "9"), "one two three four five");
  EXPECT_EQ(ContentLines(body, 1, "0"), "");
  EXPECT_EQ(ContentLines(body, 1, "-3"), "");
  EXPECT_EQ(ContentLines(body, 1, "many"), "");
}

TEST(MessageKeyTest, MessageIdElseReceivedAndFrom) {
  EXPECT_EQ(MessageKey("<a@b>", "2004/12/07 10:11:12", "Joe"), "<a@b>");
  EXPECT_EQ(MessageKey("", "0000/00/00 ", ""), "0000/00/00 ");
  EXPECT_EQ(SizeText(1536), "1.500 KB");
  EXPECT_EQ(SizeText(0), "0.000 KB");
  // Exactly as "%.3f" rounds, ties (64 octets: 0.0625) to even included.
  const auto printed = [](int64_t octets) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f KB", static_cast<double>(octets) / 1024.0);
    return std::string(text);
  };
  for (int64_t octets = 0; octets < 300000; ++octets) {
    ASSERT_EQ(SizeText(octets), printed(octets)) << octets;
  }
  for (const int64_t octets : {int64_t{2147483647}, int64_t{1} << 40, (int64_t{1} << 50) - 1,
                               int64_t{1} << 50, int64_t{-1}, int64_t{-1536}}) {
    EXPECT_EQ(SizeText(octets), printed(octets)) << octets;
  }
}

TEST(DeletedLogTest, FileNameAndLine) {
  std::tm date{};
  date.tm_year = 2005 - 1900;
  date.tm_mon = 1;
  date.tm_mday = 1;
  EXPECT_EQ(DeletedLogPath("/logs", "jsmith", date), "/logs/jsmith2005-2-1.log");
  // A user name can never lead out of the log folder.
  EXPECT_EQ(DeletedLogPath("/logs", "../../etc/passwd", date),
            "/logs/.._.._etc_passwd2005-2-1.log");
  EXPECT_EQ(DeletedLogPath("/logs", "..", date), "/logs/..2005-2-1.log");
  EXPECT_EQ(DeletedLogLine("Joe", "Hi", "joe@x.com", "2004/12/07 10:11:12", "1.000 KB", "jsmith"),
            "Joe  Hi  joe@x.com  2004/12/07 10:11:12  1.000 KB  jsmith");
}

// A log, or a folder on its way inside the state folder, that is a symbolic
// link is never followed: the target keeps its text and mode, a dangling link
// creates nothing.
TEST(DeletedLogTest, LinksAreNeverFollowed) {
  test::ScopedXdgHome home;
  const std::string state = StateDir();
  const std::string target = home.root() + "/target";
  const std::string elsewhere = home.root() + "/elsewhere";
  ASSERT_TRUE(std::filesystem::create_directories(state));
  std::filesystem::create_directory(elsewhere);
  test::WriteFile(target, "mine\n");
  std::filesystem::permissions(target, std::filesystem::perms(0644));
  std::filesystem::create_symlink(target, state + "/command.log");
  std::filesystem::create_symlink(home.root() + "/nowhere", state + "/dangling.log");
  std::filesystem::create_symlink(elsewhere, state + "/Log");
  EXPECT_FALSE(AppendLogLine(state + "/command.log", "line"));
  EXPECT_FALSE(AppendLogLine(state + "/dangling.log", "line"));
  EXPECT_FALSE(PrepareLogDir(state + "/Log"));
  EXPECT_FALSE(AppendLogLine(state + "/Log/alice2005-2-1.log", "line"));
  EXPECT_EQ(test::ReadFile(target), "mine\n");
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0644));
  EXPECT_FALSE(std::filesystem::exists(home.root() + "/nowhere"));
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
  EXPECT_NE(std::filesystem::status(elsewhere).permissions(), std::filesystem::perms(0700));
  EXPECT_TRUE(AppendLogLine(state + "/real.log", "line"));  // a real file still is written
}

}  // namespace
}  // namespace bc
