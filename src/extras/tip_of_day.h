#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "config/prompt.h"
#include "extras/tips_file.h"
#include "extras/tips_profile.h"

namespace bc {

inline constexpr const char* kMissingTipsText =
    "Tips file does not exist in the prescribed directory";
inline constexpr const char* kTipsTroubleText = "Trouble reading the tips file";

/// What the "Tip of the Day" dialog shows and remembers, without the dialog:
/// the open tips file, the tip picked, the show-at-start-up choice and the
/// profile entries. Built, it has already picked its first tip; destroyed, it
/// stores where the file was read up to.
class TipOfDay {
 public:
  /// Reads the profile, opens `tipsPath` and picks the first tip. A file whose
  /// time stamp differs from the stored one (replaced since) is read from
  /// position 0 and its stamp is stored. A failed seek is reported through
  /// `prompt` ("Trouble reading the tips file"); a missing file gives the tip
  /// kMissingTipsText. `nowSeconds` is the clock the picks are seeded from.
  TipOfDay(const std::string& tipsPath, TipsProfile& profile, Prompt& prompt,
           std::function<std::int64_t()> nowSeconds);
  /// Stores the file position when the file is open.
  ~TipOfDay();

  TipOfDay(const TipOfDay&) = delete;
  TipOfDay& operator=(const TipOfDay&) = delete;

  /// Whether tips are wanted at start-up (BrindlecastStartUp is 0 or missing).
  [[nodiscard]] bool showAtStartup() const { return showAtStartup_; }
  [[nodiscard]] const std::string& tip() const { return tip_; }
  [[nodiscard]] bool fileOpen() const { return file_.isOpen(); }
  /// The index of the tip shown, none before the first pick.
  [[nodiscard]] std::optional<int> lastIndex() const { return last_; }

  /// Picks another tip (never the index just shown) and reads it from the
  /// start of the file. Does nothing without a file.
  void NextTip();
  /// "&Close": keeps `showAtStartup` and stores it (0 show, 1 do not).
  void Close(bool showAtStartup);

 private:
  TipsProfile& profile_;
  Prompt& prompt_;
  std::function<std::int64_t()> nowSeconds_;
  TipsFile file_;
  bool showAtStartup_ = true;
  std::optional<int> last_;
  std::string tip_;
};

}  // namespace bc
