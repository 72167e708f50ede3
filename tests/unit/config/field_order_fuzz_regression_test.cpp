// Replays the saved inputs of the field order fuzz target through the target's own
// checks (fuzz/field_order_fuzz.cpp is compiled into this test), so every input that
// once broke a rule, and every seed text, keeps being run in the unit and
// sanitizer builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "support/test_env.h"

namespace bc::fuzz {
std::string CheckFieldOrderInput(std::string_view input);
}  // namespace bc::fuzz

namespace bc {
namespace {

TEST(FieldOrderFuzzRegression, SavedInputsKeepEveryRule) {
  const std::filesystem::path dir = std::filesystem::path(BC_TEST_DATA_DIR) / "order" / "fuzz";
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << "missing " << dir;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(fuzz::CheckFieldOrderInput(test::ReadFile(entry.path().string())), "");
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace bc
