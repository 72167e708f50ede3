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

}  // namespace
}  // namespace bc
