#include "extras/tip_picker.h"

namespace bc {

int PickTipIndex(std::optional<int> last, const std::function<std::int64_t()>& nowSeconds) {
  TipRandom random;
  auto draw = [&] {
    random.Seed(static_cast<std::uint32_t>(nowSeconds()));
    (void)random.Next();
    return random.Next() * (kTipCount - 1) / TipRandom::kMax;
  };
  int n = draw();
  for (int draws = 1; last && n == *last && draws < kMaxTipDraws; ++draws) {
    n = draw();
  }
  if (last && n == *last) {
    n = n == 0 ? 1 : n == kTipCount - 1 ? kTipCount - 2 : n + 1;
  }
  return n;
}

}  // namespace bc
