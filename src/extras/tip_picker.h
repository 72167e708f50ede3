#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace bc {

/// Tips are picked from the first kTipCount lines of the tips file.
inline constexpr int kTipCount = 26;
/// How many draws a pick makes before it steps off the last index instead.
inline constexpr int kMaxTipDraws = 100;

/// A small linear congruential generator that always yields 15-bit values
/// (0 to 32767), whatever the C library's RAND_MAX is, so the tip index stays
/// within 0 to 25.
class TipRandom {
 public:
  static constexpr int kMax = 32767;
  void Seed(std::uint32_t seed) { state_ = seed; }
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

 private:
  std::uint32_t state_ = 1;
};

/// Picks the index of the next tip, 0 to 25, never `last`. Each draw seeds the
/// generator with the clock in seconds and discards one value, so the draws of
/// one second repeat; after kMaxTipDraws draws equal to `last` the index steps
/// off it (0 gives 1, 25 gives 24, any other n gives n + 1).
[[nodiscard]] int PickTipIndex(std::optional<int> last,
                               const std::function<std::int64_t()>& nowSeconds);

}  // namespace bc
