#pragma once

#include <string>
#include <string_view>

namespace bc {

/// Decimal conversion as the settings use it: leading white space skipped, an
/// optional sign, digits up to the first non-digit; empty or non-numeric text
/// gives 0. Values beyond the int range saturate instead of overflowing.
[[nodiscard]] int ParseInt(std::string_view text);

/// "1" or "0".
[[nodiscard]] std::string FlagText(bool on);

}  // namespace bc
