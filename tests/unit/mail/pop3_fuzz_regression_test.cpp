// Replays the saved inputs of the POP3 fuzz target through the target's own
// checks (fuzz/pop3_fuzz.cpp is compiled into this test), so every input that
// once broke a rule, and every seed session, keeps being run in the unit and
// sanitizer builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "support/test_env.h"

namespace bc::fuzz {
std::string CheckPop3Input(std::string_view input);
}  // namespace bc::fuzz

namespace bc {
namespace {

TEST(Pop3FuzzRegression, SavedInputsKeepEveryRule) {
  const std::filesystem::path dir = std::filesystem::path(BC_TEST_DATA_DIR) / "pop3" / "fuzz";
  ASSERT_TRUE(std::filesystem::is_directory(dir)) << "missing " << dir;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(fuzz::CheckPop3Input(test::ReadFile(entry.path().string())), "");
    ++files;
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace bc
