// Replays the saved inputs of the POP3 fuzz target through the target's own
// checks (fuzz/pop3_fuzz.cpp is compiled into this test), so every input that
// once broke a rule, and every seed session, keeps being run in the unit and
// sanitizer builds.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/test_env.h"

namespace bc::fuzz {
std::string CheckPop3Input(std::string_view input);
}  // namespace bc::fuzz

namespace bc {
namespace {

TEST(Pop3FuzzRegression, SavedInputsKeepEveryRule) {
  test::ReplaySavedInputs(
      "pop3/fuzz", [](const std::string& input) { EXPECT_EQ(fuzz::CheckPop3Input(input), ""); });
}

}  // namespace
}  // namespace bc
