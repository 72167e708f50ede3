#include "config/text_util.h"

#include <gtest/gtest.h>

namespace bc {
namespace {

TEST(ParseIntTest, ReadsLikeTheStoredNumbersAreMeant) {
  struct Row {
    const char* text;
    int expected;
  };
  const Row rows[] = {
      {"", 0},
      {"0", 0},
      {"42", 42},
      {"  7", 7},
      {"\t 3x", 3},
      {"-5", -5},
      {"+9", 9},
      {"abc", 0},
      {"1 2", 1},
      {"- 3", 0},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ParseInt(row.text), row.expected) << '"' << row.text << '"';
  }
}

TEST(CutUtf8Test, NeverSplitsACharacter) {
  EXPECT_EQ(CutUtf8("abc", 63), "abc");
  EXPECT_EQ(CutUtf8("abcdef", 3), "abc");
  EXPECT_EQ(CutUtf8("ab\xC3\xBC", 3), "ab");  // "ü" is two bytes
  EXPECT_EQ(CutUtf8("\xE2\x82\xAC\xE2\x82\xAC", 4), "\xE2\x82\xAC");
}

// What a server or a message may put into text a terminal or a window shows.
TEST(ShownTextTest, NoControlOrReorderingCharacterIsShown) {
  struct Row {
    const char* text;
    const char* shown;
  };
  const Row rows[] = {
      {"plain ü€", "plain ü€"},
      {"\x1b]0;title\x07\x1b[2J", " ]0;title  [2J"},  // C0: title, bell, clear
      {"a\x7f"
       "b",
       "a b"},
      {"\xc2\x9b"
       "31m \xc2\x85",
       " 31m  "},  // C1: CSI and NEL as characters
      {"\x9b"
       "31m",
       "\xef\xbf\xbd"
       "31m"},  // a lone 8-bit CSI byte
      {"\xe2\x80\xae"
       "exe.txt",
       " exe.txt"},                                         // right-to-left override
      {"\xe2\x81\xa6x\xe2\x81\xa9 \xe2\x80\xa8", " x   "},  // isolates, line separator
      {"\xe2\x80\x8f"
       "kept",
       "\xe2\x80\x8f"
       "kept"},  // a plain mark stays
      {"\xc0\xaf\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ShownText(row.text), row.shown) << row.text;
  }
  EXPECT_TRUE(IsUtf8Text("ü€"));
  EXPECT_FALSE(IsUtf8Text("p\xe4sswort"));
}

}  // namespace
}  // namespace bc
