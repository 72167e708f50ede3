// Replays the saved inputs of the field order fuzz target through the target's own
// checks (fuzz/field_order_fuzz.cpp is compiled into this test), so every input that
// once broke a rule, and every seed text, keeps being run in the unit and
// sanitizer builds.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "support/test_env.h"

namespace bc::fuzz {
std::string CheckFieldOrderInput(std::string_view input);
}  // namespace bc::fuzz

namespace bc {
namespace {

TEST(FieldOrderFuzzRegression, SavedInputsKeepEveryRule) {
  test::ReplaySavedInputs("order/fuzz", [](const std::string& input) {
    EXPECT_EQ(fuzz::CheckFieldOrderInput(input), "");
  });
}

}  // namespace
}  // namespace bc
