// Replays the saved inputs of the IMAP fuzz target through its own checks
// (fuzz/imap_fuzz.cpp is compiled into this test), then runs those checks on
// mutations of them for a few seconds, so every build fuzzes a little even
// without clang's libFuzzer.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_env.h"

namespace bc::fuzz {
std::string CheckImapInput(std::string_view input);
}  // namespace bc::fuzz

namespace bc {
namespace {

TEST(ImapFuzz, SavedInputsKeepEveryRule) {
  test::ReplaySavedInputs(
      "imap/fuzz", [](const std::string& input) { EXPECT_EQ(fuzz::CheckImapInput(input), ""); });
}

TEST(ImapFuzz, MutatedInputsForAFewSeconds) {
  std::vector<std::string> seeds;
  test::ReplaySavedInputs("imap/fuzz", [&](const std::string& input) { seeds.push_back(input); });
  std::mt19937 random(20261207);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    std::string input = seeds[random() % seeds.size()];
    for (int edits = 1 + static_cast<int>(random() % 8); edits > 0 && input.size() > 2; --edits) {
      const size_t at = 2 + random() % (input.size() - 2);
      switch (random() % 4) {
        case 0:
          input[at] = static_cast<char>(random());
          break;
        case 1:
          input.erase(at, 1 + random() % 16);
          break;
        case 2:
          input.insert(at, input.substr(2 + random() % (input.size() - 2), random() % 32));
          break;
        default:
          input.insert(at, std::string("{}()[]\"\\\r\n 0123456789").substr(random() % 20, 1));
      }
    }
    const std::string why = fuzz::CheckImapInput(input);
    ASSERT_EQ(why, "") << "input (" << input.size() << " bytes): " << input;
    ++runs;
  }
  RecordProperty("runs", runs);
}

}  // namespace
}  // namespace bc
