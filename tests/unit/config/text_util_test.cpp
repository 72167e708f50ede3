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

}  // namespace
}  // namespace bc
