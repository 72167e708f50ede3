#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bc {

/// Decimal conversion as the settings use it: leading white space skipped, an
/// optional sign, digits up to the first non-digit; empty or non-numeric text
/// gives 0. Values beyond the int range saturate instead of overflowing.
[[nodiscard]] int ParseInt(std::string_view text);

/// "1" or "0".
[[nodiscard]] std::string FlagText(bool on);

/// Cuts UTF-8 text to at most `maxBytes` bytes without splitting a character.
[[nodiscard]] std::string CutUtf8(std::string_view text, size_t maxBytes);

}  // namespace bc
