// Replays the saved inputs of the WAV fuzz target through the target's own
// checks (fuzz/wav_fuzz.cpp is compiled into this test), so every file that
// once broke a rule, and every seed file, keeps being read in the unit and
// sanitizer builds.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "speech/wav_file.h"
#include "support/test_env.h"

namespace bc::fuzz {
std::string CheckWavInput(std::span<const uint8_t> image);
}  // namespace bc::fuzz

namespace bc {
namespace {

TEST(WavFuzzRegression, SavedInputsKeepEveryRule) {
  test::ReplaySavedInputs("wav/fuzz", [](const std::string& bytes) {
    // An exactly sized copy, as the fuzzer hands it over, so the sanitizer build
    // sees any read past the end.
    const std::vector<uint8_t> image(bytes.begin(), bytes.end());
    EXPECT_EQ(fuzz::CheckWavInput(image), "");
  });
}

// Samples that claim more bytes than there are end with the file, and not a
// byte later.
TEST(WavFuzzRegression, SamplesPastTheEndStopAtTheEnd) {
  const std::string bytes =
      test::ReadFile(std::string(BC_TEST_DATA_DIR) + "/wav/fuzz/data-past-end");
  const std::vector<uint8_t> image(bytes.begin(), bytes.end());
  const std::optional<WavData> wav = ParseWav(image);
  ASSERT_TRUE(wav);
  EXPECT_EQ(std::string(wav->samples.begin(), wav->samples.end()), "xyz");
}

// 65281 channels of 16 bits at 1 MHz: a byte rate no int holds.
TEST(WavFuzzRegression, ByteRateBeyondIntIsAFormatError) {
  const std::string bytes =
      test::ReadFile(std::string(BC_TEST_DATA_DIR) + "/wav/fuzz/byte-rate-overflow");
  const std::vector<uint8_t> image(bytes.begin(), bytes.end());
  std::string error;
  EXPECT_FALSE(ParseWav(image, &error));
  EXPECT_EQ(error, "too many channels at too high a rate");
}

}  // namespace
}  // namespace bc
