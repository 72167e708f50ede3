#include "mail/envelope_fields.h"

#include <gtest/gtest.h>

#include "mail/mail_log.h"

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

TEST(ContentLinesTest, TheLineLimit) {
  const std::vector<std::string> body = {"one", "two", "three", "four", "five"};
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

}  // namespace
}  // namespace bc
